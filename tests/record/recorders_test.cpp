// The recording clock and the mouse and keyboard recorders, fed with plain
// hook events through the main window as the program does.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "os/pc_keyboard.h"
#include "record/modifier_tracker.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

// GBK keywords as they appear in the script.
const std::string kDelay = "\xD1\xD3\xB3\xD9 ";
const std::string kMove = "\xD2\xC6\xB6\xAF ";
const std::string kLeftDown = "\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2";
const std::string kLeftUp = "\xD7\xF3\xBC\xFC\xCA\xCD\xB7\xC5";
const std::string kWheel = "\xCA\xF3\xB1\xEA\xB9\xF6\xC2\xD6 ";
const std::string kKeyDown = "\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2 ";
const std::string kKeyUp = "\xB0\xB4\xBC\xFC\xB5\xAF\xC6\xF0 ";
const std::string kSysKeyDown = "\xCF\xB5\xCD\xB3\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2 ";

class RecorderTest : public test::MainWindowFixture {
 protected:
  RecorderTest() {
    TSettings s = ConstructionSettings();
    s.RecJoy = false;
    s.RecMouseMsg = s.RecKeyMsg = false;
    dir.Write("Quorlin.qlset", FormatSettings(s));
    w = std::make_unique<TFrmMain>(Services());
  }
  // Hands the window's hot keys, as its settings now say, to the keyboard recorder.
  void PublishHotKeys() { w->Recorder().PublishHotKeys(RecordingOptionsFor(w->Settings).hotKeys); }
  static MouseHookEvent Mouse(uint32_t msg, uint32_t tick, int x = 0, int y = 0) {
    MouseHookEvent e;
    e.message = msg;
    e.tick = tick;
    e.x = x;
    e.y = y;
    return e;
  }
  static KeyHookEvent Key(uint32_t msg, uint32_t vk, uint32_t tick, uint16_t mods = 0) {
    KeyHookEvent e;
    e.message = msg;
    e.vk = vk;
    e.scanCode = 30;
    e.flags = (msg == 0x101 || msg == 0x105) ? 128 : 0;
    e.time = 4000000000u;
    e.tick = tick;
    e.modifiers = e.realModifiers = mods;  // held by the user
    return e;
  }
  std::string Lines(std::initializer_list<std::string> lines) {
    std::string s;
    for (auto& l : lines) s += l + "\r\n";
    return s;
  }
  void StartRecording(uint32_t at) {
    clock.now = at;
    w->SBRecordClick();
  }

  std::unique_ptr<TFrmMain> w;
};

TEST_F(RecorderTest, MovesClickAndWheelGiveTheirLinesAndStatus) {
  StartRecording(10000);
  w->Recorder().OnMouseEvent(Mouse(0x200, 10900, 640, 480));
  w->Recorder().OnMouseEvent(Mouse(0x200, 10900, -5, 1030));  // same millisecond, a monitor to the left
  w->Recorder().OnMouseEvent(Mouse(0x201, 10990));
  w->Recorder().OnMouseEvent(Mouse(0x202, 11090));
  MouseHookEvent wheel = Mouse(0x20A, 11100);
  wheel.mouseData = 0xFF880000u;  // -120: one notch towards the user
  w->Recorder().OnMouseEvent(wheel);
  EXPECT_EQ(view.memo, Lines({kDelay + "900", kMove + "640,480", kDelay + "0", kMove + "-5,1030", kDelay + "90",
                              kLeftDown, kDelay + "100", kLeftUp, kDelay + "10", kWheel + "-120 0 0"}));
  EXPECT_EQ(view.status[1], "X:-5Y:1030") << "the move's own point, not a later cursor reading";
  EXPECT_EQ(view.status[2], "鼠标滚轮");
}

