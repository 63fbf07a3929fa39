#include "gui/test_dialog.h"

#include "bench/bus_model.h"
#include "bench/executors.h"
#include "dlg/app.h"
#include "gui/dialog_helpers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

EStepAction CSingleStep::Press(bool setFeatureSelected, bool getDescriptorSelected) {
    if (Active && setFeatureSelected) {
        Active = 0;
        Stage = STEP_STAGE_STATUS;
        return STEP_ACTION_STATUS;
    }
    if (Active && getDescriptorSelected) {
        if (Stage == STEP_STAGE_SETUP) {
            Stage = STEP_STAGE_DATA;
            return STEP_ACTION_DATA;
        }
        Active = 0;
        Stage = STEP_STAGE_STATUS;
        return STEP_ACTION_STATUS;
    }
    if (setFeatureSelected || getDescriptorSelected) {
        Active = 1;
        Stage = STEP_STAGE_SETUP;
        return STEP_ACTION_SETUP;
    }
    return STEP_ACTION_NONE;
}

namespace {

bool SameTextNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

void CTestDialog::EnumerateIfPending() {
    if (!PendingEnumeration()) return;
    ShowEnumerating();
    ReportEnumeration(EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false));
    ShowStatus(&m_statusWindow, m_enumeration, "", "Enumeration Failed", 1);
}

bool CTestDialog::EnumerateBeforeExecute() {
    if (!PendingEnumeration()) return true;
    OnEnumerateBus();
    if (m_enumeration >= 0) return true;
    ShowStatus(&m_statusWindow, m_enumeration, "", "Enumeration Failed", 1);
    return false;
}

void CTestDialog::ShowDeviceGone() {
    m_statusWindow.SetWindowText(
        "No Devices Present. \r\nIf you put the device in a test mode you need to \r\npower cycle it and "
        "re-enumerate\n");
}

void CTestDialog::ShowUnknownChoice(const CComboBox& combo) {
    m_statusWindow.SetWindowText(("Unknown Choice: " + combo.GetWindowText()).c_str());
}

void CTestDialog::ShowEnumerating() { ShowStatus(&m_statusWindow, 0, "Enumerating Bus...", "", 1); }

void CTestDialog::ReportEnumeration(EBenchResult result) {
    m_enumeration = result;
    if (result < 0) MessageBox("Enumeration Failed.  Try Exiting App and Restarting.");
}

void CTestDialog::ShowEnumerationResult(int32_t status) {
    if (m_enumeration < 0) status = m_enumeration;
    ShowStatus(&m_statusWindow, status, "Enumeration Successful", "Enumeration Failed", 1);
}

uint8_t CTestDialog::EnumerateDevices(CListBox& list, CComboBox& commands, CWnd& addressBox,
                                      std::initializer_list<CWnd*> frozen) {
    ShowEnumerating();
    int rowsBefore = list.GetCount();
    for (CWnd* control : frozen) control->EnableWindow(false);
    uint8_t restored = NO_SELECTION;
    ReportEnumeration(EnumerateBus(true, &restored, nullptr, SPEED_ALL, false));
    int32_t status = FillDeviceListBox(list, NO_SELECTION, SPEED_USB2);
    uint8_t index = SelectRestoredDevice(restored);
    uint8_t row = 0;
    if (index != NO_SELECTION) {
        row = static_cast<uint8_t>(index + 1);
    } else if (rowsBefore == 1 && list.GetCount() > 1) {
        row = 1;
        status = SelectDeviceByIndex(0);
    }
    if (row) {
        list.SetCurSel(row);
        commands.EnableWindow(true);
    } else {
        ClearDeviceChoice(commands, addressBox);
    }
    ShowEnumerationResult(status);
    for (CWnd* control : frozen) control->EnableWindow(true);
    return row;
}

void CTestDialog::ClearDeviceChoice(CComboBox& commands, CWnd& addressBox) {
    commands.SetCurSel(0);
    commands.EnableWindow(false);
    addressBox.EnableWindow(false);
}

