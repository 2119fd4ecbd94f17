#include "record/key_hook.h"

#include "record/modifier_tracker.h"

#include "script/script_format.h"

namespace tesmuro {
namespace {

constexpr uint32_t kKeyDown = 0x0100, kKeyUp = 0x0101, kSysKeyDown = 0x0104, kSysKeyUp = 0x0105;

}  // namespace

bool HotKeyMatches(uint16_t stored, const KeyHookEvent& e) {
  if (stored == 0 || e.code != 0) return false;
  if (e.message != kKeyDown && e.message != kSysKeyDown) return false;
  const uint16_t mods = stored & kHotModifiers;
  if (mods == 0) return static_cast<uint16_t>(e.vk & 0xFFFFu) == stored;
  const uint16_t held = KeyInjected(e.flags) ? e.modifiers : e.realModifiers;
  return (e.vk & 0xFFu) == (stored & 0xFFu) && (e.vk & ~0xFFu) == 0 && (held & kHotModifiers) == mods;
}

bool IsEmergencyStopPress(const KeyHookEvent& e) {
  return e.code == 0 && (e.message == kKeyDown || e.message == kSysKeyDown) &&
         (e.vk == kVkPause || e.vk == kVkCancel) && !KeyInjected(e.flags);
}

HotKeyCommand TKeyHook::OnEvent(const KeyHookEvent& e, RecordSink& sink) {
  if (e.code == 0 && Recording()) {
    script::KeyLineKind kind{};
    bool recorded = true;
    switch (e.message) {
      case kKeyDown: kind = script::KeyLineKind::Down; break;
      case kKeyUp: kind = script::KeyLineKind::Up; break;
      case kSysKeyDown: kind = script::KeyLineKind::SysDown; break;
      case kSysKeyUp: kind = script::KeyLineKind::SysUp; break;
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
