// Play, Pause, Stop of a player and the start-up auto play, through the fake
// view and a player on a virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <future>
#include <functional>
#include <stdexcept>
#include <thread>

#include "../play/player_fakes.h"
#include "app/main_window.h"
#include "app/texts.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

class PlayCommandsTest : public test::MainWindowFixture {
 protected:
  PlayCommandsTest() {
    settings = ConstructionSettings();
    dir.Write("click.crec", play::test::Gbk("延迟 10\r\n左键按下\r\n延迟 10\r\n左键释放\r\n"));
  }
  TFrmMain& Window() {
    if (!w) {
      dir.Write("Quorlin.qlset", settingsFile.empty() ? FormatSettings(settings) : settingsFile);
      MainWindowServices s = Services();
      s.newPlayer = [this] {
        ++made;
        if (makePlayer) return makePlayer();
        auto c = std::make_unique<play::test::FakePlayClock>();
        return std::make_unique<play::TRunThread>(sink, shutdown, std::move(c));
      };
      s.newScratchFile = [this] { return noScratchFile ? nullptr : std::tmpfile(); };
      w = std::make_unique<TFrmMain>(s);
    }
    return *w;
  }
  int Clicks() const {
    int n = 0;
    for (auto& c : sink.calls) n += c.rfind("left down", 0) == 0;
    return n;
  }

  TSettings settings;
  std::string settingsFile;  // when set, the settings file's bytes instead of `settings`
  std::function<std::unique_ptr<play::TRunThread>()> makePlayer;  // when set, makes the players
  bool noScratchFile = false;  // no temporary file can be made for the box's text
  play::test::RecordingSink sink;
  play::test::FakeShutdown shutdown;
  int made = 0;
  std::unique_ptr<TFrmMain> w;
};

TEST_F(PlayCommandsTest, CancelledPlayChangesNothing) {
  TFrmMain& m = Window();
  m.SBRecordClick();
  log.calls.clear();
  m.SBProcClick();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"dialog:2"}));
  EXPECT_TRUE(m.Recorder().Mouse().Recording());
  EXPECT_EQ(m.Playback().Player(), nullptr);
}

TEST_F(PlayCommandsTest, PlayHandsTheSettingsToANewPlayerAndStartsIt) {
  settings.LoopByCount = true;
  settings.LoopCount = 3;
  settings.LoopByTime = true;  // the count mode comes first
  settings.ShutAfterElapsed = true;
  settings.ShutHours = 1;
  settings.ShutMinutes = 2;
  settings.ShutSeconds = 3;
  settings.PostJoy = true;
  settings.StopKey = 77;
  TFrmMain& m = Window();
  m.SBRecordClick();
  m.Recorder().JoyRecording = true;
  log.calls.clear();
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  ASSERT_NE(m.Playback().Player(), nullptr);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"dialog:2", "beep:800:100"}));
  EXPECT_FALSE(m.Recorder().Mouse().Recording());
  EXPECT_FALSE(m.Recorder().Keys().Recording());
  EXPECT_FALSE(m.Recorder().JoyRecording);
  EXPECT_EQ(m.Recorder().Keys().HotStopKey, 77);
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("click.crec"));
  EXPECT_TRUE(m.Document().FileName.empty()) << "Play does not change the script's name";
  EXPECT_EQ(m.Playback().Player()->Options().loopMode, play::LoopMode::Count);
  EXPECT_EQ(m.Playback().Player()->Options().loopCount, 3);
  EXPECT_EQ(m.Playback().Player()->Options().shutTotalSeconds, 3723);
  EXPECT_TRUE(m.Playback().Player()->Options().shutAfterElapsed);
  EXPECT_TRUE(m.Playback().Player()->Options().controller.broadcast);
  EXPECT_FALSE(m.Playback().Player()->Options().controller.hardwareInput);
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 3);
  EXPECT_EQ(shutdown.Exits(), 0) << "the run ended before the shutdown time";
}

