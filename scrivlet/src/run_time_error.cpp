#include "run_time_error.h"

#include <corekit/corekit.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

void ThrowRunTimeError(const char* format, ...) {
    if (format == nullptr || *format == '\0') throw CQXRunTimeException();
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        va_end(args);
        throw CQXRunTimeException(format);  // unformattable: the format itself says most
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    throw CQXRunTimeException(text.data());
}
