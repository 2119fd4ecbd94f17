#include "play/injection_log.h"

#include <gtest/gtest.h>

namespace tesmuro::play {
namespace {

TEST(InjectionLog, EachNoteVouchesForOneMatchingEventOnly) {
  InjectionLog log;
  log.NoteKey(127, true, 0);
  log.NoteKey(127, false, 10);
  EXPECT_TRUE(log.TakeIfOurs(127, false, 20));   // out of order: the release came first
  EXPECT_FALSE(log.TakeIfOurs(127, false, 25));  // one note, one event
  EXPECT_TRUE(log.TakeIfOurs(127, true, 30));
  EXPECT_FALSE(log.TakeIfOurs(127, true, 40));  // a second press is the user's
  EXPECT_FALSE(log.TakeIfOurs(38, true, 40));
  EXPECT_EQ(log.Pending(), 0u);
}

TEST(InjectionLog, OldNotesExpireAndTheLogStaysBounded) {
  InjectionLog log;
  log.NoteKey(50, true, 0);
  EXPECT_FALSE(log.TakeIfOurs(50, true, InjectionLog::kMaxAgeMicros + 1));
  for (std::size_t i = 0; i < InjectionLog::kMaxNotes + 10; ++i) log.NoteKey(60, true, 5);
  EXPECT_EQ(log.Pending(), InjectionLog::kMaxNotes);
}

}  // namespace
}  // namespace tesmuro::play
