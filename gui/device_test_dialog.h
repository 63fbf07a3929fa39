// The device test dialog: one USB 2.0 device chosen from a list and one
// device command run on it per EXECUTE, with the looping descriptor read and
// the two single-step sequences.
#pragma once

#include "gui/test_dialog.h"

#include <cstdint>

// Period of the looping descriptor read.
constexpr unsigned DESCRIPTOR_LOOP_PERIOD_MS = 100;

class CDeviceTestDialog : public CTestDialog {
public:
    CDeviceTestDialog();

    bool OnNotify(unsigned code, int id) override;
    // A tick of the looping descriptor read.
    void OnTimer(uintptr_t id) override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    void OnEnumerateBus() override;
    void OnExecute();
    void OnReturnToMain();
    void OnCommandChange();
    void OnDeviceChange();
    void OnAddressChange();
    // Starts the loop, or stops it when it runs.
    void ToggleLooping();
    // One read of the descriptor loop. A failed read is shown until the loop
    // stops, so a later good read does not hide it.
    void ReadInLoop();

    CButton m_returnButton;
    CButton m_enumerateButton;
    CListBox m_deviceList;
    CComboBox m_commandCombo;
    CEdit m_addressBox;
    uint8_t m_selectedRow = 0;  // NO_SELECTION after an Enumerate Bus found no device
    uint8_t m_address = 0;
    uint8_t m_looping = 0;
    bool m_loopFailed = false;  // a read of the running loop failed
};
