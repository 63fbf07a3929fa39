// The hub test dialog: commands on a USB 2.0 hub itself (through its
// upstream port), on one of its downstream ports, and on a device below it.
// The three command lists exclude each other; after TEST_FORCE_ENABLE on a
// port the port can be watched for connect and disconnect events.
#pragma once

#include "gui/test_dialog.h"

#include <cstdint>

class CHubTestDialog : public CTestDialog {
public:
    CHubTestDialog();

    bool OnNotify(unsigned code, int id) override;
    void OnTimer(uintptr_t id) override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    void OnEnumerateBus() override;
    void OnExecute();
    void OnReturnToMain();
    void OnHubSelection();
    void OnDownstreamSelection();
    void OnHubCommandChange();
    void OnPortCommandChange();
    void OnDeviceCommandChange();
    void OnHubAddressChange();
    void OnDeviceAddressChange();
    void OnPortNumberChange();

    // The downstream devices of the selected hub, the first one selected
    // when there is any; with none the device commands are off.
    void FillDownstreamDevices();
    // The port numbers of the hub of the stored row (none for row 0).
    void FillPortNumbers(CEdit* statusWindow);
    void LockForStep();
    void UnlockAfterStep();

    CButton m_returnButton;
    CButton m_enumerateButton;
    CListBox m_hubList;
    CListBox m_downstreamList;
    CComboBox m_hubCommand;
    CComboBox m_portCommand;
    CComboBox m_deviceCommand;
    CComboBox m_portNumber;
    CEdit m_hubAddressBox;
    CEdit m_deviceAddressBox;

    uint8_t m_hubRow = 0;  // row of the hub list; 0 is no hub
    uint8_t m_hubAddress = 0;
    uint8_t m_deviceAddress = 0;
    uint8_t m_port = 1;  // taken at EXECUTE, watched by the connection monitor
};
