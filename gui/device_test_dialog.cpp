#include "gui/device_test_dialog.h"

#include "bench/catalogue.h"
#include "bench/executors.h"
#include "gui/dialog_helpers.h"
#include "gui/resource.h"

#include <cstdio>

CDeviceTestDialog::CDeviceTestDialog() : CTestDialog(IDD_DEVICE_TEST) {}

void CDeviceTestDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DEVICE_RETURN, m_returnButton);
    DDX_Control(pDX, IDC_DEVICE_ENUMERATE, m_enumerateButton);
    DDX_Control(pDX, IDC_DEVICE_EXECUTE, m_executeButton);
    DDX_Control(pDX, IDC_DEVICE_STATUS, m_statusWindow);
    DDX_Control(pDX, IDC_DEVICE_LIST, m_deviceList);
    DDX_Control(pDX, IDC_DEVICE_COMMAND, m_commandCombo);
    DDX_Control(pDX, IDC_DEVICE_ADDRESS, m_addressBox);
}

bool CDeviceTestDialog::OnNotify(unsigned code, int id) {
    static constexpr CNotifyEntry<CDeviceTestDialog> kHandlers[] = {
        {BN_CLICKED, IDC_DEVICE_ENUMERATE, &CDeviceTestDialog::OnEnumerateBus},
        {BN_CLICKED, IDC_DEVICE_EXECUTE, &CDeviceTestDialog::OnExecute},
        {BN_CLICKED, IDC_DEVICE_RETURN, &CDeviceTestDialog::OnReturnToMain},
        {CBN_SELCHANGE, IDC_DEVICE_COMMAND, &CDeviceTestDialog::OnCommandChange},
        {LBN_SELCHANGE, IDC_DEVICE_LIST, &CDeviceTestDialog::OnDeviceChange},
        {EN_CHANGE, IDC_DEVICE_ADDRESS, &CDeviceTestDialog::OnAddressChange},
    };
    return DispatchNotify<CDeviceTestDialog>(*this, kHandlers, code, id) || CDialog::OnNotify(code, id);
}

bool CDeviceTestDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    // Every USB 2.0 device of the controller, whatever hub an earlier dialog
    // or the console chose.
    SelectHubByIndex(NO_SELECTION);
    EnumerateIfPending();
    const auto commands = CatalogueDialogList(FAMILY_DEVICE);
    for (size_t i = 0; i < commands.size(); ++i) m_commandCombo.InsertString(static_cast<int>(i), commands[i].c_str());
    m_addressBox.SetWindowText("0");
    m_commandCombo.SetCurSel(0);
    m_commandCombo.EnableWindow(false);
    m_addressBox.EnableWindow(false);
    FillDeviceListBox(m_deviceList, NO_SELECTION, SPEED_USB2);
    if (m_deviceList.GetCount() > 1) {
        m_deviceList.SetCurSel(1);
        m_selectedRow = 1;
        m_commandCombo.EnableWindow(true);
        SelectDeviceByIndex(0);
    }
    m_step.Active = 0;
    return true;
}

void CDeviceTestDialog::OnEnumerateBus() {
    uint8_t row = EnumerateDevices(m_deviceList, m_commandCombo, m_addressBox,
                                   {&m_deviceList, &m_enumerateButton, &m_executeButton, &m_returnButton});
    m_selectedRow = row != 0 ? row : uint8_t{NO_SELECTION};
}

