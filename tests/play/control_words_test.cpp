// Scripts that decide: conditions, loops, jumps, calls and the end of a run,
// played on a virtual clock and a fake desktop.
#include <gtest/gtest.h>

#include "play/run_thread.h"
#include "play/stop_reason.h"
#include "player_fakes.h"
#include "support/temp_dir.h"

namespace tesmuro::play {
namespace {

using namespace test;
using V = std::vector<std::string>;
using T = std::vector<int64_t>;
constexpr int64_t kMs = 1000;

TopWindow Box() {
  TopWindow w;
  w.id = 9;
  w.title = "Confirm";
  w.rect = {100, 100, 200, 100};
  return w;
}

struct ControlRig {
  explicit ControlRig(const std::string& script) {
    auto owned = std::make_unique<FakePlayClock>();
    clock = owned.get();
    sink.clock = clock;
    sink.desktop = &desktop;
    t = std::make_unique<TRunThread>(sink, sys, std::move(owned));
    clock->onStuck = [this] { t->RequestStop(true); };
    dir.Write("main.crec", Gbk(script));
    o.scriptFolder = dir.Str();
    o.scriptPath = dir.File("main.crec");
  }
  ControlRig& Run() {
    t->Start(OpenFile(o.scriptPath), o);
    t->WaitFor();
    EXPECT_TRUE(t->Finished());
    return *this;
  }
  static std::FILE* OpenFile(const std::string& path) { return std::fopen(path.c_str(), "rb"); }
  std::string Why() const {
    const auto why = t->WhyStopped();
    return why ? StopReasonText(*why) : "";
  }
  tesmuro::test::TempDir dir;
  FakePlayClock* clock;
  RecordingSink sink;
  FakeDesktop desktop;
  FakeShutdown sys;
  RunOptions o;
  std::unique_ptr<TRunThread> t;
};

constexpr const char* kIfBox =
    "如果 等待窗口 \"Confirm\" 2\r\n移动 1,1\r\n否则\r\n移动 2,2\r\n结束如果\r\n移动 3,3\r\n";

TEST(ControlWords, AnIfPlaysThePartItsWaitChoosesAndAWaitThatRunsOutStopsNothing) {
  ControlRig shown(kIfBox);
  shown.desktop.windows = {Box()};
  shown.Run();
  EXPECT_EQ(shown.sink.calls, (V{"cursor 1,1", "cursor 3,3"}));
  EXPECT_EQ(shown.Why(), "");

  ControlRig absent(kIfBox);
  absent.Run();
  EXPECT_EQ(absent.sink.calls, (V{"cursor 2,2", "cursor 3,3"}));
  EXPECT_EQ(absent.sink.TimesOf("cursor"), (T{2000 * kMs, 2000 * kMs})) << "the wait's length moved what follows";
  EXPECT_EQ(absent.Why(), "");
  EXPECT_FALSE(absent.t->EndedByError());

  // Negated, nested, without an else part; the box comes during the outer wait.
  ControlRig nested(
      "如果不 等待窗口 \"Confirm\" 1\r\n移动 1,1\r\n如果 等待窗口 \"Confirm\" 5\r\n移动 2,2\r\n结束如果\r\n结束如果\r\n"
      "如果 等待窗口 \"Nothing\" 1\r\n移动 8,8\r\n结束如果\r\n移动 3,3\r\n");
  nested.clock->At(1500 * kMs, [&] { nested.desktop.windows = {Box()}; });
  nested.Run();
  EXPECT_EQ(nested.sink.calls, (V{"cursor 1,1", "cursor 2,2", "cursor 3,3"}));

  // A wait outside an 如果 still ends the run as it did.
  ControlRig plain("等待窗口 Confirm 1\r\n移动 1,1\r\n");
  plain.Run();
  EXPECT_EQ(plain.t->WhyStopped()->kind, StopReason::Kind::WindowTimedOut);
}

TEST(ControlWords, LoopsNestCountAndAreLeftByABreakOrAJumpKeepingTheSchedule) {
  ControlRig counted("重复 3\r\n延迟 100\r\n移动 1,1\r\n重复 2\r\n移动 2,2\r\n结束重复\r\n结束重复\r\n移动 3,3\r\n");
  counted.o.loopCount = 2;  // the run's own passes go round the whole script
  counted.Run();
  V pass = {"cursor 1,1", "cursor 2,2", "cursor 2,2"};
  V want;
  for (int i = 0; i < 6; ++i) want.insert(want.end(), pass.begin(), pass.end());
  want.insert(want.begin() + 9, "cursor 3,3");
  want.push_back("cursor 3,3");
  EXPECT_EQ(counted.sink.calls, want);
  EXPECT_EQ(counted.sink.TimesOf("cursor 1,1"), (T{100 * kMs, 200 * kMs, 300 * kMs, 400 * kMs, 500 * kMs, 600 * kMs}))
      << "each action due at the start plus the delays played";

  // An endless loop left when the box shows (each look of the 如果 takes its second).
  ControlRig broken("重复\r\n移动 1,1\r\n如果 等待窗口 \"Confirm\" 1\r\n跳出重复\r\n结束如果\r\n结束重复\r\n移动 3,3\r\n");
  broken.clock->At(2500 * kMs, [&] { broken.desktop.windows = {Box()}; });
  broken.Run();
  EXPECT_EQ(broken.sink.calls, (V{"cursor 1,1", "cursor 1,1", "cursor 1,1", "cursor 3,3"}));

  // A jump forward inside a loop, and one out of two loops.
  ControlRig jumps(
      "重复 2\r\n移动 1,1\r\n跳到 skip\r\n移动 9,9\r\n标签 skip\r\n结束重复\r\n"
      "重复 2\r\n重复\r\n移动 2,2\r\n跳到 \"out\\sof\\sit\"\r\n结束重复\r\n结束重复\r\n标签 \"out\\u{20}of\\u{20}it\"\r\n移动 3,3\r\n");
  jumps.Run();
  EXPECT_EQ(jumps.sink.calls, (V{"cursor 1,1", "cursor 1,1", "cursor 2,2", "cursor 3,3"}));
  EXPECT_EQ(jumps.Why(), "");
}

TEST(ControlWords, ALoopThatTakesNoTimeYieldsAMillisecondAndAStopEndsIt) {
  for (const char* script : {"重复\r\n移动 1,1\r\n结束重复\r\n", "标签 a\r\n移动 1,1\r\n跳到 a\r\n", "重复\r\n结束重复\r\n"}) {
    ControlRig r(script);
    r.o.loopMode = LoopMode::UntilStop;
    r.clock->At(50 * kMs, [&] { r.t->RequestStop(true); });
    r.Run();
    EXPECT_LE(r.clock->Elapsed(), 51 * kMs) << script;
    const T moves = r.sink.TimesOf("cursor");
    if (moves.empty()) continue;
    EXPECT_GE(moves.size(), 45u) << script;
    EXPECT_LE(moves.size(), 51u) << script << ": one go round a millisecond";
    for (size_t i = 1; i < moves.size(); ++i) EXPECT_EQ(moves[i] - moves[i - 1], kMs) << script;
  }
}

TEST(ControlWords, PlayingFromALineInsideALoopGoesRoundAsIfTheLoopHadBeenEnteredThere) {
  const std::string before = "移动 9,9\r\n重复 3\r\n移动 1,1\r\n";
  ControlRig r(before + "移动 2,2\r\n结束重复\r\n移动 3,3\r\n");
  r.o.debuggable = true;
  r.o.part.start = static_cast<int64_t>(Gbk(before).size());
  r.Run();
  EXPECT_EQ(r.sink.calls,
            (V{"cursor 2,2", "cursor 1,1", "cursor 2,2", "cursor 1,1", "cursor 2,2", "cursor 3,3"}));
}

TEST(ControlWords, EndPlayEndsTheRunAsPlayedWithoutAnotherPass) {
  ControlRig r("移动 1,1\r\n重复 5\r\n结束播放\r\n结束重复\r\n移动 2,2\r\n");
  r.o.loopCount = 3;
  r.o.shutAfterLoops = true;
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"cursor 1,1"}));
  EXPECT_EQ(r.Why(), "");
  EXPECT_FALSE(r.t->EndedByError());
  EXPECT_EQ(r.t->Passes(), 0);
}

