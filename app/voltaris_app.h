// The application object: the whole life of the process runs inside its
// InitInstance, from the single-instance check to the restored driver stack.
#pragma once

#include "console/console_interpreter.h"
#include "dlg/app.h"
#include "trialkit/trialkit.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t MODE_CONSOLE = 0;
constexpr int32_t MODE_GUI = 1;
constexpr int32_t MODE_EXIT = 2;

// Process exit statuses.
constexpr int VOLTARIS_EXIT_OK = 0;
constexpr int VOLTARIS_EXIT_FAILED = 1;       // console start-up failed, or another instance runs
constexpr int VOLTARIS_EXIT_BENCH_ERROR = 2;  // the bench could not be set up

// Title of the main dialog and of the console; a second start looks for it.
constexpr const char* VOLTARIS_WINDOW_TITLE = "xHCI Voltaris";

// No console is open.
constexpr int VOLTARIS_NO_CONSOLE = -1;

class CVoltarisApp : public CWinApp, public CConsoleHost {
public:
    CVoltarisApp();
    ~CVoltarisApp() override;

    // The command line, as main received it (program name first).
    void SetCommandLine(std::vector<std::string> arguments);

    bool InitInstance() override;

    void ParseSwitches();
    void OpenConsole() override;
    void WriteConsoleText(const char* text) override;

    int ExitCode() const { return m_exitCode; }

    int32_t Mode = MODE_GUI;
    int ConsoleInput = VOLTARIS_NO_CONSOLE;
    int ConsoleOutput = VOLTARIS_NO_CONSOLE;

private:
    void RunDialogMode(CIniArgs& stackConfig, bool fromConsole);
    void RunMainDialogOn(bool windowOpen);
    // The mode the switches leave, read without acting on them.
    int32_t SwitchedMode() const;
    // A start that cannot go on: the line on stderr and, in dialog mode with a
    // display, in a message box.
    void ReportStartFailure(const std::string& line);

    std::vector<std::string> m_arguments;
    int m_exitCode = VOLTARIS_EXIT_OK;
    std::string m_statusFilesFailure;  // why "/C" could not write the status files
};

// The process-wide objects, in their order of construction.
extern CLimitSingleInstance g_SingleInstanceGuard;
extern const std::string g_TimedCommandLineTitle;
extern CVoltarisApp theApp;
