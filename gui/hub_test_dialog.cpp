#include "gui/hub_test_dialog.h"

#include "bench/catalogue.h"
#include "bench/executors.h"
#include "gui/dialog_helpers.h"
#include "gui/resource.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The hub that an all-speed enumeration found again (restored is its index
// there), looked up by its saved identity in the rebuilt USB 2.0 hub list.
// NO_SELECTION when there is none or it is not in that list.
uint8_t RestoredHubIndex(uint8_t restored) {
    return restored == NO_SELECTION ? NO_SELECTION : HubListIndexOfIdentity(BusModel().SavedHubIdentity);
}

// The dialog list of a command family, position = code.
void FillCommandCombo(CComboBox& combo, ECommandFamily family) {
    const std::vector<std::string> texts = CatalogueDialogList(family);
    for (size_t i = 0; i < texts.size(); ++i) combo.InsertString(static_cast<int>(i), texts[i].c_str());
}

void FormatAddress(uint8_t* buffer, uint8_t address) {
    std::snprintf(reinterpret_cast<char*>(buffer), TEST_BUFFER_SIZE, "%d", address);
}

}  // namespace

CHubTestDialog::CHubTestDialog() : CTestDialog(IDD_HUB_TEST) {}

void CHubTestDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HUB_RETURN, m_returnButton);
    DDX_Control(pDX, IDC_HUB_EXECUTE, m_executeButton);
    DDX_Control(pDX, IDC_HUB_DISCONNECT_NOTIFY, m_monitorBox);
    DDX_Control(pDX, IDC_HUB_ENUMERATE, m_enumerateButton);
    DDX_Control(pDX, IDC_HUB_DEVICE_ADDRESS, m_deviceAddressBox);
    DDX_Control(pDX, IDC_HUB_DEVICE_COMMAND, m_deviceCommand);
    DDX_Control(pDX, IDC_HUB_COMMAND, m_hubCommand);
    DDX_Control(pDX, IDC_HUB_DOWNSTREAM_LIST, m_downstreamList);
    DDX_Control(pDX, IDC_HUB_LIST, m_hubList);
    DDX_Control(pDX, IDC_HUB_PORT_COMMAND, m_portCommand);
    DDX_Control(pDX, IDC_HUB_ADDRESS, m_hubAddressBox);
    DDX_Control(pDX, IDC_HUB_PORT_NUMBER, m_portNumber);
    DDX_Control(pDX, IDC_HUB_STATUS, m_statusWindow);
}

bool CHubTestDialog::OnNotify(unsigned code, int id) {
    static constexpr CNotifyEntry<CHubTestDialog> kHandlers[] = {
        {BN_CLICKED, IDC_HUB_ENUMERATE, &CHubTestDialog::OnEnumerateBus},
        {BN_CLICKED, IDC_HUB_EXECUTE, &CHubTestDialog::OnExecute},
        {BN_CLICKED, IDC_HUB_RETURN, &CHubTestDialog::OnReturnToMain},
        {CBN_SELCHANGE, IDC_HUB_PORT_COMMAND, &CHubTestDialog::OnPortCommandChange},
        {LBN_SELCHANGE, IDC_HUB_LIST, &CHubTestDialog::OnHubSelection},
        {EN_CHANGE, IDC_HUB_ADDRESS, &CHubTestDialog::OnHubAddressChange},
        {CBN_SELCHANGE, IDC_HUB_COMMAND, &CHubTestDialog::OnHubCommandChange},
        {CBN_SELCHANGE, IDC_HUB_DEVICE_COMMAND, &CHubTestDialog::OnDeviceCommandChange},
        {EN_CHANGE, IDC_HUB_DEVICE_ADDRESS, &CHubTestDialog::OnDeviceAddressChange},
        {LBN_SELCHANGE, IDC_HUB_DOWNSTREAM_LIST, &CHubTestDialog::OnDownstreamSelection},
        {BN_CLICKED, IDC_HUB_DISCONNECT_NOTIFY, &CHubTestDialog::OnMonitorClicked},
        {CBN_SELCHANGE, IDC_HUB_PORT_NUMBER, &CHubTestDialog::OnPortNumberChange},
    };
    return DispatchNotify<CHubTestDialog>(*this, kHandlers, code, id) || CDialog::OnNotify(code, id);
}

