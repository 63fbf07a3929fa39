#include "gui/ss_test_dialog.h"

#include "bench/catalogue.h"
#include "bench/executors.h"
#include "gui/dialog_helpers.h"
#include "gui/resource.h"

#include <string>
#include <vector>

CSSTestDialog::CSSTestDialog() : CTestDialog(IDD_SS_TEST) {}

void CSSTestDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SS_ENUMERATE, m_enumerateButton);
    DDX_Control(pDX, IDC_SS_EXECUTE, m_executeButton);
    DDX_Control(pDX, IDC_SS_RETURN, m_returnButton);
    DDX_Control(pDX, IDC_SS_TEST_MODE, m_testMode);
    DDX_Control(pDX, IDC_SS_LIST, m_list);
    DDX_Control(pDX, IDC_SS_STATUS, m_statusWindow);
    DDX_Control(pDX, IDC_SS_PORT_NUMBER, m_portNumber);
}

bool CSSTestDialog::OnNotify(unsigned code, int id) {
    static constexpr CNotifyEntry<CSSTestDialog> kHandlers[] = {
        {BN_CLICKED, IDC_SS_ENUMERATE, &CSSTestDialog::OnEnumerateBus},
        {BN_CLICKED, IDC_SS_EXECUTE, &CSSTestDialog::OnExecute},
        {BN_CLICKED, IDC_SS_RETURN, &CSSTestDialog::OnReturnToMain},
        {LBN_SELCHANGE, IDC_SS_LIST, &CSSTestDialog::OnSelection},
        {CBN_SELCHANGE, IDC_SS_PORT_NUMBER, &CSSTestDialog::OnPortNumberChange},
    };
    return DispatchNotify<CSSTestDialog>(*this, kHandlers, code, id) || CDialog::OnNotify(code, id);
}

bool CSSTestDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    EnumerateIfPending();
    m_statusWindow.SetWindowText("");
    const std::vector<std::string> modes = CatalogueDialogList(FAMILY_COMPLIANCE);
    for (size_t i = 0; i < modes.size(); ++i) m_testMode.InsertString(static_cast<int>(i), modes[i].c_str());
    m_testMode.SetCurSel(0);
    FillHubListBox(m_list, NO_SELECTION, 0, SPEED_SUPER, 1);
    // The last SuperSpeed hub is preselected, else the host.
    m_row = static_cast<uint8_t>(m_list.GetCount() - 1);
    m_list.SetCurSel(m_row);
    SelectHubByIndex(HubIndexOfRow(m_row));
    FillPortNumbers(m_row);
    return true;
}

void CSSTestDialog::FillPortNumbers(uint8_t row) {
    if (row == 0) FillPortCombo(m_portNumber, &m_statusWindow, 0, SPEED_SUPER, 1);
    else FillPortCombo(m_portNumber, &m_statusWindow, static_cast<uint8_t>(row - 1), SPEED_SUPER, 0);
}

void CSSTestDialog::OnSelection() {
    int row = m_list.GetCurSel();
    if (row < 0) return;
    m_row = static_cast<uint8_t>(row);
    SelectHubByIndex(HubIndexOfRow(m_row));
    FillPortNumbers(m_row);
}

void CSSTestDialog::OnEnumerateBus() {
    ShowEnumerating();
    const std::initializer_list<CWnd*> frozen = {&m_portNumber,   &m_enumerateButton, &m_executeButton,
                                                 &m_returnButton, &m_testMode,        &m_list};
    for (CWnd* control : frozen) control->EnableWindow(false);
    int portEntry = m_portNumber.GetCurSel();
    uint8_t restored = NO_SELECTION;
    EBenchResult status = EnumerateBus(m_row != 0, nullptr, &restored, SPEED_SUPER, true);
    bool restorePort = status >= 0;
    ReportEnumeration(status);
    int32_t shown = FillHubListBox(m_list, NO_SELECTION, 0, SPEED_SUPER, 1);
    // The hub found again keeps its row; one that is gone, that moved up, or
    // whose row the refilled list does not have, falls back to the host.
    uint8_t row = static_cast<uint8_t>(restored + 1);
    if (row < m_row || row >= m_list.GetCount()) {
        row = 0;
        restorePort = false;
    }
    m_row = row;
    m_list.SetCurSel(m_row);
    SelectHubByIndex(HubIndexOfRow(m_row));
    FillPortNumbers(m_row);
    if (restorePort && portEntry >= 0 && portEntry < m_portNumber.GetCount()) m_portNumber.SetCurSel(portEntry);
    ShowEnumerationResult(shown);
    for (CWnd* control : frozen) control->EnableWindow(true);
}

void CSSTestDialog::OnExecute() {
    m_port = ReadPortNumber(m_portNumber);
    int mode = ReadCommandChoice(m_testMode);
    if (mode == CB_ERR) {
        ShowUnknownChoice(m_testMode);
        return;
    }
    if (mode == COMPLIANCE_NONE) {
        ShowStatus(&m_statusWindow, 0, "No Test Selected", "", 1);
        return;
    }
    uint8_t code = static_cast<uint8_t>(mode);
    // A port left in compliance mode is enumerated again before the next
    // dialog lists what hangs on it.
    MarkTestModeLeft(FAMILY_COMPLIANCE, code, m_row == 0 ? PENDING_ROOT_PORT : PENDING_HUB_PORT);
    int32_t result = m_row == 0 ? RunHostPortCompliance(code, m_port) : RunHubPortCompliance(code, m_port);
    ShowStatus(&m_statusWindow, result, "Operation Successful", "Operation Failed", 1);
}

void CSSTestDialog::OnPortNumberChange() { m_statusWindow.SetWindowText(""); }

void CSSTestDialog::OnReturnToMain() { EndDialog(0); }
