#include "vif_line.h"

#include <algorithm>

namespace {

// White space at the ends of a line.
constexpr std::string_view VIF_LINE_SPACE = " \t\r\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsNameChar(char c) { return IsDigit(c) || IsLetter(c) || c == '_' || c == '\''; }

// What \s stands for in the default locale.
bool IsPatternSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() &&
           std::equal(text.begin(), text.end(), upper.begin(),
                      [](char c, char u) { return (IsLetter(c) ? c & ~0x20 : c) == u; });
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

std::string_view CleanLine(std::string_view line) {
    const std::size_t first = line.find_first_not_of(VIF_LINE_SPACE);
    if (first == std::string_view::npos || line[first] == ';') return {};
    std::string_view text = line.substr(first, line.find_last_not_of(VIF_LINE_SPACE) - first + 1);

    const std::size_t firstQuote = text.find('"');
    const std::size_t lastQuote = text.rfind('"');
    std::size_t comment = text.find(';');
    if (firstQuote != lastQuote) {
        while (comment != std::string_view::npos && comment > firstQuote && comment < lastQuote)
            comment = text.find(';', comment + 1);
    }
    if (comment != std::string_view::npos) {
        text = text.substr(0, comment);
        text = text.substr(0, text.find_last_not_of(VIF_LINE_SPACE) + 1);
    }
    return text;
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
    const std::string_view value =
        valueStart == std::string_view::npos ? std::string_view() : line.substr(valueStart);
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
