// The grammar of one line of a Vendor Info File.
#pragma once

#include <string_view>

// The line without white space at its ends and without a trailing comment;
// empty for a blank or comment line. A ';' between the first and the last
// double quote of the line belongs to the quoted text.
std::string_view CleanLine(std::string_view line);

// Recognises a cleaned line as a field. A line that begins with '$' must be
//   $NAME \s* : \s* "TEXT"
// (TEXT runs to the last character, which is the closing quote, and holds no
// CR or LF); any other line must be
//   NAME \s* : \s* (0x HEXDIGITS | DIGITS | YES | NO)
// with 0x, YES and NO in any letter case. NAME is one or more ASCII letters,
// digits, '_' or '\''; \s is space, tab, LF, VT, FF or CR. These are exactly
// the lines that the ECMAScript patterns
//   ^(\$[[:alnum:]_']+)\s*:\s*"(.*)"$
//   ^([[:alnum:]_']+)\s*:\s*(0x[[:xdigit:]]+|[[:digit:]]+|YES|NO)$
// match case-insensitively in the default locale, with the same two groups,
// but in time and stack independent of the line's length.
bool RecognizeLine(std::string_view line, std::string_view& name, std::string_view& value);

// Why a cleaned line that RecognizeLine refused gave no field, when it looks
// like one (it has a colon); null for any other line.
const char* WhyNotAField(std::string_view line);

// The first LF or CR in [at, end), or end.
const char* FindLineBreak(const char* at, const char* end);
