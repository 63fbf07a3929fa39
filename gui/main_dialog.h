// The main dialog: the host controllers found, the choice of test, and TEST,
// which selects the chosen controller and opens the chosen test dialog.
#pragma once

#include "dlg/dialog.h"

#include <cstdint>

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};

class CVoltarisDlg : public CDialog {
public:
    explicit CVoltarisDlg(CWnd* parent = nullptr);
    ~CVoltarisDlg() override;

    bool OnNotify(unsigned code, int id) override;
    void OnSysCommand(unsigned id, intptr_t param) override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    void OnTest();
    void OnExit();
    void OnDeviceChoice();
    void OnHubChoice();
    void OnHostChoice();
    void OnSuperSpeedChoice();
    // Checks the clicked choice's partners off: the four choices are
    // exclusive, although each starts its own group.
    void KeepOnlyChoice(const CButton& clicked);
    void EnableChoices(bool enable);
    void RunChosenTestDialogs();

    CListBox m_hostList;
    CButton m_hubChoice;
    CButton m_hostChoice;
    CButton m_deviceChoice;
    CButton m_superSpeedChoice;
    HICON m_hIcon;
    uint8_t m_hostAvailable = 0;
};

// Shows the main dialog on the installed surface until the user closes it;
// the compliance executors' prompts are message boxes meanwhile. False when
// no surface is installed.
bool RunMainDialog();
