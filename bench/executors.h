// The executors: they turn a code of the catalogue into requests on the
// test services component, for the target the current selections name, and
// fold the component's status into one result (BENCH_OK or a BENCH_E_ code).
// Any request of a sequence that fails makes the whole command fail.
#pragma once

#include "bench/bus_model.h"
#include "bench/catalogue.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Device commands on the selected device through its upstream port. Nothing
// is sent, and BENCH_OK returned, when no device is selected or it hangs on
// no port; a stale selection or a port that cannot be looked up is a
// failure. buffer holds descriptor data and the set address text.
EBenchResult RunDeviceCommand(uint8_t code, uint8_t* buffer, uint32_t length);
// The same commands on the selected hub (HubCommandCode).
EBenchResult RunHubCommand(uint8_t code, uint8_t* buffer, uint32_t length);
// Downstream device commands on the selected device, without a port lookup.
EBenchResult RunHostDeviceCommand(uint8_t code, uint8_t* buffer, uint32_t length);
EBenchResult RunHubDeviceCommand(uint8_t code, uint8_t* buffer, uint32_t length);

// Port tests (PortTestCode 1 to 8) on a root port of the selected controller
// or a downstream port of the selected hub.
EBenchResult RunHostPortTest(uint8_t code, uint8_t port);
EBenchResult RunHubPortTest(uint8_t code, uint8_t port);

// SuperSpeed transmitter compliance (ComplianceCode) on a root or hub port;
// asks the user to remove a device still attached to it.
EBenchResult RunHostPortCompliance(uint8_t code, uint8_t port);
EBenchResult RunHubPortCompliance(uint8_t code, uint8_t port);

// Quiesces every root port of the selected controller, then halts it.
// Returns BENCH_OK once every port is quiesced (also without ports), or stops
// at the first port that cannot be quiesced and returns BENCH_E_FAILED
// without halting the controller; halted, when given, says whether the
// controller reported halted in time.
EBenchResult PrepareRootPortsForTest(bool* halted = nullptr);
// Sets or clears Run/Stop and waits, without sleeping, until the halted bit
// follows; gives up after SET_RUN_STATE_TIMEOUT_MS and returns BENCH_E_FAILED.
// A register access that fails stops it with BENCH_E_FAILED; a command word
// that could not be read is never written back.
constexpr int SET_RUN_STATE_TIMEOUT_MS = 100;
EBenchResult SetControllerRunState(bool run);
// Idles every port of the selected hub except the one to be tested;
// BENCH_E_FAILED at the first port that cannot be idled.
EBenchResult IdleOtherHubPorts(uint8_t port);

// Before a command of the family runs: a test mode (transmitter compliance
// included) leaves the bus to be enumerated again before the next command on
// a target of its kind (PENDING_DEVICE, PENDING_ROOT_PORT, PENDING_HUB_PORT),
// the parent test packet before the next one on a root port. Other commands
// leave nothing pending.
void MarkTestModeLeft(ECommandFamily family, uint8_t code, uint8_t targetKind);

// The "Remove Downstream Device" message box. The front end in use installs
// its own (the console asks at its prompt, the dialogs in a message box); an
// empty one removes it, and without one the answer is Cancel.
enum EPromptAnswer { PROMPT_OK, PROMPT_CANCEL };
using RemoveDevicePrompt = std::function<EPromptAnswer(const std::string& text, const std::string& caption)>;
void SetRemoveDevicePrompt(RemoveDevicePrompt prompt);

// The question before a request that would stop what the machine itself
// runs on (its disks, swap, keyboard, mouse or network): the text names what
// was found and what the request would do to it. OK sends the request;
// Cancel, or no prompt installed, refuses it and nothing is sent. The front
// end in use installs its own; an empty one removes it.
using ConfirmPrompt = std::function<EPromptAnswer(const std::string& text)>;
void SetConfirmPrompt(ConfirmPrompt prompt);

// Notes on the last requests that belong beside their result (a test mode
// that went to another port than the one named); taking them empties them.
std::vector<std::string> TakeRequestNotes();
