#include "play/run_thread.h"
#include "play/delay_draw.h"
#include "play/integrity.h"
#include "play/playback_session.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <limits>

#include "player_fakes.h"

namespace tesmuro::play {
namespace {

using namespace test;
using V = std::vector<std::string>;
using T = std::vector<int64_t>;
constexpr int64_t kMs = 1000;

// One player on a virtual clock; the sink stamps its calls with that clock.
// Without a script the player has no file.
struct Rig {
  explicit Rig(const char* script = nullptr, int* closes = nullptr) {
    auto owned = std::make_unique<FakePlayClock>();
    clock = owned.get();
    sink.clock = clock;
    t = std::make_unique<TRunThread>(sink, sys, std::move(owned));
    clock->onStuck = [this] { t->RequestStop(true); };
    if (script) file = closes ? CountedScript(script, closes) : TempScript(script);
  }
  ~Rig() {
    if (file) std::fclose(file);
  }
  Rig& Start() {
    t->Start(std::exchange(file, nullptr), o);
    return *this;
  }
  Rig& Run() {
    Start();
    t->WaitFor();
    EXPECT_TRUE(t->Finished());
    EXPECT_FALSE(clock->stuck) << "the player waited with nothing to wake it";
    return *this;
  }
  T Moves() const { return sink.TimesOf("cursor"); }

  FakePlayClock* clock;
  std::FILE* file = nullptr;  // the script, until the run starts
  RunOptions o;               // what the run starts with
  RecordingSink sink;
  FakeShutdown sys;
  std::unique_ptr<TRunThread> t;
};

TEST(RunThreadTest, CountModePlaysLoopCountPassesAndAtLeastOne) {
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  for (auto [mode, count, passes] : {std::tuple{0, 1, 1}, {0, 0, 1}, {0, -5, 1}, {0, kMin, 1}, {0, 3, 3}, {7, 3, 3}}) {
    Rig r("延迟 10 移动 1,1\r\n");
    r.o.loopMode = static_cast<LoopMode>(mode);
    r.o.loopCount = count;
    r.Run();
    EXPECT_EQ(r.Moves().size(), size_t(passes)) << count;
    EXPECT_TRUE(r.t->StopRequested());
  }
}

TEST(RunThreadTest, TimedModeChecksTheTimeOnlyAtTheEndOfAPass) {
  for (auto [seconds, passes] : {std::pair{0, 1}, {1, 3}}) {
    Rig r("延迟 400 移动 1,1");
    r.o.loopMode = static_cast<LoopMode>(2);
    r.o.loopTotalSeconds = seconds;
    r.Run();
    EXPECT_EQ(r.t->Passes(), passes);
    EXPECT_EQ(r.clock->Elapsed(), passes * 400 * kMs);
  }
}

TEST(RunThreadTest, UntilStoppedModeEndsPromptlyInsideADelay) {
  Rig r("延迟 100 移动 1,1");
  r.o.loopMode = static_cast<LoopMode>(1);
  r.o.shutAfterLoops = true;
  r.clock->At(1050 * kMs, [&] { r.t->RequestStop(true); });
  r.Run();
  EXPECT_EQ(r.Moves().size(), 10u);
  EXPECT_EQ(r.clock->Elapsed(), 1050 * kMs);
  EXPECT_EQ(r.sys.Exits(), 0);
}

TEST(RunThreadTest, EmptyScriptInCountModeEndsAtOnce) {
  Rig r(" \r\n\t ");
  r.o.loopCount = 100000;
  r.Run();
  EXPECT_EQ(r.t->Passes(), 1);  // the other passes could only be as empty
  EXPECT_EQ(r.clock->Elapsed(), 0);
}

TEST(RunThreadTest, PassesWithoutADelayInEndlessModesPauseOneMillisecond) {
  for (auto [mode, script] : {std::pair{1, ""}, {2, ""}, {1, "no keyword 123"}, {2, "移动 2,2 延迟 0 延迟 -5"},
                                 {1, "移动 2,2 随机延迟 0,0"}}) {
    Rig r(script);
    r.o.loopMode = static_cast<LoopMode>(mode);
    r.o.loopTotalSeconds = 1;
    r.clock->At(1000 * kMs + 500, [&] { r.t->Terminate(); });  // ends mode 1
    r.Run();
    EXPECT_EQ(r.t->Passes(), 1001) << script;  // one per millisecond, not as many as a core can spin
  }
}

TEST(RunThreadTest, UserStopNeverShutsDownTerminateStillDoes) {
  for (bool byUser : {true, false}) {
    Rig r("延迟 60000 移动 1,1");
    r.o.shutAfterLoops = true;
    r.clock->At(5000 * kMs, [&] { byUser ? r.t->RequestStop(true) : r.t->Terminate(); });
    r.Run();
    EXPECT_EQ(r.clock->Elapsed(), 5000 * kMs);
    EXPECT_TRUE(r.sink.calls.empty());
    EXPECT_EQ(r.sys.Exits(), byUser ? 0 : 1);
  }
}

TEST(RunThreadTest, ShutAfterLoopsClosesTheFileThenAsksOnce) {
  int closes = 0, closesAtExit = -1;
  Rig r("延迟 10 移动 1,1", &closes);
  r.o.loopCount = 2;
  r.o.shutAfterLoops = true;
  r.sys.onExit = [&] { closesAtExit = closes; };
  r.Run();
  EXPECT_EQ(r.sys.Exits(), 1);
  EXPECT_EQ(closesAtExit, kCanCountCloses ? 1 : 0);
  Rig noFile;  // ends as after the last pass
  noFile.o.shutAfterLoops = true;
  EXPECT_EQ(noFile.Run().sys.Exits(), 1);
}

TEST(RunThreadTest, ShutAfterElapsedAsksAtEachWordReadAfterTheDeadline) {
  for (auto [passes, exits] : {std::pair{4, 3}, {2, 0}}) {
    Rig r("延迟 400 移动 1,1");
    r.o.loopCount = passes;
    r.o.shutAfterElapsed = true;
    r.o.shutTotalSeconds = 1;
    r.Run();
    // Words are read at 0, 400 | 400, 800 | 800, 1200 | 1200, 1600 ms.
    EXPECT_EQ(r.sys.Exits(), exits);
    EXPECT_EQ(r.Moves().size(), size_t(passes));  // the run goes on
  }
}

TEST(RunThreadTest, DeadlinesBeyond596HoursWork) {
  Rig r("延迟 2000000000 移动 1,1");  // 555.6 hours per pass
  r.o.loopMode = static_cast<LoopMode>(2);
  r.o.loopTotalSeconds = 3000000;  // 833 hours
  r.o.shutAfterElapsed = true;
  r.o.shutTotalSeconds = 2200000;  // 611 hours
  r.Run();
  EXPECT_EQ(r.t->Passes(), 2);
  EXPECT_EQ(r.sys.Exits(), 1);  // at the second move word, read at 1111 hours
}

TEST(RunThreadTest, ShutdownTimesOfNoLengthOrBeyondTheClockNeverShutDown) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
  // 0 and below (-2134967296 is what 600000 hours became in 32 bits), and totals
  // that the microsecond clock cannot reach.
  for (int64_t total : {int64_t{0}, int64_t{-1}, int64_t{-2134967296}, kMin, kMax, kMax / 1000000 + 1, kMax / 1000000}) {
    Rig r("延迟 400 移动 1,1");
    r.o.loopCount = 4;
    r.o.shutAfterElapsed = true;
    r.o.shutTotalSeconds = total;
    r.Run();
    EXPECT_EQ(r.sys.Exits(), 0) << total;
    EXPECT_EQ(r.Moves().size(), 4u) << total;
  }
}

TEST(RunThreadTest, TimedRunsOfNoLengthPlayOnePassEndlessOnesRunUntilStopped) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
  for (auto [total, passes] : {std::pair{int64_t{-1}, 1}, {kMin, 1}, {int64_t{-2134967296}, 1},
                               {kMax, 5}, {kMax / 1000000 + 1, 5}, {int64_t{2160000000}, 5}}) {
    Rig r("延迟 400 移动 1,1");
    r.o.loopMode = static_cast<LoopMode>(2);
    r.o.loopTotalSeconds = total;
    r.clock->At(2100 * kMs, [&] { r.t->RequestStop(true); });
    r.Run();
    EXPECT_EQ(r.t->Passes(), passes) << total;
  }
}

