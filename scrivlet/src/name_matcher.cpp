#include "name_matcher.h"

#include "run_time_error.h"

#include <scrivlet/vif_field.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>

namespace {

// How many names make compiling the pattern to machine code worth its cost
// (some tens of microseconds).
constexpr std::size_t MATCHER_JIT_NAMES = 64;
// How often a query looks at the clock, in names.
constexpr std::size_t MATCHER_CLOCK_EVERY = 8;
// How much of a pattern or name an error message quotes.
constexpr int MATCHER_QUOTE_LIMIT = 200;

// The meaning of an ECMAScript pattern as std::regex reads it with icase:
// the whole name must match, '.' stops at CR and LF, '$' only at the end,
// \uXXXX and \xXX are code units. A reference to a group that took no part
// fails, as in std::regex (the ECMAScript standard has it match the empty
// text). Bytes are characters; no UTF, no Unicode classes.
constexpr std::uint32_t MATCHER_OPTIONS = PCRE2_ANCHORED | PCRE2_ENDANCHORED | PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY |
    PCRE2_ALT_BSUX | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_NEVER_BACKSLASH_C;

// The compile context holds only limits; PCRE2 reads it and never changes
// it, so every thread shares it.
pcre2_compile_context* CompileContext() {
    static pcre2_compile_context* const context = [] {
        pcre2_compile_context* c = pcre2_compile_context_create(nullptr);
        if (c == nullptr) throw std::bad_alloc();
        pcre2_set_newline(c, PCRE2_NEWLINE_ANYCRLF);
        pcre2_set_max_pattern_length(c, SCRIVLET_MAX_PATTERN_LENGTH);
        return c;
    }();
    return context;
}


std::string ErrorText(int code) {
    PCRE2_UCHAR text[256];
    if (pcre2_get_error_message(code, text, sizeof text) < 0) return "error " + std::to_string(code);
    return reinterpret_cast<const char*>(text);
}

// An invalid pattern, told as PCRE2 tells it; catchable as std::regex_error.
class CPatternError : public std::regex_error {
public:
    CPatternError(std::regex_constants::error_type code, std::string message)
        : std::regex_error(code), m_Message(std::move(message)) {}
    const char* what() const noexcept override { return m_Message.c_str(); }

private:
    std::string m_Message;
};

std::regex_constants::error_type RegexErrorCode(int code) {
    switch (code) {
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
    case PCRE2_ERROR_UNMATCHED_CLOSING_PARENTHESIS: return std::regex_constants::error_paren;
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET: return std::regex_constants::error_brack;
    case PCRE2_ERROR_CLASS_RANGE_ORDER:
    case PCRE2_ERROR_CLASS_INVALID_RANGE: return std::regex_constants::error_range;
    case PCRE2_ERROR_UNKNOWN_POSIX_CLASS:
    case PCRE2_ERROR_POSIX_CLASS_NOT_IN_CLASS: return std::regex_constants::error_ctype;
    case PCRE2_ERROR_POSIX_NO_SUPPORT_COLLATING: return std::regex_constants::error_collate;
    case PCRE2_ERROR_BAD_SUBPATTERN_REFERENCE: return std::regex_constants::error_backref;
    case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER: return std::regex_constants::error_brace;
    case PCRE2_ERROR_END_BACKSLASH:
    case PCRE2_ERROR_UNKNOWN_ESCAPE:
    case PCRE2_ERROR_UNSUPPORTED_ESCAPE_SEQUENCE: return std::regex_constants::error_escape;
    default: return std::regex_constants::error_badrepeat;
    }
}

// Faults of a pattern that is well formed but too big for the engine.
bool IsLimitError(int code) {
    switch (code) {
    case PCRE2_ERROR_QUANTIFIER_TOO_BIG:
    case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP:
    case PCRE2_ERROR_PATTERN_TOO_LARGE:
    case PCRE2_ERROR_HEAP_FAILED:
    case PCRE2_ERROR_PATTERN_TOO_COMPLICATED:
    case PCRE2_ERROR_PATTERN_STRING_TOO_LONG:
    case PCRE2_ERROR_TOO_MANY_CAPTURES:
    case PCRE2_ERROR_SUBPATTERN_NUMBER_TOO_BIG:
    case PCRE2_ERROR_INTERNAL_CODE_OVERFLOW:
    case PCRE2_ERROR_INTERNAL_OVERRAN_WORKSPACE:
    case PCRE2_ERROR_INTERNAL_PARSED_OVERFLOW: return true;
    default: return false;
    }
}

int QuoteLength(std::string_view text) {
    return static_cast<int>(std::min<std::size_t>(text.size(), MATCHER_QUOTE_LIMIT));
}

const char* Ellipsis(std::string_view text) { return text.size() > MATCHER_QUOTE_LIMIT ? "..." : ""; }

}  // namespace

