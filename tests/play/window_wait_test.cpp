// Playback that waits for windows and colours, on a virtual clock and a fake
// desktop.
#include <gtest/gtest.h>

#include "play/run_front.h"
#include "play/run_thread.h"
#include "play/stop_reason.h"
#include "player_fakes.h"

namespace tesmuro::play {
namespace {

using namespace test;
using V = std::vector<std::string>;
constexpr int64_t kMs = 1000;

TopWindow App(uint64_t id, int32_t left, int32_t top, std::string title = "My App") {
  TopWindow w;
  w.id = id;
  w.process = "APP.exe";  // the program's name is compared without regard to case
  w.className = "AppClass";
  w.title = std::move(title);
  w.rect = {left, top, 400, 300};
  return w;
}

// A window line for the app as recorded at 100,100.
const char* const kAppLine = "窗口 win \"app.exe\" \"AppClass\" \"My\\sApp\" 100,100,400,300\r\n";

struct WaitRig {
  explicit WaitRig(std::string script) {
    auto owned = std::make_unique<FakePlayClock>();
    clock = owned.get();
    sink.clock = clock;
    sink.desktop = &desktop;
    t = std::make_unique<TRunThread>(sink, sys, std::move(owned));
    clock->onStuck = [this] { t->RequestStop(true); };
    file = TempScript(script);
  }
  WaitRig& Run() {
    t->Start(file, o);
    t->WaitFor();
    return *this;
  }
  FakePlayClock* clock;
  RecordingSink sink;
  FakeDesktop desktop;
  FakeShutdown sys;
  RunOptions o;
  std::FILE* file;
  std::unique_ptr<TRunThread> t;
};

TEST(WindowWait, AClickFollowsItsWindowAndTheMovesAfterItWithoutWaitingWhenAllIsReady) {
  WaitRig r(std::string("移动 150,120\r\n延迟 10\r\n") + kAppLine + "左键按下\r\n左键释放\r\n移动 160,130\r\n");
  r.desktop.windows = {App(7, 300, 200)};  // 200 right, 100 down of where it was
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"cursor 150,120", "cursor 350,220", "left down 350 220", "left up 350 220",
                             "cursor 360,230"}));
  EXPECT_EQ(r.sink.TimesOf("left down"), std::vector<int64_t>{10 * kMs}) << "no wait";
  EXPECT_FALSE(r.t->WhyStopped());

  // Following off: positions go as recorded, but the click still waits for its window.
  WaitRig off(std::string("移动 150,120\r\n") + kAppLine + "左键按下\r\n");
  off.o.followWindows = false;
  off.desktop.windows = {App(7, 100, 100)};
  off.Run();
  EXPECT_EQ(off.sink.calls, (V{"cursor 150,120", "left down 150 120", "left up 150 120"}));
}

TEST(WindowWait, APartPlayedFromTheBoxActsOnTheWindowTheLastWindowLineBeforeItNamed) {
  const std::string before = std::string(kAppLine) + "左键按下\r\n左键释放\r\n";
  WaitRig r(before + "移动 160,130\r\n左键按下\r\n左键释放\r\n");
  r.desktop.windows = {App(7, 300, 200)};
  r.o.debuggable = true;
  r.o.part.start = static_cast<int64_t>(Gbk(before).size());
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"cursor 360,230", "left down 360 230", "left up 360 230"}));
  // After a screen line the window line no longer applies, as when played from the top.
  const std::string reset = before + "屏幕 0,0,1280,1024,96\r\n";
  WaitRig s(reset + "移动 160,130\r\n");
  s.desktop.windows = {App(7, 300, 200)};
  s.o.debuggable = true;
  s.o.part.start = static_cast<int64_t>(Gbk(reset).size());
  s.Run();
  EXPECT_EQ(s.sink.calls, (V{"cursor 160,130"}));
}

