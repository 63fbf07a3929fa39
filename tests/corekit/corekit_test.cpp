#include "corekit/corekit.h"

#include <gtest/gtest.h>

#include <string>

TEST(SafeString, NullPointerGivesEmptyTextNeverNull) {
    CSafeString text(nullptr);
    ASSERT_NE(text.get(), nullptr);
    EXPECT_STREQ(text.get(), "");
    EXPECT_EQ(text.size(), 0u);
    text.set("abc");
    text.set(nullptr);
    ASSERT_NE(text.get(), nullptr);
    EXPECT_STREQ(text.get(), "");
}

TEST(SafeString, CopiesAreIndependent) {
    CSafeString a("host");
    CSafeString b(a);
    b.set("other");
    EXPECT_STREQ(a.get(), "host");
    a = b;
    b.clear();
    EXPECT_STREQ(a.get(), "other");
    EXPECT_EQ(b.size(), 0u);
}

TEST(Utf16ToUtf8, ConvertsBmpAndSurrogatePairs) {
    // "aé€" then U+1F600 as a surrogate pair.
    const char16_t text[] = {u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};
    EXPECT_STREQ(Utf16ToUtf8(text).get(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacter) {
    const char16_t loneHigh[] = {0xD83D, u'x', 0};
    const char16_t loneLow[] = {u'x', 0xDE00, 0};
    const char16_t highAtEnd[] = {0xD800, 0};
    const char16_t twoHighs[] = {0xD800, 0xD801, 0xDC00, 0};
    EXPECT_STREQ(Utf16ToUtf8(loneHigh).get(), "\xEF\xBF\xBDx");
    EXPECT_STREQ(Utf16ToUtf8(loneLow).get(), "x\xEF\xBF\xBD");
    EXPECT_STREQ(Utf16ToUtf8(highAtEnd).get(), "\xEF\xBF\xBD");
    // The first high surrogate is unpaired; the second pairs with the low one.
    EXPECT_STREQ(Utf16ToUtf8(twoHighs).get(), "\xEF\xBF\xBD\xF0\x90\x90\x80");
}

TEST(Utf16ToUtf8, WideTextIsUtf32OnThisPlatform) {
    static_assert(sizeof(wchar_t) == 4);
    const wchar_t text[] = {L'a', 0x1F600, 0x10FFFF, 0};
    EXPECT_STREQ(Utf16ToUtf8(text).get(), "a\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    const wchar_t invalid[] = {0xD800, 0x110000, static_cast<wchar_t>(-1), 0};
    EXPECT_STREQ(Utf16ToUtf8(invalid).get(), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf16ToUtf8, NullGivesEmptyNonNullText) {
    auto a = Utf16ToUtf8(static_cast<const char16_t*>(nullptr));
    auto b = Utf16ToUtf8(static_cast<const wchar_t*>(nullptr));
    ASSERT_NE(a.get(), nullptr);
    ASSERT_NE(b.get(), nullptr);
    EXPECT_STREQ(a.get(), "");
    EXPECT_STREQ(b.get(), "");
}

TEST(Exceptions, RunTimeExceptionIsCaughtAsStdExceptionWithItsMessage) {
    try {
        throw CQXRunTimeException("bad line 3");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "bad line 3");
        EXPECT_NE(dynamic_cast<const CQXException*>(&e), nullptr);
    }
    CQXRunTimeException empty;
    CQXRunTimeException copy(CQXRunTimeException(nullptr));
    EXPECT_STREQ(empty.what(), "");
    EXPECT_STREQ(copy.what(), "");
}
