// The command-line splitter against the rules it follows, case by case.
#include "os/cmdline.h"

#include <gtest/gtest.h>

namespace {

struct CSplitCase {
    const wchar_t* Line;
    std::vector<std::wstring> Words;
};

void ExpectSplits(const std::vector<CSplitCase>& cases) {
    for (const auto& c : cases) {
        std::vector<std::wstring> words{L"stale"};
        int count = -1;
        ASSERT_TRUE(OSCommandLineToArgv(c.Line, words, count, L"/opt/voltaris/voltaris")) << c.Line;
        EXPECT_EQ(words, c.Words) << "line [" << c.Line << "]";
        EXPECT_EQ(count, static_cast<int>(c.Words.size())) << "line [" << c.Line << "]";
    }
}

}  // namespace

TEST(CommandLineTest, ProgramNameWord) {
    ExpectSplits({
        {L"", {L"/opt/voltaris/voltaris"}},
        {L"prog", {L"prog"}},
        {L" a b", {L"", L"a", L"b"}},
        {L"\ta", {L"", L"a"}},
        {L" ", {L""}},
        {L"\"\" a", {L"", L"a"}},
        {L"\"C:\\Program Files\\x.exe\" a", {L"C:\\Program Files\\x.exe", L"a"}},
        // No backslash processing: the name ends at the first quote.
        {L"\"a\\\"b c", {L"a\\", L"b", L"c"}},
        {L"\"a\"b c", {L"a", L"b", L"c"}},
        {L"\"unterminated name", {L"unterminated name"}},
        {L"pro\"g a\"", {L"pro\"g", L"a"}},
        {L"C:\\dir\\\\\\\" x", {L"C:\\dir\\\\\\\"", L"x"}},
    });
}

TEST(CommandLineTest, BlanksTabsAndQuotesBetweenWords) {
    ExpectSplits({
        {L"p a b", {L"p", L"a", L"b"}},
        {L"p  a\t\tb \t", {L"p", L"a", L"b"}},
        {L"p \"a b\" c", {L"p", L"a b", L"c"}},
        {L"p \"a\tb\"", {L"p", L"a\tb"}},
        {L"p a\"b c\"d e", {L"p", L"ab cd", L"e"}},
        {L"p \"\"", {L"p", L""}},
        {L"p \"\" \"\"", {L"p", L"", L""}},
        {L"p \"a b", {L"p", L"a b"}},
        {L"p a\"", {L"p", L"a"}},
        // A carriage return is no separator: it stays in the word.
        {L"LH \r", {L"LH", L"\r"}},
        {L"p \u00e9\u263a", {L"p", L"\u00e9\u263a"}},
    });
}

TEST(CommandLineTest, BackslashesBeforeAndAwayFromQuotes) {
    ExpectSplits({
        {L"p \\a", {L"p", L"\\a"}},
        {L"p a\\\\b", {L"p", L"a\\\\b"}},
        {L"p a\\", {L"p", L"a\\"}},
        {L"p \\\"a", {L"p", L"\"a"}},                // 1 backslash: literal quote
        {L"p \\\\\"a b\"", {L"p", L"\\a b"}},        // 2: one backslash, quote groups
        {L"p \\\\\\\"a", {L"p", L"\\\"a"}},          // 3: one backslash, literal quote
        {L"p \\\\\\\\\"a b\"", {L"p", L"\\\\a b"}},  // 4: two backslashes, quote groups
        {L"p \\\\\"", {L"p", L"\\"}},
        {L"p \"a\\\"b\"", {L"p", L"a\"b"}},
        {L"p \"C:\\dir\\\\\" x", {L"p", L"C:\\dir\\", L"x"}},
    });
}

TEST(CommandLineTest, DoubledQuotesInsideAGroupGiveOneQuote) {
    ExpectSplits({
        {L"p \"a\"\"b\"", {L"p", L"a\"b"}},
        {L"p \"a\"\"b c\"", {L"p", L"a\"b c"}},  // the group goes on after the pair
        {L"p a\"\"b", {L"p", L"ab"}},            // outside a group "" is an empty group
        {L"p \"\"\"\"", {L"p", L"\""}},
        {L"p \"a\\\\\"\"b\"", {L"p", L"a\\\"b"}},
    });
}

TEST(CommandLineTest, NullLineFailsAndEmptyLineNamesTheRunningProgram) {
    std::vector<std::wstring> words{L"stale"};
    int count = 7;
    EXPECT_FALSE(OSCommandLineToArgv(nullptr, words, count));
    EXPECT_TRUE(words.empty());
    EXPECT_EQ(count, 0);

    ASSERT_TRUE(OSCommandLineToArgv(L"", words, count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(words[0], OSModuleFileName());
    EXPECT_TRUE(words[0].ends_with(L"/os_test")) << words[0].size();
}

TEST(CommandLineTest, Utf8Decoding) {
    EXPECT_EQ(OSUtf8ToWide(nullptr), L"");
    EXPECT_EQ(OSUtf8ToWide("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), L"a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(OSUtf8ToWide("\xc3"), L"\ufffd");  // cut short
    EXPECT_EQ(OSUtf8ToWide("\xc3x"), L"\ufffdx");
    EXPECT_EQ(OSUtf8ToWide("\xc0\xaf"), L"\ufffd\ufffd");                     // overlong
    EXPECT_EQ(OSUtf8ToWide("\xed\xa0\x80"), L"\ufffd\ufffd\ufffd");           // surrogate
    EXPECT_EQ(OSUtf8ToWide("\xf4\x90\x80\x80"), std::wstring(4, L'\ufffd'));  // above U+10FFFF
    EXPECT_EQ(OSUtf8ToWide("\xff"), L"\ufffd");
}
