#include "gui/main_dialog.h"

#include "bench/bus_model.h"
#include "bench/executors.h"
#include "dlg/app.h"
#include "dlg/surface.h"
#include "gui/dialog_helpers.h"
#include "gui/resource.h"
#include "gui/test_dialogs.h"
#include "os/window.h"
#include "trialkit/trialkit.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CVoltarisDlg::CVoltarisDlg(CWnd* parent) : CDialog((InstallDialogResources(), IDD_VOLTARIS_DIALOG), parent) {
    m_hIcon = DlgLoadIcon(IDR_MAINFRAME);
}

CVoltarisDlg::~CVoltarisDlg() { CUIUpdate::FreeUIUpdate(); }

void CVoltarisDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HOST_LIST, m_hostList);
    DDX_Control(pDX, IDC_HUB_CHOICE, m_hubChoice);
    DDX_Control(pDX, IDC_HOST_CHOICE, m_hostChoice);
    DDX_Control(pDX, IDC_DEVICE_CHOICE, m_deviceChoice);
    DDX_Control(pDX, IDC_SS_CHOICE, m_superSpeedChoice);
}

bool CVoltarisDlg::OnNotify(unsigned code, int id) {
    static constexpr CNotifyEntry<CVoltarisDlg> kHandlers[] = {
        {BN_CLICKED, IDC_TEST, &CVoltarisDlg::OnTest},
        {BN_CLICKED, IDC_EXIT, &CVoltarisDlg::OnExit},
        {BN_CLICKED, IDC_DEVICE_CHOICE, &CVoltarisDlg::OnDeviceChoice},
        {BN_CLICKED, IDC_HUB_CHOICE, &CVoltarisDlg::OnHubChoice},
        {BN_CLICKED, IDC_HOST_CHOICE, &CVoltarisDlg::OnHostChoice},
        {BN_CLICKED, IDC_SS_CHOICE, &CVoltarisDlg::OnSuperSpeedChoice},
    };
    return DispatchNotify<CVoltarisDlg>(*this, kHandlers, code, id) || CDialog::OnNotify(code, id);
}

bool CVoltarisDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, ICON_BIG);
    SetIcon(m_hIcon, ICON_SMALL);
    if (CMenu* systemMenu = GetSystemMenu(false)) {
        std::string about = DlgLoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    // A second start looks for this title to bring the running instance forward.
    OSRegisterWindow(Caption().c_str());
    if (FillHostListBox(m_hostList) == BENCH_E_NO_HOST) {
        m_hostAvailable = 0;
    } else {
        m_hostAvailable = 1;
        m_deviceChoice.SetCheck(BST_CHECKED);
        m_hostList.SetCurSel(0);
    }
    return true;
}

void CVoltarisDlg::OnSysCommand(unsigned id, intptr_t param) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    CDialog::OnSysCommand(id, param);
}

void CVoltarisDlg::EnableChoices(bool enable) {
    for (CWnd* control :
         {static_cast<CWnd*>(&m_hostList), static_cast<CWnd*>(&m_deviceChoice), static_cast<CWnd*>(&m_hubChoice),
          static_cast<CWnd*>(&m_hostChoice), static_cast<CWnd*>(&m_superSpeedChoice)})
        control->EnableWindow(enable);
}

void CVoltarisDlg::OnTest() {
    EnableChoices(false);
    if (!m_hostAvailable) {
        MessageBox("No XHCI Host Controller Found.  Unable to Test.");
    } else {
        EBenchResult status = SelectHostByIndex(static_cast<uint8_t>(m_hostList.GetCurSel()));
        if (status < 0)
            MessageBox(status == BENCH_E_DRIVER_VERSION
                           ? "Incorrect driver version.  Please install host driver included with this package."
                           : "Software Error.  Unable to Select Host.");
        else RunChosenTestDialogs();
    }
    EnableChoices(true);
}

void CVoltarisDlg::RunChosenTestDialogs() {
    if (m_deviceChoice.GetCheck() == BST_CHECKED) RunTestDialog(IDD_DEVICE_TEST);
    if (m_hubChoice.GetCheck() == BST_CHECKED) RunTestDialog(IDD_HUB_TEST);
    if (m_hostChoice.GetCheck() == BST_CHECKED) RunTestDialog(IDD_HOST_TEST);
    if (m_superSpeedChoice.GetCheck() == BST_CHECKED) RunTestDialog(IDD_SS_TEST);
}

void CVoltarisDlg::OnExit() { EndDialog(0); }

void CVoltarisDlg::KeepOnlyChoice(const CButton& clicked) {
    for (CButton* choice : {&m_deviceChoice, &m_hubChoice, &m_hostChoice, &m_superSpeedChoice})
        if (choice != &clicked) choice->SetCheck(BST_UNCHECKED);
}

void CVoltarisDlg::OnDeviceChoice() { KeepOnlyChoice(m_deviceChoice); }
void CVoltarisDlg::OnHubChoice() { KeepOnlyChoice(m_hubChoice); }
void CVoltarisDlg::OnHostChoice() { KeepOnlyChoice(m_hostChoice); }
void CVoltarisDlg::OnSuperSpeedChoice() { KeepOnlyChoice(m_superSpeedChoice); }

namespace {

EPromptAnswer AskInMessageBox(const std::string& text, const std::string& caption) {
    return DlgMessageBox(text.c_str(), caption.c_str(), MB_OKCANCEL) == IDOK ? PROMPT_OK : PROMPT_CANCEL;
}

}  // namespace

bool RunMainDialog() {
    if (!DlgSurface()) return false;
    SetRemoveDevicePrompt(AskInMessageBox);
    SetConfirmPrompt([](const std::string& text) {
        // Titled like the dialog that asks.
        const auto& shown = DlgModalStack();
        return AskInMessageBox(text + "\n\nOK sends it, Cancel sends nothing.",
                               shown.empty() ? DlgAppName() : shown.back()->Caption());
    });
    CVoltarisDlg dialog;
    CWinApp* app = DlgGetApp();
    if (app) app->m_pMainWnd = &dialog;
    dialog.DoModal();
    if (app) app->m_pMainWnd = nullptr;
    SetRemoveDevicePrompt({});
    SetConfirmPrompt({});
    return true;
}
