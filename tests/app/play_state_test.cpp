// The first panel and the mini window follow recording and playback; the
// command line opens or plays a file and ends an unattended run with its code.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/main_window.h"
#include "forms/main_form.h"
#include "play/player_fakes.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

// A main window whose players run on a virtual clock and a recording sink.
class CommandLineRunTest : public test::MainWindowFixture {
 protected:
  CommandLineRunTest() {
    dir.Write("Quorlin.qlset", FormatSettings(settings));
    dir.Write("two.crec", play::test::Gbk("延迟 10 移动 1,1\r\n"));
  }
  TFrmMain& Window() {
    if (!w) {
      dir.Write("Quorlin.qlset", FormatSettings(settings));
      MainWindowServices s = Services();
      s.newPlayer = [this] {
        auto c = std::make_unique<play::test::FakePlayClock>();
        clocks.push_back(c.get());
        sink.clock = c.get();
        if (prepare) prepare(*c);
        return std::make_unique<play::TRunThread>(sink, sys, std::move(c));
      };
      w = std::make_unique<TFrmMain>(s);
    }
    return *w;
  }
  TSettings settings = ConstructionSettings();
  play::test::RecordingSink sink;
  play::test::FakeShutdown sys;
  std::vector<play::test::FakePlayClock*> clocks;
  std::function<void(play::test::FakePlayClock&)> prepare;  // before the player starts
  std::unique_ptr<TFrmMain> w;
};

TEST_F(CommandLineRunTest, AFileIsOpenedAsLoadDoes) {
  dir.Write("open.crec", "x\ry\n");
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({dir.File("open.crec")}));
  m.FormShow();
  EXPECT_EQ(view.memo, "x\r\ny\r\n");
  EXPECT_EQ(m.Document().FileName, dir.File("open.crec"));
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("open.crec"));
  EXPECT_EQ(m.Playback().Player(), nullptr);
  m.FormShow();  // back from the mini window: carried out once
  EXPECT_EQ(log.Count("close"), 0);
}

TEST_F(CommandLineRunTest, PlayWithLoopsAndSpeedTakesThePlaceOfTheAutoPlayAndEndsWithCode0) {
  settings.AutoPlay = true;
  settings.AutoFileName = dir.File("two.crec");
  settings.LoopUntilKey = true;
  settings.SpeedPercent = 50;
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec"), "/loops", "3", "/speed", "2", "/exit"}));
  m.FormShow();
  ASSERT_NE(m.Playback().Player(), nullptr);
  ASSERT_EQ(clocks.size(), 1u) << "no auto play besides";
  m.Playback().Player()->WaitFor();
  EXPECT_EQ(sink.TimesOf("cursor"), (std::vector<int64_t>{5000, 10000, 15000})) << "three passes at twice the pace";
  EXPECT_EQ(log.Count("close"), 0);
  m.Tick();
  EXPECT_EQ(view.exitCode, kExitPlayed);
  EXPECT_EQ(log.Count("close"), 1);
  EXPECT_EQ(dir.Read("Quorlin.qlset"), FormatSettings(settings)) << "switches are not stored";
}

TEST_F(CommandLineRunTest, ForPlaysTheTimedModeForThatLong) {
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec"), "/for", "1:00:00"}));
  m.FormShow();
  ASSERT_NE(m.Playback().Player(), nullptr);
  const std::string& state = view.status[0];
  EXPECT_TRUE(state == "播放 剩 1:00:00" || state.starts_with("播放 剩 0:59:")) << state;
  m.SBStopClick();
}

TEST_F(CommandLineRunTest, AStopOrACloseEndsWithCode1) {
  settings.LoopUntilKey = true;
  for (bool byClose : {false, true}) {
    w.reset();
    log.calls.clear();
    view.exitCode = -1;
    TFrmMain& m = Window();
    m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec"), "/exit"}));
    m.FormShow();
    ASSERT_NE(m.Playback().Player(), nullptr);
    // On the virtual clock the run may be a few passes on already.
    EXPECT_TRUE(view.status[0].starts_with("播放 第") && view.status[0].ends_with("遍")) << view.status[0];
    EXPECT_EQ(view.miniState, view.status[0]);
    if (byClose)
      m.FormClose();
    else
      m.SBStopClick();
    EXPECT_EQ(view.exitCode, kExitStopped) << byClose;
    if (!byClose) EXPECT_EQ(view.status[0], "就绪");
  }
}