TEST_F(RecorderTest, MouseEventsThatAreNotRecorded) {
  w->Recorder().Mouse().Install();
  w->Recorder().OnMouseEvent(Mouse(0x200, 500, 1, 1));
  EXPECT_EQ(view.memo, "") << "recording off";
  StartRecording(1000);
  MouseHookEvent notAction = Mouse(0x201, 1100);
  notAction.code = 3;
  w->Recorder().OnMouseEvent(notAction);
  w->Recorder().OnMouseEvent(Mouse(0x20B, 1200));  // a side button that names no button
  w->Recorder().OnMouseEvent(Mouse(0x20D, 1200));  // a side button's double click
  w->Recorder().OnMouseEvent(Mouse(kRawMotionMessage, 1200, 5, 5));  // relative motion outside game mode
  EXPECT_EQ(view.memo, "");
  EXPECT_EQ(view.status.count(1) + view.status.count(2), 0u);
  EXPECT_EQ(w->Recorder().Mouse().GetLastTime(), 1000u) << "the clock is not touched";
  w->Recorder().OnMouseEvent(Mouse(0x204, 1300));
  EXPECT_EQ(view.memo, Lines({kDelay + "300", "\xD3\xD2\xBC\xFC\xB0\xB4\xCF\xC2"}));
}

TEST_F(RecorderTest, SideButtonsAndTheHorizontalWheel) {
  StartRecording(1000);
  MouseHookEvent e = Mouse(0x20B, 1010);
  e.mouseData = 0x00010000u;  // X1
  w->Recorder().OnMouseEvent(e);
  e = Mouse(0x20C, 1020);
  e.mouseData = 0x00010000u;
  w->Recorder().OnMouseEvent(e);
  e = Mouse(0x20B, 1030);
  e.mouseData = 0x00020000u;  // X2
  w->Recorder().OnMouseEvent(e);
  e = Mouse(0x20C, 1040);
  e.mouseData = 0x00020000u;
  w->Recorder().OnMouseEvent(e);
  e = Mouse(0x20E, 1050);
  e.mouseData = 0xFF100000u;  // -240: two notches to the left
  e.flags = 1;
  w->Recorder().OnMouseEvent(e);
  EXPECT_EQ(view.memo, Lines({kDelay + "10", "\xBA\xF3\xCD\xCB\xBC\xFC\xB0\xB4\xCF\xC2", kDelay + "10",
                              "\xBA\xF3\xCD\xCB\xBC\xFC\xCA\xCD\xB7\xC5", kDelay + "10",
                              "\xC7\xB0\xBD\xF8\xBC\xFC\xB0\xB4\xCF\xC2", kDelay + "10",
                              "\xC7\xB0\xBD\xF8\xBC\xFC\xCA\xCD\xB7\xC5", kDelay + "10",
                              "\xCB\xAE\xC6\xBD\xB9\xF6\xC2\xD6 -240 1 0"}));
  EXPECT_EQ(view.status[2], "水平滚轮");
}

TEST_F(RecorderTest, GameModeRecordsRelativeMotionInPlaceOfPositions) {
  TSettings s = w->Settings;
  s.GameMode = true;
  dir.Write("Quorlin.qlset", FormatSettings(s));
  w = std::make_unique<TFrmMain>(Services());
  StartRecording(1000);
  EXPECT_EQ(hooks.rawInstalled, 1) << "raw input is taken while recording in game mode";
  w->Recorder().OnMouseEvent(Mouse(0x200, 1010, 300, 300));  // the position: not recorded
  w->Recorder().OnMouseEvent(Mouse(kRawMotionMessage, 1010, -3, 6));
  w->Recorder().OnMouseEvent(Mouse(kRawMotionMessage, 1020, 0, 0));  // no motion
  w->Recorder().OnMouseEvent(Mouse(0x201, 1030));
  EXPECT_EQ(view.memo, Lines({kDelay + "10", "\xCF\xE0\xB6\xD4\xD2\xC6\xB6\xAF -3,6", kDelay + "20", kLeftDown}));
  EXPECT_EQ(view.status[1], "DX:-3DY:6");
  w->SBStopClick();
  EXPECT_EQ(hooks.rawInstalled, 0);
}

TEST_F(RecorderTest, DelaysCountFromTheLatestEventOfAnySource) {
  StartRecording(1000);
  w->Recorder().OnMouseEvent(Mouse(0x200, 1100, 1, 2));
  w->OnKeyEvent(Key(0x100, 65, 1350));
  w->Recorder().OnMouseEvent(Mouse(0x200, 1450, 3, 4));
  EXPECT_EQ(view.memo, Lines({kDelay + "100", kMove + "1,2", kDelay + "250", kKeyDown + "65 30 0 4000000000 0",
                              kDelay + "100", kMove + "3,4"}));

  // An old time (a recorder that was off) never lowers the merge.
  w->Recorder().Mouse().SetLastTime(5);
  clock.now = 1500;
  w->Recorder().JoyRecording = true;
  w->Recorder().OnJoy1ButtonDown(257);
  EXPECT_NE(view.memo.find(kDelay + "150\r\n"), std::string::npos) << "measured from the keyboard event at 1350";
}