void CTestDialog::ShowResult(int32_t result, bool descriptorRead, const uint8_t* buffer) {
    if (descriptorRead && result >= 0) {
        char dump[DIALOG_TEXT_SIZE] = {};
        FormatDescriptorBytes(buffer, dump, DEVICE_DESCRIPTOR_LENGTH);
        m_statusWindow.SetWindowText((std::string("Get Device Descriptor Raw Value: \n") + dump).c_str());
        return;
    }
    ShowStatus(&m_statusWindow, result, "Operation Successful", "Operation Failed", 1);
    // What the bench said of the request goes under the result.
    std::vector<std::string> notes = TakeRequestNotes();
    if (notes.empty()) return;
    std::string text = m_statusWindow.GetWindowText();
    for (const std::string& note : notes) text += "\n" + note;
    m_statusWindow.SetWindowText(text.c_str());
}

void CTestDialog::Lock(std::initializer_list<CWnd*> controls) {
    for (CWnd* control : controls) control->EnableWindow(false);
    m_executeButton.SetWindowText("Step");
}

void CTestDialog::Unlock(std::initializer_list<CComboBox*> combos, std::initializer_list<CWnd*> controls) {
    for (CComboBox* combo : combos) combo->SetCurSel(0);
    for (CWnd* control : controls) control->EnableWindow(true);
    m_executeButton.SetWindowText("Execute");
}

void CTestDialog::OnPortCommandRun(bool forceEnable, uint8_t kind, uint8_t port) {
    if (!forceEnable) {
        StopWatch();
        return;
    }
    m_watchKind = kind;
    m_watchPort = port;
    m_monitorBox.EnableWindow(true);
}

void CTestDialog::StopWatch() {
    m_monitorBox.SetCheck(BST_UNCHECKED);
    KillTimer(m_timerId);
    m_monitorBox.EnableWindow(false);
}

void CTestDialog::LoseWatchedPort() {
    m_statusWindow.SetWindowText("Port Can No Longer Be Read");
    StopWatch();
}

void CTestDialog::OnMonitorClicked() {
    if (m_monitorBox.GetCheck() != BST_CHECKED) {
        m_monitorBox.SetCheck(BST_UNCHECKED);
        KillTimer(m_timerId);
        return;
    }
    // A plug or unplug from before the watch is no event of it: it is
    // acknowledged unseen.
    bool disconnected = false, connected = false;
    if (PollPortConnection(&disconnected, &connected, m_watchKind, m_watchPort) != BENCH_OK) {
        LoseWatchedPort();
        return;
    }
    SetTimer(m_timerId, MONITOR_PERIOD_MS);
}

void CTestDialog::PollMonitoredPort(const char* connectText) {
    bool disconnected = false, connected = false;
    if (PollPortConnection(&disconnected, &connected, m_watchKind, m_watchPort) != BENCH_OK) {
        LoseWatchedPort();
        return;
    }
    if (disconnected) m_statusWindow.SetWindowText("Disconnect Event Detected!");
    else if (connected) m_statusWindow.SetWindowText(connectText);
}

uint8_t SelectRestoredDevice(uint8_t restored) {
    if (restored == NO_SELECTION) return NO_SELECTION;
    CBusModel& bus = BusModel();
    uint8_t index = DeviceListIndexOfIdentity(bus.SavedDeviceIdentity);
    if (index != NO_SELECTION && SelectDeviceByIndex(index) == BENCH_OK) return index;
    // The restored index named the all-speed list; it must not be used on
    // the rebuilt one.
    bus.SelectedDevice = NO_SELECTION;
    bus.SavedDeviceIdentity = CBusIdentity{};
    return NO_SELECTION;
}

int ReadCommandChoice(CComboBox& combo) {
    int selected = combo.GetCurSel();
    if (selected >= 0) return selected;
    const std::string typed = combo.GetWindowText();
    if (typed.empty()) return 0;
    for (int entry = 0; entry < combo.GetCount(); ++entry) {
        std::string text;
        combo.GetLBText(entry, text);
        if (SameTextNoCase(text, typed)) {
            combo.SetCurSel(entry);
            return entry;
        }
    }
    return CB_ERR;
}

uint8_t ReadAddressValue(CEdit& box, int maxChars) {
    std::string text = box.GetWindowText().substr(0, static_cast<size_t>(maxChars));
    // Read like "%d", but a number too long for 32 bits saturates instead of
    // being undefined.
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<uint8_t>(value);
}

uint8_t ReadPortNumber(CComboBox& combo) {
    std::string text;
    if (combo.GetLBText(ReadCommandChoice(combo), text) == CB_ERR) return 0;
    return static_cast<uint8_t>(std::atoi(text.c_str()));
}
