#include "app/voltaris_app.h"

#include "app/dialog_surface.h"
#include "app/stack_config.h"

#include "bench/bus_model.h"
#include "benchline/backend.h"
#include "console/console_interpreter.h"
#include "console/status_files.h"
#include "corekit/corekit.h"
#include "gui/main_dialog.h"
#include "os/console.h"
#include "os/signals.h"
#include "os/window.h"
#include "promptkit/promptkit.h"
#include "railswap/railswap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>
#include <unistd.h>

namespace {

constexpr const char kHelpText[] =
    "\n\n Command Line Help Menu for xHCI Voltaris\n\n OPTIONS:\n\n\t/?\tThis help menu\n\t/C\tCommand Line Mode\n";

// Switches are compared on at most 31 bytes of the argument, cut before a
// character that would not fit whole.
std::string CutSwitch(const std::string& argument) {
    constexpr size_t kMax = 31;
    if (argument.size() <= kMax) return argument;
    size_t end = kMax;
    while (end > 0 && (static_cast<unsigned char>(argument[end]) & 0xC0) == 0x80) --end;
    return argument.substr(0, end);
}

enum class ESwitch { None, Help, Console };

ESwitch SwitchOf(const std::string& argument) {
    std::string word = CutSwitch(argument);
    if (strcasecmp(word.c_str(), "/?") == 0) return ESwitch::Help;
    if (strcasecmp(word.c_str(), "/C") == 0) return ESwitch::Console;
    return ESwitch::None;
}

}  // namespace

CVoltarisApp::CVoltarisApp() {
    InitHelperDialogs(this);
    if (!g_SingleInstanceGuard.IsAnotherInstanceRunning()) {
        ConsoleInput = VOLTARIS_NO_CONSOLE;
        ConsoleOutput = VOLTARIS_NO_CONSOLE;
        Mode = MODE_GUI;
    }
}

CVoltarisApp::~CVoltarisApp() { CleanupHelperDialogs(); }

void CVoltarisApp::SetCommandLine(std::vector<std::string> arguments) { m_arguments = std::move(arguments); }

void CVoltarisApp::ParseSwitches() {
    Mode = MODE_GUI;
    for (size_t i = 1; i < m_arguments.size(); ++i) {
        ESwitch which = SwitchOf(m_arguments[i]);
        if (which == ESwitch::Help) {
            if (OSAttachParentConsole()) {
                OSWriteConsole(kHelpText, sizeof kHelpText - 1);
                OSFreeConsole();
            }
            Mode = MODE_EXIT;
        } else if (which == ESwitch::Console) {
            std::string failure;
            bool written = WriteInfoLine("", true, &failure);
            written = WriteStatusFile(STATUS_BUSY, &failure) && written;
            m_statusFilesFailure = written ? "" : failure;
            Mode = MODE_CONSOLE;
        }
    }
}

int32_t CVoltarisApp::SwitchedMode() const {
    int32_t mode = MODE_GUI;
    for (size_t i = 1; i < m_arguments.size(); ++i) {
        ESwitch which = SwitchOf(m_arguments[i]);
        if (which != ESwitch::None) mode = which == ESwitch::Help ? MODE_EXIT : MODE_CONSOLE;
    }
    return mode;
}

void CVoltarisApp::ReportStartFailure(const std::string& line) {
    std::fprintf(stderr, "voltaris: %s\n", line.c_str());
    if (SwitchedMode() == MODE_GUI) ShowFailureInWindow(line);
}

void CVoltarisApp::OpenConsole() {
    OSAllocConsole();
    OSSetConsoleTitle(VOLTARIS_WINDOW_TITLE);
    ConsoleInput = OSStdInput();
    ConsoleOutput = OSStdOutput();
    OSRegisterWindow(VOLTARIS_WINDOW_TITLE);
}

void CVoltarisApp::WriteConsoleText(const char* text) {
    if (ConsoleOutput == VOLTARIS_NO_CONSOLE || !text) return;
    OSWriteConsole(text, std::strlen(text));
}