TEST(RunThreadTest, ConversionErrorEndsTheRunWithoutShutdown) {
  int closes = 0;
  Rig r("按键按下 65 0 0 0 0 按键按下 abc 0 0 0 0 移动 1,1", &closes);
  r.o.loopCount = 3;
  r.o.shutAfterLoops = true;
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"key 65 0 down", "key 65 0 up"}));  // released at the end
  EXPECT_FALSE(r.t->StopRequested());
  EXPECT_EQ(r.sys.Exits(), 0);
  EXPECT_EQ(closes, kCanCountCloses ? 1 : 0);
}

TEST(RunThreadTest, HeldInputIsReleasedHoweverTheRunEnds) {
  const std::string press = "按键按下 16 0 0 0 0 左键按下 移动 5,6 按键按下 65 0 0 0 0 按键弹起 16 0 0 0 0 ";
  for (const char* end : {"", "延迟 9000 移动 1,1", "鼠标滚轮 x 0 0"}) {  // last pass, stop, error
    Rig r((press + end).c_str());
    r.clock->At(1000 * kMs, [&] { r.t->RequestStop(true); });
    r.Run();
    ASSERT_EQ(r.sink.calls.size(), 7u) << end;
    EXPECT_EQ(V(r.sink.calls.begin() + 5, r.sink.calls.end()), (V{"key 65 0 up", "left up 5 6"}));
  }
}