TEST(WindowWait, AWindowThatComesLateIsWaitedForAndEveryLaterActionMovesBackByTheWait) {
  WaitRig r(std::string("移动 150,120\r\n") + kAppLine + "左键按下\r\n延迟 100\r\n左键释放\r\n");
  r.clock->At(3000 * kMs, [&] { r.desktop.windows = {App(7, 100, 100, "My App - file")}; });
  r.Run();
  const auto down = r.sink.TimesOf("left down");
  ASSERT_EQ(down.size(), 1u);
  EXPECT_GE(down[0], 3000 * kMs);
  EXPECT_LT(down[0], 3000 * kMs + 25 * kMs) << "looked at every 20 ms";
  EXPECT_EQ(r.sink.TimesOf("left up"), std::vector<int64_t>{down[0] + 100 * kMs}) << "no catching up";
}

TEST(WindowWait, NoWindowEndsTheRunAtTheLimitNamingTheLineWithoutShutdown) {
  WaitRig r(std::string("延迟 5\r\n移动 150,120\r\n") + kAppLine + "左键按下\r\n");
  r.o.shutAfterLoops = true;
  r.desktop.windows = {App(8, 100, 100)};
  r.desktop.windows[0].className = "Other";
  r.Run();
  EXPECT_EQ(r.sink.calls, V{"cursor 150,120"});
  const auto why = r.t->WhyStopped();
  ASSERT_TRUE(why);
  EXPECT_EQ(why->line, 3);
  EXPECT_EQ(StopReasonText(*why), "第 3 行：等待窗口“My App”超过 10 秒，回放已停止");
  EXPECT_EQ(r.clock->Elapsed(), 10005 * kMs);
  EXPECT_FALSE(r.t->EndedByError());
  EXPECT_EQ(r.sys.Exits(), 0);
}

TEST(WindowWait, ALimitOfNoSecondsNeverWaitsButStillFollows) {
  WaitRig r(std::string("移动 150,120\r\n") + kAppLine + "左键按下\r\n" +
            "等待颜色 1,1 FFFFFF 0 0\r\n左键释放\r\n");
  r.o.waitLimitSeconds = 0;
  TopWindow over = App(9, 0, 0, "Other");
  over.className = "Other";
  r.desktop.windows = {over, App(7, 300, 200)};  // found, but covered: no wait
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"cursor 150,120", "cursor 350,220", "left down 350 220", "left up 350 220"}));
  EXPECT_EQ(r.clock->Elapsed(), 0);
  EXPECT_FALSE(r.t->WhyStopped());
}

TEST(WindowWait, AKeyBringsItsWindowToTheFrontAndTheClosestTitleInFrontWins) {
  WaitRig r(std::string(kAppLine) + "按键按下 65 30 0 0 0\r\n");
  TopWindow other = App(1, 0, 0, "Notes");
  r.desktop.windows = {other, App(2, 0, 0, "My App (2)"), App(3, 0, 0, "My App"), App(4, 0, 0, "My App")};
  r.Run();
  EXPECT_EQ(r.desktop.log, V{"activate 3"});
  EXPECT_EQ(r.sink.calls, (V{"key 65 30 down", "key 65 30 up"}));

  WaitRig stubborn(std::string(kAppLine) + "按键按下 65 30 0 0 0\r\n");
  stubborn.o.waitLimitSeconds = 1;
  stubborn.desktop.stubborn = true;
  stubborn.desktop.windows = {other, App(3, 0, 0)};
  stubborn.Run();
  EXPECT_TRUE(stubborn.sink.calls.empty()) << "never typed into the window in front";
  EXPECT_EQ(stubborn.desktop.log.size(), 3u) << "asked again every half second";
}

TEST(WindowWait, OurOwnWindowInTheWayStepsAsideForTheRun) {
  WaitRig r(std::string("移动 150,120\r\n") + kAppLine + "左键按下\r\n左键释放\r\n");
  TopWindow own = App(9, 0, 0, "Tesmuro");
  own.process = "Tesmuro.exe";
  own.own = true;
  r.desktop.windows = {own, App(7, 100, 100)};
  r.Run();
  EXPECT_EQ(r.desktop.log, (V{"aside 9", "back 9"}));
  EXPECT_EQ(r.sink.TimesOf("left down").size(), 1u);
}

