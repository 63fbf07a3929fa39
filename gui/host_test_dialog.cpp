#include "gui/host_test_dialog.h"

#include "bench/catalogue.h"
#include "bench/executors.h"
#include "gui/dialog_helpers.h"
#include "gui/resource.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The length of the address box text that is read.
constexpr int HOST_ADDRESS_TEXT = 49;

void FillCommandCombo(CComboBox& combo, ECommandFamily family) {
    const std::vector<std::string> commands = CatalogueDialogList(family);
    for (size_t i = 0; i < commands.size(); ++i) combo.InsertString(static_cast<int>(i), commands[i].c_str());
}

}  // namespace

CHostTestDialog::CHostTestDialog() : CTestDialog(IDD_HOST_TEST) {}

void CHostTestDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HOST_RETURN, m_returnButton);
    DDX_Control(pDX, IDC_HOST_ENUMERATE, m_enumerateButton);
    DDX_Control(pDX, IDC_HOST_DISCONNECT_NOTIFY, m_monitorBox);
    DDX_Control(pDX, IDC_HOST_EXECUTE, m_executeButton);
    DDX_Control(pDX, IDC_HOST_ADDRESS, m_addressBox);
    DDX_Control(pDX, IDC_HOST_PORT_COMMAND, m_portCombo);
    DDX_Control(pDX, IDC_HOST_STATUS, m_statusWindow);
    DDX_Control(pDX, IDC_HOST_DEVICE_LIST, m_deviceList);
    DDX_Control(pDX, IDC_HOST_DEVICE_COMMAND, m_deviceCombo);
    DDX_Control(pDX, IDC_HOST_PORT_NUMBER, m_portNumberCombo);
}

bool CHostTestDialog::OnNotify(unsigned code, int id) {
    static constexpr CNotifyEntry<CHostTestDialog> kHandlers[] = {
        {BN_CLICKED, IDC_HOST_EXECUTE, &CHostTestDialog::OnExecute},
        {BN_CLICKED, IDC_HOST_RETURN, &CHostTestDialog::OnReturnToMain},
        {BN_CLICKED, IDC_HOST_ENUMERATE, &CHostTestDialog::OnEnumerateBus},
        {CBN_SELCHANGE, IDC_HOST_PORT_COMMAND, &CHostTestDialog::OnPortCommandChange},
        {LBN_SELCHANGE, IDC_HOST_DEVICE_LIST, &CHostTestDialog::OnDeviceChange},
        {CBN_SELCHANGE, IDC_HOST_DEVICE_COMMAND, &CHostTestDialog::OnDeviceCommandChange},
        {EN_CHANGE, IDC_HOST_ADDRESS, &CHostTestDialog::OnAddressChange},
        {BN_CLICKED, IDC_HOST_DISCONNECT_NOTIFY, &CHostTestDialog::OnMonitorClicked},
        {CBN_SELCHANGE, IDC_HOST_PORT_NUMBER, &CHostTestDialog::OnPortNumberChange},
    };
    return DispatchNotify<CHostTestDialog>(*this, kHandlers, code, id) || CDialog::OnNotify(code, id);
}

bool CHostTestDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    // Every USB 2.0 device of the controller, whatever hub an earlier dialog
    // or the console chose.
    SelectHubByIndex(NO_SELECTION);
    EnumerateIfPending();
    FillCommandCombo(m_portCombo, FAMILY_PORT);
    FillCommandCombo(m_deviceCombo, FAMILY_HOST_DEVICE);
    m_portCombo.SetCurSel(0);
    m_deviceCombo.SetCurSel(0);
    m_portNumberCombo.SetCurSel(0);
    m_portNumberCombo.EnableWindow(false);
    m_deviceCombo.EnableWindow(false);
    m_addressBox.EnableWindow(false);
    m_deviceList.InsertString(0, "NONE");
    m_addressBox.SetWindowText("0");
    m_monitorBox.EnableWindow(false);
    FillPortCombo(m_portNumberCombo, &m_statusWindow, 0, SPEED_USB2, 1);
    FillDeviceListBox(m_deviceList, NO_SELECTION, SPEED_USB2);
    if (m_deviceList.GetCount() > 1) {
        m_deviceList.SetCurSel(1);
        m_selectedRow = 1;
        m_deviceCombo.EnableWindow(true);
        SelectDeviceByIndex(0);
    }
    m_step.Active = 0;
    return true;
}

void CHostTestDialog::OnEnumerateBus() {
    // The enumeration resets the port: Test Force Enable is over.
    StopWatch();
    m_selectedRow = EnumerateDevices(m_deviceList, m_deviceCombo, m_addressBox,
                                     {&m_returnButton, &m_enumerateButton, &m_executeButton, &m_deviceList});
}

