// Matches field names against one pattern, which is compiled at the first
// name it is asked about (so a matcher that is never asked never fails on an
// invalid pattern).
#pragma once

#include <optional>
#include <regex>
#include <string_view>

class CNameMatcher {
public:
    // A null or empty pattern matches every name. The pattern text must
    // outlive the matcher.
    explicit CNameMatcher(const char* pattern);

    // Whole-name, case-insensitive ECMAScript match. Throws std::regex_error
    // for an invalid pattern.
    bool Matches(std::string_view name);

private:
    const std::regex& Compiled(std::optional<std::regex>& slot, std::regex::flag_type extra);

    const char* m_pPattern;
    std::optional<std::regex> m_Backtracking;  // for names up to the backtracking limit
    std::optional<std::regex> m_Polynomial;    // for longer names
};