TEST(WindowWait, LinesOfTheOtherSystemAndWithoutADesktopAreSkipped) {
  WaitRig r("窗口 x11 \"app\" \"App\" \"t\" 0,0,1,1\r\n左键按下\r\n左键释放\r\n");
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"left down", "left up"}));
  WaitRig none(std::string(kAppLine) + "左键按下\r\n左键释放\r\n");
  none.sink.desktop = nullptr;
  none.Run();
  EXPECT_EQ(none.sink.calls, (V{"left down", "left up"}));
}

TEST(WindowWait, AStopOrAPauseActsWithinALook) {
  WaitRig r(std::string("移动 150,120\r\n") + kAppLine + "左键按下\r\n");
  r.clock->At(1000 * kMs, [&] { r.t->RequestStop(true); });
  r.Run();
  EXPECT_LE(r.clock->Elapsed(), 1020 * kMs);
  EXPECT_FALSE(r.t->WhyStopped());

  // Paused time does not count against the limit.
  WaitRig p(std::string("移动 150,120\r\n") + kAppLine + "左键按下\r\n");
  p.o.waitLimitSeconds = 2;
  p.clock->At(1000 * kMs, [&] { p.t->Suspend(); });
  p.clock->At(5000 * kMs, [&] { p.t->Resume(); });
  p.clock->At(5500 * kMs, [&] { p.desktop.windows = {App(7, 100, 100)}; });
  p.Run();
  EXPECT_EQ(p.sink.TimesOf("left down").size(), 1u);
}

TEST(WaitWords, TitleAndColourWaitsAndTheirLimits) {
  WaitRig title("等待窗口 \"App\" 0\r\n按键按下 65 30 0 0 0\r\n");
  title.clock->At(2000 * kMs, [&] { title.desktop.windows = {App(1, 0, 0, "Notes"), App(2, 0, 0, "My App")}; });
  title.Run();
  EXPECT_EQ(title.desktop.log, V{"activate 2"});
  EXPECT_GE(title.sink.TimesOf("key").at(0), 2000 * kMs);

  WaitRig color("等待颜色 10,20 FF8000 16 3\r\n左键按下\r\n");
  color.desktop.pixel = [&](int32_t x, int32_t y) -> std::optional<uint32_t> {
    if (x != 10 || y != 20) return 0;
    return color.clock->Elapsed() >= 1500 * kMs ? 0xF08F10u : 0x000000u;  // within 16 of each channel
  };
  color.Run();
  EXPECT_GE(color.sink.TimesOf("left down").at(0), 1500 * kMs);

  WaitRig late("\r\n等待颜色 10,20 ff8000 0 2\r\n左键按下\r\n");
  late.desktop.pixel = [](int32_t, int32_t) -> std::optional<uint32_t> { return 0xFF8001u; };
  late.Run();
  ASSERT_TRUE(late.t->WhyStopped());
  EXPECT_EQ(StopReasonText(*late.t->WhyStopped()), "第 2 行：等待颜色 FF8000 超过 2 秒，回放已停止");
  EXPECT_TRUE(late.sink.calls.empty());
}

// While a wait goes on the run tells which line waits for what and for how
// long so far; between waits it tells nothing.
TEST(WaitWords, AWaitInProgressTellsItsLineWhatAndTheSecondsWaited) {
  WaitRig r("移动 1,1\r\n\r\n等待颜色 10,20 FF8000 0 10\r\n左键按下\r\n等待窗口 \"App\" 4\r\n");
  r.desktop.pixel = [&](int32_t, int32_t) -> std::optional<uint32_t> {
    return r.clock->Elapsed() >= 6000 * kMs ? 0xFF8000u : 0u;
  };
  std::vector<std::optional<WaitProgress>> seen;
  auto look = [&] { seen.push_back(r.t->WaitInProgress()); };
  for (int64_t at : {500, 3500, 3900, 6800, 9500}) r.clock->At(at * kMs, look);
  r.Run();
  using K = WaitProgress::Kind;
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0], (WaitProgress{K::Color, "FF8000", 3, 0, 10}));
  EXPECT_EQ(seen[1], (WaitProgress{K::Color, "FF8000", 3, 3, 10}));
  EXPECT_EQ(seen[2], seen[1]) << "whole seconds";
  EXPECT_EQ(seen[3], (WaitProgress{K::Window, "App", 5, 0, 4})) << "the next wait, from its own start";
  EXPECT_EQ(seen[4], (WaitProgress{K::Window, "App", 5, 3, 4}));
  EXPECT_EQ(r.t->WaitInProgress(), std::nullopt);
  EXPECT_EQ(StopReasonText(*r.t->WhyStopped()), "第 5 行：等待窗口“App”超过 4 秒，回放已停止");
}

