// The library's own line recogniser against the standard regex engine, and
// the other internal parts.
#include "run_time_error.h"
#include "vif_line.h"

#include <corekit/corekit.h>

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

namespace {

const std::regex& TextPattern() {
    static const std::regex pattern(R"re(^(\$[[:alnum:]_']+)\s*:\s*"(.*)"$)re",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& NumericPattern() {
    static const std::regex pattern(R"re(^([[:alnum:]_']+)\s*:\s*(0x[[:xdigit:]]+|[[:digit:]]+|YES|NO)$)re",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

std::string Escaped(const std::string& line) {
    std::string out;
    for (unsigned char c : line) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

void ExpectSameAsRegex(const std::string& line) {
    std::smatch groups;
    const bool expected =
        std::regex_match(line, groups, !line.empty() && line[0] == '$' ? TextPattern() : NumericPattern());
    std::string_view name;
    std::string_view value;
    ASSERT_EQ(RecognizeLine(line, name, value), expected) << '"' << Escaped(line) << '"';
    if (expected) {
        ASSERT_EQ(name, groups[1].str()) << Escaped(line);
        ASSERT_EQ(value, groups[2].str()) << Escaped(line);
    }
}

// Every line of up to four characters over the characters that matter.
TEST(VifLine, AgreesWithTheRegexOnAllTinyLines) {
    const std::string alphabet = "$a0xY:\" \r\v";
    std::string line;
    for (std::size_t length = 0; length <= 4; ++length) {
        std::vector<std::size_t> digits(length, 0);
        while (true) {
            line.clear();
            for (std::size_t d : digits) line += alphabet[d];
            ExpectSameAsRegex(line);
            if (HasFatalFailure()) return;
            std::size_t i = 0;
            while (i < length && ++digits[i] == alphabet.size()) digits[i++] = 0;
            if (i == length) break;
        }
    }
}

// Lines put together from pieces that come close to the grammar, then
// changed at random places with any byte.
TEST(VifLine, AgreesWithTheRegexOnGeneratedLines) {
    const std::vector<std::string> names = {"", "a", "Ab_'9", "X", "_", "'", "a-b", "a b", "\xE9t", "Z\x80", "0x1"};
    const std::vector<std::string> spaces = {"", " ", "\t", "  ", "\v", "\f", "\r", "\n", " \t "};
    const std::vector<std::string> colons = {":", ":", ":", "", "::", ";"};
    const std::vector<std::string> values = {
        "\"abc\"", "\"\"", "\"",    "\"a\"b\"", "\"a\rb\"", "\"a\nb\"", "\"a;b\"",  "'x'", "\"x",  "0x1F", "0X1f",
        "0x",      "0xg",  "0xFFz", "00x1",     "12",       "0",        "-1",       "1.5", "+3",   "yes",  "No",
        "nO",      "YESS", "y",     "",         "\"1\"",    "abc",      "\xC3\xA9", "1 2", "YES ", "0x\r"};
    std::mt19937 random(20240607);
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    for (int n = 0; n < 40000; ++n) {
        std::string line = (random() % 2 ? "$" : "") + pick(names) + pick(spaces) + pick(colons) + pick(spaces) +
            pick(values) + (random() % 4 ? "" : pick(spaces));
        for (unsigned edits = random() % 3; edits > 0 && !line.empty(); --edits) {
            const std::size_t at = random() % line.size();
            const char byte = static_cast<char>(random() % 4 ? "$:\"x0aY \t\r;"[random() % 11] : random());
            switch (random() % 3) {
            case 0: line[at] = byte; break;
            case 1: line.insert(line.begin() + static_cast<std::ptrdiff_t>(at), byte); break;
            default: line.erase(at, 1);
            }
        }
        ExpectSameAsRegex(line);
        if (HasFatalFailure()) return;
    }
}

TEST(VifLine, RunTimeErrorsAreFormattedAtAnyLength) {
    const std::string longText(10000, 'q');
    try {
        ThrowRunTimeError("<%s|%d|%u>", longText.c_str(), -7, 7u);
    } catch (const CQXRunTimeException& error) {
        EXPECT_EQ(error.what(), "<" + longText + "|-7|7>");
    }
    try {
        ThrowRunTimeError(nullptr);
    } catch (const CQXRunTimeException& error) {
        EXPECT_STREQ(error.what(), "");
    }
}

}  // namespace
