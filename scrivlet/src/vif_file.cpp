#include "vif_file.h"

#include "run_time_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t VIF_READ_MIN_BLOCK = 64 * 1024;

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_Fd(fd) {}
    ~CFileDescriptor() {
        if (m_Fd >= 0) ::close(m_Fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_Fd; }

private:
    int m_Fd;
};

// What a file that is not a regular one is refused with; a folder is a read
// failure, as reading it would be.
void RefuseIfNotRegular(const char* path, const struct stat& status) {
    if (S_ISREG(status.st_mode)) return;
    if (S_ISDIR(status.st_mode))
        ThrowRunTimeError("I/O read failure on Vendor Info File %s: %s", path, std::strerror(EISDIR));
    ThrowRunTimeError("Couldn't open Vendor Info File: %s. It is %s, not a regular file.", path,
                      KindOf(status.st_mode));
}

void AppendCodePoint(char*& out, std::uint32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr std::uint32_t VIF_REPLACEMENT = 0xFFFD;

// The text after the first skip bytes (a byte-order mark) as UTF-8.
CByteBuffer Utf16ToUtf8Text(const CByteBuffer& bytes, std::size_t skip, bool bigEndian) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.Data()) + skip;
    const std::size_t units = (bytes.Size() - skip) / 2;
    const bool loneByte = (bytes.Size() - skip) % 2 != 0;
    // A unit gives at most three bytes; a pair of units four.
    CByteBuffer text(units * 3 + (loneByte ? 3 : 0) + 1);
    char* out = text.Data();
    auto unit = [&](std::size_t i) -> std::uint32_t {
        const unsigned char a = in[2 * i];
        const unsigned char b = in[2 * i + 1];
        return bigEndian ? (a << 8) | b : (b << 8) | a;
    };
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendCodePoint(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendCodePoint(out, c >= 0xD800 && c < 0xE000 ? VIF_REPLACEMENT : c);
    }
    if (loneByte) AppendCodePoint(out, VIF_REPLACEMENT);
    text.Resize(static_cast<std::size_t>(out - text.Data()));
    return text;
}

// What XML may start with: a declaration, a comment or blanks before one.
bool IsXmlStartChar(unsigned char c) { return c != 0 && std::strchr("<?! \t\r\n", c) != nullptr; }

// UTF-16 without a byte-order mark, told by its first two characters as XML
// starts: "<?" (or blanks and "<!" before it), each with a zero byte.
int Utf16WithoutMark(const unsigned char* b, std::size_t size) {
    if (size < 4) return 0;
    if (b[1] == 0 && b[3] == 0 && IsXmlStartChar(b[0]) && IsXmlStartChar(b[2])) return 1;  // little end
    if (b[0] == 0 && b[2] == 0 && IsXmlStartChar(b[1]) && IsXmlStartChar(b[3])) return 2;  // big end
    return 0;
}

}  // namespace

CByteBuffer ReadFileBytes(const char* path) {
    if (path == nullptr || *path == '\0') ThrowRunTimeError("Internal Error: NULL file name.");
    // Looked at before opening: opening a FIFO waits for a writer, and
    // opening a device may do something.
    struct stat status {};
    if (::stat(path, &status) != 0) ThrowRunTimeError("Couldn't open Vendor Info File: %s.", path);
    RefuseIfNotRegular(path, status);
    // Non-blocking, in case the name was swapped for a FIFO in between.
    const CFileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.Get() < 0) ThrowRunTimeError("Couldn't open Vendor Info File: %s.", path);
    if (::fstat(file.Get(), &status) != 0)
        ThrowRunTimeError("I/O read failure on Vendor Info File %s: %s", path, std::strerror(errno));
    RefuseIfNotRegular(path, status);

    // The size is a hint: some files (in /proc) say 0, others may grow. One
    // byte more than the size lets the read that finds the end fit, and one
    // more stays spare.
    CByteBuffer bytes(static_cast<std::size_t>(status.st_size) + 2);
    for (;;) {
        if (bytes.Capacity() - bytes.Size() < 2)
            bytes.Reserve(bytes.Capacity() + std::max(bytes.Capacity() / 2, VIF_READ_MIN_BLOCK));
        const std::size_t room = bytes.Capacity() - bytes.Size() - 1;
        const ssize_t got = ::read(file.Get(), bytes.Data() + bytes.Size(), room);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowRunTimeError("I/O read failure on Vendor Info File %s: %s", path, std::strerror(errno));
        }
        if (got == 0) break;
        bytes.Resize(bytes.Size() + static_cast<std::size_t>(got));
    }
    return bytes;
}

bool DecodeText(CByteBuffer& bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.Data());
    const std::size_t size = bytes.Size();
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        std::memmove(bytes.Data(), bytes.Data() + 3, size - 3);
        bytes.Resize(size - 3);
        return false;
    }
    const bool marked = size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF));
    const int unmarked = marked ? 0 : Utf16WithoutMark(b, size);
    if (!marked && unmarked == 0) return false;
    CByteBuffer text = Utf16ToUtf8Text(bytes, marked ? 2 : 0, marked ? b[0] == 0xFE : unmarked == 2);
    bytes = CByteBuffer();  // the file's bytes go before the text is packed
    bytes = std::move(text);
    return true;
}
