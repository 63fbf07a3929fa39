// The console's test commands TP and TD, with the console's own sequencing:
// single-step prompts, the looping descriptor read, and re-enumeration
// before a command that follows a test mode.
#pragma once

#include "console/console_session.h"

#include <cstdint>
#include <string>

// TP <mode> <port> [<hub index>] and TD <mode> <device index>, with the
// session's tokens; each sets the session's LastResult.
void RunTestPortCommand(CConsoleSession& session);
void RunTestDeviceCommand(CConsoleSession& session);

// The code of a mode word (0 when it names none); name receives the word in
// upper case, as the messages show it.
uint8_t ParseDeviceTestMode(const std::string& word, std::string& name);
uint8_t ParsePortTestMode(const std::string& word, std::string& name);

// The port a port token names; 0, which names no port, for a word that is
// no whole number and for values outside a byte (rather than wrapping around
// to another port).
uint8_t ParsePortNumber(const std::string& word);

// While it lives, the "Remove Downstream Device" box asks on the console.
class CConsoleRemoveDevicePrompt {
public:
    explicit CConsoleRemoveDevicePrompt(CConsoleSession& session);
    ~CConsoleRemoveDevicePrompt();
    CConsoleRemoveDevicePrompt(const CConsoleRemoveDevicePrompt&) = delete;
    CConsoleRemoveDevicePrompt& operator=(const CConsoleRemoveDevicePrompt&) = delete;
};

// While it lives, a request that would stop what the machine itself runs on
// asks on the console first: only a typed OK sends it (Enter alone, CANCEL
// and the end of the input refuse it). A program driving the console
// confirms every such request ahead with VOLTARIS_CONFIRM_IN_USE=1 in the
// environment; the question is then shown, and answered, on the console.
constexpr const char* CONFIRM_AHEAD_VARIABLE = "VOLTARIS_CONFIRM_IN_USE";
bool ConfirmsAhead(const char* value);  // the variable's value, null when unset
class CConsoleConfirmPrompt {
public:
    explicit CConsoleConfirmPrompt(CConsoleSession& session);
    ~CConsoleConfirmPrompt();
    CConsoleConfirmPrompt(const CConsoleConfirmPrompt&) = delete;
    CConsoleConfirmPrompt& operator=(const CConsoleConfirmPrompt&) = delete;
};