TEST_F(RecorderTest, MoveLimitsHoldMovesBackWithoutLosingTimeOrTheClickPoint) {
  w->Settings.MoveIntervalMs = 50;
  w->Settings.MoveMinDistance = 20;
  StartRecording(1000);
  auto move = [&](uint32_t tick, int x, int y) { w->Recorder().OnMouseEvent(Mouse(0x200, tick, x, y)); };
  move(1010, 0, 0);    // the first is written
  move(1020, 5, 0);
  move(1030, 10, 0);
  move(1040, 30, 0);   // 30 pixels from the last written
  move(1060, 31, 0);
  move(1095, 32, 0);   // 55 ms after it
  move(1100, 33, 1);
  w->Recorder().OnMouseEvent(Mouse(0x201, 1110));  // the click's point goes first
  move(1120, 34, 1);
  w->OnKeyEvent(Key(0x100, 65, 1130));             // so does a key's
  move(1140, 35, 1);
  w->SBStopClick();                                // and the last place
  EXPECT_EQ(view.memo, Lines({kDelay + "10", kMove + "0,0", kDelay + "30", kMove + "30,0", kDelay + "55",
                              kMove + "32,0", kDelay + "5", kMove + "33,1", kDelay + "10", kLeftDown,
                              kDelay + "10", kMove + "34,1", kDelay + "10", kKeyDown + "65 30 0 4000000000 0",
                              kDelay + "10", kMove + "35,1"}))
      << "the delays add up to the 140 ms recorded";
}

TEST_F(RecorderTest, AMoveToThePointOfTheLastWrittenMoveIsNotWritten) {
  auto move = [&](uint32_t tick, int x, int y) { w->Recorder().OnMouseEvent(Mouse(0x200, tick, x, y)); };
  StartRecording(1000);
  move(1010, 64, 68);
  move(1016, 64, 68);                               // the same point again
  w->Recorder().OnMouseEvent(Mouse(0x201, 1020));
  w->Recorder().OnMouseEvent(Mouse(0x202, 1030));
  move(1035, 64, 68);                               // after the release, at the same spot
  move(1050, 70, 70);
  w->SBStopClick();
  EXPECT_EQ(view.memo, Lines({kDelay + "10", kMove + "64,68", kDelay + "10", kLeftDown, kDelay + "10", kLeftUp,
                              kDelay + "20", kMove + "70,70"}))
      << "the dropped moves' time goes on into the next delay";

  // With the limits, a move held back and then undone by a return to the
  // written point leaves nothing to write.
  w->Settings.MoveMinDistance = 20;
  view.memo.clear();
  StartRecording(2000);
  move(2010, 0, 0);
  move(2020, 5, 0);  // held back
  move(2030, 0, 0);  // back where the script has the pointer
  w->Recorder().OnMouseEvent(Mouse(0x201, 2040));
  EXPECT_EQ(view.memo, Lines({kDelay + "10", kMove + "0,0", kDelay + "30", kLeftDown}));
}

TEST_F(RecorderTest, StopFromTheNotificationMenuTakesBackTheClicksOnTheIconAndInTheMenu) {
  auto mouse = [&](uint32_t msg, uint32_t tick, int x = 0, int y = 0) {
    w->Recorder().OnMouseEvent(Mouse(msg, tick, x, y));
  };
  StartRecording(1000);
  mouse(0x200, 1010, 5, 5);
  mouse(0x204, 1020);  // a right click of the user's own, in another program
  mouse(0x205, 1030);
  mouse(0x200, 1100, 900, 700);  // to the icon: the pointer went there
  const std::string kept = view.memo;
  mouse(0x204, 1200);  // the click that opens the menu
  mouse(0x205, 1210);
  w->TrayMenuOpens();
  mouse(0x200, 1300, 880, 650);  // into the menu and onto 停止
  mouse(0x201, 1400);
  w->TrayStopClick();
  mouse(0x202, 1410);  // the release comes after the stop
  EXPECT_EQ(view.memo, kept);
  EXPECT_FALSE(w->Recorder().Recording());

  // A menu opened from the keyboard (the last press a key's): nothing is taken
  // back but what the stop itself leaves out.
  view.memo.clear();
  StartRecording(2000);
  mouse(0x204, 2010);
  mouse(0x205, 2020);
  w->OnKeyEvent(Key(0x100, 13, 2030));
  w->TrayMenuOpens();
  w->TrayStopClick();
  EXPECT_EQ(view.memo, Lines({kDelay + "10", "\xD3\xD2\xBC\xFC\xB0\xB4\xCF\xC2", kDelay + "10",
                              "\xD3\xD2\xBC\xFC\xCA\xCD\xB7\xC5", kDelay + "10",
                              kKeyDown + "13 30 0 4000000000 0"}));
}

