#include "record/key_hook.h"

#include "os/pc_keyboard.h"
#include "record/modifier_tracker.h"

#include "script/script_format.h"

namespace tesmuro {
bool HotKeyMatches(uint16_t stored, const KeyHookEvent& e) {
  if (stored == 0 || e.code != 0 || e.extraInfo == os::kPlayerInputTag) return false;
  if (e.message != kWmKeyDown && e.message != kWmSysKeyDown) return false;
  const Shortcut key(stored);
  if (key.Modifiers() == 0) return static_cast<uint16_t>(e.vk & 0xFFFFu) == stored;
  const Shortcut held(KeyInjected(e.flags) ? e.modifiers : e.realModifiers);
  return (e.vk & 0xFFu) == key.Key() && (e.vk & ~0xFFu) == 0 && held.Modifiers() == key.Modifiers();
}

bool IsEmergencyStopPress(const KeyHookEvent& e) {
  return e.code == 0 && (e.message == kWmKeyDown || e.message == kWmSysKeyDown) &&
         (e.vk == os::kVkPause || e.vk == os::kVkCancel) && !KeyInjected(e.flags);
}

std::optional<Shortcut> UserKeyPresses::OnEvent(const KeyHookEvent& e) {
  if (e.code != 0 || e.extraInfo == os::kPlayerInputTag || e.vk == 0 || e.vk > 0xFF) return std::nullopt;
  const bool press = e.message == kWmKeyDown || e.message == kWmSysKeyDown;
  if (!press && e.message != kWmKeyUp && e.message != kWmSysKeyUp) return std::nullopt;
  const bool wasDown = down_.test(e.vk);
  down_.set(e.vk, press);
  if (!press || wasDown) return std::nullopt;
  const uint16_t held = KeyInjected(e.flags) ? e.modifiers : e.realModifiers;
  return Shortcut(static_cast<uint16_t>(e.vk | (held & Shortcut::kModifiers)));
}

HotKeyCommand TKeyHook::OnEvent(const KeyHookEvent& e, RecordSink& sink) {
  if (e.code == 0 && Recording()) {
    script::KeyLineKind kind{};
    bool recorded = true;
    switch (e.message) {
      case kWmKeyDown: kind = script::KeyLineKind::Down; break;
      case kWmKeyUp: kind = script::KeyLineKind::Up; break;
      case kWmSysKeyDown: kind = script::KeyLineKind::SysDown; break;
      case kWmSysKeyUp: kind = script::KeyLineKind::SysUp; break;
      default: recorded = false; break;
    }
    if (recorded) {
      sink.SyncLastEventTime();
      sink.AppendLine(script::DelayLine(TakeDelay(e.tick)));
      sink.AppendLine(script::KeyLine(kind, e.vk, e.scanCode, e.flags, e.time, e.extraInfo));
    }
  }
  if (e.code != 0 || !HotKeysEnabled) return HotKeyCommand::None;
  if (HotKeyMatches(HotRecordKey, e)) return HotKeyCommand::Record;
  if (HotKeyMatches(HotStartKey, e)) return HotKeyCommand::Play;
  if (HotKeyMatches(HotStopKey, e)) return HotKeyCommand::Stop;
  return HotKeyCommand::None;
}

}  // namespace tesmuro
