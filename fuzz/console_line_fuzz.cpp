// Fuzzes what the console does with its input: the line reader cuts the
// bytes into lines, refuses lines that are too long, and the console splits
// each line into words. The input is what a person or a program typed,
// lines and all.
//
// Checked besides not crashing: every line the reader returns is exactly
// the next line of the input, every line that does not fit is reported as
// too long, nothing is returned twice or lost, and no word holds a carriage
// return or more bytes than its line.
#include "console/command_line.h"
#include "os/console.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The input as a file the reader can read to its end.
int InputFile(const uint8_t* data, size_t size) {
    int fd = memfd_create("console-input", MFD_CLOEXEC);
    Check(fd >= 0);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        Check(n > 0);
        done += static_cast<size_t>(n);
    }
    Check(lseek(fd, 0, SEEK_SET) == 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    int fd = InputFile(data, size);
    COSLineReader reader(fd);

    size_t position = 0;
    char buffer[CONSOLE_LINE_BUFFER];
    for (;;) {
        size_t length = sizeof buffer + 1;
        EOSReadResult read = reader.ReadLine(buffer, sizeof buffer, &length);
        Check(read != OS_READ_INTERRUPTED);
        if (read == OS_READ_END) break;

        // The next line of the input, with its line feed when it has one.
        Check(position < input.size());
        size_t end = input.find('\n', position);
        std::string_view expected = input.substr(position, end == std::string_view::npos ? end : end + 1 - position);
        position += expected.size();

        if (read == OS_READ_TOO_LONG) {
            Check(expected.size() > sizeof buffer);
            continue;
        }
        Check(read == OS_READ_LINE && length <= sizeof buffer);
        std::string_view line(buffer, length);
        Check(line == expected);

        std::vector<std::string> tokens;
        bool fits = SplitConsoleLine(line, tokens);
        std::string_view text = line;
        if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        Check(fits == (text.size() <= CONSOLE_LINE_MAX));
        for (const auto& token : tokens) {
            Check(token.find('\r') == std::string::npos);
            Check(token.size() <= text.size());
            int32_t value = 0;
            Check(!ParseWholeDecimal(token, value) || value == ParseDecimal(token));
        }
    }
    Check(position == input.size());
    close(fd);
    return 0;
}
