#include "dlg/dialog.h"
#include "dlg/surface.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

namespace {

struct CDlgTimer {
    CDialog* dialog;
    uintptr_t id;
    unsigned periodMs;
    uint64_t due;
};

CDlgSurface* g_surface = nullptr;
std::vector<CDialog*> g_modalStack;
std::vector<CDlgTimer> g_timers;

std::vector<CDlgTimer>::iterator FindTimer(CDialog* dialog, uintptr_t id) {
    return std::find_if(g_timers.begin(), g_timers.end(),
                        [&](const CDlgTimer& t) { return t.dialog == dialog && t.id == id; });
}

CDlgWindowState* EnabledItem(CDialog& dialog, int id) {
    CDlgWindowState* item = dialog.FindItem(id);
    return item && item->enabled ? item : nullptr;
}

// Message boxes are dialogs built from a template made for their text. The
// template is a base built ahead of the dialog, so the dialog is handed a
// template that is complete.
struct CMessageBoxTemplate {
    CMessageBoxTemplate(const char* text, const char* caption, unsigned type)
        : m_text(text ? text : ""), m_caption(caption ? caption : ""), m_hasCancel((type & 0xF) == MB_OKCANCEL) {
        int lines = 1, width = 0, line = 0;
        for (char c : m_text) {
            if (c == '\n') {
                ++lines;
                line = 0;
            } else if (c != '\r') {
                width = std::max(width, ++line);
            }
        }
        constexpr int kMargin = 8, kButtonWidth = 50, kButtonHeight = 14, kGap = 8;
        int buttons = m_hasCancel ? 2 * kButtonWidth + kGap : kButtonWidth;
        int cx = std::max(width * 4, buttons) + 2 * kMargin;
        int textHeight = lines * 8;
        int buttonY = kMargin + textHeight + kMargin;
        int buttonX = (cx - buttons) / 2;
        size_t n = 0;
        m_items[n++] = {DLG_IDC_MESSAGE_TEXT,
                        DLG_CLASS_STATIC,
                        m_text.c_str(),
                        {kMargin, kMargin, cx - 2 * kMargin, textHeight},
                        SS_LEFT | WS_VISIBLE};
        m_items[n++] = {IDOK,
                        DLG_CLASS_BUTTON,
                        "OK",
                        {buttonX, buttonY, kButtonWidth, kButtonHeight},
                        BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE};
        if (m_hasCancel)
            m_items[n++] = {IDCANCEL,
                            DLG_CLASS_BUTTON,
                            "Cancel",
                            {buttonX + kButtonWidth + kGap, buttonY, kButtonWidth, kButtonHeight},
                            BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE};
        m_boxTemplate = {0,
                         m_caption.c_str(),
                         cx,
                         buttonY + kButtonHeight + kMargin,
                         WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE,
                         nullptr,
                         0,
                         std::span<const CDlgItemTemplate>(m_items, n)};
    }

    std::string m_text;
    std::string m_caption;
    bool m_hasCancel;
    CDlgItemTemplate m_items[3];
    CDlgTemplate m_boxTemplate{};
};

class CMessageBoxDialog : private CMessageBoxTemplate, public CDialog {
public:
    CMessageBoxDialog(const char* text, const char* caption, unsigned type)
        : CMessageBoxTemplate(text, caption, type), CDialog(&m_boxTemplate) {}

protected:
    // Escape in a box without Cancel answers OK.
    void OnCancel() override { EndDialog(m_hasCancel ? IDCANCEL : IDOK); }
};

}  // namespace

void DlgSetSurface(CDlgSurface* surface) { g_surface = surface; }
CDlgSurface* DlgSurface() { return g_surface; }
const std::vector<CDialog*>& DlgModalStack() { return g_modalStack; }

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    CDialog* dialog = pDX ? pDX->m_pDlgWnd : nullptr;
    if (!dialog) return;
    control.Attach(dialog->FindItem(id));
    if (std::find(dialog->m_bound.begin(), dialog->m_bound.end(), &control) == dialog->m_bound.end())
        dialog->m_bound.push_back(&control);
}