bool CHubTestDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    EnumerateIfPending();
    FillCommandCombo(m_hubCommand, FAMILY_HUB);
    FillCommandCombo(m_portCommand, FAMILY_PORT);
    FillCommandCombo(m_deviceCommand, FAMILY_HUB_DEVICE);
    m_hubAddressBox.SetWindowText("0");
    m_port = 1;
    for (CComboBox* combo : {&m_hubCommand, &m_portCommand, &m_deviceCommand}) {
        combo->SetCurSel(0);
        combo->EnableWindow(false);
    }
    for (CWnd* control : {static_cast<CWnd*>(&m_hubAddressBox), static_cast<CWnd*>(&m_portNumber),
                          static_cast<CWnd*>(&m_monitorBox), static_cast<CWnd*>(&m_deviceAddressBox)})
        control->EnableWindow(false);
    FillHubListBox(m_hubList, NO_SELECTION, 0, SPEED_USB2, 0);
    m_hubRow = 0;
    if (m_hubList.GetCount() > 1) {
        m_hubRow = 1;
        SelectHubByIndex(0);
        m_hubList.SetCurSel(1);
        m_hubCommand.EnableWindow(true);
        m_portCommand.EnableWindow(true);
        FillDownstreamDevices();
    }
    FillPortNumbers(nullptr);
    m_step.Active = 0;
    return true;
}

void CHubTestDialog::FillDownstreamDevices() {
    FillDeviceListBox(m_downstreamList, NO_SELECTION, SPEED_USB2);
    if (m_downstreamList.GetCount() > 1) {
        SelectDeviceByIndex(0);
        m_downstreamList.SetCurSel(1);
        m_deviceCommand.EnableWindow(true);
    } else {
        // Nothing below this hub: no device command may go out.
        ClearDeviceChoice(m_deviceCommand, m_deviceAddressBox);
    }
}

void CHubTestDialog::FillPortNumbers(CEdit* statusWindow) {
    FillPortCombo(m_portNumber, statusWindow, HubIndexOfRow(m_hubRow), SPEED_USB2, 0);
}

void CHubTestDialog::OnEnumerateBus() {
    // The enumeration resets the hub's ports: Test Force Enable is over.
    StopWatch();
    const std::initializer_list<CWnd*> frozen = {&m_returnButton, &m_executeButton, &m_enumerateButton,
                                                 &m_downstreamList, &m_hubList};
    for (CWnd* control : frozen) control->EnableWindow(false);
    m_portNumber.EnableWindow(false);
    ShowEnumerating();
    uint8_t restoredDevice = NO_SELECTION, restoredHub = NO_SELECTION;
    EBenchResult status = EnumerateBus(true, &restoredDevice, &restoredHub, SPEED_ALL, false);
    int portEntry = m_portNumber.GetCurSel();
    ReportEnumeration(status);
    int hubRowsBefore = m_hubList.GetCount(), deviceRowsBefore = m_downstreamList.GetCount();

    // The restored indexes refer to lists of every speed. The hub list is
    // walked again with the USB 2.0 filter, so that its rows match HubList,
    // and the restored hub and device are looked up there by identity.
    int32_t shown = FillHubListBox(m_hubList, NO_SELECTION, 0, SPEED_USB2, 0);
    uint8_t hubIndex = RestoredHubIndex(restoredHub);
    bool restorePort = hubIndex != NO_SELECTION && shown >= 0;
    if (hubIndex != NO_SELECTION) {
        m_hubRow = static_cast<uint8_t>(hubIndex + 1);
        SelectHubByIndex(hubIndex);
    } else if (hubRowsBefore == 1 && m_hubList.GetCount() > 1) {
        m_hubRow = 1;
        shown = SelectHubByIndex(0);
    } else {
        m_hubRow = 0;
        // A hub found again only in the all-speed list is not shown, so it
        // must not stay selected either.
        SelectHubByIndex(NO_SELECTION);
    }
    m_hubList.SetCurSel(m_hubRow);

    if (m_hubRow != 0) {
        m_hubCommand.EnableWindow(true);
        m_portCommand.EnableWindow(true);
        shown = FillDeviceListBox(m_downstreamList, NO_SELECTION, SPEED_USB2);
        uint8_t deviceIndex = SelectRestoredDevice(restoredDevice);
        if (deviceIndex != NO_SELECTION) {
            m_downstreamList.SetCurSel(deviceIndex + 1);
            m_deviceCommand.EnableWindow(true);
        } else if (deviceRowsBefore <= 1 && m_downstreamList.GetCount() > 1) {
            m_downstreamList.SetCurSel(1);
            shown = SelectDeviceByIndex(0);
            m_deviceCommand.EnableWindow(true);
        } else {
            ClearDeviceChoice(m_deviceCommand, m_deviceAddressBox);
            m_downstreamList.SetCurSel(0);
        }
    } else {
        for (CComboBox* combo : {&m_portCommand, &m_hubCommand}) {
            combo->SetCurSel(0);
            combo->EnableWindow(false);
        }
        m_hubAddressBox.EnableWindow(false);
        ClearDeviceChoice(m_deviceCommand, m_deviceAddressBox);
        m_downstreamList.ResetContent();
    }

    FillPortNumbers(&m_statusWindow);
    if (restorePort && portEntry >= 0 && portEntry < m_portNumber.GetCount()) m_portNumber.SetCurSel(portEntry);
    ShowEnumerationResult(shown);
    for (CWnd* control : frozen) control->EnableWindow(true);
}

