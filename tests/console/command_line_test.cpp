// How a typed line becomes words, and how words become numbers and test
// modes, as the console commands read them.
#include "console/command_line.h"
#include "console/test_commands.h"
#include "benchline/backend.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

using Words = std::vector<std::string>;

Words SplitLine(const std::string& line) {
    Words tokens;
    EXPECT_TRUE(SplitConsoleLine(line, tokens)) << line;
    return tokens;
}

TEST(SplitCommandLineTest, LineEndsAndBlanks) {
    struct Case {
        std::string Line;
        Words Expect;
    } cases[] = {
        {"LH\n", {"LH"}},
        {"LH\r\n", {"LH"}},
        {"LH", {"LH"}},  // a last line without its line feed
        {"", {}},
        {"\n", {}},
        {"\r\n", {}},
        {" \t  \r\n", {}},
        {"  lh \t ?  \n", {"lh", "?"}},
        {"SH \n", {"SH"}},
        {"SH \r\n", {"SH"}},  // the same words whichever line end the sender uses
        {"TP TEST_J 2 0\n", {"TP", "TEST_J", "2", "0"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitLine(c.Line), c.Expect) << '"' << c.Line << '"';
}

TEST(SplitCommandLineTest, AtMost99BytesBeforeTheLineEnd) {
    Words tokens{"stale"};
    EXPECT_EQ(SplitLine(std::string(99, 'A') + "\r\n"), Words{std::string(99, 'A')});
    EXPECT_FALSE(SplitConsoleLine(std::string(100, 'A') + "\n", tokens));
    EXPECT_TRUE(tokens.empty());
    EXPECT_FALSE(SplitConsoleLine(std::string(100, 'A'), tokens));
    EXPECT_FALSE(SplitConsoleLine(std::string(99, 'A') + "\r\r\n", tokens));
}

TEST(SplitCommandLineTest, QuotesBackslashesAndCarriageReturns) {
    struct Case {
        std::string Line;
        Words Expect;
    } cases[] = {
        {"TD \"TEST J\" 0", {"TD", "TEST J", "0"}},
        {"\"LH\" x", {"LH", "x"}},
        {"TP a\\\"b 1", {"TP", "a\"b", "1"}},
        {"TP a\\\\\"b c\" 1", {"TP", "a\\b c", "1"}},
        {"TP a\\b", {"TP", "a\\b"}},
        {"TP \"\"", {"TP", ""}},
        {"TP a\rb c", {"TP", "a", "c"}},  // a word ends at its first carriage return
        {"TP \"x\r y\"", {"TP", "x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.Line), c.Expect) << '"' << c.Line << '"';
}

TEST(SplitCommandLineTest, EveryByteComesBackUnchanged) {
    EXPECT_EQ(SplitLine("TD \xc3\xa9t\xc3\xa9 0\n"), (Words{"TD", "\xc3\xa9t\xc3\xa9", "0"}));
    EXPECT_EQ(SplitLine("\xff\xfe \x80\n"), (Words{"\xff\xfe", "\x80"}));
    // A NUL byte ends the line, as it ends a C text.
    EXPECT_EQ(SplitCommandLine(std::string("A\0B C", 5)), (Words{"A"}));
    EXPECT_EQ(SplitCommandLine(std::string("\0LH", 3)), Words{});
}

// ParseDecimal reads a number's start; only a whole number names an index.
TEST(ParseDecimalTest, ReadsLikeTheCommandsExpect) {
    struct Case {
        std::string Word;
        int32_t Expect;
        bool Whole;
    } cases[] = {
        {"0", 0, true},
        {"7", 7, true},
        {"12x", 12, false},
        {" -3", -3, true},
        {"+4", 4, true},
        {"\t5 ", 5, true},
        {"", 0, false},
        {"x", 0, false},
        {"-", 0, false},
        {"--1", 0, false},
        {"0x3", 0, false},
        {"1st", 1, false},
        {"1 2", 1, false},
        {"- 3", 0, false},
        {"2147483647", INT_MAX, true},
        {"99999999999999999999", INT_MAX, true},
        {"-2147483648", INT_MIN, true},
        {"-99999999999999999999", INT_MIN, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDecimal(c.Word), c.Expect) << '"' << c.Word << '"';
        int32_t value = -7;
        EXPECT_EQ(ParseWholeDecimal(c.Word, value), c.Whole) << '"' << c.Word << '"';
        EXPECT_EQ(value, c.Whole ? c.Expect : -7) << '"' << c.Word << '"';
    }
}

TEST(ParseDecimalTest, CaseInsensitiveOrderDecidesWhatLooksLikeAnIndex) {
    EXPECT_EQ(CompareNoCase("lh", "LH"), 0);
    EXPECT_GT(CompareNoCase("abc", "0"), 0);
    EXPECT_LT(CompareNoCase("-1", "0"), 0);
    EXPECT_LT(CompareNoCase("", "0"), 0);
    EXPECT_TRUE(SameWord("Exit", "EXIT"));
    EXPECT_FALSE(SameWord("EXITS", "EXIT"));
}

TEST(ParsePortNumberTest, ValuesBeyondAByteNameNoPort) {
    EXPECT_EQ(ParsePortNumber("2"), 2);
    EXPECT_EQ(ParsePortNumber("255"), 255);
    EXPECT_EQ(ParsePortNumber("x"), 0);
    EXPECT_EQ(ParsePortNumber("2x"), 0);
    // Wrapping would turn 257 into port 1 and test the wrong port.
    EXPECT_EQ(ParsePortNumber("256"), 0);
    EXPECT_EQ(ParsePortNumber("257"), 0);
    EXPECT_EQ(ParsePortNumber("-1"), 0);
    EXPECT_EQ(ParsePortNumber("-255"), 0);
}

TEST(TestModeWordsTest, EachCommandAcceptsOnlyItsOwnWordsInAnyCase) {
    std::string name;
    EXPECT_EQ(ParseDeviceTestMode("test_packet", name), 4);
    EXPECT_EQ(name, "TEST_PACKET");
    EXPECT_EQ(ParseDeviceTestMode("Loop_Device_Descriptor", name), 9);
    EXPECT_EQ(ParseDeviceTestMode("SINGLE_STEP_GET_DEV_DESC", name), 14);
    EXPECT_EQ(ParseDeviceTestMode("PARENT_TEST_PACKET", name), 18);
    EXPECT_EQ(ParsePortTestMode("test_force_enable", name), 5);
    EXPECT_EQ(name, "TEST_FORCE_ENABLE");
    EXPECT_EQ(ParsePortTestMode("SS_TX_COMPLIANCE_MODE", name), 9);
    EXPECT_EQ(ParsePortTestMode("RESET", name), 8);
    EXPECT_EQ(ParseDeviceTestMode("RESET", name), 7);

    // Words of the other command, the dialogs' spellings, set address and
    // near misses name nothing.
    for (const char* word : {"SET_ADDRESS", "TEST_FORCE_ENABLE", "SS_TX_COMPLIANCE_MODE", "DEVICE DESCRIPTOR",
                             "TEST_J ", "TEST_", "", "NONE"}) {
        EXPECT_EQ(ParseDeviceTestMode(word, name), 0) << word;
    }
    for (const char* word : {"DEVICE_DESCRIPTOR", "PARENT_TEST_PACKET", "TX_COMPLIANCE_MODE", "TEST_PACKETS", "NONE"}) {
        EXPECT_EQ(ParsePortTestMode(word, name), 0) << word;
    }
}

// The question before a request that would stop what the machine runs on,
// as the bench asks it: only a typed OK goes on, unless the driving program
// confirmed ahead with VOLTARIS_CONFIRM_IN_USE=1.
TEST(ConsoleConfirmPromptTest, OnlyATypedOkGoesOnUnlessConfirmedAhead) {
    EXPECT_TRUE(ConfirmsAhead("1"));
    for (const char* value : {"", "0", "yes", "11"}) EXPECT_FALSE(ConfirmsAhead(value)) << value;
    EXPECT_FALSE(ConfirmsAhead(nullptr));
    struct {
        std::vector<std::string> Lines;
        bool Ahead;
        bool Confirmed;
    } cases[] = {
        {{"\n", "maybe\n", "ok\n"}, false, true},  // Enter alone is no answer here
        {{"cancel\n"}, false, false},
        {{}, false, false},  // the end of the input
        {{}, true, true},
    };
    for (const auto& test : cases) {
        if (test.Ahead) ::setenv(CONFIRM_AHEAD_VARIABLE, "1", 1);
        else ::unsetenv(CONFIRM_AHEAD_VARIABLE);
        std::string shown;
        size_t next = 0;
        CConsoleSession session([&shown](const char* text) { shown += text; },
                                [&](char* buffer, size_t capacity, size_t* length) {
                                    if (next == test.Lines.size()) return OS_READ_END;
                                    *length = test.Lines[next].copy(buffer, capacity);
                                    ++next;
                                    return OS_READ_LINE;
                                });
        {
            CConsoleConfirmPrompt prompt(session);
            EXPECT_EQ(BLConfirm("controller 0000:00:14.0 carries the keyboard 046d:c52b."), test.Confirmed);
        }
        EXPECT_EQ(next, test.Lines.size());
        EXPECT_NE(shown.find(" controller 0000:00:14.0 carries the keyboard 046d:c52b.\n"), std::string::npos);
        EXPECT_EQ(shown.find("Confirmed ahead by VOLTARIS_CONFIRM_IN_USE=1") != std::string::npos, test.Ahead);
        EXPECT_FALSE(BLConfirm("no prompt: refused"));
    }
    ::unsetenv(CONFIRM_AHEAD_VARIABLE);
}