TEST(ControlWords, AScriptWhoseStructureIsWrongPlaysNothingAndNamesItsLine) {
  ControlRig r("移动 1,1\r\n重复 2\r\n移动 2,2\r\n否则\r\n");
  r.Run();
  EXPECT_EQ(r.sink.calls, V{});
  EXPECT_TRUE(r.t->EndedByError());
  EXPECT_EQ(r.Why(), "第 4 行：否则之前，第 2 行的重复还没有结束重复，脚本没有播放");
}

TEST(ControlWords, ACallPlaysAScriptOfTheSameFolderWithinTheRun) {
  ControlRig r("移动 1,1\r\n调用 \"sub\\sone.crec\" 2\r\n移动 3,3\r\n");
  r.dir.Write("sub one.crec", Gbk("延迟 10\r\n移动 2,2\r\n重复 2\r\n调用 leaf.crec\r\n结束重复\r\n"));
  r.dir.Write("leaf.crec", Gbk("移动 4,4\r\n"));
  r.Run();
  EXPECT_EQ(r.sink.calls, (V{"cursor 1,1", "cursor 2,2", "cursor 4,4", "cursor 4,4", "cursor 2,2", "cursor 4,4",
                             "cursor 4,4", "cursor 3,3"}));
  EXPECT_EQ(r.sink.TimesOf("cursor 3,3"), T{20 * kMs}) << "the called delays are the run's";

  // A wait that runs out in a called script names the 调用's line.
  ControlRig waits("移动 1,1\r\n调用 wait.crec\r\n");
  waits.dir.Write("wait.crec", Gbk("移动 2,2\r\n等待窗口 \"Nothing\" 1\r\n"));
  waits.Run();
  EXPECT_EQ(waits.Why(), "第 2 行：等待窗口“Nothing”超过 1 秒，回放已停止");
}

