#include "play/playback_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "player_fakes.h"
#include "setup/settings.h"
#include "support/temp_dir.h"

namespace tesmuro {
namespace {

using play::RunOptions;
constexpr auto Started = play::PlaybackSession::StartResult::Started;

TEST(RunOptionsFor, TheSettingsLoopModeInItsOrderWithSixtyFourBitTimes) {
  TSettings s = ConstructionSettings();
  EXPECT_EQ(RunOptionsFor(s), RunOptions{}) << "no mode chosen: one pass";
  s.LoopUntilKey = true;
  EXPECT_EQ(RunOptionsFor(s).loopMode, play::LoopMode::UntilStop);
  s.LoopByTime = true;
  s.LoopHours = 2147483647;
  s.LoopMinutes = 2147483647;
  s.LoopSeconds = 5;
  RunOptions o = RunOptionsFor(s);
  EXPECT_EQ(o.loopMode, play::LoopMode::Timed);
  EXPECT_EQ(o.loopTotalSeconds, int64_t{2147483647} * 3600 + int64_t{2147483647} * 60 + 5);
  s.LoopByCount = true;
  s.LoopCount = 7;
  o = RunOptionsFor(s);
  EXPECT_EQ(o.loopMode, play::LoopMode::Count);
  EXPECT_EQ(o.loopCount, 7);
  EXPECT_EQ(o.loopTotalSeconds, 0);
}

TEST(RunOptionsFor, SwitchesShutdownAndWhatTheRequestSaysForOneRun) {
  TSettings s = ConstructionSettings();
  s.LoopByCount = true;
  s.LoopCount = 2;
  s.ShutAfterLoops = s.ShutAfterElapsed = true;
  s.ShutHours = -1;
  s.ShutMinutes = 2;
  s.SendInputJoy = true;
  s.SpeedPercent = 250;
  s.ScaleToScreen = true;
  RunOptions o = RunOptionsFor(s);
  EXPECT_TRUE(o.shutAfterLoops && o.shutAfterElapsed);
  EXPECT_EQ(o.shutTotalSeconds, -3600 + 120);
  EXPECT_EQ(o.controller, (play::ControllerDelivery{false, true}));
  EXPECT_EQ(o.speedPercent, 250);
  EXPECT_TRUE(o.scaleToScreen);
  EXPECT_FALSE(o.gameMode);

  RunRequest r;
  r.withShutdown = false;
  r.speedPercent = 50;
  r.gameMode = true;
  r.stopWhenBlocked = true;
  r.forSeconds = 90;
  o = RunOptionsFor(s, r);
  EXPECT_FALSE(o.shutAfterLoops || o.shutAfterElapsed);
  EXPECT_EQ(o.shutTotalSeconds, 0);
  EXPECT_EQ(o.speedPercent, 50);
  EXPECT_TRUE(o.gameMode && o.scaleToScreen && o.stopWhenBlocked);
  EXPECT_EQ(o.loopMode, play::LoopMode::Timed);
  EXPECT_EQ(o.loopTotalSeconds, 90);
  r.untilStop = true;
  EXPECT_EQ(RunOptionsFor(s, r).loopMode, play::LoopMode::UntilStop) << "until stopped comes before a time";
  r.loops = 4;
  o = RunOptionsFor(s, r);
  EXPECT_EQ(o.loopMode, play::LoopMode::Count) << "a count comes first";
  EXPECT_EQ(o.loopCount, 4);
}

// A session whose players run on a virtual clock into a recording sink.
struct SessionRig {
  play::test::RecordingSink sink;
  play::test::FakeShutdown shutdown;
  // When set, the run is held one second into its first wait until it is
  // told to stop (`held` is ready once it is there), so that commands given
  // meanwhile reach a run that is surely under way: the virtual clock would
  // otherwise let it play to its end before the test's next line.
  bool holdUntilStop = false;
  std::promise<void> held;
  play::PlaybackSession session{[this] {
    auto c = std::make_unique<play::test::FakePlayClock>();
    c->onStuck = [] {};
    sink.clock = c.get();
    play::test::FakePlayClock& clock = *c;
    auto t = std::make_unique<play::TRunThread>(sink, shutdown, std::move(c));
    if (holdUntilStop) {
      play::TRunThread* run = t.get();
      clock.At(1000000, [this, run] {
        held.set_value();
        while (!run->StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      });
    }
    return t;
  }};
};

TEST(PlaybackSession, StartsWithTheOptionsAndTellsHowTheRunEnded) {
  SessionRig r;
  EXPECT_FALSE(r.session.Playing());
  EXPECT_EQ(r.session.Outcome(), play::RunOutcome::Stopped);
  EXPECT_FALSE(r.session.TogglePause());

  RunOptions o;
  o.loopCount = 3;
  o.speedPercent = 200;
  test::TempDir dir;
  dir.Write("a.crec", play::test::Gbk("延迟 10 移动 1,1"));
  ASSERT_EQ(r.session.Start(play::ScriptSource::File(dir.File("a.crec")), o, 1000), Started);
  r.session.Player()->WaitFor();
  EXPECT_EQ(r.sink.TimesOf("cursor"), (std::vector<int64_t>{5000, 10000, 15000}));
  EXPECT_EQ(r.session.Outcome(), play::RunOutcome::Played);
  EXPECT_FALSE(r.session.ProgressAt(2000).playing);

  // The box's text plays from a copy of its own.
  ASSERT_EQ(r.session.Start(play::ScriptSource::Box(play::test::Gbk("移动 1,1 鼠标滚轮 x 0 0")), {}, 0), Started);
  r.session.Player()->WaitFor();
  EXPECT_EQ(r.session.Outcome(), play::RunOutcome::Error);
  // The end is told once, with the line it stopped on.
  play::RunNotices n = r.session.TakeNotices();
  EXPECT_TRUE(n.ended);
  EXPECT_FALSE(n.wait);
  EXPECT_FALSE(r.session.TakeNotices().ended) << "once";
  const play::RunVerdict v = r.session.Verdict();
  EXPECT_EQ(v.exitCode, play::kExitError);
  EXPECT_EQ(v.text, "第 1 行：按键或滚轮的代码不是数字，回放已停止");

  // A script that cannot be opened starts nothing and leaves the last run as it was.
  play::TRunThread* last = r.session.Player();
  EXPECT_EQ(r.session.Start(play::ScriptSource::File(dir.File("none.crec")), o, 0),
            play::PlaybackSession::StartResult::CannotOpen);
  EXPECT_EQ(r.session.Player(), last);
}

TEST(PlaybackSession, ProgressPauseAndAStopThatEndsTheRunAsTheUsers) {
  SessionRig r;
  RunOptions o;
  o.loopMode = play::LoopMode::Timed;
  o.loopTotalSeconds = 3600;
  o.shutAfterLoops = true;
  // A pause in the script's first delay holds the run where it is.
  r.holdUntilStop = true;
  ASSERT_EQ(r.session.Start(play::ScriptSource::Box(play::test::Gbk("延迟 1000000 移动 1,1")), o, 4294967000u),
            Started);
  r.held.get_future().wait();
  ASSERT_TRUE(r.session.TogglePause());
  const auto p = r.session.ProgressAt(4294967000u + 61500);  // across the tick count's wrap
  EXPECT_TRUE(p.playing);
  EXPECT_TRUE(p.paused);
  EXPECT_EQ(p.mode, 2);
  EXPECT_EQ(p.secondsLeft, 3600 - 61);
  ASSERT_TRUE(r.session.TogglePause());
  EXPECT_FALSE(r.session.Player()->Suspended());
  r.session.Stop();
  EXPECT_EQ(r.session.Player(), nullptr);
  EXPECT_EQ(r.shutdown.Exits(), 0) << "a user's stop never shuts down";
  EXPECT_TRUE(r.sink.calls.empty());
}

// Every way a run ends has its exit code (README, tesmuro.1) and its text.
TEST(RunVerdict, EveryWayARunEndsHasItsExitCodeAndText) {
  using How = play::RunEnd::How;
  using Kind = play::StopReason::Kind;
  const std::pair<How, int> ends[] = {
      {How::Played, 0}, {How::StoppedByUser, 1}, {How::Failed, 2}, {How::Blocked, 3}};
  for (const auto& [how, code] : ends) {
    const play::RunVerdict v = play::Verdict({how, {}, 7});
    EXPECT_EQ(v.exitCode, code) << static_cast<int>(how);
    EXPECT_EQ(v.text.empty(), how == How::Played) << static_cast<int>(how);
    EXPECT_FALSE(v.onLine);
  }
  EXPECT_EQ(play::Verdict({How::StoppedByUser, {}, 7}).text, "回放已停止（完成 7 遍）");

  const std::pair<Kind, int> lines[] = {
      {Kind::BadCode, 2},        {Kind::BadColor, 2},      {Kind::BadDelayRange, 2},  {Kind::BadText, 2}, {Kind::BadTypeInterval, 2}, {Kind::TypedTextCut, 2},
      {Kind::ImageUnreadable, 2}, {Kind::WindowTimedOut, 4}, {Kind::ColorTimedOut, 4}, {Kind::ImageTimedOut, 4}};
  std::set<std::string> texts;
  for (const auto& [kind, code] : lines) {
    play::StopReason why{.kind = kind, .line = 12, .what = std::string(30, 'T'), .seconds = 3};
    const play::RunVerdict v = play::Verdict({How::OnLine, why});
    EXPECT_EQ(v.exitCode, code) << static_cast<int>(kind);
    EXPECT_EQ(why.TimedOut(), code == 4) << static_cast<int>(kind);
    EXPECT_EQ(why.Unplayable(), code == 2) << static_cast<int>(kind);
    EXPECT_TRUE(v.onLine);
    EXPECT_EQ(v.text.rfind("第 12 行：", 0), 0u) << v.text;
    EXPECT_EQ(play::StopReasonText(why), v.text);
    EXPECT_LE(play::Verdict({How::OnLine, why}, 10).text.size(), v.text.size());
    texts.insert(v.text);
  }
  EXPECT_EQ(texts.size(), std::size(lines)) << "each kind says its own";
}

}  // namespace
}  // namespace tesmuro