// The settings file's lines, in order; every other line 0 and no file name.
std::string SettingsLines(std::map<int, std::string> lines) {
  std::string bytes;
  for (int n = 1; n <= 26; ++n) bytes += (lines.count(n) ? lines[n] : n == 21 ? "" : "0") + "\r\n";
  return bytes;
}

TEST_F(PlayCommandsTest, HugeOrNegativeShutdownTimesFromTheFileNeverShutDown) {
  // Line 5 LoopByCount, 7 LoopCount, 16 ShutAfterElapsed, 18-20 ShutHours, ShutMinutes, ShutSeconds.
  // 600000 hours overflowed 32 bits into a negative time that had passed at the first word;
  // 99999999999 keeps its low 32 bits, 1215752191.
  const struct { const char *h, *m, *s; int64_t total; } cases[] = {
      {"600000", "0", "0", int64_t{2160000000}},
      {"2147483647", "2147483647", "2147483647", int64_t{2147483647} * 3661},
      {"99999999999", "0", "0", int64_t{1215752191} * 3600},
      {"-600000", "0", "0", int64_t{-2160000000}},
      {"-2147483648", "-2147483648", "-2147483648", int64_t{-2147483648} * 3661},
      {"0", "0", "0", 0},
  };
  for (const auto& c : cases) {
    settingsFile = SettingsLines({{5, "1"}, {7, "3"}, {16, "1"}, {18, c.h}, {19, c.m}, {20, c.s}});
    w.reset();
    sink.calls.clear();
    TFrmMain& m = Window();
    EXPECT_TRUE(view.boxes.empty());
    view.dialogAnswers = {dir.File("click.crec")};
    m.SBProcClick();
    ASSERT_NE(m.Playback().Player(), nullptr);
    EXPECT_EQ(m.Playback().Player()->Options().shutTotalSeconds, c.total) << c.h;
    m.Playback().Player()->WaitFor();
    EXPECT_EQ(Clicks(), 3) << c.h;
    EXPECT_EQ(shutdown.Exits(), 0) << c.h;
  }
}

TEST_F(PlayCommandsTest, TimedLoopTotalsFromTheFileAreSixtyFourBit) {
  // Line 6 LoopByTime, 8-10 LoopHours, LoopMinutes, LoopSeconds.
  settingsFile = SettingsLines({{6, "1"}, {8, "-2147483648"}, {9, "-2147483648"}, {10, "-1"}});
  TFrmMain& m = Window();
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  EXPECT_EQ(m.Playback().Player()->Options().loopMode, play::LoopMode::Timed);
  EXPECT_EQ(m.Playback().Player()->Options().loopTotalSeconds, int64_t{-2147483648} * 3660 - 1);
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 1) << "a time of no length plays one pass";

  m.Settings.LoopHours = 600000;  // not a negative 32-bit total
  m.Settings.LoopMinutes = m.Settings.LoopSeconds = 0;
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  EXPECT_EQ(m.Playback().Player()->Options().loopTotalSeconds, 2160000000);
  m.SBStopClick();
  EXPECT_EQ(shutdown.Exits(), 0);
}

TEST_F(PlayCommandsTest, TheTimedModeComesBeforeUntilStoppedAndPlaysForItsTime) {
  settings.LoopByTime = true;
  settings.LoopUntilKey = true;
  settings.LoopHours = settings.LoopMinutes = 0;
  settings.LoopSeconds = 1;
  TFrmMain& m = Window();
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 50) << "a pass of 20 ms, for one second";
  EXPECT_EQ(m.Playback().Outcome(), play::RunOutcome::Played);
}

