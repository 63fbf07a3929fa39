// The host test dialog: a root port of the selected controller put into a
// port test mode or a port action, a device below it given a device command,
// and the "Disconnect Notify" watch on the port after TEST_FORCE_ENABLE.
#pragma once

#include "gui/test_dialog.h"

#include <cstdint>

class CHostTestDialog : public CTestDialog {
public:
    CHostTestDialog();

    bool OnNotify(unsigned code, int id) override;
    // A tick of the connection monitor.
    void OnTimer(uintptr_t id) override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    void OnEnumerateBus() override;
    void OnExecute();
    void OnReturnToMain();
    void OnPortCommandChange();
    void OnDeviceCommandChange();
    void OnDeviceChange();
    void OnAddressChange();
    void OnPortNumberChange();
    // EXECUTE with no port command: the device command, stepped when it is a
    // single-step sequence.
    int32_t RunDeviceSide(uint8_t command, uint8_t* buffer, bool& descriptorRead);

    CButton m_returnButton;
    CButton m_enumerateButton;
    CListBox m_deviceList;
    CComboBox m_deviceCombo;
    CComboBox m_portCombo;
    CComboBox m_portNumberCombo;
    CEdit m_addressBox;
    uint8_t m_port = 0;         // taken at EXECUTE; the monitor watches it
    uint8_t m_selectedRow = 0;  // 0: no device
    uint8_t m_address = 0;
};
