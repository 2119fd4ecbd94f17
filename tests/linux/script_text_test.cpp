// The checks a script's bytes go through before it is played: GBK text, and
// the UTF-8 text a script wrongly saved in it would be.
#include <gtest/gtest.h>

#include "linux/files.h"

namespace tesmuro::linux_files {
namespace {

TEST(LooksLikeUtf8, WantsAtLeastOneWholeNonAsciiCharacter) {
  EXPECT_FALSE(LooksLikeUtf8(""));
  EXPECT_FALSE(LooksLikeUtf8("plain ascii\r\n"));
  EXPECT_TRUE(LooksLikeUtf8("\xE5\xBB\xB6\xE8\xBF\x9F 100"));          // 延迟 100
  EXPECT_TRUE(LooksLikeUtf8("x \xE5\xBB\xB6\xE8\xBF\x9F"));            // ends with a whole character
  EXPECT_TRUE(LooksLikeUtf8("\xC3\xA9\xF0\x9F\x98\x80"));              // two and four bytes
}

TEST(LooksLikeUtf8, ACharacterCutOffAtTheEndOrABadByteIsNotUtf8) {
  EXPECT_FALSE(LooksLikeUtf8("\xE5\xBB\xB6\xE8\xBF"));  // last character lacks its final byte
  EXPECT_FALSE(LooksLikeUtf8("ok \xE5"));                // a lead byte alone at the end
  EXPECT_FALSE(LooksLikeUtf8("\xF0\x9F\x98"));
  EXPECT_FALSE(LooksLikeUtf8("\xD1\xD3\xB3\xD9 100"));  // 延迟 in GBK
  EXPECT_FALSE(LooksLikeUtf8("\xBB\xB6"));              // a trail byte first
  EXPECT_FALSE(LooksLikeUtf8("\xF8\x80\x80\x80\x80"));  // no five-byte forms
}

}  // namespace
}  // namespace tesmuro::linux_files