TEST_F(PlayCommandsTest, PlayOverARunningPlayerEndsTheFirstBeforeTheSecondStarts) {
  dir.Write("wait.crec", play::test::Gbk("延迟 60000\r\n左键按下\r\n"));
  settings.LoopUntilKey = true;
  settings.ShutAfterLoops = true;
  TFrmMain& m = Window();
  view.dialogAnswers = {dir.File("wait.crec")};
  m.SBProcClick();
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  EXPECT_EQ(made, 2);
  m.SBStopClick();
  EXPECT_EQ(m.Playback().Player(), nullptr);
  EXPECT_EQ(shutdown.Exits(), 0) << "neither replacing nor stopping a player shuts down";
}

TEST_F(PlayCommandsTest, StopPlayOverAndCloseDoNotWaitForAStuckPlayer) {
  // Every player's sink hangs in its second call, as an injection held up by
  // another program would, until its gate opens.
  struct Stuck {
    play::test::Gate gate;
    std::shared_ptr<play::test::RecordingSink> sink = std::make_shared<play::test::RecordingSink>();
    std::shared_ptr<play::test::FakeShutdown> sys = std::make_shared<play::test::FakeShutdown>();
    std::shared_future<void> ended;
  };
  std::vector<std::unique_ptr<Stuck>> players;
  makePlayer = [&] {
    Stuck& p = *players.emplace_back(std::make_unique<Stuck>());
    p.sink->onCall = [&p] { if (p.sink->calls.size() == 2) p.gate.Block(); };
    auto t = std::make_unique<play::TRunThread>(p.sink, p.sys, std::make_unique<play::SteadyPlayClock>());
    t->StopWait = std::chrono::milliseconds(10);
    p.ended = t->Ended();
    return t;
  };
  dir.Write("hold.crec", play::test::Gbk("按键按下 17 0 0 0 0\r\n移动 1,1\r\n延迟 10\r\n按键弹起 17 0 0 0 0\r\n"));
  settings.LoopUntilKey = true;
  settings.ShutAfterLoops = true;
  TFrmMain& m = Window();
  auto play = [&] {
    view.dialogAnswers = {dir.File("hold.crec")};
    m.SBProcClick();
    players.back()->gate.AwaitBlocked();
  };

  play();
  m.SBStopClick();  // Stop
  EXPECT_EQ(m.Playback().Player(), nullptr);
  play();
  play();  // Play over a run
  ASSERT_NE(m.Playback().Player(), nullptr);
  m.FormClose();  // Close
  EXPECT_EQ(m.Playback().Player(), nullptr);
  EXPECT_EQ(log.Count("beep:1000:100"), 1) << "Stop went on to its beep";

  ASSERT_EQ(players.size(), 3u);
  for (auto& p : players) {
    EXPECT_TRUE(p->gate.Holding()) << "a command waited for a stuck player";
    p->gate.Open();
  }
  // Each ends on its own once its call returns, letting go of the key it held,
  // as after the user's stop.
  for (auto& p : players) {
    p->ended.wait();
    EXPECT_EQ(p->sink->calls, (std::vector<std::string>{"key 17 0 down", "cursor 1,1", "key 17 0 up"}));
    EXPECT_EQ(p->sys->Exits(), 0);
  }
}

TEST_F(PlayCommandsTest, UnreadableScriptLeavesTheRunningPlayerAlone) {
  settings.LoopUntilKey = true;
  TFrmMain& m = Window();
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  play::TRunThread* first = m.Playback().Player();
  view.dialogAnswers = {dir.File("missing.crec")};
  m.SBProcClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "不能打开动作记录文件！");
  EXPECT_EQ(view.boxes[0].caption, "系统提示");
  EXPECT_EQ(view.boxes[0].style, kMbOk | kMbIconError);
  EXPECT_EQ(m.Playback().Player(), first);
  EXPECT_TRUE(m.Recorder().Keys().Installed()) << "the hook was installed before the file was tried";
}