TEST(RunThreadTest, ActionsAreDueAtRunStartPlusTheDelaysBeforeThem) {
  Rig r("延迟 10 移动 1,1 延迟 0 移动 2,2 延迟 10 延迟 -40 移动 3,3");
  r.sink.cost = 300;  // each injection takes 300 us; zero and negative delays are no pause
  r.o.loopCount = 3;
  r.Run();
  EXPECT_EQ(r.Moves(), (T{10000, 10300, 20000, 30000, 30300, 40000, 50000, 50300, 60000}));
}

TEST(RunThreadTest, SpeedDividesEveryDelayWithoutDrift) {
  {
    Rig r("延迟 20 移动 1,1 延迟 7 移动 2,2");
    r.o.speedPercent = 200;
    r.o.loopCount = 2;
    r.Run();
    EXPECT_EQ(r.Moves(), (T{10000, 13500, 23500, 27000}));
  }
  {
    // A third of 10 ms is no whole number of microseconds: what each division
    // leaves over is carried, so 3000 delays end exactly 10 s in.
    std::string script;
    for (int i = 0; i < 3000; ++i) script += "延迟 10 移动 1,1 ";
    Rig r(script.c_str());
    r.o.speedPercent = 300;
    r.Run();
    ASSERT_EQ(r.Moves().size(), 3000u);
    EXPECT_EQ(r.Moves()[0], 3333);
    EXPECT_EQ(r.Moves()[2], 10000);
    EXPECT_EQ(r.Moves().back(), 10000000);
  }
  for (auto [asked, first] : {std::pair{0, 1000}, {5, 1000}, {-100, 1000}, {20000, 1}}) {
    Rig r("延迟 100 移动 1,1");
    r.o.speedPercent = asked;  // outside 10..10000: the nearest limit
    r.Run();
    EXPECT_EQ(r.Moves(), (T{first * kMs})) << asked;
  }
}

TEST(RunThreadTest, RandomDelaysAndTheShareKeepTheScheduleOnTheDrawnDelays) {
  // Every move is due at the start plus the delays drawn before it (divided
  // by the speed), whatever the injections cost: no drift around the draws.
  for (auto [share, speed] : {std::pair{0, 100}, {30, 100}, {30, 300}}) {
    Rig r("随机延迟 10,30 移动 1,1 延迟 7 移动 2,2 随机延迟 0,0 移动 3,3");
    r.sink.cost = 300;
    r.o.seed = 99;
    r.o.delayJitterPercent = share;
    r.o.speedPercent = speed;
    r.o.loopCount = 50;
    r.Run();
    DelayDraws d(99, share);  // the run's draws, in the order it makes them
    T due;
    int64_t sum = 0;
    for (int pass = 0; pass < 50; ++pass) {
      sum += d.Varied(d.Length(10, 30));
      due.push_back(sum * 100 / speed);
      sum += d.Varied(7);
      due.push_back(sum * 100 / speed);
      EXPECT_EQ(d.Length(0, 0), 0);  // drawn, no pause: right after the injection before it
      due.push_back(sum * 100 / speed + 300);
    }
    EXPECT_EQ(r.Moves(), due) << share << "% at " << speed << "%";
  }
}

TEST(RunThreadTest, ASeedRepeatsARunWithoutOneEachRunDrawsAfreshAndTellsItsSeedOnce) {
  struct Played {
    T moves;
    std::optional<uint64_t> seed, told, toldAgain;
  };
  auto play = [](const char* script, std::optional<uint64_t> seed, int32_t share = 0) {
    Rig r(script);
    r.o.seed = seed;
    r.o.delayJitterPercent = share;
    r.o.loopCount = 20;
    r.Run();
    Played p{r.Moves(), r.t->Options().seed, r.t->TakeSeedNotice()};
    p.toldAgain = r.t->TakeSeedNotice();
    return p;
  };
  const Played first = play("随机延迟 1,1000 移动 1,1", std::nullopt);
  ASSERT_TRUE(first.seed.has_value()) << "a fresh seed, for the run to be repeated";
  EXPECT_EQ(first.told, first.seed);
  EXPECT_FALSE(first.toldAgain);
  EXPECT_NE(play("随机延迟 1,1000 移动 1,1", std::nullopt).moves, first.moves);
  EXPECT_EQ(play("随机延迟 1,1000 移动 1,1", first.seed).moves, first.moves);
  // Nothing drawn, nothing told; the share alone draws.
  EXPECT_FALSE(play("延迟 5 移动 1,1", std::nullopt).told);
  EXPECT_EQ(play("延迟 5 移动 1,1", 5, 10).told, 5u);
}

TEST(RunThreadTest, ARandomDelayThatIsNotMinMaxStopsTheRunOnItsLine) {
  Rig r("移动 1,1\r\n随机延迟 20,10\r\n移动 2,2");
  r.o.loopCount = 3;
  r.o.shutAfterLoops = true;
  r.Run();
  EXPECT_EQ(r.sink.calls, V{"cursor 1,1"});
  EXPECT_TRUE(r.t->EndedByError());
  const std::optional<StopReason> why = r.t->WhyStopped();
  ASSERT_TRUE(why.has_value());
  EXPECT_EQ(why->kind, StopReason::Kind::BadDelayRange);
  EXPECT_EQ(why->line, 2);
  EXPECT_EQ(r.sys.Exits(), 0);
}