CNameMatcher::CNameMatcher(const char* pattern, std::size_t expectedNames)
    : m_pPattern(pattern), m_ExpectedNames(expectedNames) {}

CNameMatcher::~CNameMatcher() {
    pcre2_match_context_free(m_pMatchContext);
    pcre2_match_data_free(m_pMatchData);
    pcre2_code_free(m_pCode);
}

void CNameMatcher::Compile() {
    const std::string_view pattern(m_pPattern);
    if (pattern.size() > SCRIVLET_MAX_PATTERN_LENGTH)
        ThrowRunTimeError("Pattern of %zu bytes is too long (at most %zu): \"%.*s...\"", pattern.size(),
                          SCRIVLET_MAX_PATTERN_LENGTH, MATCHER_QUOTE_LIMIT, m_pPattern);
    int error = 0;
    PCRE2_SIZE offset = 0;
    m_pCode = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(m_pPattern), pattern.size(), MATCHER_OPTIONS, &error, &offset,
                            CompileContext());
    if (m_pCode == nullptr) {
        const std::string message = ErrorText(error);
        if (IsLimitError(error))
            ThrowRunTimeError("Pattern \"%.*s%s\" goes past a limit of the matching engine: %s.", QuoteLength(pattern),
                              m_pPattern, Ellipsis(pattern), message.c_str());
        throw CPatternError(RegexErrorCode(error), message + " at offset " + std::to_string(offset));
    }
    m_pMatchData = pcre2_match_data_create(1, nullptr);
    m_pMatchContext = pcre2_match_context_create(nullptr);
    if (m_pMatchData == nullptr || m_pMatchContext == nullptr) throw std::bad_alloc();
    pcre2_set_depth_limit(m_pMatchContext, SCRIVLET_MATCH_STEP_LIMIT);
    pcre2_set_heap_limit(m_pMatchContext, SCRIVLET_MATCH_HEAP_LIMIT_KIB);
    // Without machine code (no JIT in this build, or no executable memory)
    // the interpreter does the same work, only slower.
    m_Jit = m_ExpectedNames >= MATCHER_JIT_NAMES && pcre2_jit_compile(m_pCode, PCRE2_JIT_COMPLETE) == 0;
    m_Start = std::chrono::steady_clock::now();
}

void CNameMatcher::ThrowLimit(const char* what, std::string_view name) const {
    const std::string_view pattern(m_pPattern);
    ThrowRunTimeError("Pattern \"%.*s%s\" %s on the field name \"%.*s%s\" (%zu bytes).", QuoteLength(pattern),
                      m_pPattern, Ellipsis(pattern), what, QuoteLength(name), name.data(), Ellipsis(name), name.size());
}

bool CNameMatcher::Matches(std::string_view name) {
    if (m_pPattern == nullptr || *m_pPattern == '\0') return true;
    if (m_pCode == nullptr) Compile();

    if (++m_Tested % MATCHER_CLOCK_EVERY == 0) {
        const auto allowed = SCRIVLET_QUERY_TIME_BASE + SCRIVLET_QUERY_TIME_PER_NAME * m_Tested;
        if (std::chrono::steady_clock::now() - m_Start > allowed) ThrowLimit("takes too long: the query stopped", name);
    }

    // A backtracking step may cost up to a pass over the name (a
    // back-reference, a repeat), so long names get fewer steps: a match does
    // at most about a billion byte steps, well under a second.
    pcre2_set_match_limit(
        m_pMatchContext,
        static_cast<std::uint32_t>(std::clamp<std::size_t>(SCRIVLET_MATCH_WORK_LIMIT / (name.size() + 1),
                                                           SCRIVLET_MATCH_MIN_STEPS, SCRIVLET_MATCH_STEP_LIMIT)));
    const auto subject = reinterpret_cast<PCRE2_SPTR>(name.data());
    int result = pcre2_match(m_pCode, subject, name.size(), 0, m_Jit ? 0 : PCRE2_NO_JIT, m_pMatchData, m_pMatchContext);
    // Machine code runs on a small stack of its own; what does not fit there
    // is matched again by the interpreter, which keeps its state on the heap.
    if (result == PCRE2_ERROR_JIT_STACKLIMIT)
        result = pcre2_match(m_pCode, subject, name.size(), 0, PCRE2_NO_JIT, m_pMatchData, m_pMatchContext);
    if (result >= 0) return true;
    switch (result) {
    case PCRE2_ERROR_NOMATCH: return false;
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT: ThrowLimit("needs too many backtracking steps", name);
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_NOMEMORY: ThrowLimit("needs too much memory", name);
    default: ThrowLimit(("failed: " + ErrorText(result)).c_str(), name);
    }
}