TEST_F(PlayCommandsTest, PauseTogglesAndDoesNothingWithoutAPlayer) {
  TFrmMain& m = Window();
  log.calls.clear();
  m.SBPauseClick();
  EXPECT_TRUE(log.calls.empty());
  settings.LoopUntilKey = true;
  m.Settings.LoopUntilKey = true;
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  m.SBPauseClick();
  EXPECT_TRUE(m.Playback().Player()->Suspended());
  m.SBPauseClick();
  EXPECT_FALSE(m.Playback().Player()->Suspended());
  m.SBPauseClick();
  m.SBStopClick();  // a stop while paused ends the run
  EXPECT_EQ(m.Playback().Player(), nullptr);
}

TEST_F(PlayCommandsTest, StartUpAutoPlayRunsOnEveryShowingWithoutShutdown) {
  settings.AutoPlay = true;
  settings.AutoFileName = dir.File("click.crec");
  settings.ShutAfterLoops = true;
  settings.ShutAfterElapsed = true;
  TFrmMain& m = Window();
  m.FormShow();
  ASSERT_NE(m.Playback().Player(), nullptr);
  EXPECT_FALSE(m.Playback().Player()->Options().shutAfterLoops);
  EXPECT_FALSE(m.Playback().Player()->Options().shutAfterElapsed);
  EXPECT_EQ(view.caption, "Tesmuro");
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 1);
  // Back from the mini window, where a recording was started: the file plays
  // again; only the mouse recorder stops for it.
  m.SBRecordClick();
  m.FormShow();
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 2);
  EXPECT_FALSE(m.Recorder().Mouse().Recording());
  EXPECT_TRUE(m.Recorder().Keys().Recording());
  EXPECT_EQ(shutdown.Exits(), 0);
  EXPECT_EQ(log.Count("beep:800:100"), 2);

  m.Settings.AutoFileName = dir.File("gone.crec");
  m.FormShow();
  EXPECT_EQ(view.boxes.back().text, "不能打开动作记录文件！");
}

TEST_F(PlayCommandsTest, ClosingTheWindowEndsThePlayer) {
  dir.Write("wait.crec", play::test::Gbk("延迟 60000\r\n左键按下\r\n"));
  settings.LoopUntilKey = true;  // runs until something stops it
  settings.ShutAfterLoops = true;
  TFrmMain& m = Window();
  view.dialogAnswers = {dir.File("wait.crec")};
  m.SBProcClick();
  m.FormClose();
  EXPECT_EQ(m.Playback().Player(), nullptr);
  EXPECT_EQ(shutdown.Exits(), 0) << "closing the program does not shut the computer down";
}

}  // namespace
}  // namespace tesmuro

namespace tesmuro {
namespace {

// 播放当前动作记录 and the played line.

bool Logged(const std::vector<std::string>& calls, const std::string& what) {
  return std::find(calls.begin(), calls.end(), what) != calls.end();
}

TEST_F(PlayCommandsTest, PlayingTheBoxPlaysItsTextAsItStandsWithoutAskingOrSaving) {
  settings.LoopByCount = true;
  settings.LoopCount = 2;
  TFrmMain& m = Window();
  view.memo = play::test::Gbk("延迟 10\r\n左键按下\r\n延迟 10\r\n左键释放");  // typed, no last line end
  m.Document().ChangedByUser();
  m.SBRecordClick();
  log.calls.clear();
  m.MnuPlayMemoClick();
  ASSERT_NE(m.Playback().Player(), nullptr);
  EXPECT_TRUE(Logged(log.calls, "follow"));
  EXPECT_TRUE(Logged(log.calls, "beep:800:100"));
  EXPECT_FALSE(Logged(log.calls, "dialog:2")) << "no file dialog";
  EXPECT_FALSE(m.Recorder().Mouse().Recording());
  EXPECT_EQ(m.Playback().Player()->Options().loopCount, 2);
  EXPECT_TRUE(m.Document().FileName.empty());
  EXPECT_EQ(view.caption, "Tesmuro");
  EXPECT_TRUE(m.Document().Modified()) << "nothing was saved";
  // Edits after the start change nothing of the run.
  view.memo = play::test::Gbk("延迟 10\r\n");
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 2);
  EXPECT_FALSE(m.Playback().BoxLineOffset()) << "the run is over";
}

TEST_F(PlayCommandsTest, AnEmptyBoxOrNoTemporaryFileIsSaidAndStartsNothing) {
  TFrmMain& m = Window();
  m.MnuPlayMemoClick();
  EXPECT_EQ(m.Playback().Player(), nullptr);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, text::kNothingToPlay);
  view.memo = play::test::Gbk("左键按下\r\n");
  noScratchFile = true;
  EXPECT_THROW(m.MnuPlayMemoClick(), std::runtime_error);
  EXPECT_EQ(m.Playback().Player(), nullptr);
}