TEST(RunThreadTest, AQuotedTextWithABadEscapeStopsTheRunOnItsLine) {
  Rig r("移动 1,1\r\n等待窗口 \"\\中\" 1\r\n移动 2,2");
  r.Run();
  EXPECT_EQ(r.sink.calls, V{"cursor 1,1"});
  EXPECT_TRUE(r.t->EndedByError());
  const std::optional<StopReason> why = r.t->WhyStopped();
  ASSERT_TRUE(why.has_value());
  EXPECT_EQ(why->kind, StopReason::Kind::BadText);
  EXPECT_EQ(why->line, 2);
  EXPECT_EQ(StopReasonText(*why).rfind("第 2 行：引号中的转义无效", 0), 0u);
}

TEST(RunThreadTest, TypedTextGoesAsCharactersWithEnterAndTabOnTheScheduleAndAStopActsBetweenThem) {
  {
    // ASCII, Chinese (GBK in the script), an emoji as one code point, CR LF
    // and LF as one Enter each, a tab as Tab; MS 0 types at once.
    Rig r("输入文本 \"a\\s\xD6\xD0\xCE\xC4\\u{1F600}\\r\\n\\n\\tb\"");
    r.Run();
    EXPECT_EQ(r.sink.calls, (V{"type U+0061", "type U+0020", "type U+4E2D", "type U+6587", "type U+1F600",
                               "key 13 0 down", "key 13 0 up", "key 13 0 down", "key 13 0 up", "key 9 0 down",
                               "key 9 0 up", "type U+0062", "end typing"}));
    EXPECT_FALSE(r.t->EndedByError());
  }
  {
    // MS between characters is played delay: what follows is due after it.
    Rig r("输入文本 \"abc\" 40 移动 1,1");
    r.sink.cost = 300;
    r.Run();
    EXPECT_EQ(r.sink.TimesOf("type"), (T{0, 40000, 80000}));
    EXPECT_EQ(r.Moves(), T{80600});
  }
  {
    // A stop mid-text leaves the rest untyped and still lets go of the keycodes.
    Rig r("输入文本 \"abcdef\" 100");
    r.clock->At(150 * kMs, [&] { r.t->RequestStop(true); });
    r.Run();
    EXPECT_EQ(r.sink.calls, (V{"type U+0061", "type U+0062", "end typing"}));
  }
  // A text far longer than any other word types whole.
  {
    Rig r(("输入文本 \"" + std::string(2000, 'x') + "\"").c_str());
    r.Run();
    EXPECT_EQ(r.sink.calls.size(), 2001u);
  }
  // A bad interval, and a text cut short by a space or the text's length,
  // stop the run on their line before anything is typed.
  const std::pair<std::string, StopReason::Kind> bad[] = {
      {"\"ab\" 60001", StopReason::Kind::BadTypeInterval},
      {"\"a b\"", StopReason::Kind::TypedTextCut},
      {"\"" + std::string(16400, 'x') + "\"", StopReason::Kind::TypedTextCut}};
  for (const auto& [line, kind] : bad) {
    Rig r(("移动 1,1\r\n输入文本 " + line + "\r\n移动 2,2").c_str());
    r.Run();
    EXPECT_EQ(r.sink.calls, V{"cursor 1,1"}) << line;
    ASSERT_TRUE(r.t->WhyStopped().has_value());
    EXPECT_EQ(r.t->WhyStopped()->kind, kind) << line;
    EXPECT_EQ(r.t->WhyStopped()->line, 2);
  }
}

TEST(RunThreadTest, AnErrorEndingIsToldApartFromAnEnd) {
  Rig bad("移动 1,1 鼠标滚轮 x 0 0");
  bad.Run();
  EXPECT_TRUE(bad.t->EndedByError());
  Rig good("移动 1,1");
  EXPECT_FALSE(good.t->EndedByError()) << "not before it has run";
  good.Run();
  EXPECT_FALSE(good.t->EndedByError());
}

TEST(RunThreadTest, AStallRestartsTheScheduleASmallDelayIsCaughtUp) {
  for (auto [stall, moves] : {std::pair{80 * kMs, T{10000, 90000, 100000, 110000}},
                              {25 * kMs, T{10000, 35000, 35000, 40000}}}) {
    Rig r("延迟 10 移动 1,1 延迟 10 移动 2,2 延迟 10 移动 3,3 延迟 10 移动 4,4");
    r.sink.costAt[0] = stall;  // the first injection hangs
    EXPECT_EQ(r.Run().Moves(), moves);
  }
}

TEST(RunThreadTest, PauseShiftsTheScheduleByThePausedTime) {
  Rig r("延迟 100 移动 1,1 延迟 100 移动 2,2");
  r.clock->At(50 * kMs, [&] { r.t->Suspend(); });  // inside the first delay
  r.clock->At(250 * kMs, [&] { EXPECT_TRUE(r.t->Suspended()); r.t->Resume(); });
  EXPECT_EQ(r.Run().Moves(), (T{300000, 400000}));

  Rig between("移动 1,1 移动 2,2 延迟 5 移动 3,3");
  between.sink.cost = 1 * kMs;
  between.clock->At(500, [&] { between.t->Suspend(); });  // during the first injection
  between.clock->At(20 * kMs, [&] { between.t->Resume(); });
  EXPECT_EQ(between.Run().Moves(), (T{0, 20000, 24000}));
}

