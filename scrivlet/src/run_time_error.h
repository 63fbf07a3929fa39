// The library's one way of failing: a CQXRunTimeException with a
// printf-formatted message.
#pragma once

// A null or empty format throws a default-constructed exception.
[[noreturn]] void ThrowRunTimeError(const char* format, ...) __attribute__((format(printf, 1, 2)));
