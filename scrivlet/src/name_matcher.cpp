#include "name_matcher.h"

#include "run_time_error.h"

#include <scrivlet/vif_field.h>

#include <cstring>

CNameMatcher::CNameMatcher(const char* pattern) : m_pPattern(pattern) {}

const std::regex& CNameMatcher::Compiled(std::optional<std::regex>& slot,
                                         std::regex::flag_type extra) {
    if (slot) return *slot;
    const std::size_t length = std::strlen(m_pPattern);
    if (length > SCRIVLET_MAX_PATTERN_LENGTH)
        ThrowRunTimeError("Pattern of %zu bytes is too long (at most %zu).", length,
                          SCRIVLET_MAX_PATTERN_LENGTH);
    slot.emplace(m_pPattern, std::regex::ECMAScript | std::regex::icase | extra);
    return *slot;
}

bool CNameMatcher::Matches(std::string_view name) {
    if (m_pPattern == nullptr || *m_pPattern == '\0') return true;
    if (name.size() <= SCRIVLET_MATCH_BACKTRACK_LIMIT)
        return std::regex_match(name.begin(), name.end(), Compiled(m_Backtracking, {}));

    // The backtracking engine recurses once per character; libstdc++'s
    // polynomial mode simulates the automaton with a stack depth bounded by
    // the pattern instead. It cannot handle back-references.
    try {
        Compiled(m_Polynomial, std::regex_constants::__polynomial);
    } catch (const std::regex_error& error) {
        if (error.code() != std::regex_constants::error_complexity) throw;
        Compiled(m_Backtracking, {});  // reports any other fault of the pattern first
        ThrowRunTimeError(
            "Pattern \"%s\" has a back-reference and cannot be matched against a field name of "
            "%zu bytes (at most %zu).",
            m_pPattern, name.size(), SCRIVLET_MATCH_BACKTRACK_LIMIT);
    }
    return std::regex_match(name.begin(), name.end(), *m_Polynomial);
}