void CDeviceTestDialog::OnExecute() {
    uint8_t buffer[TEST_BUFFER_SIZE] = {};
    m_statusWindow.SetWindowText("");
    int choice = ReadCommandChoice(m_commandCombo);
    if (choice == CB_ERR) {
        ShowUnknownChoice(m_commandCombo);
        return;
    }
    uint8_t command = static_cast<uint8_t>(choice);

    if (PendingEnumeration()) {
        if (!EnumerateBeforeExecute()) return;
        if (m_selectedRow == NO_SELECTION) {
            ShowDeviceGone();
            m_deviceList.SetCurSel(0);
            ClearDeviceChoice(m_commandCombo, m_addressBox);
            return;
        }
    }
    // The device stops answering in a test mode: it has to be found again first.
    MarkTestModeLeft(FAMILY_DEVICE, command, PENDING_DEVICE);

    uint8_t code = command;
    bool setFeature = command == DEVICE_CMD_SINGLE_STEP_SET_FEATURE;
    switch (m_step.Press(setFeature, command == DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC)) {
    case STEP_ACTION_STATUS:
        Unlock({&m_commandCombo}, {&m_deviceList, &m_commandCombo, &m_enumerateButton});
        code = setFeature ? DEVICE_CMD_SET_FEATURE_STEP_2 : DEVICE_CMD_GET_DEV_DESC_STEP_3;
        break;
    case STEP_ACTION_DATA: code = DEVICE_CMD_GET_DEV_DESC_STEP_2; break;
    case STEP_ACTION_SETUP: Lock({&m_addressBox, &m_deviceList, &m_commandCombo, &m_enumerateButton}); break;
    case STEP_ACTION_NONE:
        if (command == DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR) {
            ToggleLooping();
            return;
        }
        if (command == DEVICE_CMD_SET_ADDRESS)
            std::snprintf(reinterpret_cast<char*>(buffer), sizeof buffer, "%d", m_address);
        break;
    }
    int32_t result = RunDeviceCommand(code, buffer, TEST_BUFFER_SIZE);
    ShowResult(result, code == DEVICE_CMD_DEVICE_DESCRIPTOR || code == DEVICE_CMD_GET_DEV_DESC_STEP_2, buffer);
}

void CDeviceTestDialog::ToggleLooping() {
    if (!m_looping) {
        SetTimer(m_timerId, DESCRIPTOR_LOOP_PERIOD_MS);
        for (CWnd* control : {static_cast<CWnd*>(&m_enumerateButton), static_cast<CWnd*>(&m_deviceList),
                              static_cast<CWnd*>(&m_commandCombo), static_cast<CWnd*>(&m_addressBox)})
            control->EnableWindow(false);
        m_executeButton.SetWindowText("Stop Looping");
        m_looping = 1;
        // The first read at once: the status shows a read that was made.
        m_loopFailed = false;
        ReadInLoop();
        return;
    }
    KillTimer(m_timerId);
    m_enumerateButton.EnableWindow(true);
    m_deviceList.EnableWindow(true);
    m_commandCombo.SetCurSel(0);
    m_commandCombo.EnableWindow(true);
    m_executeButton.SetWindowText("Execute");
    m_looping = 0;
    // The loop's result stays: a read that failed on the way is not hidden by the stop.
    ShowStatus(&m_statusWindow, m_loopFailed ? BENCH_E_FAILED : BENCH_OK, "Operation Successful", "Operation Failed",
               1);
}

void CDeviceTestDialog::ReadInLoop() {
    uint8_t buffer[TEST_BUFFER_SIZE] = {};
    int32_t result = RunDeviceCommand(DEVICE_CMD_DEVICE_DESCRIPTOR, buffer, TEST_BUFFER_SIZE);
    m_loopFailed = m_loopFailed || result < 0;
    ShowStatus(&m_statusWindow, m_loopFailed ? BENCH_E_FAILED : result, "Operation Successful", "Operation Failed", 1);
}

void CDeviceTestDialog::OnTimer(uintptr_t id) {
    ReadInLoop();
    CDialog::OnTimer(id);
}

void CDeviceTestDialog::OnCommandChange() {
    m_addressBox.EnableWindow(ReadCommandChoice(m_commandCombo) == DEVICE_CMD_SET_ADDRESS);
}

void CDeviceTestDialog::OnDeviceChange() {
    int row = m_deviceList.GetCurSel();
    m_selectedRow = row > 0 ? static_cast<uint8_t>(row) : 0;
    if (m_selectedRow == 0) {
        // No device: a command still chosen would run on the device selected before.
        ClearDeviceChoice(m_commandCombo, m_addressBox);
        return;
    }
    m_commandCombo.EnableWindow(true);
    SelectDeviceByIndex(static_cast<uint8_t>(m_selectedRow - 1));
}

void CDeviceTestDialog::OnAddressChange() { m_address = ReadAddressValue(m_addressBox, DIALOG_TEXT_SIZE - 1); }

void CDeviceTestDialog::OnReturnToMain() { EndDialog(0); }
