// Name patterns: the same answers as std::regex where both engines answer,
// and an answer or a clear exception, in bounded time, for hostile patterns
// and names.
#include "child_process.h"

#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

enum class EAnswer { Match, NoMatch, Invalid, Limit };

EAnswer Ours(const std::string& name, const std::string& pattern) {
    try {
        return CVIFField(name, "1").Match(pattern.c_str()) ? EAnswer::Match : EAnswer::NoMatch;
    } catch (const std::regex_error&) {
        return EAnswer::Invalid;
    } catch (const CQXRunTimeException&) {
        return EAnswer::Limit;
    }
}

EAnswer Standard(const std::string& name, const std::string& pattern) {
    try {
        const std::regex regex(pattern, std::regex::ECMAScript | std::regex::icase);
        return std::regex_match(name, regex) ? EAnswer::Match : EAnswer::NoMatch;
    } catch (const std::regex_error&) {
        return EAnswer::Invalid;
    }
}

// Patterns as callers write them, against the names of real files.
TEST(VifPattern, AgreesWithStdRegexOnRealisticPatterns) {
    const std::vector<std::string> names = {"Device_Speed",
                                            "Host_Speed",
                                            "Connector_Type",
                                            "$Vendor_Name",
                                            "$Product_Name",
                                            "Type_C_Can_Act_As_Device",
                                            "Snk_PDO_Voltage1",
                                            "SVID1_SOP",
                                            "USB_VID_SOP",
                                            "X'y_1",
                                            "device_speed",
                                            "DEVICE_SPEED",
                                            "",
                                            "a",
                                            "Hub_Port_Number",
                                            "PD_Power_as_Sink"};
    const std::vector<std::string> patterns = {"^Device_Speed$",
                                               "device_speed",
                                               "Device",
                                               "Device.*",
                                               ".*speed",
                                               "^.*_Speed$",
                                               "^\\$.*_Name$",
                                               "\\$.*",
                                               "[[:alpha:]_]+",
                                               "[[:alnum:]_']+",
                                               "snk_pdo_.*\\d",
                                               "(Device|Host)_Speed",
                                               "^(?:type_c_)?can_act_as_(device|host)$",
                                               "SVID\\d+_SOP",
                                               "[^$].*",
                                               ".*_(SOP|Number)",
                                               "\\w+",
                                               "\\w*\\d",
                                               "x'y_\\d",
                                               "[A-Z]\\w{2,5}_\\w+",
                                               "(\\w)\\w*\\1",
                                               "(?=.*speed).*",
                                               "(?!host).*_speed",
                                               ".*\\bSOP",
                                               "a?",
                                               ".{5,}",
                                               "u\\x53B.*",
                                               "\\u0044evice_Speed",
                                               "[\\-\\w]+",
                                               "(a|)+"};
    int compared = 0;
    for (const std::string& pattern : patterns)
        for (const std::string& name : names) {
            const EAnswer theirs = Standard(name, pattern);
            if (theirs == EAnswer::Invalid) continue;
            ++compared;
            EXPECT_EQ(Ours(name, pattern), theirs) << '"' << pattern << "\" on \"" << name << '"';
        }
    EXPECT_GT(compared, 400);
}

// Random patterns from the ECMAScript grammar's parts against random names.
// libstdc++ starts a lookahead as a new text, so ^, \b and \B inside one
// see no character before it; those are left out of lookaheads.
TEST(VifPattern, AgreesWithStdRegexOnGeneratedPatterns) {
    std::mt19937 random(20261208);
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    const std::vector<std::string> atoms = {
        "a",   "b",   "A",   "_",   "1",   ".", "[ab]", "[^a]", "[a-c]", "[[:alpha:]]", "[[:digit:]_]", "\\d", "\\w",
        "\\s", "\\D", "\\W", "\\b", "\\B", "^", "$",    "\\$",  "\\.",   "x",           "[B-b]"};
    const std::vector<std::string> quantifiers = {"", "", "", "*", "+", "?", "{2}", "{1,2}", "{0,}", "*?", "+?", "??"};
    const std::vector<std::string> lookaheadAtoms = {"a", "b", "_", ".", "[ab]", "\\d", "\\w", "$", "x"};
    std::function<std::string(int, bool)> pattern = [&](int depth, bool inLookahead) {
        std::string text;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) {
            const unsigned kind = random() % 10;
            if (kind < 2 && depth < 3) {
                const unsigned kind = random() % 4;
                const bool lookahead = inLookahead || kind >= 2;
                const char* open[] = {"(", "(?:", "(?=", "(?!"};
                text += std::string(open[kind]) + pattern(depth + 1, lookahead) +
                    (random() % 3 ? "" : "|" + pattern(depth + 1, lookahead)) + ")";
            } else if (kind == 2 && text.find('(') != std::string::npos) {
                text += "\\1";
            } else {
                text += pick(inLookahead ? lookaheadAtoms : atoms);
            }
            text += pick(quantifiers);
        }
        return text;
    };
    const std::string alphabet = "aAbB_1x .\r\n$";
    int compared = 0;
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string p = pattern(0, false);
        std::string name;
        for (unsigned n = random() % 9; n > 0; --n) name += alphabet[random() % alphabet.size()];
        const EAnswer theirs = Standard(name, p);
        if (theirs == EAnswer::Invalid) continue;
        const EAnswer ours = Ours(name, p);
        if (ours == EAnswer::Invalid || ours == EAnswer::Limit) continue;
        ++compared;
        matched += theirs == EAnswer::Match;
        ASSERT_EQ(ours, theirs) << '"' << p << "\" on \"" << name << '"';
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(matched, 500);
}

