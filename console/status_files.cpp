#include "console/status_files.h"

#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens the file anew for each write and closes it after, so a reader always
// sees a finished file. The readers of these files expect CR LF line ends.
// The tool runs as root, often in directories that others can write to, so
// only a plain file of its own name is written: a symlink at the name is never
// followed, a FIFO or device planted there is neither blocked on nor written
// to, and a hard link to some other file is not emptied. Failures are not
// reported.
void WriteFile(const char* name, const std::string& text, bool truncate) {
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (truncate ? 0 : O_APPEND);
    int fd = ::open(name, flags, 0644);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1 ||
        (truncate && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return;
    }
    std::string bytes;
    bytes.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace

void WriteInfoLine(const std::string& text, bool truncate) { WriteFile(INFO_FILE_NAME, text, truncate); }

void WriteStatusFile(int state) {
    static const char* const kWords[] = {"READY\n", "BUSY\n", "UNSUCCESSFUL\n", "ERROR_LOADING_DRIVER\n",
                                         "COULD_NOT_FIND_HOST\n", "REBOOT_NEEDED\n", "INVALID_DRIVER\n"};
    bool known = state >= 0 && state < static_cast<int>(std::size(kWords));
    WriteFile(STATUS_FILE_NAME, known ? kWords[state] : "", true);
}