TEST_F(CommandLineRunTest, ErrorsEndAnUnattendedRunWithCode2AndNoBox) {
  dir.Write("bad.crec", play::test::Gbk("移动 1,1 鼠标滚轮 x 0 0\r\n"));
  const std::vector<std::vector<std::string>> cases = {
      {"/play", dir.File("missing.crec"), "/exit"},
      {"/play", dir.File("two.crec"), "/loops", "0", "/exit"},
      {"/play", dir.File("bad.crec"), "/exit"},
  };
  for (const auto& args : cases) {
    w.reset();
    view.boxes.clear();
    view.exitCode = -1;
    TFrmMain& m = Window();
    m.SetCommandLine(ParseCommandLine(args));
    m.FormShow();
    if (m.Playback().Player()) {
      m.Playback().Player()->WaitFor();
      m.Tick();
    }
    EXPECT_EQ(view.exitCode, kExitError) << args[1];
    EXPECT_TRUE(view.boxes.empty()) << args[1];
  }
}

TEST_F(CommandLineRunTest, APlayForAUserShowsTheScriptFollowsItsLinesAndSaveWritesOnlyAnEdit) {
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec")}));
  m.FormShow();
  ASSERT_NE(m.Playback().Player(), nullptr);
  EXPECT_EQ(view.memo, play::test::Gbk("延迟 10 移动 1,1\r\n"));
  EXPECT_EQ(m.Document().FileName, dir.File("two.crec"));
  EXPECT_EQ(log.Count("follow"), 1) << "the played line is marked";
  EXPECT_FALSE(m.Document().Modified());
  m.Playback().Player()->WaitFor();
  m.Tick();
  // Save of the box as loaded leaves the file alone; an edit saved reaches it.
  dir.Write("two.crec", "changed on disk\r\n");
  m.SBSaveClick();
  EXPECT_EQ(dir.Read("two.crec"), "changed on disk\r\n");
  view.memo = "延迟 20\r\n";
  m.TextChangedByUser();
  m.SBSaveClick();
  EXPECT_EQ(dir.Read("two.crec"), "延迟 20\r\n");

  // An unattended run leaves the box alone.
  w.reset();
  view.memo.clear();
  log.calls.clear();
  TFrmMain& u = Window();
  u.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec"), "/exit"}));
  u.FormShow();
  EXPECT_EQ(view.memo, "");
  EXPECT_EQ(log.Count("follow"), 0);
  u.Playback().Player()->WaitFor();
}

// A wait shows in the last panel while it goes on, changing at most four
// times a second; then the panel shows what it did before, or why the run stopped.
TEST_F(CommandLineRunTest, AWaitInProgressShowsInTheLastPanel) {
  constexpr int64_t kMs = 1000;
  dir.Write("wait.crec", play::test::Gbk("\r\n等待颜色 1,1 FF0000 0 10\r\n"));
  play::test::FakeDesktop desktop;
  desktop.pixel = [](int32_t, int32_t) -> std::optional<uint32_t> { return 0; };
  sink.desktop = &desktop;
  play::test::Gate at3, at5;
  prepare = [&](play::test::FakePlayClock& c) {
    c.At(3200 * kMs, [&] { at3.Block(); });
    c.At(5200 * kMs, [&] { at5.Block(); });
  };
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("wait.crec")}));
  m.FormShow();
  EXPECT_EQ(view.status[3], "按 Pause 键可紧急停止");
  at3.AwaitBlocked();
  clock.now += 1000;
  m.Tick();
  EXPECT_EQ(view.status[3], "第 2 行：等待颜色 FF0000… 3/10 秒");
  at3.Open();
  at5.AwaitBlocked();
  clock.now += 100;
  m.Tick();
  EXPECT_EQ(view.status[3], "第 2 行：等待颜色 FF0000… 3/10 秒") << "a tenth of a second later: not yet";
  clock.now += 150;
  m.Tick();
  EXPECT_EQ(view.status[3], "第 2 行：等待颜色 FF0000… 5/10 秒");
  at5.Open();
  m.Playback().Player()->WaitFor();
  m.Tick();
  EXPECT_EQ(view.status[3], "第 2 行：等待颜色 FF0000 超过 10 秒，回放已停止");
  sink.desktop = nullptr;
}

// 精简移动's result stays in the last panel until the text changes again
// (an undo included), then what the panel held comes back.
TEST_F(CommandLineRunTest, AnEditsResultGoesWithTheNextChange) {
  TFrmMain& m = Window();
  m.ShowEditResult("删除了 3 行，剩 5 行");
  EXPECT_EQ(view.status[3], "删除了 3 行，剩 5 行");
  m.ShowEditResult("删除了 0 行，剩 5 行");
  m.TextChangedByUser();
  EXPECT_EQ(view.status[3], forms::main::kPanels[3].text);
  EXPECT_TRUE(m.Document().Modified());
  view.status[3] = "untouched";
  m.TextChangedByUser();
  EXPECT_EQ(view.status[3], "untouched") << "nothing to clear";
}

