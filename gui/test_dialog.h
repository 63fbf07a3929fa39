// What the four test dialogs share: the status window, the Enumerate Bus
// frame, the re-enumeration flag, the single-step sequence with its lock,
// the descriptor display, the address and port controls, and the
// "Disconnect Notify" connection monitor.
#pragma once

#include "bench/bus_model.h"
#include "dlg/dialog.h"

#include <cstdint>
#include <initializer_list>

// Size of the command and dump buffers of EXECUTE.
constexpr uint32_t TEST_BUFFER_SIZE = 256;
// Bytes of a device descriptor.
constexpr int32_t DEVICE_DESCRIPTOR_LENGTH = 18;
// Period of the connection monitor.
constexpr unsigned MONITOR_PERIOD_MS = 1000;

// Stages of a single-step control transfer.
enum EStepStage : int32_t {
    STEP_STAGE_SETUP = 0,
    STEP_STAGE_DATA = 1,
    STEP_STAGE_STATUS = 2,
};

// What a press of EXECUTE does in a single-step sequence.
enum EStepAction {
    STEP_ACTION_NONE,    // no single-step command: run the selected command
    STEP_ACTION_SETUP,   // start: lock the dialog, run the setup stage
    STEP_ACTION_DATA,    // run the data stage (a descriptor read)
    STEP_ACTION_STATUS,  // last press: unlock the dialog, run the status stage
};

// The two single-step sequences: SET FEATURE takes two presses, GET DEV
// DESC three.
struct CSingleStep {
    uint8_t Active = 0;
    int32_t Stage = STEP_STAGE_SETUP;

    // The press of EXECUTE with these commands selected.
    EStepAction Press(bool setFeatureSelected, bool getDescriptorSelected);
};

class CTestDialog : public CDialog {
protected:
    explicit CTestDialog(int templateId) : CDialog(templateId) {}

    // Enumerate Bus: the progress text, the message box on a failed
    // enumeration, and the closing text for the status of the refill
    // ("Enumeration Failed" also when the enumeration itself failed).
    void ShowEnumerating();
    void ReportEnumeration(EBenchResult result);
    void ShowEnumerationResult(int32_t status);
    // The dialog's Enumerate Bus.
    virtual void OnEnumerateBus() = 0;
    // Before EXECUTE: when a test mode left the bus to be enumerated again,
    // the dialog's Enumerate Bus. False when that enumeration failed; the
    // status then says "Enumeration Failed", EXECUTE sends nothing and the
    // enumeration stays pending.
    bool EnumerateBeforeExecute();
    // The device EXECUTE was to act on is no longer on the bus.
    void ShowDeviceGone();
    // Enumerate Bus of a dialog with one device list: re-enumerates keeping
    // the selected device, refills the list with the USB 2.0 devices and
    // selects that device again at its new row (or the first device when the
    // list was empty before). Returns the row selected, 0 for none, in which
    // case the command choice is cleared. frozen are disabled meanwhile.
    uint8_t EnumerateDevices(CListBox& list, CComboBox& commands, CWnd& addressBox,
                             std::initializer_list<CWnd*> frozen);
    // No device chosen: the command combo back to "NONE" and disabled, and the
    // address box disabled, so that EXECUTE sends nothing.
    static void ClearDeviceChoice(CComboBox& commands, CWnd& addressBox);
    // The result of EXECUTE: the descriptor dump after a descriptor read that
    // did not fail, else "Operation Successful" or "Operation Failed".
    void ShowResult(int32_t result, bool descriptorRead, const uint8_t* buffer);

    // Single-step lock: disables the controls and sets the EXECUTE caption to
    // "Step". Unlock: puts the combos back to "NONE", enables the controls
    // and sets the caption to "Execute".
    void Lock(std::initializer_list<CWnd*> controls);
    void Unlock(std::initializer_list<CComboBox*> combos, std::initializer_list<CWnd*> controls);

    // Connection monitor. After a port command: TEST_FORCE_ENABLE enables the
    // check box for that port (kind POLL_ROOT_PORT or POLL_HUB_PORT), any
    // other stops the watch.
    void OnPortCommandRun(bool forceEnable, uint8_t kind, uint8_t port);
    // Unchecks and disables the check box and stops the timer: an enumeration
    // has ended Test Force Enable, or the port can no longer be read.
    void StopWatch();
    // A click on the check box: checked, it acknowledges the changes the port
    // saw before and starts the timer; unchecked, it stops the timer.
    void OnMonitorClicked();
    // A tick: polls the port and reports a disconnect or a connect.
    void PollMonitoredPort(const char* connectText);

    CEdit m_statusWindow;     // bound by the dialog
    CButton m_executeButton;  // bound by the dialog
    CButton m_monitorBox;     // bound by the host and hub dialogs
    // Before a test dialog fills its lists: a test mode left pending by an
    // earlier dialog or the console, or a failed enumeration, leaves the bus
    // to be enumerated first.
    void EnumerateIfPending();
    // The status text for a command or port combo whose typed text names no
    // entry; EXECUTE then sends nothing.
    void ShowUnknownChoice(const CComboBox& combo);

    CSingleStep m_step;
    uintptr_t m_timerId = 1;
    EBenchResult m_enumeration = BENCH_OK;  // the result of the last enumeration

private:
    // The watched port could not be read: says so and stops the watch.
    void LoseWatchedPort();

    uint8_t m_watchKind = 0;
    uint8_t m_watchPort = 0;
};

// Hub list row r stands for HubList index r - 1; row 0 (the host or "NONE")
// for no hub.
inline uint8_t HubIndexOfRow(uint8_t row) { return row == 0 ? NO_SELECTION : static_cast<uint8_t>(row - 1); }

// After an all-speed enumeration restored the selected device (restored is
// not NO_SELECTION) and the device list was rebuilt: the device's index in the
// rebuilt list, found again by its saved identity and selected there. When it
// is not in the rebuilt list the selection is dropped and NO_SELECTION returned.
uint8_t SelectRestoredDevice(uint8_t restored);

// The position chosen in a command combo. Text typed into its edit field
// that names an entry (in any letter case) chooses that entry; an empty field
// with nothing chosen is position 0 ("NONE"); other text gives CB_ERR.
int ReadCommandChoice(CComboBox& combo);

// The address value of an address box: its text (at most maxChars) read as
// a decimal number, 0 when it does not start with one, low 8 bits.
uint8_t ReadAddressValue(CEdit& box, int maxChars);
// The port number of the entry chosen in a port combo, as ReadCommandChoice
// chooses it (atoi, low 8 bits); 0, which names no port, when none is.
uint8_t ReadPortNumber(CComboBox& combo);
