#include "console/command_line.h"

#include "os/cmdline.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <strings.h>

bool SplitConsoleLine(std::string_view line, std::vector<std::string>& tokens) {
    tokens.clear();
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > CONSOLE_LINE_MAX) return false;
    tokens = SplitCommandLine(line);
    return true;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
    // The splitter reads a C text, which ends at a NUL byte; an empty text
    // would give the program's own path as a word.
    line = line.substr(0, line.find('\0'));
    // Leading blanks would make the splitter's first word empty.
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    line.remove_prefix(start);

    // Only ASCII blanks, tabs, quotes and backslashes steer the splitter, so
    // each byte is carried as one wide character and comes back unchanged,
    // whatever the bytes' encoding.
    std::wstring wide;
    for (char c : line) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    std::vector<std::wstring> words;
    int count = 0;
    if (!OSCommandLineToArgv(wide.c_str(), words, count)) return {};

    std::vector<std::string> tokens;
    for (const auto& word : words) {
        std::string token;
        for (wchar_t c : word) token += static_cast<char>(c);
        token = token.substr(0, token.find('\r'));
        tokens.push_back(std::move(token));
    }
    return tokens;
}

int32_t ParseDecimal(const std::string& word) {
    size_t i = 0;
    while (i < word.size() && std::isspace(static_cast<unsigned char>(word[i]))) ++i;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
        value = std::min(value * 10 + (word[i] - '0'), kLimit);
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, kLimit - 1));
}

bool ParseWholeDecimal(const std::string& word, int32_t& value) {
    size_t digits = word.find_first_of("0123456789");
    size_t end = word.find_first_not_of("0123456789", digits);
    // Before the digits only blanks and one sign, after them only blanks.
    size_t start = word.find_first_not_of(" \t");
    bool sign = start != std::string::npos && start + 1 == digits && (word[start] == '+' || word[start] == '-');
    if (digits == std::string::npos || (start != digits && !sign)) return false;
    if (end != std::string::npos && word.find_first_not_of(" \t", end) != std::string::npos) return false;
    value = ParseDecimal(word);
    return true;
}

int CompareNoCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b); }