void CHostTestDialog::OnExecute() {
    m_port = ReadPortNumber(m_portNumberCombo);
    uint8_t buffer[TEST_BUFFER_SIZE] = {};
    int portChoice = ReadCommandChoice(m_portCombo), deviceChoice = ReadCommandChoice(m_deviceCombo);
    if (portChoice == CB_ERR || deviceChoice == CB_ERR) {
        ShowUnknownChoice(portChoice == CB_ERR ? m_portCombo : m_deviceCombo);
        return;
    }
    uint8_t portCommand = static_cast<uint8_t>(portChoice), deviceCommand = static_cast<uint8_t>(deviceChoice);

    if (PendingEnumeration()) {
        bool deviceChosen = m_selectedRow != 0;
        if (!EnumerateBeforeExecute()) return;
        // The device chosen is no longer on the bus: nothing may go to another.
        if (portCommand == PORT_TEST_NONE && deviceCommand != HOST_DEVICE_CMD_NONE && deviceChosen &&
            m_selectedRow == 0) {
            ShowDeviceGone();
            return;
        }
    }
    // A root port test mode leaves the controller halted.
    MarkTestModeLeft(FAMILY_PORT, portCommand, PENDING_ROOT_PORT);

    if (portCommand != PORT_TEST_NONE) {
        OnPortCommandRun(portCommand == PORT_TEST_TEST_FORCE_ENABLE, POLL_ROOT_PORT, m_port);
        ShowResult(RunHostPortTest(portCommand, m_port), false, buffer);
        return;
    }
    bool descriptorRead = false;
    int32_t result = RunDeviceSide(deviceCommand, buffer, descriptorRead);
    ShowResult(result, descriptorRead, buffer);
}

int32_t CHostTestDialog::RunDeviceSide(uint8_t command, uint8_t* buffer, bool& descriptorRead) {
    uint8_t code = command;
    bool setFeature = command == HOST_DEVICE_CMD_SINGLE_STEP_SET_FEATURE;
    switch (m_step.Press(setFeature, command == HOST_DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC)) {
    case STEP_ACTION_STATUS:
        Unlock({&m_portCombo, &m_deviceCombo}, {&m_portCombo, &m_deviceList, &m_deviceCombo, &m_enumerateButton});
        code = setFeature ? HOST_DEVICE_CMD_SET_FEATURE_STEP_2 : HOST_DEVICE_CMD_GET_DEV_DESC_STEP_3;
        break;
    case STEP_ACTION_DATA: code = HOST_DEVICE_CMD_GET_DEV_DESC_STEP_2; break;
    case STEP_ACTION_SETUP:
        Lock({&m_addressBox, &m_portNumberCombo, &m_portCombo, &m_deviceList, &m_deviceCombo, &m_enumerateButton});
        break;
    case STEP_ACTION_NONE:
        if (command == HOST_DEVICE_CMD_SET_ADDRESS)
            std::snprintf(reinterpret_cast<char*>(buffer), TEST_BUFFER_SIZE, "%d", m_address);
        break;
    }
    descriptorRead = code == HOST_DEVICE_CMD_DEVICE_DESCRIPTOR || code == HOST_DEVICE_CMD_GET_DEV_DESC_STEP_2;
    return RunHostDeviceCommand(code, buffer, TEST_BUFFER_SIZE);
}

void CHostTestDialog::OnTimer(uintptr_t) { PollMonitoredPort("Connect Event Detected!"); }

void CHostTestDialog::OnPortCommandChange() {
    bool portSide = ReadCommandChoice(m_portCombo) != PORT_TEST_NONE;
    if (portSide) {
        m_deviceCombo.SetCurSel(0);
        // The address box belongs to SET_ADDRESS, which is no longer chosen.
        m_addressBox.EnableWindow(false);
    }
    m_portNumberCombo.EnableWindow(portSide);
}

void CHostTestDialog::OnDeviceCommandChange() {
    int command = ReadCommandChoice(m_deviceCombo);
    if (command != HOST_DEVICE_CMD_NONE) m_portCombo.SetCurSel(0);
    m_addressBox.EnableWindow(command == HOST_DEVICE_CMD_SET_ADDRESS);
}

void CHostTestDialog::OnDeviceChange() {
    int row = m_deviceList.GetCurSel();
    m_selectedRow = row > 0 ? static_cast<uint8_t>(row) : 0;
    if (m_selectedRow == 0) {
        ClearDeviceChoice(m_deviceCombo, m_addressBox);
        return;
    }
    m_deviceCombo.EnableWindow(true);
    SelectDeviceByIndex(static_cast<uint8_t>(m_selectedRow - 1));
}

void CHostTestDialog::OnAddressChange() { m_address = ReadAddressValue(m_addressBox, HOST_ADDRESS_TEXT); }

void CHostTestDialog::OnPortNumberChange() { m_statusWindow.SetWindowText(""); }

void CHostTestDialog::OnReturnToMain() { EndDialog(0); }
