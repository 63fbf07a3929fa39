#include "app/dialog_surface.h"

#include "app/voltaris_app.h"

#include "dlg/terminal.h"
#ifdef VOLTARIS_WINDOWS
#include "dlg/qt_surface.h"
#endif

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr const char kNeedsTerminal[] = "the dialog interface needs a terminal; use /C for console mode";

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// A value as it can be shown on one line.
std::string Printable(const std::string& value) {
    std::string out;
    for (char c : value.substr(0, 40)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return value.size() > 40 ? out + "..." : out;
}

// The text of a message box: the line broken at blanks into lines of about
// 64 characters, its first letter upper case.
std::string BoxText(const std::string& line) {
    constexpr size_t kWidth = 64;
    std::string text;
    size_t column = 0;
    for (size_t at = 0; at < line.size();) {
        size_t end = std::min(line.find(' ', at), line.size());
        if (column > 0) {
            bool wrap = column + 1 + (end - at) > kWidth;
            text += wrap ? '\n' : ' ';
            column = wrap ? 0 : column + 1;
        }
        text.append(line, at, end - at);
        column += end - at;
        at = end + 1;
    }
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

#ifdef VOLTARIS_WINDOWS
// Under pkexec voltaris runs as root on the invoking user's display: the
// polkit policy's allow_gui keeps DISPLAY and XAUTHORITY. A session that
// leaves XAUTHORITY unset keeps its cookie in the user's ~/.Xauthority, which
// root's HOME does not lead to.
void UseInvokersXauthority() {
    const char* uid = std::getenv("PKEXEC_UID");
    if (!uid || !*uid || !Named("DISPLAY") || Named("XAUTHORITY")) return;
    char* end = nullptr;
    unsigned long number = std::strtoul(uid, &end, 10);
    const passwd* user = *end ? nullptr : getpwuid(static_cast<uid_t>(number));
    if (!user || !user->pw_dir) return;
    std::string cookie = std::string(user->pw_dir) + "/.Xauthority";
    if (access(cookie.c_str(), R_OK) == 0) setenv("XAUTHORITY", cookie.c_str(), 1);
}
#endif

}  // namespace

CSurfaceChoice ChooseDialogSurface(const char* forced, bool display, bool terminal, bool windowsBuilt) {
    CSurfaceChoice choice;
    std::string asked = forced ? forced : "";
    if (asked == "window") {
        choice.forced = true;
        if (!windowsBuilt) choice.error = "VOLTARIS_SURFACE=window, but this voltaris was built without windows";
        else if (!display)
            choice.error = "VOLTARIS_SURFACE=window needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set";
        else choice.surface = EDialogSurface::Window;
    } else if (asked == "terminal") {
        choice.forced = true;
        if (terminal) choice.surface = EDialogSurface::Terminal;
        else choice.error = kNeedsTerminal;
    } else if (!asked.empty()) {
        choice.error = "VOLTARIS_SURFACE must be window or terminal, not \"" + Printable(asked) + "\"";
    } else if (display && windowsBuilt) {
        choice.surface = EDialogSurface::Window;
    } else if (terminal) {
        choice.surface = EDialogSurface::Terminal;
    } else {
        choice.error = kNeedsTerminal;
    }
    return choice;
}

CSurfaceChoice ChooseDialogSurface() {
#ifdef VOLTARIS_WINDOWS
    constexpr bool kWindowsBuilt = true;
#else
    constexpr bool kWindowsBuilt = false;
#endif
    return ChooseDialogSurface(std::getenv("VOLTARIS_SURFACE"), Named("DISPLAY") || Named("WAYLAND_DISPLAY"),
                               isatty(STDIN_FILENO) && isatty(STDOUT_FILENO), kWindowsBuilt);
}

std::unique_ptr<CDlgSurface> OpenWindowSurface(std::string& error) {
#ifdef VOLTARIS_WINDOWS
    UseInvokersXauthority();
    auto surface = std::make_unique<CQtSurface>("voltaris");
    if (surface->Ok()) return surface;
    error = surface->Error();
#else
    error = "this voltaris was built without windows";
#endif
    return nullptr;
}

std::unique_ptr<CDlgSurface> OpenTerminalSurface(std::string& error) {
    auto surface = std::make_unique<CTerminalSurface>();
    if (surface->Ok()) return surface;
    error = surface->Error();
    return nullptr;
}

void ShowFailureInWindow(const std::string& line) {
    if (ChooseDialogSurface().surface != EDialogSurface::Window) return;
    std::string error;
    if (std::unique_ptr<CDlgSurface> window = OpenWindowSurface(error))
        DlgMessageBox(BoxText(line).c_str(), VOLTARIS_WINDOW_TITLE, MB_OK);
}