void CHubTestDialog::OnExecute() {
    m_statusWindow.SetWindowText("");
    m_port = ReadPortNumber(m_portNumber);
    uint8_t buffer[TEST_BUFFER_SIZE] = {};
    int choices[3] = {ReadCommandChoice(m_deviceCommand), ReadCommandChoice(m_portCommand),
                      ReadCommandChoice(m_hubCommand)};
    const CComboBox* combos[3] = {&m_deviceCommand, &m_portCommand, &m_hubCommand};
    for (int i = 0; i < 3; ++i) {
        if (choices[i] != CB_ERR) continue;
        ShowUnknownChoice(*combos[i]);
        return;
    }
    uint8_t deviceCommand = static_cast<uint8_t>(choices[0]), portCommand = static_cast<uint8_t>(choices[1]),
            hubCommand = static_cast<uint8_t>(choices[2]);
    int32_t result = BENCH_OK;
    // PARENT TEST_PACKET goes to the root port above the hub, so it runs
    // without the pending re-enumeration, which stays pending.
    if (PendingEnumeration() && hubCommand != HUB_CMD_PARENT_TEST_PACKET) {
        if (!EnumerateBeforeExecute()) return;
        result = SelectHubByIndex(HubIndexOfRow(m_hubRow));
    }
    // A test mode of a port, of the hub itself, of the device below it or of
    // the root port above leaves the bus to be enumerated again.
    if (portCommand != PORT_TEST_NONE) MarkTestModeLeft(FAMILY_PORT, portCommand, PENDING_HUB_PORT);
    else if (deviceCommand != HUB_DEVICE_CMD_NONE) MarkTestModeLeft(FAMILY_HUB_DEVICE, deviceCommand, PENDING_DEVICE);
    else MarkTestModeLeft(FAMILY_HUB, hubCommand, PENDING_DEVICE);
    if (portCommand != PORT_TEST_NONE) {
        OnPortCommandRun(portCommand == PORT_TEST_TEST_FORCE_ENABLE, POLL_HUB_PORT, m_port);
        ShowResult(RunHubPortTest(portCommand, m_port), false, buffer);
        return;
    }

    // One single-step sequence serves both lists: the downstream device's
    // when a device command is chosen, else the hub's.
    bool onDevice = deviceCommand != HUB_DEVICE_CMD_NONE;
    ECommandFamily family = onDevice ? FAMILY_HUB_DEVICE : FAMILY_HUB;
    uint8_t code = onDevice ? deviceCommand : hubCommand;
    bool setFeature = onDevice ? deviceCommand == HUB_DEVICE_CMD_SINGLE_STEP_SET_FEATURE
                               : hubCommand == HUB_CMD_SINGLE_STEP_SET_FEATURE;
    bool getDescriptor = onDevice ? deviceCommand == HUB_DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC
                                  : hubCommand == HUB_CMD_SINGLE_STEP_GET_DEV_DESC;
    const std::vector<uint8_t> stages = CatalogueStepCodes(family, code);
    switch (m_step.Press(setFeature, getDescriptor)) {
    case STEP_ACTION_SETUP: LockForStep(); break;
    case STEP_ACTION_DATA: code = stages[STEP_STAGE_DATA]; break;
    case STEP_ACTION_STATUS:
        UnlockAfterStep();
        code = stages.back();
        break;
    case STEP_ACTION_NONE:
        if (onDevice && code == HUB_DEVICE_CMD_SET_ADDRESS) FormatAddress(buffer, m_deviceAddress);
        else if (!onDevice && code == HUB_CMD_SET_ADDRESS) FormatAddress(buffer, m_hubAddress);
        break;
    }

    if (code != 0)
        result = onDevice ? RunHubDeviceCommand(code, buffer, TEST_BUFFER_SIZE)
                          : RunHubCommand(code, buffer, TEST_BUFFER_SIZE);
    const CCatalogueStep* step = code != 0 ? FindCatalogueStep(family, code) : nullptr;
    bool descriptorRead =
        step && (step->Action == ACTION_DEVICE_DESCRIPTOR || step->Action == ACTION_GET_DEV_DESC_DATA);
    ShowResult(result, descriptorRead, buffer);
}