TEST(RunThreadTest, APauseLetsGoOfHeldInputAndResumeHoldsItAgainBeforeTheNextAction) {
  const char* script = "按键按下 17 0 0 0 0 移动 5,6 左键按下 按键按下 65 0 0 0 0 延迟 100 "
                       "按键弹起 65 0 0 0 0 左键释放 按键弹起 17 0 0 0 0";
  Rig r(script);
  r.clock->At(50 * kMs, [&] { r.t->Suspend(); });  // inside the delay
  r.clock->At(250 * kMs, [&] { r.t->Resume(); });
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"key 17 0 down", "cursor 5,6", "left down 5 6", "key 65 0 down",
                             "key 65 0 up", "left up 5 6", "key 17 0 up",    // paused
                             "cursor 5,6", "key 17 0 down", "left down 5 6", "key 65 0 down",  // resumed
                             "key 65 0 up", "left up 5 6", "key 17 0 up"}));
  EXPECT_EQ(r.sink.times, (T{0, 0, 0, 0, 50000, 50000, 50000, 250000, 250000, 250000, 250000, 300000, 300000, 300000}));

  // Between two words: the pause takes effect before the next word is read.
  Rig between("按键按下 16 0 0 0 0 按键按下 17 0 0 0 0");
  between.sink.cost = 1 * kMs;
  between.clock->At(500, [&] { between.t->Suspend(); });  // during the first injection
  between.clock->At(20 * kMs, [&] { between.t->Resume(); });
  between.Run();
  EXPECT_EQ(between.sink.calls, (V{"key 16 0 down", "key 16 0 up", "key 16 0 down", "key 17 0 down",
                                   "key 17 0 up", "key 16 0 up"}));
  EXPECT_EQ(between.sink.times, (T{0, 1000, 20000, 21000, 22000, 23000}));
}

TEST(RunThreadTest, AStopWhilePausedPressesNothingAgainAndReleasesNothingTwice) {
  Rig r("按键按下 17 0 0 0 0 左键按下 延迟 100 移动 1,1");
  r.o.loopMode = static_cast<LoopMode>(1);
  r.o.shutAfterLoops = true;
  r.clock->At(50 * kMs, [&] { r.t->Suspend(); });
  r.clock->At(500 * kMs, [&] { r.t->RequestStop(true); });
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"key 17 0 down", "left down", "left up", "key 17 0 up"}));
  EXPECT_EQ(r.sink.times, (T{0, 0, 50000, 50000}));
  EXPECT_EQ(r.sys.Exits(), 0);
}

TEST(RunThreadTest, PausedTimeCountsTowardsATimedRun) {
  Rig r("延迟 400 移动 1,1");
  r.o.loopMode = static_cast<LoopMode>(2);
  r.o.loopTotalSeconds = 1;
  r.clock->At(100 * kMs, [&] { r.t->Suspend(); });
  r.clock->At(1100 * kMs, [&] { r.t->Resume(); });
  r.Run();
  EXPECT_EQ(r.t->Passes(), 1);
  EXPECT_EQ(r.clock->Elapsed(), 1400 * kMs);
}

TEST(RunThreadTest, StopWhilePausedEndsTheRun) {
  Rig r("延迟 100 移动 1,1");
  r.o.loopMode = static_cast<LoopMode>(1);
  r.clock->At(50 * kMs, [&] { r.t->Suspend(); });
  r.clock->At(500 * kMs, [&] { r.t->RequestStop(true); });
  r.Run();
  EXPECT_TRUE(r.sink.calls.empty());
  EXPECT_EQ(r.clock->Elapsed(), 500 * kMs);
}

// Line `n` (from 1) of a script of CR LF lines, as the box gives it to the player.
LineSpan LineOf(const std::vector<std::string>& lines, int n) {
  LineSpan s;
  for (int i = 0; i < n; ++i) {
    s.start = s.end < 0 ? 0 : s.end;
    s.end = s.start + static_cast<int64_t>(Gbk(lines[static_cast<size_t>(i)]).size()) + 2;
  }
  s.line = n;
  return s;
}
std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