// CDialog.

CDialog::CDialog(int templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::CDialog(const CDlgTemplate* dialogTemplate, CWnd* parent) : m_template(dialogTemplate), m_parent(parent) {}

CDialog::~CDialog() { Destroy(); }

void CDialog::Create() {
    m_self = CDlgWindowState{};
    m_self.dialog = this;
    m_self.id = m_template->id;
    m_self.style = m_template->style;
    m_self.rect = {0, 0, m_template->cx, m_template->cy};
    m_self.text = m_template->caption ? m_template->caption : "";
    for (const auto& item : m_template->items) {
        auto state = std::make_unique<CDlgWindowState>();
        state->dialog = this;
        state->id = item.id;
        state->cls = item.cls;
        state->style = item.style;
        state->rect = item.rect;
        state->text = item.cls == DLG_CLASS_COMBOBOX || !item.text ? "" : item.text;
        state->enabled = (item.style & WS_DISABLED) == 0;
        m_items.push_back(std::move(state));
    }
    m_systemMenu.reset();
    if (m_template->style & WS_SYSMENU) {
        m_systemMenu.emplace();
        m_systemMenu->AppendMenu(MF_STRING, SC_CLOSE, "&Close");
    }
    m_hWnd = &m_self;
}

void CDialog::Destroy() {
    g_timers.erase(
        std::remove_if(g_timers.begin(), g_timers.end(), [&](const CDlgTimer& t) { return t.dialog == this; }),
        g_timers.end());
    for (CWnd* control : m_bound) control->Detach();
    m_bound.clear();
    m_tempHandles.clear();
    m_items.clear();
    m_systemMenu.reset();
    m_hWnd = nullptr;
}

intptr_t CDialog::DoModal() {
    if (!m_template) m_template = DlgFindTemplate(m_templateId);
    if (!m_template || !g_surface || IsShown()) return -1;
    Create();
    m_ended = false;
    m_result = -1;
    g_modalStack.push_back(this);
    OnInitDialog();
    if (!m_ended) g_surface->RunModal(*this);
    g_modalStack.erase(std::find(g_modalStack.begin(), g_modalStack.end(), this));
    Destroy();
    return m_result;
}

void CDialog::EndDialog(int result) {
    m_ended = true;
    m_result = result;
}

CDlgWindowState* CDialog::FindItem(int id) {
    for (auto& item : m_items)
        if (item->id == id) return item.get();
    return nullptr;
}

CWnd* CDialog::GetDlgItem(int id) {
    CDlgWindowState* state = FindItem(id);
    if (!state) return nullptr;
    for (auto& handle : m_tempHandles)
        if (handle->GetSafeHwnd() == state) return handle.get();
    m_tempHandles.push_back(std::make_unique<CWnd>());
    m_tempHandles.back()->Attach(state);
    return m_tempHandles.back().get();
}

bool CDialog::UpdateData(bool saveAndValidate) {
    (void)saveAndValidate;  // control bindings go both ways
    if (!IsShown()) return false;
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return true;
}

void CDialog::SetIcon(HICON icon, bool big) { (big ? m_bigIcon : m_smallIcon) = icon; }

CMenu* CDialog::GetSystemMenu(bool revert) {
    if (!m_systemMenu) return nullptr;
    if (revert) {
        m_systemMenu.emplace();
        m_systemMenu->AppendMenu(MF_STRING, SC_CLOSE, "&Close");
        return nullptr;
    }
    return &*m_systemMenu;
}

uintptr_t CDialog::SetTimer(uintptr_t id, unsigned elapseMs, void*) {
    if (!IsShown() || !g_surface) return 0;
    uint64_t due = g_surface->NowMs() + std::max(elapseMs, 1u);
    auto it = FindTimer(this, id);
    if (it != g_timers.end()) *it = {this, id, elapseMs, due};
    else g_timers.push_back({this, id, elapseMs, due});
    return id;
}

bool CDialog::KillTimer(uintptr_t id) {
    auto it = FindTimer(this, id);
    if (it == g_timers.end()) return false;
    g_timers.erase(it);
    return true;
}

std::string CDialog::Caption() const { return m_self.text; }

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::OnNotify(unsigned code, int id) {
    if (code != BN_CLICKED) return false;
    if (id == IDOK) OnOK();
    else if (id == IDCANCEL) OnCancel();
    else return false;
    return true;
}

void CDialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnTimer(uintptr_t) {}

void CDialog::OnSysCommand(unsigned id, intptr_t) {
    if ((id & 0xFFF0) == SC_CLOSE) OnNotify(BN_CLICKED, IDCANCEL);
}

int DlgMessageBox(const char* text, const char* caption, unsigned type) {
    CMessageBoxDialog box(text, caption ? caption : "Error", type);
    intptr_t result = box.DoModal();
    return result < 0 ? IDCANCEL : static_cast<int>(result);
}

// Timers.

void DlgFireDueTimers(uint64_t now) {
    std::vector<std::pair<CDialog*, uintptr_t>> due;
    for (const auto& t : g_timers)
        if (t.due <= now && !t.dialog->IsEnded()) due.emplace_back(t.dialog, t.id);
    for (auto [dialog, id] : due) {
        auto it = FindTimer(dialog, id);  // an earlier tick may have stopped it
        if (it == g_timers.end() || it->due > now) continue;
        it->due = now + std::max(it->periodMs, 1u);
        dialog->OnTimer(id);
    }
}

uint64_t DlgNextTimerDue() {
    uint64_t next = UINT64_MAX;
    for (const auto& t : g_timers)
        if (!t.dialog->IsEnded()) next = std::min(next, t.due);
    return next;
}

// The user's actions.

bool DlgUserClick(CDialog& dialog, int id) {
    CDlgWindowState* item = EnabledItem(dialog, id);
    if (!item || item->cls != DLG_CLASS_BUTTON || item->IsButtonKind(BS_GROUPBOX)) return false;
    if (item->IsButtonKind(BS_AUTOCHECKBOX)) {
        item->check = item->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    } else if (item->IsButtonKind(BS_AUTORADIOBUTTON)) {
        // The group runs from the last item with the group style up to the next one.
        auto& items = dialog.Items();
        auto self = std::find_if(items.begin(), items.end(), [&](const auto& p) { return p.get() == item; });
        auto first = self;
        while (first != items.begin() && ((*first)->style & WS_GROUP) == 0) --first;
        for (auto it = first; it != items.end(); ++it) {
            if (it != first && ((*it)->style & WS_GROUP)) break;
            if ((*it)->IsButtonKind(BS_AUTORADIOBUTTON)) (*it)->check = BST_UNCHECKED;
        }
        item->check = BST_CHECKED;
    }
    dialog.OnNotify(BN_CLICKED, id);
    return true;
}

bool DlgUserSelect(CDialog& dialog, int id, int row) {
    CDlgWindowState* item = EnabledItem(dialog, id);
    if (!item || (item->cls != DLG_CLASS_LISTBOX && item->cls != DLG_CLASS_COMBOBOX)) return false;
    if (row < 0 || row >= static_cast<int>(item->rows.size())) return false;
    item->curSel = row;
    if (item->cls == DLG_CLASS_COMBOBOX) {
        item->text = item->rows[static_cast<size_t>(row)];
        item->selStart = 0;
        item->selEnd = item->text.size();
        dialog.OnNotify(CBN_SELCHANGE, id);
    } else if (item->style & LBS_NOTIFY) {
        dialog.OnNotify(LBN_SELCHANGE, id);
    }
    return true;
}

namespace {

bool SameTextNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A typed text that names an entry (in any letter case) chooses it, as a
// selection from the list would; the text stays as typed.
void ChooseTypedEntry(CDialog& dialog, CDlgWindowState& combo) {
    for (size_t row = 0; row < combo.rows.size(); ++row) {
        if (!SameTextNoCase(combo.rows[row], combo.text)) continue;
        combo.curSel = static_cast<int>(row);
        dialog.OnNotify(CBN_SELCHANGE, combo.id);
        return;
    }
}

bool EditText(CDialog& dialog, int id, bool forward, char insert) {
    CDlgWindowState* item = EnabledItem(dialog, id);
    if (!item || (item->cls != DLG_CLASS_EDIT && item->cls != DLG_CLASS_COMBOBOX)) return false;
    if (item->cls == DLG_CLASS_EDIT && (item->style & ES_READONLY)) return false;
    if (insert && item->cls == DLG_CLASS_EDIT && (item->style & ES_NUMBER) &&
        !std::isdigit(static_cast<unsigned char>(insert)))
        return false;
    size_t start = std::min(item->selStart, item->text.size());
    size_t end = std::min(item->selEnd, item->text.size());
    if (start == end && !insert) {
        if (forward && end < item->text.size()) ++end;
        else if (!forward && start > 0) --start;
        else return false;
    }
    item->text.replace(start, end - start, insert ? std::string(1, insert) : std::string());
    item->selStart = item->selEnd = start + (insert ? 1 : 0);
    if (item->cls == DLG_CLASS_COMBOBOX) {
        item->curSel = -1;
        dialog.OnNotify(CBN_EDITCHANGE, id);
        ChooseTypedEntry(dialog, *item);
    } else {
        dialog.OnNotify(EN_CHANGE, id);
    }
    return true;
}

}  // namespace

bool DlgUserTypeChar(CDialog& dialog, int id, char c) {
    if (c == '\b') return EditText(dialog, id, false, 0);
    if (c == '\0') return false;
    return EditText(dialog, id, false, c);
}

bool DlgUserDeleteChar(CDialog& dialog, int id) { return EditText(dialog, id, true, 0); }

int DlgDefaultButton(CDialog& dialog, int focusedId) {
    CDlgWindowState* focused = EnabledItem(dialog, focusedId);
    if (focused && (focused->IsButtonKind(BS_PUSHBUTTON) || focused->IsButtonKind(BS_DEFPUSHBUTTON))) return focusedId;
    for (auto& item : dialog.Items())
        if (item->IsButtonKind(BS_DEFPUSHBUTTON)) return item->id;
    return 0;
}

bool DlgUserEnter(CDialog& dialog, int focusedId) {
    if (int id = DlgDefaultButton(dialog, focusedId)) return DlgUserClick(dialog, id);
    dialog.OnNotify(BN_CLICKED, IDOK);
    return true;
}

std::optional<std::string> DlgStatusText(CDialog& dialog) {
    for (const auto& item : dialog.Items()) {
        if (item->cls != DLG_CLASS_EDIT || (item->style & (ES_MULTILINE | ES_READONLY)) != (ES_MULTILINE | ES_READONLY))
            continue;
        std::string text;
        for (char c : item->text)
            if (c != '\r') text += c;
        return text;
    }
    return std::nullopt;
}

bool DlgUserAboutCommand(CDialog& dialog) {
    CMenu* menu = dialog.GetSystemMenu(false);
    if (!menu) return false;
    for (const auto& item : menu->Items())
        if (!(item.flags & MF_SEPARATOR) && (item.id & 0xFFF0) != SC_CLOSE) return DlgUserSysCommand(dialog, item.id);
    return false;
}

void DlgUserCancel(CDialog& dialog) { dialog.OnNotify(BN_CLICKED, IDCANCEL); }

bool DlgUserSysCommand(CDialog& dialog, unsigned command) {
    CMenu* menu = dialog.GetSystemMenu(false);
    if (!menu) return false;
    for (const auto& item : menu->Items()) {
        if (!(item.flags & MF_SEPARATOR) && item.id == command) {
            dialog.OnSysCommand(command, 0);
            return true;
        }
    }
    return false;
}