// 等待按键 on the keys the platform reports as the user's.
const Shortcut kF8(0x77), kCtrlF8(0x77 | Shortcut::kCtrl), kEnter(0x0D), kCtrlEnter(0x0D | Shortcut::kCtrl);

TEST(KeyWait, TheRightPressLetsTheRunGoOnAtOnceAndTheWaitShowsMeanwhile) {
  WaitRig r("移动 1,1\r\n等待按键 F8 10\r\n延迟 100\r\n移动 2,2\r\n");
  std::optional<WaitProgress> seen;
  r.clock->At(1500 * kMs, [&] { seen = r.t->WaitInProgress(); });
  r.clock->At(2000 * kMs, [&] { r.t->UserKeyPressed(kEnter); });  // another key: ignored
  r.clock->At(3000 * kMs, [&] { r.t->UserKeyPressed(kCtrlF8); });  // F8 alone counts with Ctrl held
  r.Run();
  EXPECT_EQ(r.sink.TimesOf("cursor"), (std::vector<int64_t>{0, 3100 * kMs})) << "at the press, the delay after it";
  EXPECT_FALSE(r.t->WhyStopped());
  ASSERT_TRUE(seen);
  EXPECT_EQ(WaitProgressText(*seen), "第 2 行：等待按键 F8… 1/10 秒");

  // A key named with modifiers needs those; without a limit the wait shows no limit.
  WaitRig mods("等待按键 ctrl+enter\r\n左键按下\r\n");
  mods.clock->At(1000 * kMs, [&] { mods.t->UserKeyPressed(kEnter); });
  mods.clock->At(90000 * kMs, [&] { seen = mods.t->WaitInProgress(); });
  mods.clock->At(100000 * kMs, [&] { mods.t->UserKeyPressed(kCtrlEnter); });
  mods.Run();
  EXPECT_EQ(mods.sink.TimesOf("left down"), std::vector<int64_t>{100000 * kMs});
  EXPECT_EQ(WaitProgressText(*seen), "第 1 行：等待按键 Ctrl+Enter… 89 秒");
}

TEST(KeyWait, OnlyPressesWhileTheWaitIsOpenAndNotPausedCountItRunsOutWithExitCode4) {
  // Pressed during the delay before the line, and while paused in the wait:
  // neither counts; the limit leaves out the paused time.
  WaitRig r("移动 1,1\r\n延迟 1000\r\n等待按键 F8 3\r\n移动 2,2\r\n");
  r.clock->At(500 * kMs, [&] { r.t->UserKeyPressed(kF8); });
  r.clock->At(2000 * kMs, [&] { r.t->Suspend(); });
  r.clock->At(2500 * kMs, [&] { r.t->UserKeyPressed(kF8); });
  r.clock->At(9000 * kMs, [&] { r.t->Resume(); });
  r.Run();
  EXPECT_EQ(r.sink.calls, V{"cursor 1,1"});
  EXPECT_GE(r.clock->Elapsed(), 11000 * kMs);
  const std::optional<StopReason> why = r.t->WhyStopped();
  ASSERT_TRUE(why);
  EXPECT_EQ(why->kind, StopReason::Kind::KeyTimedOut);
  const RunVerdict v = Verdict({RunEnd::How::OnLine, *why});
  EXPECT_EQ(v.exitCode, kExitWaitTimedOut);
  EXPECT_EQ(v.text, "第 3 行：等待按键 F8 超过 3 秒，回放已停止");
  EXPECT_FALSE(r.t->EndedByError());
}