TEST(RunThreadDebug, ABreakpointPausesBeforeItsLineAsPauseDoesAndContinueGoesOn) {
  const std::vector<std::string> lines = {"按键按下 17 0 0 0 0", "移动 1,1", "延迟 100", "移动 2,2 延迟 1",
                                          "延迟 100", "移动 3,3"};
  Rig r(Joined(lines).c_str());
  r.o.debuggable = true;
  r.o.breakpoints = {LineOf(lines, 4)};
  r.o.loopMode = LoopMode::Count;
  r.o.loopCount = 2;
  std::vector<std::optional<PauseNotice>> notices;
  for (int64_t at : {500, 1500}) {
    r.clock->At(at * kMs, [&] {
      EXPECT_TRUE(r.t->Suspended());
      notices.push_back(r.t->TakePauseNotice());
      r.t->Resume();
    });
  }
  r.Run();
  // Held keys go while paused and come back first; the schedule moves on by
  // the time paused. The second word of the line does not pause again; the
  // next pass comes to the line afresh.
  EXPECT_EQ(r.sink.calls, (V{"key 17 0 down", "cursor 1,1", "key 17 0 up", "key 17 0 down", "cursor 2,2",
                             "cursor 3,3", "key 17 0 down", "cursor 1,1", "key 17 0 up", "key 17 0 down",
                             "cursor 2,2", "cursor 3,3", "key 17 0 up"}));
  EXPECT_EQ(r.Moves(), (T{0, 500000, 601000, 601000, 1500000, 1601000}));
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0], (PauseNotice{4, true}));
  EXPECT_EQ(PauseNoticeText(*notices[0]), "断点：第 4 行");
  EXPECT_FALSE(r.t->TakePauseNotice());
  // A run that is not the box's knows no breakpoints.
  Rig plain(Joined(lines).c_str());
  plain.o.breakpoints = {LineOf(lines, 4)};
  EXPECT_EQ(plain.Run().Moves(), (T{0, 100000, 201000}));
}

TEST(RunThreadDebug, AStepPlaysOneLineAndPausesAgainWithoutCuttingADelay) {
  const std::vector<std::string> lines = {"移动 1,1", "延迟 100", "移动 2,2", "延迟 100", "移动 3,3"};
  Rig r(Joined(lines).c_str());
  r.o.debuggable = true;
  r.o.breakpoints = {LineOf(lines, 3)};
  std::vector<std::optional<PauseNotice>> notices;
  auto step = [&] {
    notices.push_back(r.t->TakePauseNotice());
    EXPECT_TRUE(r.t->Step());
  };
  r.clock->At(500 * kMs, step);   // at the breakpoint: plays 移动 2,2
  r.clock->At(800 * kMs, step);   // plays 延迟 100 in full
  r.clock->At(1000 * kMs, [&] { notices.push_back(r.t->TakePauseNotice()); r.t->Resume(); });
  r.Run();
  EXPECT_EQ(r.Moves(), (T{0, 500000, 1000000}));
  EXPECT_EQ(notices, (std::vector<std::optional<PauseNotice>>{PauseNotice{3, true}, PauseNotice{4, false},
                                                              PauseNotice{5, false}}));
  // Only a paused run of the box's steps.
  Rig running("延迟 100 移动 1,1");
  running.o.debuggable = true;
  running.clock->At(50 * kMs, [&] { EXPECT_FALSE(running.t->Step()); });
  running.Run();
  Rig other("延迟 100 移动 1,1");
  other.clock->At(20 * kMs, [&] { other.t->Suspend(); });
  other.clock->At(50 * kMs, [&] { EXPECT_FALSE(other.t->Step()); other.t->Resume(); });
  other.Run();
}

TEST(RunThreadDebug, APartOfTheScriptPlaysWithTheScreenBeforeItAndEachPassRepeatsIt) {
  const std::vector<std::string> lines = {"屏幕 0,0,640,512,96", "移动 10,10", "延迟 10", "移动 320,256",
                                          "延迟 10", "移动 20,20"};
  for (bool selection : {false, true}) {
    Rig r(Joined(lines).c_str());
    r.sink.screen = {0, 0, 1280, 1024, 96};
    r.o.scaleToScreen = true;
    r.o.debuggable = true;
    r.o.loopCount = 2;
    r.o.part = LineOf(lines, 3);
    if (!selection) r.o.part.end = -1;
    else r.o.part.end = LineOf(lines, 4).end;
    r.Run();
    // The moves before the start are not played; the screen line still maps the rest.
    if (selection)
      EXPECT_EQ(r.sink.calls, (V{"cursor 640,512", "cursor 640,512"}));
    else
      EXPECT_EQ(r.sink.calls, (V{"cursor 640,512", "cursor 40,40", "cursor 640,512", "cursor 40,40"}));
    EXPECT_EQ(r.t->Passes(), 2);
    EXPECT_EQ(r.Moves().back(), selection ? 20000 : 40000);
  }
}

TEST(RunThreadTest, ControlBeforeTheStartAndAfterTheEnd) {
  Rig r("移动 1,1");
  EXPECT_TRUE(r.t->Suspended());  // created suspended
  r.t->Suspend();
  r.t->WaitFor();  // not started: returns
  r.o.shutAfterLoops = true;
  r.Run();
  EXPECT_FALSE(r.t->Suspended());
  EXPECT_EQ(r.sys.Exits(), 1);
  r.t->Suspend();
  r.t->Resume();
  EXPECT_EQ(r.sink.calls.size(), 1u);

  int closes = 0;
  r.t->Start(CountedScript("x", &closes), r.o);  // a second start only closes its file
  EXPECT_EQ(closes, kCanCountCloses ? 1 : 0);
  EXPECT_EQ(r.sink.calls.size(), 1u);
}

