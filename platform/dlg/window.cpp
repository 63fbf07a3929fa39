#include "dlg/app.h"
#include "dlg/dialog.h"
#include "dlg/surface.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace {

const CDlgResources* g_resources = nullptr;
CWinApp* g_app = nullptr;

// Where AddString puts a row: at the end, or before the first greater row
// when the control keeps its rows sorted.
size_t AddPosition(const CDlgWindowState& s, const char* text, uint32_t sortStyle) {
    if ((s.style & sortStyle) == 0) return s.rows.size();
    auto it = std::find_if(s.rows.begin(), s.rows.end(),
                           [&](const std::string& row) { return strcasecmp(row.c_str(), text) > 0; });
    return static_cast<size_t>(it - s.rows.begin());
}

int InsertRow(CDlgWindowState* s, int index, const char* text) {
    if (!s) return LB_ERR;
    int count = static_cast<int>(s->rows.size());
    if (index < -1 || index > count) return LB_ERR;
    if (index == -1) index = count;
    s->rows.insert(s->rows.begin() + index, text ? text : "");
    if (s->curSel >= index) ++s->curSel;
    return index;
}

int DeleteRow(CDlgWindowState* s, int index) {
    if (!s || index < 0 || index >= static_cast<int>(s->rows.size())) return LB_ERR;
    s->rows.erase(s->rows.begin() + index);
    if (s->curSel == index) s->curSel = -1;
    else if (s->curSel > index) --s->curSel;
    return static_cast<int>(s->rows.size());
}

int RowText(const CDlgWindowState* s, int index, std::string& text) {
    if (!s || index < 0 || index >= static_cast<int>(s->rows.size())) return LB_ERR;
    text = s->rows[static_cast<size_t>(index)];
    return static_cast<int>(text.size());
}

void NotifyEditChange(CDlgWindowState* s) {
    if (s && s->cls == DLG_CLASS_EDIT && s->dialog && s->dialog->IsShown()) s->dialog->OnNotify(EN_CHANGE, s->id);
}

}  // namespace

// Resources and the application object.

void DlgSetResources(const CDlgResources* resources) { g_resources = resources; }

const CDlgTemplate* DlgFindTemplate(int id) {
    if (!g_resources) return nullptr;
    for (const auto& t : g_resources->templates)
        if (t.id == id) return &t;
    return nullptr;
}

std::string DlgLoadString(int id) {
    if (!g_resources) return {};
    for (const auto& s : g_resources->strings)
        if (s.id == id) return s.text;
    return {};
}

