#include "console/status_files.h"

#include <cerrno>
#include <cstring>
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
// to, and a hard link to some other file is not emptied. Returns what went
// wrong, empty when the text was written whole.
std::string WriteFile(const char* name, const std::string& text, bool truncate) {
    auto failure = [name](const char* what) { return std::string(name) + ": " + what; };
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (truncate ? 0 : O_APPEND);
    int fd = ::open(name, flags, 0644);
    if (fd < 0) return failure(errno == ELOOP ? "a symbolic link is in its place" : std::strerror(errno));
    struct stat info {};
    const char* refused = nullptr;
    if (::fstat(fd, &info) != 0) refused = std::strerror(errno);
    else if (!S_ISREG(info.st_mode)) refused = "not a plain file";
    else if (info.st_nlink > 1) refused = "a hard link to another file";
    else if (truncate && ::ftruncate(fd, 0) != 0) refused = std::strerror(errno);
    if (refused) {
        ::close(fd);
        return failure(refused);
    }
    std::string bytes;
    bytes.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    std::string error;
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            error = failure(n == 0 ? "nothing more could be written" : std::strerror(errno));
            break;
        }
    }
    if (::close(fd) != 0 && error.empty()) error = failure(std::strerror(errno));
    return error;
}

bool Report(const std::string& failure, std::string* error) {
    if (error && !failure.empty()) *error = failure;
    return failure.empty();
}

}  // namespace

bool WriteInfoLine(const std::string& text, bool truncate, std::string* error) {
    return Report(WriteFile(INFO_FILE_NAME, text, truncate), error);
}

bool WriteStatusFile(int state, std::string* error) {
    static const char* const kWords[] = {
        "READY\n",         "BUSY\n",          "UNSUCCESSFUL\n", "ERROR_LOADING_DRIVER\n", "COULD_NOT_FIND_HOST\n",
        "REBOOT_NEEDED\n", "INVALID_DRIVER\n"};
    bool known = state >= 0 && state < static_cast<int>(std::size(kWords));
    return Report(WriteFile(STATUS_FILE_NAME, known ? kWords[state] : "", true), error);
}