TEST_F(RecorderTest, MergeCopiesTheUnsignedMaximumAcrossAWrap) {
  w->Recorder().Mouse().SetLastTime(0xFFFFFFF0u);  // before the tick counter wrapped
  w->Recorder().Keys().SetLastTime(5);
  w->Recorder().LastEventTime = 7;
  w->Recorder().SyncLastEventTime();
  EXPECT_EQ(w->Recorder().Keys().GetLastTime(), 0xFFFFFFF0u);
  EXPECT_EQ(w->Recorder().LastEventTime, 0xFFFFFFF0u);

  // A delay across the wrap is the small true value.
  StartRecording(0xFFFFFF00u);
  w->Recorder().OnMouseEvent(Mouse(0x201, 0x40u));
  EXPECT_EQ(view.memo, Lines({kDelay + "320", kLeftDown}));
}

TEST_F(RecorderTest, EventQueuedBeforeRecordCountsFromRecord) {
  StartRecording(2000);
  w->Recorder().OnMouseEvent(Mouse(0x201, 1990));
  EXPECT_EQ(view.memo, Lines({kDelay + "0", kLeftDown}));
}

TEST_F(RecorderTest, KeysAndSystemKeys) {
  StartRecording(100);
  w->OnKeyEvent(Key(0x100, 65, 200));
  w->OnKeyEvent(Key(0x101, 65, 290));
  w->OnKeyEvent(Key(0x104, 0x78, 300, Shortcut::kAlt));
  KeyHookEvent other = Key(0x102, 65, 310);  // not a key message that is recorded
  w->OnKeyEvent(other);
  EXPECT_EQ(view.memo, Lines({kDelay + "100", kKeyDown + "65 30 0 4000000000 0", kDelay + "90",
                              kKeyUp + "65 30 128 4000000000 0", kDelay + "10",
                              kSysKeyDown + "120 30 0 4000000000 0"}));
  EXPECT_EQ(view.status.count(1) + view.status.count(2), 0u) << "keys leave the action panels alone";
}

TEST_F(RecorderTest, HotKeyRules) {
  TKeyHook& k = w->Recorder().Keys();
  k.HotRecordKey = 120;           // F9
  k.HotStartKey = Shortcut::kCtrl | 121; // Ctrl+F10
  k.HotStopKey = 120;             // same as Record: Record wins
  k.HotKeysEnabled = true;
  EXPECT_EQ(w->OnKeyEvent(Key(0x100, 120, 1)), HotKeyCommand::Record);
  EXPECT_EQ(w->OnKeyEvent(Key(0x100, 120, 1, Shortcut::kCtrl)), HotKeyCommand::Record) << "a plain key ignores modifiers";
  EXPECT_EQ(w->OnKeyEvent(Key(0x101, 120, 1)), HotKeyCommand::None) << "releases never fire";
  EXPECT_EQ(w->OnKeyEvent(Key(0x105, 120, 1, Shortcut::kAlt)), HotKeyCommand::None) << "nor system key releases";
  EXPECT_EQ(w->OnKeyEvent(Key(0x104, 120, 1, Shortcut::kAlt)), HotKeyCommand::Record)
      << "a key pressed while Alt is down comes as a system key";
  EXPECT_EQ(w->OnKeyEvent(Key(0x100, 121, 1, Shortcut::kCtrl)), HotKeyCommand::Play);
  EXPECT_EQ(w->OnKeyEvent(Key(0x100, 121, 1, Shortcut::kCtrl | Shortcut::kShift)), HotKeyCommand::None) << "exactly those modifiers";
  EXPECT_EQ(w->OnKeyEvent(Key(0x100, 121, 1)), HotKeyCommand::None);

  k.HotStopKey = Shortcut::kAlt | 'S';
  k.HotRecordKey = 0;
  EXPECT_EQ(w->OnKeyEvent(Key(0x104, 'S', 1, Shortcut::kAlt)), HotKeyCommand::Stop) << "Alt combinations are system keys";
  KeyHookEvent notAction = Key(0x104, 'S', 1, Shortcut::kAlt);
  notAction.code = 1;
  EXPECT_EQ(w->OnKeyEvent(notAction), HotKeyCommand::None);
  k.HotKeysEnabled = false;
  EXPECT_EQ(w->OnKeyEvent(Key(0x104, 'S', 1, Shortcut::kAlt)), HotKeyCommand::None);
}

