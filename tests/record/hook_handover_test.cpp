// The hand-over between the hook thread and the interface thread: the
// capped event queue and its wake-ups, numbered requests, the pump that
// handles events and hot-key commands, and the hook watchdog.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "record/hook_handover.h"
#include "record/hook_watchdog.h"

namespace tesmuro {
namespace {

KeyHookEvent Key(uint32_t vk, uint32_t message = 0x100) {
  KeyHookEvent e;
  e.message = message;
  e.vk = vk;
  return e;
}

uint32_t VkOf(const HookEvent& e) { return std::get<KeyHookEvent>(e).vk; }

std::vector<uint32_t> Vks(const std::vector<HookEvent>& events) {
  std::vector<uint32_t> v;
  for (auto& e : events) v.push_back(VkOf(e));
  return v;
}

// ---- the queue ----

TEST(HookEventQueue, OneWakeUpUntilTakenAndAgainAfterAFailedPost) {
  HookEventQueue q;
  std::vector<HookEvent> out;
  EXPECT_TRUE(q.Push(Key(1)));
  EXPECT_FALSE(q.Push(Key(2))) << "a wake-up is outstanding";
  q.Take(out);
  EXPECT_EQ(Vks(out), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(q.Size(), 0u);
  // Taking answers the wake-up, even when nothing was waiting.
  EXPECT_TRUE(q.Push(Key(3)));
  q.Take(out);
  q.Take(out);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(q.Push(Key(4)));

  // The post failed: the next event asks again, though the queue was not empty.
  q.WakeFailed();
  EXPECT_TRUE(q.Push(Key(5)));
  EXPECT_FALSE(q.Push(Key(6)));
  q.Take(out);
  EXPECT_EQ(Vks(out), (std::vector<uint32_t>{4, 5, 6}));
}

TEST(HookEventQueue, AFullQueueDropsItsOldestEvents) {
  HookEventQueue q(3);
  for (uint32_t vk = 1; vk <= 5; ++vk) q.Push(Key(vk));
  EXPECT_EQ(q.Size(), 3u);
  EXPECT_EQ(q.Dropped(), 2u);
  std::vector<HookEvent> out;
  q.Take(out);
  EXPECT_EQ(Vks(out), (std::vector<uint32_t>{3, 4, 5})) << "the newest input is kept";
  q.Push(Key(6));
  q.Take(out);
  EXPECT_EQ(Vks(out), (std::vector<uint32_t>{6}));
  EXPECT_EQ(q.Dropped(), 2u);
  EXPECT_EQ(HookEventQueue(0).Size(), 0u);
}

TEST(HookEventQueue, EventsFromAnotherThreadArriveOnceAndInOrder) {
  HookEventQueue q;
  constexpr uint32_t kCount = 20000;
  int wakes = 0;
  std::thread producer([&] {
    for (uint32_t vk = 0; vk < kCount; ++vk) q.Push(Key(vk));
  });
  std::vector<HookEvent> out, all;
  while (all.size() < kCount) {
    q.Take(out);
    wakes += !out.empty();
    all.insert(all.end(), out.begin(), out.end());
    std::this_thread::yield();
  }
  producer.join();
  ASSERT_EQ(all.size(), kCount);
  for (uint32_t vk = 0; vk < kCount; ++vk) ASSERT_EQ(VkOf(all[vk]), vk);
  EXPECT_EQ(q.Dropped(), 0u);
  EXPECT_GE(wakes, 1);
}

// ---- requests ----

TEST(HookRequests, ALateAnswerIsNeverTakenForTheNextRequest) {
  HookRequests r;
  const uint32_t first = r.Begin();
  EXPECT_EQ(r.Wait(first, 1), std::nullopt) << "the hook thread is held up";
  r.Answer(first, true);  // it answers after all, too late
  const uint32_t second = r.Begin();
  EXPECT_NE(second, first);
  EXPECT_EQ(r.Wait(second, 1), std::nullopt) << "the first request's answer is not the second's";
  r.Answer(second, false);
  EXPECT_EQ(r.Wait(second, 1), std::optional<bool>(false));

  // An answer from the hook thread while the caller waits.
  const uint32_t third = r.Begin();
  std::thread hook([&] { r.Answer(third, true); });
  EXPECT_EQ(r.Wait(third, 60000), std::optional<bool>(true));
  hook.join();
}

// ---- the pump ----

// A pump over a real queue, with handlers that note what happens.
class PumpTest : public ::testing::Test {
 protected:
  PumpTest()
      : pump(HookPump::Callbacks{
            [this](std::vector<HookEvent>& out) { queue.Take(out); },
            [this](const HookEvent& e) { return Handle(e); },
            [this] {
              log.push_back("post");
              return postOk;
            },
            [this](HotKeyCommand c) {
              log.push_back("run " + std::to_string(static_cast<int>(c)));
              if (onRun) onRun();
            },
            [this](std::exception_ptr e) {
              try {
                std::rethrow_exception(e);
              } catch (const std::exception& x) {
                log.push_back(std::string("error ") + x.what());
              }
              if (onReport) onReport();
            }}) {}

  HotKeyCommand Handle(const HookEvent& e) {
    const uint32_t vk = VkOf(e);
    log.push_back("key " + std::to_string(vk));
    if (auto it = during.find(vk); it != during.end()) it->second();
    if (vk == kThrows) throw std::runtime_error("handler failed");
    return vk == kStop ? HotKeyCommand::Stop : HotKeyCommand::None;
  }
  // Pushes like the hook thread; a wake-up that is asked for is delivered
  // (a nested modal loop dispatches it) when `deliver` is set.
  void Push(uint32_t vk, bool deliver = false) {
    if (queue.Push(Key(vk)) && deliver) pump.Drain();
  }

  static constexpr uint32_t kStop = 123, kThrows = 666;
  HookEventQueue queue;
  HookPump pump;
  std::vector<std::string> log;
  bool postOk = true;
  std::map<uint32_t, std::function<void()>> during;
  std::function<void()> onRun, onReport;
};

using Log = std::vector<std::string>;

TEST_F(PumpTest, AHotKeysCommandRunsBeforeTheEventsAfterIt) {
  Push(1);
  Push(kStop);
  Push(2);
  pump.Drain();
  EXPECT_EQ(log, (Log{"key 1", "key 123", "post"}));
  EXPECT_TRUE(pump.CommandWaiting());
  pump.Drain();  // another wake-up before the command ran: the events wait
  EXPECT_EQ(log.size(), 3u);
  pump.RunPostedCommand();
  EXPECT_EQ(log, (Log{"key 1", "key 123", "post", "run 3", "key 2"}));
  pump.RunPostedCommand();  // a second message: the command does not run twice
  pump.Poll();
  pump.Poll();
  EXPECT_EQ(log.size(), 5u);
}

TEST_F(PumpTest, AFailingHandlerIsReportedAndTheQueueStillDrains) {
  Push(1);
  Push(kThrows);
  Push(2);
  pump.Drain();
  EXPECT_EQ(log, (Log{"key 1", "key 666", "error handler failed", "key 2"}));
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_TRUE(queue.Push(Key(3))) << "the next event wakes the window again";
}

TEST_F(PumpTest, EventsThatArriveDuringAnErrorBoxAreHandledAfterIt) {
  // The error box runs a modal loop: it dispatches the wake-ups of the events
  // that the user's input adds meanwhile, while the handling is under way.
  onReport = [this] {
    Push(2, /*deliver=*/true);
    Push(3, true);
    Push(kStop, true);
  };
  Push(kThrows);
  Push(1);
  pump.Drain();
  EXPECT_EQ(log, (Log{"key 666", "error handler failed", "key 1", "key 2", "key 3", "key 123", "post"}));
  pump.RunPostedCommand();
  Push(4, true);
  EXPECT_EQ(log.back(), "key 4") << "the hand-over still works";
}

TEST_F(PumpTest, ACommandWhosePostFailedRunsAtTheNextPoll) {
  postOk = false;
  Push(kStop);
  Push(1);
  pump.Drain();
  EXPECT_EQ(log, (Log{"key 123", "post"}));
  Push(2, true);  // wake-ups do nothing while the command waits
  EXPECT_EQ(log.size(), 2u);
  pump.Poll();
  EXPECT_EQ(log, (Log{"key 123", "post", "run 3", "key 1", "key 2"}));
}

TEST_F(PumpTest, ACommandWhosePostedMessageWasLostRunsAtTheSecondPoll) {
  Push(kStop);
  pump.Drain();
  pump.Poll();  // the message may still come
  EXPECT_EQ(log, (Log{"key 123", "post"}));
  pump.Poll();
  EXPECT_EQ(log, (Log{"key 123", "post", "run 3"}));
  pump.RunPostedCommand();  // the message came after all
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(PumpTest, PollHandlesEventsWhoseWakeUpWasLost) {
  Push(1);  // the wake-up is asked for, never delivered
  Push(2);
  pump.Poll();
  EXPECT_EQ(log, (Log{"key 1", "key 2"}));
  // Inside a handler's modal loop the timer leaves the events to the outer
  // handling, in order.
  during[3] = [this] {
    Push(4);
    pump.Poll();
  };
  Push(3);
  pump.Drain();
  EXPECT_EQ(log, (Log{"key 1", "key 2", "key 3", "key 4"}));
}

TEST_F(PumpTest, ACommandThatFailsIsReportedAndEventsGoOn) {
  onRun = [] { throw std::runtime_error("command failed"); };
  Push(kStop);
  Push(1);
  pump.Drain();
  pump.RunPostedCommand();
  EXPECT_EQ(log, (Log{"key 123", "post", "run 3", "error command failed", "key 1"}));
  // A command with a dialog: hot keys pressed meanwhile work (Stop inside Play's file dialog).
  int runs = 0;
  onRun = [&] {
    if (++runs == 1) {
      Push(kStop, true);
      pump.RunPostedCommand();  // its message, dispatched by the dialog's loop
    }
  };
  Push(kStop);
  pump.Drain();
  pump.RunPostedCommand();
  EXPECT_EQ(log, (Log{"key 123", "post", "run 3", "error command failed", "key 1", "key 123", "post", "run 3",
                      "key 123", "post", "run 3"}));
}

// ---- the watchdog ----

TEST(HookWatchdog, ReinstallsWhenInputIsNewerThanTheHooksLastEvent) {
  HookWatchdog w({2000, 1500});
  w.Installed(10000);
  EXPECT_FALSE(w.Check(12000, 11500, 11500)) << "the hook saw the last input";
  EXPECT_FALSE(w.Check(14000, 13400, 11900)) << "input 1.5 s newer: within the tolerance";
  EXPECT_TRUE(w.Check(16000, 15000, 13400));
  w.Installed(16000);
  EXPECT_FALSE(w.Check(18100, 17400, 13400)) << "silence counts from the new installation";
  EXPECT_TRUE(w.Check(20200, 17600, 13400));
}

TEST(HookWatchdog, ChecksAtMostEveryFewSeconds) {
  HookWatchdog w({2000, 1500});
  w.Installed(0);
  EXPECT_FALSE(w.Check(1999, 1999, 0)) << "too soon after the installation";
  EXPECT_TRUE(w.Check(2000, 2000, 0));
  EXPECT_FALSE(w.Check(3000, 3000, 0)) << "too soon after the last check, whatever it found";
  EXPECT_FALSE(w.Check(3999, 3999, 0));
  EXPECT_TRUE(w.Check(4000, 4000, 0));
}

TEST(HookWatchdog, TickCountsThatWrap) {
  HookWatchdog w({2000, 1500});
  w.Installed(0xFFFFF000u);
  EXPECT_FALSE(w.Check(0x00000800u, 0x00000700u, 0x00000600u)) << "checked 4 s after across the wrap";
  EXPECT_TRUE(w.Check(0x00001800u, 0x00001700u, 0xFFFFFF00u));
  // A last input older than the installation (no input since) is no reason.
  w.Installed(0x00002000u);
  EXPECT_FALSE(w.Check(0x00006000u, 0xFFFFFF00u, 0xFFFFFE00u));
}

TEST(HookWatchdog, OnlyTheSameEventPassedDownTheChainIsADuplicate) {
  KeyHookEvent a = Key(65);
  a.scanCode = 30;
  a.time = 4000;
  a.extraInfo = 7;
  KeyHookEvent b = a;
  b.tick = a.tick + 3;  // seen a moment later, stamped differently
  b.modifiers = Shortcut::kCtrl;
  EXPECT_TRUE(SameKeyEvent(b, a));
  for (auto change : {+[](KeyHookEvent& e) { e.vk = 66; }, +[](KeyHookEvent& e) { e.message = 0x101; },
                      +[](KeyHookEvent& e) { e.scanCode = 31; }, +[](KeyHookEvent& e) { e.flags = 0x10; },
                      +[](KeyHookEvent& e) { e.time = 4001; }, +[](KeyHookEvent& e) { e.extraInfo = 8; }}) {
    KeyHookEvent c = a;
    change(c);
    EXPECT_FALSE(SameKeyEvent(c, a));
  }
}

}  // namespace
}  // namespace tesmuro