TEST_F(PlayCommandsTest, ThePlayKeyPlaysTheBoxWhenTheSettingSaysSo) {
  settings.PlayKeyPlaysMemo = true;
  TFrmMain& m = Window();
  view.memo = play::test::Gbk("左键按下\r\n左键释放\r\n");
  log.calls.clear();
  m.RunHotKey(HotKeyCommand::Play);
  ASSERT_NE(m.Playback().Player(), nullptr);
  EXPECT_TRUE(Logged(log.calls, "follow"));
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 1);

  settings.PlayKeyPlaysMemo = false;
  w.reset();
  TFrmMain& n = Window();
  log.calls.clear();
  n.RunHotKey(HotKeyCommand::Play);
  EXPECT_TRUE(Logged(log.calls, "dialog:2")) << "Play keeps its dialog by default";
  EXPECT_FALSE(Logged(log.calls, "follow"));
}

TEST_F(PlayCommandsTest, PlayOfTheBoxsOwnFileFollowsTheRunOnlyWhileTheBoxHoldsThatFile) {
  // A long delay keeps the run on its first line.
  dir.Write("long.crec", play::test::Gbk("延迟 100000\r\n左键按下\r\n"));
  dir.Write("lf.crec", play::test::Gbk("延迟 100000\n左键按下\n"));
  auto playAfter = [&](const char* load, const char* play, bool edit) {
    w.reset();
    TFrmMain& m = Window();
    view.dialogAnswers = {dir.File(load)};
    m.SBLoadClick();
    if (edit) m.Document().ChangedByUser();
    log.calls.clear();
    view.dialogAnswers = {dir.File(play)};
    m.SBProcClick();
    const bool followed = Logged(log.calls, "follow");
    m.SBStopClick();
    return followed;
  };
  EXPECT_TRUE(playAfter("long.crec", "long.crec", false));
  EXPECT_FALSE(playAfter("long.crec", "long.crec", true)) << "changed since it was loaded";
  EXPECT_FALSE(playAfter("long.crec", "click.crec", false)) << "another file";
  EXPECT_FALSE(playAfter("lf.crec", "lf.crec", false)) << "the box's line breaks differ from the file's";
}

TEST_F(PlayCommandsTest, TheOffsetNamesTheLineBeingPlayed) {
  // Looked at from inside the run, 50 ms into the delay on the second line
  // (which starts at byte 10).
  std::optional<int64_t> seen;
  makePlayer = [&] {
    auto c = std::make_unique<play::test::FakePlayClock>();
    c->At(50000, [&] { seen = w->Playback().BoxLineOffset(); });
    return std::make_unique<play::TRunThread>(sink, shutdown, std::move(c));
  };
  TFrmMain& m = Window();
  view.memo = play::test::Gbk("左键按下\r\n延迟 100000\r\n左键释放\r\n");
  m.MnuPlayMemoClick();
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(seen, std::optional<int64_t>(10));
  EXPECT_FALSE(m.Playback().BoxLineOffset()) << "the run is over";
}