TEST_F(CommandLineRunTest, WithoutExitAnErrorIsShownAndTheProgramGoesOn) {
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec"), "/speed", "200"}));
  m.FormShow();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "/speed 的速度必须是 0.1 到 100 之间的数：200");
  EXPECT_EQ(m.Playback().Player(), nullptr);
  EXPECT_EQ(view.exitCode, -1);
}

TEST_F(CommandLineRunTest, PauseAndRecordingShowInTheFirstPanel) {
  settings.LoopByCount = true;
  settings.LoopCount = 4;
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec")}));
  m.FormShow();
  m.SBPauseClick();
  if (!m.Playback().Player()->Finished())  // on the virtual clock four passes take no time at all
    EXPECT_TRUE(view.status[0].starts_with("暂停 ") && view.status[0].ends_with("/4")) << view.status[0];
  m.SBStopClick();
  EXPECT_EQ(view.status[0], "就绪");
  EXPECT_EQ(view.miniState, "");
  m.SBRecordClick();
  EXPECT_EQ(view.status[0], "录制中");
}

TEST_F(CommandLineRunTest, GameAndScaleSwitchesHoldForThisRunOnly) {
  dir.Write("screen.crec", play::test::Gbk("屏幕 0,0,640,512,96\r\n延迟 10\r\n移动 320,256\r\n按键按下 87 17 0 0 0\r\n"));
  sink.screen = {0, 0, 1280, 1024, 96};
  for (bool switches : {false, true}) {
    w.reset();
    sink.calls.clear();
    view.status.clear();
    TFrmMain& m = Window();
    std::vector<std::string> args = {"/play", dir.File("screen.crec")};
    if (switches) args.insert(args.end(), {"/game", "/scale"});
    m.SetCommandLine(ParseCommandLine(args));
    m.FormShow();
    ASSERT_NE(m.Playback().Player(), nullptr);
    m.Playback().Player()->WaitFor();
    m.Tick();
    if (switches) {
      EXPECT_EQ(sink.calls, (std::vector<std::string>{"cursor 640,512", "key 87 17 down scan-only", "key 87 17 up scan-only"}));
      EXPECT_EQ(view.status[2], "") << "mapped: nothing to tell";
    } else {
      EXPECT_EQ(sink.calls, (std::vector<std::string>{"cursor 320,256", "key 87 17 down", "key 87 17 up"}));
      EXPECT_EQ(view.status[2], "录制时屏幕 640x512，现在 1280x1024，坐标未换算");
    }
  }
  EXPECT_EQ(dir.Read("Quorlin.qlset"), FormatSettings(settings)) << "switches are not stored";
}

TEST_F(CommandLineRunTest, InputDroppedByAnElevatedWindowIsToldAndEndsAnUnattendedRunWithCode3) {
  settings.LoopUntilKey = true;
  std::atomic<bool> elevated{false};
  // The player runs on its own thread, through virtual time.
  auto WaitUntil = [](const std::function<bool()>& done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(done());
  };
  sink.foreground = [&] { return uint64_t{elevated ? 2u : 1u}; };
  sink.refuses = [&] { return elevated.load(); };
  // Attended: the status bar says so while it lasts; the run goes on.
  TFrmMain& m = Window();
  m.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec")}));
  m.FormShow();
  ASSERT_NE(m.Playback().Player(), nullptr);
  elevated = true;
  WaitUntil([&] { return m.Playback().Player()->InputBlocked(); });
  m.Tick();
  EXPECT_EQ(view.status[2], "目标窗口以管理员身份运行，回放的输入被系统拦截");
  elevated = false;
  WaitUntil([&] { return !m.Playback().Player()->InputBlocked(); });
  m.Tick();
  EXPECT_EQ(view.status[2], "");
  m.SBStopClick();

  // Unattended: the run ends with its own exit code.
  elevated = true;
  w.reset();
  TFrmMain& u = Window();
  u.SetCommandLine(ParseCommandLine({"/play", dir.File("two.crec"), "/exit"}));
  u.FormShow();
  ASSERT_NE(u.Playback().Player(), nullptr);
  u.Playback().Player()->WaitFor();
  u.Tick();
  EXPECT_EQ(view.exitCode, kExitBlocked);
  EXPECT_EQ(log.Count("close"), 1);
}

}  // namespace
}  // namespace tesmuro