TEST(ControlWords, CallsOfMissingScriptsBackIntoAPlayingOneOrTooDeepAreRefusedBeforeTheRun) {
  ControlRig missing("移动 1,1\r\n调用 nope.crec\r\n");
  missing.Run();
  EXPECT_EQ(missing.sink.calls, V{});
  EXPECT_EQ(missing.Why(), "第 2 行：找不到调用的脚本“nope.crec”，脚本没有播放");

  ControlRig back("移动 1,1\r\n\r\n调用 a.crec\r\n");
  back.dir.Write("a.crec", Gbk("移动 2,2\r\n调用 main.crec\r\n"));
  back.Run();
  EXPECT_EQ(back.sink.calls, V{});
  EXPECT_EQ(back.Why(), "第 3 行：调用的脚本“a.crec”第 2 行：不能调用正在播放的脚本“main.crec”，脚本没有播放");

  // Eight calls deep play; nine are refused.
  for (int depth : {8, 9}) {
    ControlRig deep("调用 c1.crec\r\n");
    for (int i = 1; i <= depth; ++i)
      deep.dir.Write("c" + std::to_string(i) + ".crec",
                     i < depth ? Gbk("调用 c" + std::to_string(i + 1) + ".crec\r\n") : Gbk("移动 5,5\r\n"));
    deep.Run();
    if (depth == 8) {
      EXPECT_EQ(deep.sink.calls, V{"cursor 5,5"});
    } else {
      EXPECT_EQ(deep.sink.calls, V{});
      EXPECT_NE(deep.Why().find("调用太深（最多 8 层）"), std::string::npos) << deep.Why();
    }
  }
}

}  // namespace
}  // namespace tesmuro::play