TEST(KeyWait, AStopEndsAWaitWithoutLimitAndABadKeyOrSecondsStopTheRunOnTheLine) {
  WaitRig r("等待按键 F8 0\r\n移动 2,2\r\n");
  r.clock->At(7000 * kMs, [&] { r.t->RequestStop(true); });
  r.Run();
  EXPECT_TRUE(r.sink.calls.empty());
  EXPECT_LE(r.clock->Elapsed(), 7000 * kMs + 1);
  EXPECT_FALSE(r.t->WhyStopped());

  const std::pair<const char*, std::string> bad[] = {
      {"等待按键 F99 5", "第 2 行：等待按键的按键名称无效：“F99”（可写 F8、Ctrl+Enter 等），回放已停止"},
      {"等待按键 F8 5s", "第 2 行：等待按键的秒数应为 0 到 2147483647 的整数，回放已停止"}};
  for (const auto& [line, text] : bad) {
    WaitRig b(std::string("移动 1,1\r\n") + line + "\r\n移动 2,2\r\n");
    b.Run();
    EXPECT_EQ(b.sink.calls, V{"cursor 1,1"}) << line;
    ASSERT_TRUE(b.t->WhyStopped()) << line;
    const RunVerdict v = Verdict({RunEnd::How::OnLine, *b.t->WhyStopped()});
    EXPECT_EQ(v.text, text);
    EXPECT_EQ(v.exitCode, kExitError) << line;
    EXPECT_TRUE(b.t->EndedByError()) << line;
  }
}

TEST(StopReasons, ALongTitleIsCutSoThatTheLineAndTheReasonShow) {
  const std::string title(99, 'T');
  StopReason r{StopReason::Kind::WindowTimedOut, 0, 12, title, 2};
  EXPECT_EQ(StopReasonText(r), "第 12 行：等待窗口“" + title + "”超过 2 秒，回放已停止") << "the console has room";
  EXPECT_EQ(StopReasonText(r, 24), "第 12 行：等待窗口“" + std::string(22, 'T') + "…”超过 2 秒，回放已停止");
  // A Chinese character takes two columns and is never cut in half.
  EXPECT_EQ(ShortenTitle("记事本 - 一个很长很长的文件名.txt", 12), "记事本 - …");
  EXPECT_EQ(ShortenTitle("记事本", 6), "记事本");
  EXPECT_EQ(ShortenTitle("记事本x", 6), "记事…");
  EXPECT_EQ(ShortenTitle("ab\xE8", 3), "ab\xE8") << "a stray byte counts as one column";
  EXPECT_EQ(WaitProgressText({WaitProgress::Kind::Window, title, 7, 3, 10}, 24),
            "第 7 行：等待窗口“" + std::string(22, 'T') + "…”… 3/10 秒");
  EXPECT_EQ(WaitProgressText({WaitProgress::Kind::Color, "00FF00", 2, 0, 5}), "第 2 行：等待颜色 00FF00… 0/5 秒");
  EXPECT_EQ(WaitProgressText({WaitProgress::Kind::Image, "按钮.png", 30, 9, 10}), "第 30 行：等待图像“按钮.png”… 9/10 秒");
}

TEST(StopReasons, ALineThatCannotBePlayedIsNamed) {
  WaitRig key("移动 1,1\r\n\r\n按键按下 A 0 0 0 0\r\n移动 2,2\r\n");
  key.Run();
  ASSERT_TRUE(key.t->WhyStopped());
  EXPECT_EQ(StopReasonText(*key.t->WhyStopped()), "第 3 行：按键或滚轮的代码不是数字，回放已停止");
  EXPECT_TRUE(key.t->EndedByError());
  WaitRig color("移动 1,1\n等待颜色 1,1 red 0 1\n");
  color.Run();
  ASSERT_TRUE(color.t->WhyStopped());
  EXPECT_EQ(color.t->WhyStopped()->line, 2);
  EXPECT_EQ(color.t->WhyStopped()->kind, StopReason::Kind::BadColor);
  EXPECT_TRUE(color.t->EndedByError());
}

}  // namespace
}  // namespace tesmuro::play
