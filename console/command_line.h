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
// Room for the longest accepted line and a CR LF line end.
constexpr size_t CONSOLE_LINE_BUFFER = CONSOLE_LINE_MAX + 2;

// Splits a line as the line reader returned it, with or without its line end
// ("\n" or "\r\n"). False, with no tokens, when the line holds more than
// CONSOLE_LINE_MAX bytes before its line end.
bool SplitConsoleLine(std::string_view line, std::vector<std::string>& tokens);

// Splits a line without its line end into words: blanks and tabs separate
// words, double quotes group them, backslashes before a quote escape it. A
// word is cut at its first carriage return; a NUL byte ends the line. An
// empty line, or one of blanks only, gives no word.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The decimal value of a word: optional blanks and a sign, then digits up to
// the first other character; 0 when there are none. Values beyond the 32-bit
// range are held at its ends.
int32_t ParseDecimal(const std::string& word);
// The value of a word that is a whole decimal number: optional blanks and a
// sign, digits, optional blanks; held at the 32-bit ends like ParseDecimal.
// False for any other word ("", "x", "0x3", "2x", "1st"), which names no
// index or port.
bool ParseWholeDecimal(const std::string& word, int32_t& value);

// Case-insensitive comparison of two words, as strcasecmp orders them.
int CompareNoCase(const std::string& a, const char* b);
inline bool SameWord(const std::string& a, const char* b) { return CompareNoCase(a, b) == 0; }