struct SHostileCase {
    const char* label;
    std::string pattern;
    std::string name;
    const char* expected;  // the start of the answer
};

// Each pattern ends in an answer or a clear exception well inside a bound
// that leaves room for a slow, instrumented build.
TEST(VifPattern, HostilePatternsAndNamesEndInAnAnswerOrAClearException) {
    const std::string nested120 = std::string(120, '(') + "a" + std::string(120, ')') + "*";
    const std::vector<SHostileCase> cases = {
        {"nested groups", nested120, std::string(256, 'a'), "true"},
        {"nesting past the engine's depth", std::string(300, '(') + "a" + std::string(300, ')'), "a",
         "CQXRunTimeException: Pattern \"(((("},
        {"ambiguous repetition", "(a|aa)*b", std::string(100000, 'a'),
         "CQXRunTimeException: Pattern \"(a|aa)*b\" needs too many"},
        {"ambiguous repetition, short name", "(a|aa)*[bc]", std::string(60, 'a'), "CQXRunTimeException: "},
        {"nested repetition", "(a*)*b", std::string(5000, 'a') + "c", "CQXRunTimeException: "},
        {"nested repetition of any", "(.*)*x", std::string(5000, 'a'), "CQXRunTimeException: "},
        {"huge counted repeat", "a{100000}", "a", "CQXRunTimeException: Pattern \"a{100000}\" goes past"},
        {"counted repeat of a group", "(a{1000}){1000}", "a", ""},
        {"counted repeats nested", "((a{100}){100}){100}", std::string(1000, 'a'), ""},
        {"back-reference on a long name", "(a)\\1.*", std::string(1 << 20, 'a'), "true"},
        {"costly back-reference on a long name", "(a+)\\1", std::string(1 << 20, 'a'),
         "CQXRunTimeException: Pattern \"(a+)\\1\" needs too many backtracking steps"},
        {"long name", ".*_End", std::string(16 << 20, 'a') + "_End", "true"},
        {"long name, no match", "a*", std::string(16 << 20, 'a') + "_End", "false"},
        {"pattern of 64 KiB", std::string(64 * 1024, 'a'), std::string(64 * 1024, 'A'), ""},
        {"pattern past 64 KiB", std::string(64 * 1024 + 1, 'a'), "a", "CQXRunTimeException: Pattern of 65537 bytes"},
        {"invalid", "Device(", "Device", "regex_error: missing closing parenthesis"},
    };
    for (const SHostileCase& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const std::string answer =
            InChild([&] { return std::string(CVIFField(c.name, "1").Match(c.pattern.c_str()) ? "true" : "false"); },
                    std::chrono::seconds(20));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(answer.rfind(c.expected, 0), 0u) << c.label << ": " << answer.substr(0, 200);
        EXPECT_NE(answer, "timed out") << c.label;
        EXPECT_EQ(answer.find("crashed"), std::string::npos) << c.label << ": " << answer;
        EXPECT_LT(seconds, 5.0) << c.label;
    }
}

// A query that costs just under the step limit for each of many names stops
// after about a second.
TEST(VifPattern, AQueryOverManyCostlyNamesStopsAfterAboutASecond) {
    const std::string answer = InChild(
        [] {
            const CVendorInfoFile file(std::vector<CVIFField>(20000, CVIFField(std::string(26, 'a') + "x", "1")));
            return std::to_string(file.Count("(a|aa)*[bc]"));
        },
        std::chrono::seconds(30));
    EXPECT_EQ(answer.rfind("CQXRunTimeException: Pattern \"(a|aa)*[bc]\" takes too long", 0), 0u)
        << answer.substr(0, 200);
}

}  // namespace
