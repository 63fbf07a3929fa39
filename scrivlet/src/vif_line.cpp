#include "vif_line.h"

#include <string.h>  // memrchr

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Letters, digits, '_' and '\'', looked up: names are most of a file.
struct SNameChars {
    bool table[256] = {};
    constexpr SNameChars() {
        for (int c = 0; c < 256; ++c)
            table[c] =
                (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '\'';
    }
};
constexpr SNameChars VIF_NAME_CHARS;

bool IsNameChar(char c) { return VIF_NAME_CHARS.table[static_cast<unsigned char>(c)]; }

// What \s stands for in the default locale.
bool IsPatternSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() && std::equal(text.begin(), text.end(), upper.begin(), [](char c, char u) {
               return (IsLetter(c) ? c & ~0x20 : c) == u;
           });
}

bool IsQuotedText(std::string_view text) {
    return text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
        text.substr(1, text.size() - 2).find_first_of("\r\n") == std::string_view::npos;
}

bool IsNumericLiteral(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return std::all_of(text.begin() + 2, text.end(), IsHexDigit);
    if (!text.empty() && std::all_of(text.begin(), text.end(), IsDigit)) return true;
    return EqualsIgnoringCase(text, "YES") || EqualsIgnoringCase(text, "NO");
}

}  // namespace

static bool IsLineSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view CleanLine(std::string_view line) {
    const char* begin = line.data();
    const char* end = begin + line.size();
    while (begin < end && IsLineSpace(*begin)) ++begin;
    if (begin == end || *begin == ';') return {};
    while (IsLineSpace(end[-1])) --end;

    // The first ';' that is not between the first and the last double quote.
    const char* at = begin;
    while (at < end && *at != ';' && *at != '"') ++at;
    if (at < end && *at == '"') {
        const char* lastQuote = static_cast<const char*>(::memrchr(at, '"', static_cast<std::size_t>(end - at)));
        const char* from = lastQuote == at ? at : lastQuote;
        at = static_cast<const char*>(std::memchr(from, ';', static_cast<std::size_t>(end - from)));
        if (at == nullptr) at = end;
    }
    while (at > begin && IsLineSpace(at[-1])) --at;
    return {begin, static_cast<std::size_t>(at - begin)};
}

bool RecognizeLine(std::string_view line, std::string_view& name, std::string_view& value) {
    const bool isText = !line.empty() && line[0] == '$';
    const std::size_t nameStart = isText ? 1 : 0;
    std::size_t at = nameStart;
    while (at < line.size() && IsNameChar(line[at])) ++at;
    if (at == nameStart) return false;
    const std::size_t nameEnd = at;

    while (at < line.size() && IsPatternSpace(line[at])) ++at;
    if (at == line.size() || line[at] != ':') return false;
    ++at;
    while (at < line.size() && IsPatternSpace(line[at])) ++at;
    std::string_view rest = line.substr(at);

    if (isText) {
        if (!IsQuotedText(rest)) return false;
        rest = rest.substr(1, rest.size() - 2);
    } else if (!IsNumericLiteral(rest)) {
        return false;
    }
    name = line.substr(0, nameEnd);
    value = rest;
    return true;
}

const char* WhyNotAField(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return nullptr;
    std::string_view name = line.substr(0, colon);
    name = name.substr(0, name.find_last_not_of(" \t\v\f\r\n") + 1);
    const std::size_t valueStart = line.find_first_not_of(" \t\v\f\r\n", colon + 1);
    const std::string_view value = valueStart == std::string_view::npos ? std::string_view() : line.substr(valueStart);
    const bool isText = !name.empty() && name[0] == '$';
    if (isText) name.remove_prefix(1);
    if (name.empty()) return "no name before the colon";
    if (!std::all_of(name.begin(), name.end(), IsNameChar))
        return "the name holds a character other than a letter, digit, _ or '";
    if (value.empty()) return "no value after the colon";
    if (isText) return "a text value stands in double quotes";
    if (std::all_of(value.begin(), value.end(), IsHexDigit)) return "hexadecimal without 0x";
    if (value.front() == '"') return "a quoted value belongs to a name that starts with $";
    return "the value is not 0x-hexadecimal, decimal, YES or NO";
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "FindLineBreak reads words little-endian");

const char* FindLineBreak(const char* at, const char* end) {
    // Eight bytes at a time: a byte equal to LF or CR becomes zero after the
    // XOR, and (x - ones) & ~x & highs marks the first zero byte exactly.
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t highs = 0x8080808080808080u;
    while (end - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        const std::uint64_t lf = word ^ (ones * '\n');
        const std::uint64_t cr = word ^ (ones * '\r');
        const std::uint64_t hit = (((lf - ones) & ~lf) | ((cr - ones) & ~cr)) & highs;
        if (hit != 0) return at + (__builtin_ctzll(hit) >> 3);
        at += 8;
    }
    while (at < end && *at != '\n' && *at != '\r') ++at;
    return at;
}