TEST_F(RecorderTest, StopHotKeyPressIsRecordedAndItsReleaseIsNot) {
  w->Settings.StopKey = 123;
  w->Settings.ShortCutControl = true;
  StartRecording(0);
  const HotKeyCommand c = w->OnKeyEvent(Key(0x100, 123, 40));
  EXPECT_EQ(c, HotKeyCommand::Stop);
  w->RunHotKey(c);
  w->OnKeyEvent(Key(0x101, 123, 90));
  EXPECT_EQ(view.memo, Lines({kDelay + "40", kKeyDown + "123 30 0 4000000000 0"}));
}

TEST_F(RecorderTest, RecordHotKeyPressIsNotRecordedButItsReleaseIs) {
  w->Settings.RecordKey = 119;
  w->Settings.ShortCutControl = true;
  PublishHotKeys();
  clock.now = 300;
  const HotKeyCommand c = w->OnKeyEvent(Key(0x100, 119, 300));
  w->RunHotKey(c);
  w->OnKeyEvent(Key(0x101, 119, 380));
  EXPECT_EQ(view.memo, Lines({kDelay + "80", kKeyUp + "119 30 128 4000000000 0"}));
}


// Key events as the hook thread hands them over: stamped by a modifier
// tracker that has seen every key go down and up before them.
class Keyboard {
 public:
  KeyHookEvent Down(uint32_t vk, bool injected = false) { return Event(Held() & Shortcut::kAlt ? 0x104 : 0x100, vk, injected); }
  KeyHookEvent Up(uint32_t vk, bool injected = false) { return Event(Held() & Shortcut::kAlt ? 0x105 : 0x101, vk, injected); }
  // As the system reports it: F10 and Alt itself come as system keys.
  KeyHookEvent Event(uint32_t message, uint32_t vk, bool injected) {
    KeyHookEvent e;
    e.message = message;
    e.vk = vk;
    e.flags = (injected ? 0x10u : 0u) | (message == 0x101 || message == 0x105 ? 0x80u : 0u);
    tracker_.Apply(e);
    return e;
  }
  uint16_t Held() const { return tracker_.Held(); }

 private:
  ModifierTracker tracker_;
};

constexpr uint32_t kLShift = 0xA0, kLCtrl = 0xA2, kRCtrl = 0xA3, kLAlt = 0xA4, kF10 = 121, kF11 = 122;

TEST_F(RecorderTest, PlainStopKeyFiresAsASystemKeyWhileTheScriptHoldsAlt) {
  w->Settings.StopKey = kF11;
  w->Settings.ShortCutControl = true;
  PublishHotKeys();
  Keyboard kb;
  // The player presses Alt and keeps it down: every key is a system key now.
  EXPECT_EQ(w->OnKeyEvent(kb.Event(0x104, kLAlt, /*injected=*/true)), HotKeyCommand::None);
  const KeyHookEvent stop = kb.Down(kF11);
  ASSERT_EQ(stop.message, 0x104u);
  EXPECT_EQ(w->OnKeyEvent(stop), HotKeyCommand::Stop);
  EXPECT_EQ(w->OnKeyEvent(kb.Up(kF11)), HotKeyCommand::None);
  // The user's own Alt too.
  EXPECT_EQ(w->OnKeyEvent(kb.Event(0x105, kLAlt, true)), HotKeyCommand::None);
  w->OnKeyEvent(kb.Event(0x104, kLAlt, false));
  EXPECT_EQ(w->OnKeyEvent(kb.Down(kF11)), HotKeyCommand::Stop);

  // F10 alone comes as a system key on Windows.
  w->Settings.StopKey = kF10;
  PublishHotKeys();
  Keyboard fresh;
  EXPECT_EQ(w->OnKeyEvent(fresh.Event(0x104, kF10, false)), HotKeyCommand::Stop);
  EXPECT_EQ(w->OnKeyEvent(fresh.Event(0x105, kF10, false)), HotKeyCommand::None);
}

