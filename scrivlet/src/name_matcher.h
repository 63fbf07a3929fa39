// Matches field names against one pattern, which is compiled at the first
// name it is asked about (so a matcher that is never asked never fails on an
// invalid pattern). The engine is PCRE2: it keeps its backtracking state on
// the heap, within limits of steps and memory, so no pattern and no name can
// overflow the stack or run without end.
#pragma once

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Backtracking steps one name may cost, and the memory its matching may hold.
// Long names get fewer steps: the steps times the name's length stay within
// the work limit, since one step may pass over the whole name.
inline constexpr std::uint32_t SCRIVLET_MATCH_STEP_LIMIT = 2'000'000;
inline constexpr std::uint32_t SCRIVLET_MATCH_MIN_STEPS = 1000;
inline constexpr std::size_t SCRIVLET_MATCH_WORK_LIMIT = 1'000'000'000;
inline constexpr std::uint32_t SCRIVLET_MATCH_HEAP_LIMIT_KIB = 64 * 1024;
// What a query over many names may take: a second, plus this much per name.
inline constexpr std::chrono::milliseconds SCRIVLET_QUERY_TIME_BASE{1000};
inline constexpr std::chrono::microseconds SCRIVLET_QUERY_TIME_PER_NAME{10};

class CNameMatcher {
public:
    // A null or empty pattern matches every name. The pattern text must
    // outlive the matcher. expectedNames is how many names the matcher will
    // likely be asked about: for many, the pattern is compiled to machine code.
    explicit CNameMatcher(const char* pattern, std::size_t expectedNames = 1);
    ~CNameMatcher();
    CNameMatcher(const CNameMatcher&) = delete;
    CNameMatcher& operator=(const CNameMatcher&) = delete;

    // Whole-name, case-insensitive match with the meaning of an ECMAScript
    // regular expression. Throws std::regex_error for an invalid pattern and
    // CQXRunTimeException for one that goes past a limit.
    bool Matches(std::string_view name);

private:
    void Compile();
    [[noreturn]] void ThrowLimit(const char* what, std::string_view name) const;

    const char* m_pPattern;
    std::size_t m_ExpectedNames;
    pcre2_code* m_pCode = nullptr;
    pcre2_match_data* m_pMatchData = nullptr;
    pcre2_match_context* m_pMatchContext = nullptr;
    bool m_Jit = false;
    std::size_t m_Tested = 0;
    std::chrono::steady_clock::time_point m_Start;
};
