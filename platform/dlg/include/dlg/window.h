// Windows and controls. A CWnd is a handle on the live state of one window;
// a dialog owns the states of its controls while it is shown, and member
// control objects are bound to them by control id (data exchange). Calls on
// a handle that is not bound do nothing and return empty values.
#pragma once

#include "dlg/resources.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDialog;

// Command results and ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Notification codes.
constexpr unsigned BN_CLICKED = 0;
constexpr unsigned LBN_SELCHANGE = 1;
constexpr unsigned CBN_SELCHANGE = 1;
constexpr unsigned CBN_EDITCHANGE = 5;
constexpr unsigned EN_CHANGE = 0x0300;

// List and combo results.
constexpr int LB_ERR = -1;
constexpr int CB_ERR = -1;

// Check states.
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

// Message box types and the id of a message box's text.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr int DLG_IDC_MESSAGE_TEXT = 0xFFFF;

// Icon sizes for SetIcon.
constexpr bool ICON_BIG = true;
constexpr bool ICON_SMALL = false;

// The live state of one window: the dialog itself or one of its controls.
struct CDlgWindowState {
    CDialog* dialog = nullptr;  // the dialog the window belongs to
    int id = IDC_STATIC;
    EDlgClass cls = DLG_CLASS_STATIC;
    uint32_t style = 0;
    CDlgRect rect;
    std::string text;  // caption, or the text of an edit or a combo's edit field
    bool enabled = true;
    int check = BST_UNCHECKED;
    std::vector<std::string> rows;  // list box and combo box entries
    int curSel = -1;
    size_t selStart = 0;  // edit selection; the caret sits at selEnd
    size_t selEnd = 0;
    int topRow = 0;  // first row a surface shows of a list or a multi-line edit

    bool IsButtonKind(uint32_t kind) const { return cls == DLG_CLASS_BUTTON && (style & BS_TYPEMASK) == kind; }
    // Controls that take the focus: every button but a group box, lists,
    // combos and edits.
    bool TakesFocus() const;
    // Those of them that Tab stops at: the template gives them WS_TABSTOP.
    bool IsTabStop() const;
};

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    void Attach(CDlgWindowState* state) { m_hWnd = state; }
    void Detach() { m_hWnd = nullptr; }
    CDlgWindowState* GetSafeHwnd() const { return m_hWnd; }

    int GetDlgCtrlID() const;
    void SetWindowText(const char* text);
    std::string GetWindowText() const;
    // Copies at most maxCount - 1 bytes and a terminating NUL; returns the bytes copied.
    int GetWindowText(char* buffer, int maxCount) const;
    bool EnableWindow(bool enable = true);  // returns true when it was disabled
    bool IsWindowEnabled() const;
    // Repaints the window at once.
    void UpdateWindow();
    void RedrawWindow() { UpdateWindow(); }
    // A message box owned by this window's dialog; a null caption takes the
    // dialog's caption (the application's name for a dialog without one).
    int MessageBox(const char* text, const char* caption = nullptr, unsigned type = MB_OK);

protected:
    CDlgWindowState* m_hWnd = nullptr;
};

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int check);
};

class CStatic : public CWnd {};

// Setting an edit's text, and every change of it, notifies the dialog with
// EN_CHANGE; the caret then sits at the start.
class CEdit : public CWnd {
public:
    void SetSel(int start, int end);  // end -1: to the end of the text
    void GetSel(int& start, int& end) const;
    void ReplaceSel(const char* text);
    // The clear request: deletes the selected text, if any; a read-only
    // edit ignores it.
    void Clear();
};

// AddString keeps a sorted list or combo sorted (without case); InsertString
// places a row at the given position whatever the style.
class CListBox : public CWnd {
public:
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);  // -1 clears the selection; LB_ERR when out of range
    int AddString(const char* text);
    int InsertString(int index, const char* text);  // -1 appends
    int DeleteString(int index);                    // returns the remaining count, or LB_ERR
    void ResetContent();
    int GetText(int index, std::string& text) const;  // the length, or LB_ERR
};

class CComboBox : public CWnd {
public:
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);  // also sets the edit field; -1 clears both
    int AddString(const char* text);
    int InsertString(int index, const char* text);
    int DeleteString(int index);
    void ResetContent();
    int GetLBText(int index, std::string& text) const;  // the length, or CB_ERR
};

// The system menu of a dialog.
constexpr unsigned MF_STRING = 0x0;
constexpr unsigned MF_SEPARATOR = 0x800;
constexpr unsigned SC_CLOSE = 0xF060;

struct CDlgMenuItem {
    unsigned flags;
    unsigned id;
    std::string text;
};

class CMenu {
public:
    bool AppendMenu(unsigned flags, unsigned id = 0, const char* text = nullptr);
    const std::vector<CDlgMenuItem>& Items() const { return m_items; }

private:
    std::vector<CDlgMenuItem> m_items;
};
