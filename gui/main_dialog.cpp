// Stand-in until the dialogs land: waits on the terminal until Enter, the end
// of input or a termination signal, so start-up and shut-down can be watched.
#include "gui/main_dialog.h"

#include "os/signals.h"

#include <cerrno>
#include <unistd.h>

void RunMainDialog() {
    static const char kText[] = "xHCI Voltaris: the dialog interface is not available in this build; press Enter to end\n";
    ssize_t written = ::write(STDOUT_FILENO, kText, sizeof kText - 1);
    (void)written;
    char c = 0;
    while (OSTerminationSignal() == 0) {
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n == 0 || (n == 1 && c == '\n')) return;
        if (n < 0 && errno != EINTR) return;
    }
}