bool CVoltarisApp::InitInstance() {
    if (g_SingleInstanceGuard.IsAnotherInstanceRunning()) {
        if (OSFindWindow(VOLTARIS_WINDOW_TITLE)) {
            OSShowWindow(VOLTARIS_WINDOW_TITLE);
            OSBringWindowToTop(VOLTARIS_WINDOW_TITLE);
            OSSetForegroundWindow(VOLTARIS_WINDOW_TITLE);
        }
        // A terminal has no window to raise, so say why nothing happens.
        std::fprintf(stderr, "voltaris: xHCI Voltaris is already running\n");
        m_exitCode = VOLTARIS_EXIT_FAILED;
        return false;
    }

    // The bench is chosen before anything else happens, so a bad choice ends
    // the program before any status file is written or any stack switched.
    // The help alone needs no bench.
    std::string error, note;
    if (SwitchedMode() != MODE_EXIT &&
        !BLConfigure(std::getenv("VOLTARIS_BENCH"), std::getenv("VOLTARIS_TRACE"), error, &note)) {
        ReportStartFailure(error);
        m_exitCode = VOLTARIS_EXIT_BENCH_ERROR;
        return false;
    }
    OSInstallTerminationHandlers();

    ParseSwitches();
    const bool startedInConsole = Mode == MODE_CONSOLE;
    if (startedInConsole && !m_statusFilesFailure.empty()) {
        // A driving program follows the console through these files alone.
        std::fprintf(stderr, "voltaris: cannot write the console's status files in the working directory: %s\n",
                     m_statusFilesFailure.c_str());
        m_exitCode = VOLTARIS_EXIT_FAILED;
        Mode = MODE_EXIT;
    }
    // Before the bench is used: that it is simulated, or that there is nothing to drive.
    if (Mode != MODE_EXIT && !note.empty()) std::fprintf(stderr, "voltaris: %s\n", note.c_str());
    GuiInterfaceSetWinApp();

    CIniArgs stackConfig;
    AddStackConfigRows(stackConfig);

    if (Mode == MODE_CONSOLE) {
        EConsoleExit left = RunConsoleInterpreter(*this, stackConfig, std::string(), g_TimedCommandLineTitle);
        if (left == CONSOLE_EXIT_TO_DIALOGS) Mode = MODE_GUI;
        else if (left == CONSOLE_EXIT_DONE) Mode = MODE_EXIT;
        else m_exitCode = VOLTARIS_EXIT_FAILED;
    }
    if (Mode == MODE_GUI) RunDialogMode(stackConfig, startedInConsole);

    BLShutdown();
    int signo = OSTerminationSignal();
    if (signo != 0) m_exitCode = 128 + signo;
    return false;
}

// The main dialog in the window opened, else on the terminal, which is let go
// before the bench is closed.
void CVoltarisApp::RunMainDialogOn(bool windowOpen) {
    std::string error;
    std::unique_ptr<CDlgSurface> terminal = windowOpen ? nullptr : OpenTerminalSurface(error);
    if (!windowOpen && !terminal) {
        std::fprintf(stderr, "voltaris: %s; use /C for console mode\n", error.c_str());
        m_exitCode = VOLTARIS_EXIT_FAILED;
    } else if (!RunMainDialog()) {
        m_exitCode = VOLTARIS_EXIT_FAILED;
    }
}

void CVoltarisApp::RunDialogMode(CIniArgs& stackConfig, bool fromConsole) {
    CSafeString resultText(nullptr);
    // The dialogs open as windows on a desktop, else on the terminal. Without
    // either nothing is switched; after the console's GUI command the
    // console's bench and stack switch are still in place and are undone here,
    // so the machine is never left on the compliance stack.
    CSurfaceChoice choice = ChooseDialogSurface();
    std::unique_ptr<CDlgSurface> window;
    if (choice.surface == EDialogSurface::Window) {
        std::string error;
        window = OpenWindowSurface(error);
        if (!window) {
            // A display that cannot be opened leaves the terminal, unless windows were asked for.
            if (!choice.forced && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
                choice.surface = EDialogSurface::Terminal;
            } else {
                choice.surface = EDialogSurface::Refused;
                choice.error = error;
            }
        }
    }
    if (choice.surface == EDialogSurface::Refused) {
        std::fprintf(stderr, "voltaris: %s\n", choice.error.c_str());
        m_exitCode = VOLTARIS_EXIT_FAILED;
        if (fromConsole) {
            DestroyBench();
            CleanupRailswap(stackConfig, resultText, 0);
        }
        return;
    }
    InitRailswap(stackConfig, resultText, 0);
    CreateBench();
    RunMainDialogOn(window != nullptr);
    DestroyBench();
    CleanupRailswap(stackConfig, resultText, 0);
}
