// Turning one typed console line into words, and reading numbers and words
// the way the console commands do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bytes a command line may hold before its line end.
constexpr size_t CONSOLE_LINE_MAX = 99;

// The line without its line end ("\n" or "\r\n"), when it has one.
std::string_view StripLineEnd(std::string_view line);

// Splits one line as it was read, with or without its line end ("\n" or
// "\r\n"), into words: blanks and tabs separate words, double quotes group
// them, backslashes before a quote escape it. A word is cut at its first
// carriage return; a NUL byte ends the line. An empty line, or one of
// blanks only, gives no word.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The decimal value of a word: optional blanks and a sign, then digits up to
// the first other character; 0 when there are none. Values beyond the 32-bit
// range are held at its ends.
int32_t ParseDecimal(const std::string& word);

// Case-insensitive comparison of two words, as strcasecmp orders them.
int CompareNoCase(const std::string& a, const char* b);
inline bool SameWord(const std::string& a, const char* b) { return CompareNoCase(a, b) == 0; }
