// Splitting a command line into words, by the rules of the Windows
// command-line splitter:
//
// - The first word is the program name. When it starts with a double quote
//   it runs to the next double quote (or the end of the line) and holds the
//   text between them; otherwise it runs to the first blank or tab. No
//   backslash or quote is special in it. A line that starts with a blank or
//   tab therefore gives an empty first word, and the next word starts right
//   after the first word's closing quote.
// - The other words are separated by blanks and tabs. Double quotes group
//   text (blanks and tabs inside are kept) and are removed.
// - 2n backslashes followed by a double quote give n backslashes, and the
//   quote opens or closes the group; 2n+1 backslashes followed by a double
//   quote give n backslashes and a literal quote. Backslashes not followed
//   by a double quote are literal.
// - Inside a group, two double quotes in a row give one literal quote and
//   the group goes on (the behaviour of the splitter since 2008).
// - An empty line gives one word: the path of the running program.
#pragma once

#include <string>
#include <vector>

// Splits line into words; count receives their number. programPath is the
// word an empty line gives; null stands for the running program's path.
// Returns false, with no words and a count of 0, when line is null.
bool OSCommandLineToArgv(const wchar_t* line, std::vector<std::wstring>& words, int& count,
                         const wchar_t* programPath = nullptr);

// The path of the running program, empty when it cannot be found.
std::wstring OSModuleFileName();

// Decodes UTF-8 text; a byte that does not start a valid sequence becomes
// U+FFFD. A null pointer gives an empty text.
std::wstring OSUtf8ToWide(const char* text);