TEST_F(PlayCommandsTest, TheBoxsRunsPauseAtItsBreakpointsAndPlayFromTheCaretOrTheSelection) {
  TFrmMain& m = Window();
  // Two clicks; a breakpoint on the second press (line 4, bytes 29..39).
  view.memo = play::test::Gbk("左键按下\r\n左键释放\r\n延迟 10\r\n左键按下\r\n左键释放\r\n");
  view.breakpoints = {{29, 39, 4}};
  m.MnuPlayOrContinueClick();
  ASSERT_NE(m.Playback().Player(), nullptr);
  EXPECT_TRUE(m.Playback().Player()->Options().debuggable);
  EXPECT_EQ(m.Playback().Player()->Options().breakpoints, view.breakpoints);
  for (int i = 0; i < 5000 && !m.Playback().Paused(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(m.Playback().Paused());
  m.Tick();
  EXPECT_EQ(view.status[3], "断点：第 4 行");
  EXPECT_EQ(Clicks(), 1);
  // F5 goes on with the same run; the panel gives the stop hint back.
  m.MnuPlayOrContinueClick();
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(made, 1);
  EXPECT_EQ(Clicks(), 2);
  // From the caret's line (the second press) on, and the selection (the first click's lines).
  view.breakpoints.clear();
  view.caretLines = {29, -1, 4};
  m.MnuPlayFromHereClick(false);
  EXPECT_EQ(m.Playback().Player()->Options().part, view.caretLines);
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 3);
  view.selectedLines = {0, 20, 1};
  m.MnuPlayFromHereClick(true);
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 4);
  EXPECT_EQ(sink.calls.back(), "left up");
  // An empty selection at the end of the text plays nothing.
  view.selectedLines = {49, 49, 6};
  m.MnuPlayFromHereClick(true);
  EXPECT_EQ(view.boxes.back().text, text::kNothingToPlay);
  // Stopped while paused: the panel neither keeps the pause nor brings the run's hint back.
  view.breakpoints = {{29, 39, 4}};
  m.MnuPlayOrContinueClick();
  for (int i = 0; i < 5000 && !m.Playback().Paused(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  m.Tick();
  EXPECT_EQ(view.status[3], "断点：第 4 行");
  m.SBStopClick();
  m.Tick();
  EXPECT_NE(view.status[3], "断点：第 4 行");
  EXPECT_NE(view.status[3], text::kEmergencyStopHint);
  // A file played that the box does not show stops at no breakpoint.
  view.breakpoints = {{0, 10, 1}};
  view.dialogAnswers = {dir.File("click.crec")};
  m.SBProcClick();
  EXPECT_FALSE(m.Playback().Player()->Options().debuggable);
  EXPECT_TRUE(m.Playback().Player()->Options().breakpoints.empty());
}

TEST_F(PlayCommandsTest, TheBoxsKeysGiveWayToAHotKeyOrScriptKeyBoundToTheSameKey) {
  constexpr uint16_t kF5 = 0x74, kCtrl = Shortcut::kCtrl;
  settings.StartKey = kF5;
  settings.StopKey = kCtrl | 0x79;  // Ctrl+F10
  settings.ShortCutControl = true;
  TFrmMain& m = Window();
  m.FormShow();
  EXPECT_TRUE(m.HotKeyTakes(kF5));
  EXPECT_TRUE(m.HotKeyTakes(kCtrl | kF5)) << "a key stored alone fires with any modifiers";
  EXPECT_TRUE(m.HotKeyTakes(kCtrl | 0x79));
  EXPECT_FALSE(m.HotKeyTakes(0x79)) << "Ctrl+F10 is not F10";
  EXPECT_FALSE(m.HotKeyTakes(0x78));
  m.Recorder().Keys().HotKeysEnabled = false;  // 快捷键控制 off: the hot keys fire no more
  EXPECT_FALSE(m.HotKeyTakes(kF5));
  // A script key is served whatever the switch says.
  dir.Write("Quorlin.qlkeys", "F9\t1\tclick.crec\n");
  w.reset();
  TFrmMain& n = Window();
  n.FormShow();
  EXPECT_TRUE(n.HotKeyTakes(0x78));
}

}  // namespace
}  // namespace tesmuro