HICON DlgLoadIcon(int id) {
    if (!g_resources) return nullptr;
    for (const auto& icon : g_resources->icons)
        if (icon.id == id) return &icon;
    return nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* DlgGetApp() { return g_app; }

const char* DlgAppName() {
    if (g_app && g_app->m_pszAppName) return g_app->m_pszAppName;
    return program_invocation_short_name;
}

// Window state.

bool CDlgWindowState::IsTabStop() const { return TakesFocus() && (style & WS_TABSTOP); }

bool CDlgWindowState::TakesFocus() const {
    switch (cls) {
    case DLG_CLASS_BUTTON: return !IsButtonKind(BS_GROUPBOX);
    case DLG_CLASS_EDIT:
    case DLG_CLASS_LISTBOX:
    case DLG_CLASS_COMBOBOX: return true;
    case DLG_CLASS_STATIC: return false;
    }
    return false;
}

// CWnd.

int CWnd::GetDlgCtrlID() const { return m_hWnd ? m_hWnd->id : 0; }

void CWnd::SetWindowText(const char* text) {
    if (!m_hWnd) return;
    m_hWnd->text = text ? text : "";
    m_hWnd->selStart = m_hWnd->selEnd = 0;
    m_hWnd->topRow = 0;
    NotifyEditChange(m_hWnd);
}

std::string CWnd::GetWindowText() const { return m_hWnd ? m_hWnd->text : std::string(); }

int CWnd::GetWindowText(char* buffer, int maxCount) const {
    if (!buffer || maxCount <= 0) return 0;
    std::string text = GetWindowText();
    size_t n = std::min(text.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

bool CWnd::EnableWindow(bool enable) {
    if (!m_hWnd) return false;
    bool wasDisabled = !m_hWnd->enabled;
    m_hWnd->enabled = enable;
    return wasDisabled;
}

bool CWnd::IsWindowEnabled() const { return m_hWnd && m_hWnd->enabled; }

void CWnd::UpdateWindow() {
    if (m_hWnd && DlgSurface()) DlgSurface()->Repaint();
}

int CWnd::MessageBox(const char* text, const char* caption, unsigned type) {
    // A box is titled like the dialog it belongs to.
    if (!caption && m_hWnd && m_hWnd->dialog && !m_hWnd->dialog->Caption().empty())
        return DlgMessageBox(text, m_hWnd->dialog->Caption().c_str(), type);
    return DlgMessageBox(text, caption ? caption : DlgAppName(), type);
}

// Buttons.

int CButton::GetCheck() const { return m_hWnd ? m_hWnd->check : BST_UNCHECKED; }

void CButton::SetCheck(int check) {
    if (m_hWnd) m_hWnd->check = check == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
}

// Edits.

void CEdit::SetSel(int start, int end) {
    if (!m_hWnd) return;
    size_t size = m_hWnd->text.size();
    size_t s = start < 0 ? size : std::min(static_cast<size_t>(start), size);
    size_t e = end < 0 ? size : std::min(static_cast<size_t>(end), size);
    m_hWnd->selStart = std::min(s, e);
    m_hWnd->selEnd = std::max(s, e);
}

void CEdit::GetSel(int& start, int& end) const {
    start = m_hWnd ? static_cast<int>(m_hWnd->selStart) : 0;
    end = m_hWnd ? static_cast<int>(m_hWnd->selEnd) : 0;
}

void CEdit::ReplaceSel(const char* text) {
    if (!m_hWnd) return;
    std::string insert = text ? text : "";
    m_hWnd->text.replace(m_hWnd->selStart, m_hWnd->selEnd - m_hWnd->selStart, insert);
    m_hWnd->selStart = m_hWnd->selEnd = m_hWnd->selStart + insert.size();
    NotifyEditChange(m_hWnd);
}

void CEdit::Clear() {
    if (!m_hWnd || (m_hWnd->style & ES_READONLY) || m_hWnd->selStart == m_hWnd->selEnd) return;
    ReplaceSel("");
}

// List boxes.

int CListBox::GetCount() const { return m_hWnd ? static_cast<int>(m_hWnd->rows.size()) : 0; }
int CListBox::GetCurSel() const { return m_hWnd ? m_hWnd->curSel : LB_ERR; }

int CListBox::SetCurSel(int index) {
    if (!m_hWnd) return LB_ERR;
    if (index == -1) {
        m_hWnd->curSel = -1;
        return LB_ERR;
    }
    if (index < 0 || index >= static_cast<int>(m_hWnd->rows.size())) return LB_ERR;
    m_hWnd->curSel = index;
    return index;
}

int CListBox::AddString(const char* text) {
    if (!m_hWnd) return LB_ERR;
    return InsertRow(m_hWnd, static_cast<int>(AddPosition(*m_hWnd, text ? text : "", LBS_SORT)), text);
}

int CListBox::InsertString(int index, const char* text) { return InsertRow(m_hWnd, index, text); }
int CListBox::DeleteString(int index) { return DeleteRow(m_hWnd, index); }

void CListBox::ResetContent() {
    if (!m_hWnd) return;
    m_hWnd->rows.clear();
    m_hWnd->curSel = -1;
    m_hWnd->topRow = 0;
}

int CListBox::GetText(int index, std::string& text) const { return RowText(m_hWnd, index, text); }

// Combo boxes.

int CComboBox::GetCount() const { return m_hWnd ? static_cast<int>(m_hWnd->rows.size()) : 0; }
int CComboBox::GetCurSel() const { return m_hWnd ? m_hWnd->curSel : CB_ERR; }

int CComboBox::SetCurSel(int index) {
    if (!m_hWnd) return CB_ERR;
    if (index == -1) {
        m_hWnd->curSel = -1;
        m_hWnd->text.clear();
        return CB_ERR;
    }
    if (index < 0 || index >= static_cast<int>(m_hWnd->rows.size())) return CB_ERR;
    m_hWnd->curSel = index;
    m_hWnd->text = m_hWnd->rows[static_cast<size_t>(index)];
    m_hWnd->selStart = 0;
    m_hWnd->selEnd = m_hWnd->text.size();
    return index;
}

int CComboBox::AddString(const char* text) {
    if (!m_hWnd) return CB_ERR;
    return InsertRow(m_hWnd, static_cast<int>(AddPosition(*m_hWnd, text ? text : "", CBS_SORT)), text);
}

int CComboBox::InsertString(int index, const char* text) { return InsertRow(m_hWnd, index, text); }

int CComboBox::DeleteString(int index) {
    bool selected = m_hWnd && index == m_hWnd->curSel;
    int result = DeleteRow(m_hWnd, index);
    if (selected && result != CB_ERR) m_hWnd->text.clear();
    return result;
}

void CComboBox::ResetContent() {
    if (!m_hWnd) return;
    m_hWnd->rows.clear();
    m_hWnd->curSel = -1;
    m_hWnd->text.clear();
}

int CComboBox::GetLBText(int index, std::string& text) const { return RowText(m_hWnd, index, text); }

// Menus.

bool CMenu::AppendMenu(unsigned flags, unsigned id, const char* text) {
    m_items.push_back({flags, id, (flags & MF_SEPARATOR) || !text ? std::string() : std::string(text)});
    return true;
}