// Real clocks: a stop or the destructor must end a delay of 24 days, so these
// tests hang rather than fail if the wake-up does not work.
class RunThreadRealClockTest : public ::testing::Test {
 protected:
  // Plays the script until its first injected call.
  std::unique_ptr<TRunThread> StartAndAwaitFirstCall(RecordingSink& s, const char* script) {
    {
      std::lock_guard<std::mutex> l(m_);
      called_ = false;
    }
    s.onCall = [this] { std::lock_guard<std::mutex> l(m_); called_ = true; cv_.notify_all(); };
    auto t = std::make_unique<TRunThread>(s, sys, std::make_unique<SteadyPlayClock>());
    RunOptions o;
    o.shutAfterLoops = true;
    t->Start(TempScript(script), o);
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [&] { return called_; });
    return t;
  }
  FakeShutdown sys;

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool called_ = false;
};

TEST_F(RunThreadRealClockTest, StopEndsALongDelayAtOnce) {
  RecordingSink s;
  auto t = StartAndAwaitFirstCall(s, "移动 0,0 延迟 2147483647 移动 1,1");
  t->RequestStop(true);
  t->WaitFor();
  EXPECT_EQ(s.calls, V{"cursor 0,0"});
  EXPECT_EQ(sys.Exits(), 0);
}

TEST_F(RunThreadRealClockTest, DestructorEndsAWaitingOrPausedRunWithoutShutdown) {
  for (bool pause : {false, true}) {
    RecordingSink s;
    auto t = StartAndAwaitFirstCall(s, "按键按下 17 0 0 0 0 延迟 2147483647");
    if (pause) t->Suspend();
    t.reset();
    EXPECT_EQ(s.calls, (V{"key 17 0 down", "key 17 0 up"}));
  }
  EXPECT_EQ(sys.Exits(), 0);
}

// A run stuck in a system call (here: the sink's second call) that no flag can
// cut short.
TEST(RunThreadStuckTest, TheDestructorLetsAStuckRunGoAndItEndsOnItsOwnLikeAUserStop) {
  auto sink = std::make_shared<RecordingSink>();
  auto sys = std::make_shared<FakeShutdown>();
  Gate gate;
  sink->onCall = [&] { if (sink->calls.size() == 2) gate.Block(); };
  int closes = 0;
  auto t = std::make_unique<TRunThread>(sink, sys, std::make_unique<SteadyPlayClock>());
  t->StopWait = std::chrono::milliseconds(10);
  std::shared_future<void> ended = t->Ended();
  RunOptions o;
  o.shutAfterLoops = true;
  t->Start(CountedScript("按键按下 17 0 0 0 0 移动 1,1 左键按下 延迟 5 左键释放", &closes), o);
  gate.AwaitBlocked();

  t.reset();  // returns although the run cannot end now
  EXPECT_TRUE(gate.Holding()) << "the destructor waited for the stuck call";
  EXPECT_FALSE(gate.GaveUp());
  EXPECT_NE(ended.wait_for(std::chrono::seconds(0)), std::future_status::ready);

  // Once the call returns, the run ends: the held key goes up, no other action
  // is played, the file is closed, and it asks for no shutdown.
  gate.Open();
  ended.wait();
  EXPECT_EQ(sink->calls, (V{"key 17 0 down", "cursor 1,1", "key 17 0 up"}));
  EXPECT_EQ(sys->Exits(), 0);
  EXPECT_EQ(closes, kCanCountCloses ? 1 : 0);
}

TEST(RunThreadStuckTest, SharedServicesOutliveTheObjectAndTheTestsReferences) {
  // The run keeps the sink, the requester and the clock alive after both the
  // object and every other owner have let go of them.
  auto sink = std::make_shared<RecordingSink>();
  std::weak_ptr<RecordingSink> watch = sink;
  Gate gate;
  RecordingSink* raw = sink.get();
  sink->onCall = [&gate, raw] { if (raw->calls.size() == 1) gate.Block(); };
  auto t = std::make_unique<TRunThread>(sink, std::make_shared<FakeShutdown>(), std::make_unique<SteadyPlayClock>());
  t->StopWait = std::chrono::milliseconds(1);
  std::shared_future<void> ended = t->Ended();
  t->Start(TempScript("按键按下 65 0 0 0 0 延迟 2147483647"), RunOptions{});
  gate.AwaitBlocked();
  t.reset();
  sink.reset();
  EXPECT_FALSE(watch.expired()) << "the stuck run's sink was freed under it";
  gate.Open();
  ended.wait();
  // set_value comes just before the thread lets go of its share.
  while (!watch.expired()) std::this_thread::yield();
}

TEST(PlayerClockTest, WakeEndsTheCurrentOrNextWaitOnce) {
  SteadyPlayClock steady;
  ExpectWakeEndsTheCurrentOrNextWaitOnce(steady);
}

}  // namespace
}  // namespace tesmuro::play

