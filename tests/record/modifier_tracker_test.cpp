// The record of Shift, Ctrl and Alt that the hook thread keeps, apart by who
// pressed them.
#include <gtest/gtest.h>

#include <set>

#include "record/key_hook.h"
#include "record/modifier_tracker.h"

namespace tesmuro {
namespace {

constexpr uint32_t kDown = 0x100, kUp = 0x101, kSysDown = 0x104, kSysUp = 0x105;

// Feeds one event; returns it as stamped.
KeyHookEvent Feed(ModifierTracker& t, uint32_t message, uint32_t vk, bool injected = false) {
  KeyHookEvent e;
  e.message = message;
  e.vk = vk;
  e.flags = injected ? 0x10 : 0;
  t.Apply(e);
  return e;
}

// The system's key state for Sync: the keys listed are down.
struct SystemKeys {
  std::set<uint32_t> down;
  std::set<uint32_t> asked;
  static bool Ask(uint32_t vk, void* self) {
    auto* s = static_cast<SystemKeys*>(self);
    s->asked.insert(vk);
    return s->down.count(vk) != 0;
  }
};

TEST(ModifierTracker, LeftRightAndGenericCodesByWhoPressedThem) {
  ModifierTracker t;
  // Each event carries the state before it.
  EXPECT_EQ(Feed(t, kDown, 0xA1).modifiers, 0);  // right Shift, by the user
  EXPECT_EQ(Feed(t, kDown, 0xA2, true).modifiers, Shortcut::kShift);  // left Ctrl, by a program
  const KeyHookEvent a = Feed(t, kSysDown, 0x12, true);  // Alt by its generic code
  EXPECT_EQ(a.modifiers, Shortcut::kShift | Shortcut::kCtrl);
  EXPECT_EQ(a.realModifiers, Shortcut::kShift);
  EXPECT_EQ(t.Held(), Shortcut::kShift | Shortcut::kCtrl | Shortcut::kAlt);
  EXPECT_EQ(t.RealHeld(), Shortcut::kShift);

  // The generic code stands for the left key: its release is that key's.
  Feed(t, kSysUp, 0xA4, true);
  EXPECT_EQ(t.Held(), Shortcut::kShift | Shortcut::kCtrl);
  // Left and right are separate keys: releasing the right Ctrl leaves the left one down.
  Feed(t, kUp, 0xA3);
  EXPECT_EQ(t.Held(), Shortcut::kShift | Shortcut::kCtrl);
  Feed(t, kUp, 0x11, true);
  EXPECT_EQ(t.Held(), Shortcut::kShift);

  // Other keys and messages change nothing; auto-repeat changes nothing.
  Feed(t, kDown, 'A');
  Feed(t, 0x102, 0xA0);  // not a key message
  Feed(t, kDown, 0xA1);
  KeyHookEvent notAction;
  notAction.code = 1;
  notAction.message = kUp;
  notAction.vk = 0xA1;
  t.Apply(notAction);
  EXPECT_EQ(t.Held(), Shortcut::kShift);
  EXPECT_EQ(t.RealHeld(), Shortcut::kShift);
  Feed(t, kUp, 0xA1);
  EXPECT_EQ(t.Held(), 0);
  EXPECT_EQ(t.RealHeld(), 0);
}

TEST(ModifierTracker, ReleasesByAProgramDoNotLiftTheUsersKey) {
  ModifierTracker t;
  Feed(t, kDown, 0xA2);        // the user holds left Ctrl
  Feed(t, kUp, 0xA2, true);    // a script lets it go, for the system
  EXPECT_EQ(t.Held(), 0);
  EXPECT_EQ(t.RealHeld(), Shortcut::kCtrl);
  Feed(t, kDown, 0xA2, true);  // and presses it again
  EXPECT_EQ(t.RealHeld(), Shortcut::kCtrl);
  Feed(t, kUp, 0xA2);          // the user lets go: the key is up for everyone
  EXPECT_EQ(t.Held(), 0);
  EXPECT_EQ(t.RealHeld(), 0);

  // A key the program pressed and the user released is up as well.
  Feed(t, kDown, 0xA5, true);
  Feed(t, kSysUp, 0xA5);
  EXPECT_EQ(t.Held(), 0);

  // Lower-integrity injection counts as injected too.
  KeyHookEvent low;
  low.message = kDown;
  low.vk = 0xA0;
  low.flags = 0x02;
  t.Apply(low);
  EXPECT_EQ(t.Held(), Shortcut::kShift);
  EXPECT_EQ(t.RealHeld(), 0);
}

TEST(ModifierTracker, SyncTakesWhatTheSystemSaysAndKeepsWhoPressedWhatItAgreesWith) {
  ModifierTracker t;
  SystemKeys sys;
  sys.down = {0xA3, 0xA4};  // right Ctrl and left Alt down at installation
  t.Sync(&SystemKeys::Ask, &sys);
  EXPECT_EQ(sys.asked, (std::set<uint32_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(t.Held(), Shortcut::kCtrl | Shortcut::kAlt);
  EXPECT_EQ(t.RealHeld(), Shortcut::kCtrl | Shortcut::kAlt) << "down before we looked: taken as the user's";

  Feed(t, kDown, 0xA0, true);  // a program's Shift
  // While no hook watched, the user let go of Alt and the program's Shift
  // stayed down.
  sys.down = {0xA0, 0xA3};
  t.Sync(&SystemKeys::Ask, &sys);
  EXPECT_EQ(t.Held(), Shortcut::kShift | Shortcut::kCtrl);
  EXPECT_EQ(t.RealHeld(), Shortcut::kCtrl) << "the Shift still counts as the program's";
  sys.down.clear();
  t.Sync(&SystemKeys::Ask, &sys);
  EXPECT_EQ(t.Held(), 0);
  EXPECT_EQ(t.RealHeld(), 0);
}

}  // namespace
}  // namespace tesmuro