void CHubTestDialog::LockForStep() {
    Lock({&m_deviceAddressBox, &m_portNumber, &m_hubAddressBox, &m_hubList, &m_portCommand, &m_hubCommand,
          &m_downstreamList, &m_deviceCommand, &m_enumerateButton});
}

void CHubTestDialog::UnlockAfterStep() {
    // The hub command keeps its entry, so a finished hub sequence can be
    // started again with one press.
    Unlock({&m_portCommand, &m_deviceCommand},
           {&m_hubList, &m_portCommand, &m_hubCommand, &m_downstreamList, &m_deviceCommand, &m_enumerateButton});
}

void CHubTestDialog::OnHubCommandChange() {
    uint8_t e = ReadCommandChoice(m_hubCommand);
    m_hubAddressBox.EnableWindow(e == HUB_CMD_SET_ADDRESS);
    if (e == HUB_CMD_NONE) return;
    m_deviceCommand.SetCurSel(0);
    m_portCommand.SetCurSel(0);
    m_portNumber.EnableWindow(false);
    m_deviceAddressBox.EnableWindow(false);
}

void CHubTestDialog::OnDeviceCommandChange() {
    uint8_t d = ReadCommandChoice(m_deviceCommand);
    m_deviceAddressBox.EnableWindow(d == HUB_DEVICE_CMD_SET_ADDRESS);
    if (d == HUB_DEVICE_CMD_NONE) return;
    m_hubCommand.SetCurSel(0);
    m_portCommand.SetCurSel(0);
    m_portNumber.EnableWindow(false);
    m_hubAddressBox.EnableWindow(false);
}

void CHubTestDialog::OnPortCommandChange() {
    uint8_t g = ReadCommandChoice(m_portCommand);
    m_portNumber.EnableWindow(g != PORT_TEST_NONE);
    if (g == PORT_TEST_NONE) return;
    m_deviceCommand.SetCurSel(0);
    m_hubCommand.SetCurSel(0);
    m_hubAddressBox.EnableWindow(false);
    m_deviceAddressBox.EnableWindow(false);
}

void CHubTestDialog::OnHubSelection() {
    int row = m_hubList.GetCurSel();
    if (row < 0) return;
    // The watch belongs to the hub chosen before; it would poll this one.
    StopWatch();
    m_hubCommand.SetCurSel(0);
    m_portCommand.SetCurSel(0);
    // The hub command is back at "NONE", so SET ADDRESS is no longer chosen.
    m_hubAddressBox.EnableWindow(false);
    if (row == 0) {
        for (CWnd* control : {&m_hubCommand, &m_portCommand, &m_portNumber}) control->EnableWindow(false);
        m_hubRow = 0;
        // No hub chosen means none in the bus model either, so Enumerate Bus
        // does not bring it back.
        SelectHubByIndex(NO_SELECTION);
        return;
    }
    m_hubCommand.EnableWindow(true);
    m_portCommand.EnableWindow(true);
    if (SelectHubByIndex(static_cast<uint8_t>(row - 1)) >= 0) {
        m_hubRow = static_cast<uint8_t>(row);
        FillDownstreamDevices();
    }
    FillPortNumbers(&m_statusWindow);
}

void CHubTestDialog::OnDownstreamSelection() {
    int row = m_downstreamList.GetCurSel();
    if (row < 0) return;
    if (row == 0) {
        ClearDeviceChoice(m_deviceCommand, m_deviceAddressBox);
        return;
    }
    SelectDeviceByIndex(static_cast<uint8_t>(row - 1));
    m_deviceCommand.SetCurSel(0);
    m_deviceCommand.EnableWindow(true);
    m_deviceAddressBox.EnableWindow(false);
}

void CHubTestDialog::OnHubAddressChange() { m_hubAddress = ReadAddressValue(m_hubAddressBox, TEST_BUFFER_SIZE - 1); }

void CHubTestDialog::OnDeviceAddressChange() {
    m_deviceAddress = ReadAddressValue(m_deviceAddressBox, TEST_BUFFER_SIZE - 1);
}

void CHubTestDialog::OnPortNumberChange() { m_statusWindow.SetWindowText(""); }

void CHubTestDialog::OnTimer(uintptr_t id) {
    PollMonitoredPort("Connect Event Detected");
    CDialog::OnTimer(id);
}

void CHubTestDialog::OnReturnToMain() {
    // Later dialogs then see the devices of the whole bus again.
    SelectHubByIndex(NO_SELECTION);
    EndDialog(0);
}
