// Modal dialogs. DoModal builds the controls from the dialog's template,
// binds member controls through DoDataExchange, runs OnInitDialog and then
// the modal loop of the installed surface until EndDialog. Modal loops nest:
// a dialog opened from a handler runs its own loop on top.
#pragma once

#include "dlg/window.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class CDataExchange {
public:
    explicit CDataExchange(CDialog* dialog) : m_pDlgWnd(dialog) {}
    CDialog* m_pDlgWnd;
};

// Binds a member control to the template control with that id.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// One row of a dialog's handler table: a notification from a control and
// the member function that handles it.
template <class TDialog>
struct CNotifyEntry {
    unsigned code;
    int id;
    void (TDialog::*handler)();
};

// Calls the handler for (code, id) from the table; false when none matches.
template <class TDialog>
bool DispatchNotify(TDialog& dialog, std::span<const CNotifyEntry<TDialog>> table, unsigned code, int id) {
    for (const auto& entry : table) {
        if (entry.code == code && entry.id == id) {
            (dialog.*entry.handler)();
            return true;
        }
    }
    return false;
}

class CDialog : public CWnd {
public:
    explicit CDialog(int templateId, CWnd* parent = nullptr);
    // A dialog built from a template that is not a resource (message boxes).
    explicit CDialog(const CDlgTemplate* dialogTemplate, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; the result given to EndDialog, or -1 when it
    // cannot be shown (no template, no surface).
    virtual intptr_t DoModal();
    void EndDialog(int result);

    CWnd* GetParent() const { return m_parent; }
    CWnd* GetDlgItem(int id);
    bool UpdateData(bool saveAndValidate = true);
    void SetIcon(HICON icon, bool big);
    HICON GetIcon(bool big) const { return big ? m_bigIcon : m_smallIcon; }
    // The system menu; null when the template has no system menu style.
    CMenu* GetSystemMenu(bool revert);
    // Starts (or restarts) a timer; ticks arrive in OnTimer while a modal
    // loop runs. Returns the id, or 0 when the window is not shown.
    uintptr_t SetTimer(uintptr_t id, unsigned elapseMs, void* unused = nullptr);
    bool KillTimer(uintptr_t id);

    // What surfaces and scripted users work with.
    const CDlgTemplate* Template() const { return m_template; }
    bool IsShown() const { return m_hWnd != nullptr; }
    bool IsEnded() const { return m_ended; }
    std::vector<std::unique_ptr<CDlgWindowState>>& Items() { return m_items; }
    CDlgWindowState* FindItem(int id);
    std::string Caption() const;
    // Handles a notification; the default handles the OK and Cancel commands.
    virtual bool OnNotify(unsigned code, int id);
    virtual void OnTimer(uintptr_t id);
    virtual void OnSysCommand(unsigned id, intptr_t param);

protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

private:
    void Create();
    void Destroy();

    int m_templateId = 0;
    const CDlgTemplate* m_template = nullptr;  // found when first shown
    CWnd* m_parent = nullptr;
    CDlgWindowState m_self;
    std::vector<std::unique_ptr<CDlgWindowState>> m_items;
    std::vector<std::unique_ptr<CWnd>> m_tempHandles;  // handed out by GetDlgItem
    std::vector<CWnd*> m_bound;                        // detached when the window goes
    std::optional<CMenu> m_systemMenu;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    bool m_ended = false;
    int m_result = -1;

    friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
};

// A message box with no owner. A null caption is shown as "Error", as an
// ownerless box has no application caption.
int DlgMessageBox(const char* text, const char* caption, unsigned type);

// The dialogs shown, the first opened first.
const std::vector<CDialog*>& DlgModalStack();