TEST_F(RecorderTest, ThePlayersModifiersNeitherFakeNorBlockTheUsersHotKey) {
  w->Settings.StopKey = Shortcut::kCtrl | 'S';
  w->Settings.ShortCutControl = true;
  PublishHotKeys();
  Keyboard kb;
  // The script holds Ctrl; the user types S: not the user's Ctrl+S.
  w->OnKeyEvent(kb.Down(kLCtrl, true));
  EXPECT_EQ(w->OnKeyEvent(kb.Down('S')), HotKeyCommand::None);
  // An S the script presses with its own Ctrl down is its Ctrl+S (a script
  // that ends with the stop key stops itself).
  EXPECT_EQ(w->OnKeyEvent(kb.Down('S', true)), HotKeyCommand::Stop);
  // The user's own right Ctrl, while the script also holds Shift and Alt.
  w->OnKeyEvent(kb.Down(kLShift, true));
  w->OnKeyEvent(kb.Event(0x104, kLAlt, true));
  w->OnKeyEvent(kb.Down(kRCtrl));
  EXPECT_EQ(w->OnKeyEvent(kb.Down('S')), HotKeyCommand::Stop) << "held by the script, Shift and Alt do not block";
  EXPECT_EQ(w->OnKeyEvent(kb.Down('S', true)), HotKeyCommand::None) << "for the script, Ctrl+Shift+Alt+S";
  // The script lets go of Ctrl (its left one and, to the system, all of
  // Ctrl); the user's hand is still on the right one.
  w->OnKeyEvent(kb.Up(kLCtrl, true));
  w->OnKeyEvent(kb.Up(kRCtrl, true));
  EXPECT_EQ(w->OnKeyEvent(kb.Down('S')), HotKeyCommand::Stop);
  w->OnKeyEvent(kb.Up(kRCtrl));
  EXPECT_EQ(w->OnKeyEvent(kb.Down('S')), HotKeyCommand::None);
}

// What a run waiting for a key (等待按键) is told: the user's presses with
// the user's own modifiers; never a release, a repeat or a key of the player's.
TEST(UserKeyPresses, AreTheUsersNewPressesWithTheModifiersTheUserHolds) {
  Keyboard kb;
  UserKeyPresses presses;
  auto player = [&](KeyHookEvent e) {
    e.extraInfo = os::kPlayerInputTag;
    return e;
  };
  EXPECT_EQ(presses.OnEvent(kb.Down(kF11)), Shortcut(kF11));
  EXPECT_EQ(presses.OnEvent(kb.Down(kF11)), std::nullopt) << "held: a repeat";
  EXPECT_EQ(presses.OnEvent(kb.Up(kF11)), std::nullopt);
  EXPECT_EQ(presses.OnEvent(player(kb.Down(kF11, true))), std::nullopt);
  EXPECT_EQ(presses.OnEvent(player(kb.Up(kF11, true))), std::nullopt);
  // The script holds Ctrl: the user's F11 is a plain F11.
  presses.OnEvent(player(kb.Down(kLCtrl, true)));
  EXPECT_EQ(presses.OnEvent(kb.Down(kF11)), Shortcut(kF11));
  presses.OnEvent(kb.Up(kF11));
  presses.OnEvent(player(kb.Up(kLCtrl, true)));
  // Another program's injected key (an on-screen keyboard, say) is a press
  // the player did not make: it counts, with the modifiers held by anyone.
  presses.OnEvent(kb.Down(kLShift, true));
  EXPECT_EQ(presses.OnEvent(kb.Down('S', true)), Shortcut('S' | Shortcut::kShift));
}

}  // namespace
}  // namespace tesmuro
