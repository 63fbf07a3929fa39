#include "dlg/headless.h"

CHeadlessUser::CHeadlessUser() { DlgSetSurface(this); }

CHeadlessUser::~CHeadlessUser() {
    if (DlgSurface() == this) DlgSetSurface(nullptr);
}

void CHeadlessUser::Script(std::vector<Step> steps) {
    for (auto& step : steps) m_steps.push_back(std::move(step));
}

void CHeadlessUser::RunModal(CDialog& dialog) {
    while (!dialog.IsEnded()) {
        if (m_steps.empty()) {
            m_errors.push_back("the script ended while \"" + dialog.Caption() + "\" was open");
            dialog.EndDialog(IDCANCEL);
            break;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step();
    }
}

CDialog* CHeadlessUser::Top() const { return DlgModalStack().empty() ? nullptr : DlgModalStack().back(); }

CDlgWindowState* CHeadlessUser::Item(int id) const { return Top() ? Top()->FindItem(id) : nullptr; }

bool CHeadlessUser::Press(int id) { return Top() && DlgUserClick(*Top(), id); }

bool CHeadlessUser::Select(int id, int row) { return Top() && DlgUserSelect(*Top(), id, row); }

bool CHeadlessUser::Type(int id, const std::string& text) {
    if (!Top()) return false;
    for (char c : text)
        if (!DlgUserTypeChar(*Top(), id, c)) return false;
    return true;
}

bool CHeadlessUser::SelectText(int id, size_t start, size_t end) {
    CDlgWindowState* item = Item(id);
    if (!item || start > end || end > item->text.size()) return false;
    item->selStart = start;
    item->selEnd = end;
    return true;
}

bool CHeadlessUser::Enter() { return Top() && DlgUserEnter(*Top(), 0); }

void CHeadlessUser::Cancel() {
    if (Top()) DlgUserCancel(*Top());
}

bool CHeadlessUser::SystemCommand(unsigned command) { return Top() && DlgUserSysCommand(*Top(), command); }

void CHeadlessUser::Advance(uint64_t ms) {
    uint64_t end = m_now + ms;
    for (uint64_t next = DlgNextTimerDue(); next <= end; next = DlgNextTimerDue()) {
        m_now = std::max(m_now, next);
        DlgFireDueTimers(m_now);
    }
    m_now = end;
}

int CHeadlessUser::TemplateId() const { return Top() && Top()->Template() ? Top()->Template()->id : -1; }
size_t CHeadlessUser::Depth() const { return DlgModalStack().size(); }
std::string CHeadlessUser::Caption() const { return Top() ? Top()->Caption() : std::string(); }
bool CHeadlessUser::Exists(int id) const { return Item(id) != nullptr; }
std::string CHeadlessUser::Text(int id) const { return Item(id) ? Item(id)->text : std::string(); }
std::vector<std::string> CHeadlessUser::Rows(int id) const {
    return Item(id) ? Item(id)->rows : std::vector<std::string>();
}
int CHeadlessUser::Selection(int id) const { return Item(id) ? Item(id)->curSel : -1; }
bool CHeadlessUser::Enabled(int id) const { return Item(id) && Item(id)->enabled; }
bool CHeadlessUser::Checked(int id) const { return Item(id) && Item(id)->check == BST_CHECKED; }

std::vector<std::string> CHeadlessUser::SystemMenu() const {
    std::vector<std::string> shown;
    CMenu* menu = Top() ? Top()->GetSystemMenu(false) : nullptr;
    if (!menu) return shown;
    for (const auto& item : menu->Items()) shown.push_back(item.flags & MF_SEPARATOR ? "-" : item.text);
    return shown;
}

std::string CHeadlessUser::MessageText() const {
    CDlgWindowState* text = Item(DLG_IDC_MESSAGE_TEXT);
    return text ? text->text : std::string();
}