namespace tesmuro::play {
namespace {

TEST(RunThreadForeground, LooksAtTheForegroundWindowAtEachPassAndWhenItChanges) {
  Rig r("移动 1,1 延迟 10 移动 2,2 延迟 10 移动 3,3");
  r.o.loopMode = static_cast<LoopMode>(0);
  r.o.loopCount = 2;
  uint64_t window = 7;
  std::vector<bool> seen;  // InputBlocked() as each move goes out
  r.sink.foreground = [&] { return window; };
  r.sink.refuses = [&] { return window == 9; };
  r.sink.onCall = [&] {
    seen.push_back(r.t->InputBlocked());
    if (r.sink.calls.size() == 2) window = 9;  // an elevated window comes to the front
    if (r.sink.calls.size() == 3) window = 7;
  };
  r.Run();
  EXPECT_EQ(r.Moves().size(), 6u) << "without StopWhenBlocked the run plays on";
  EXPECT_EQ(seen, (std::vector<bool>{false, false, true, false, false, false}));
  // Pass 1: at its start and when 9 came; pass 2 (7 again): at its start only.
  EXPECT_EQ(r.sink.refusalChecks, 3);
  EXPECT_FALSE(r.t->InputBlocked()) << "over with the run";
  EXPECT_FALSE(r.t->EndedBlocked());
}

TEST(RunThreadForeground, AnUnattendedRunEndsWhenItsInputIsDropped) {
  Rig r("移动 1,1 按键按下 17 29 0 0 0 延迟 10 移动 2,2 延迟 10 移动 3,3");
  r.o.stopWhenBlocked = true;
  r.o.shutAfterLoops = true;
  uint64_t window = 7;
  r.sink.foreground = [&] { return window; };
  r.sink.refuses = [&] { return window == 9; };
  r.clock->At(15 * kMs, [&] { window = 9; });
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"cursor 1,1", "key 17 29 down", "cursor 2,2", "key 17 29 up"}))
      << "ends before the next action, releasing what it holds";
  EXPECT_TRUE(r.t->EndedBlocked());
  EXPECT_FALSE(r.t->EndedByError());
  EXPECT_EQ(r.sys.Exits(), 0) << "no shutdown after a run that could not play";
}

TEST(RunThreadScreen, AScreenThatDiffersIsToldOnceAndMappedWhenAsked) {
  for (bool scale : {false, true}) {
    Rig r("屏幕 0,0,640,512,96 移动 320,256 延迟 10 移动 0,0");
    r.sink.screen = {0, 0, 1280, 1024, 96};
    r.o.scaleToScreen = scale;
    r.o.loopMode = static_cast<LoopMode>(0);
    r.o.loopCount = 2;
    r.Run();
    EXPECT_EQ(r.sink.calls[0], scale ? "cursor 640,512" : "cursor 320,256");
    auto n = r.t->TakeScreenNotice();
    EXPECT_EQ(n.has_value(), !scale);
    if (n) EXPECT_EQ(n->recorded.width, 640);
    EXPECT_FALSE(r.t->TakeScreenNotice());
  }
}

TEST(Integrity, InputIsRefusedOnlyByAHigherOrUnqueryableTarget) {
  const uint32_t medium = kIntegrityMedium, high = kIntegrityHigh;
  EXPECT_FALSE(InputRefusedByTarget(medium, {false, medium}));
  EXPECT_TRUE(InputRefusedByTarget(medium, {false, high}));
  EXPECT_FALSE(InputRefusedByTarget(high, {false, high})) << "as administrator we reach it";
  EXPECT_FALSE(InputRefusedByTarget(high, {false, medium}));
  EXPECT_TRUE(InputRefusedByTarget(medium, {true, std::nullopt})) << "a process we may not query";
  EXPECT_FALSE(InputRefusedByTarget(0x4000u, {true, std::nullopt}));
  EXPECT_FALSE(InputRefusedByTarget(std::nullopt, {false, std::nullopt})) << "a system without levels";
  EXPECT_FALSE(InputRefusedByTarget(std::nullopt, {false, high})) << "our own level unknown: no warning";
}

}  // namespace
}  // namespace tesmuro::play

namespace tesmuro::play {
namespace {

// No player falls back on a service of its own choosing: each program's main
// hands them down, and one that is missing is refused at once.
TEST(RunThreadServices, APlayerOrASessionWithoutItsServicesIsRefused) {
  PlayerServices services{std::make_shared<RecordingSink>(), std::make_shared<FakeShutdown>(),
                          [] { return std::make_unique<SteadyPlayClock>(); }};
  EXPECT_NO_THROW(TRunThread{services});
  for (int missing = 0; missing < 3; ++missing) {
    PlayerServices partial = services;
    if (missing == 0) partial.input.reset();
    if (missing == 1) partial.shutdown.reset();
    if (missing == 2) partial.newClock = [] { return std::unique_ptr<IPlayClock>(); };
    EXPECT_THROW(TRunThread{partial}, std::invalid_argument) << "service " << missing;
  }
  EXPECT_THROW(PlaybackSession({}), std::invalid_argument);
}

}  // namespace
}  // namespace tesmuro::play
