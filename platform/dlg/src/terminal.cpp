#include "dlg/terminal.h"

#include "os/signals.h"
#include "os/window.h"

#include <curses.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Keys curses has no name for, registered with define_key.
constexpr int KEY_ALT_DOWN = KEY_MAX + 1;
constexpr int KEY_ALT_UP = KEY_MAX + 2;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_TAB = '\t';
constexpr int kMaxWaitMs = 100;

constexpr int kCrashSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_oldCrashActions[std::size(kCrashSignals)];
volatile sig_atomic_t g_cursesActive = 0;

void RestoreTerminal() {
    if (g_cursesActive) {
        g_cursesActive = 0;
        endwin();
    }
}

// A crash leaves the terminal usable, then dies of the same signal.
void OnCrash(int signo) {
    RestoreTerminal();
    std::raise(signo);
}

// Text as shown: '&' marks a mnemonic and "&&" stands for '&'.
std::string Shown(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        if (text[i] != '\r') out += text[i];
    }
    return out;
}

// A window's place on the screen in character cells.
struct CCells {
    int row = 0;
    int col = 0;
    int rows = 1;
    int cols = 1;
    bool Contains(int y, int x) const { return y >= row && y < row + rows && x >= col && x < col + cols; }
};

// Where a dialog and its controls land: dialog units scaled into cells,
// centred on the screen, with one cell of frame around the client area.
struct CLayout {
    double sx = 1, sy = 1;
    CCells frame;

    explicit CLayout(const CDialog& dialog) {
        const CDlgTemplate* t = dialog.Template();
        double cols = t->cx / 4.0, rows = t->cy / 8.0;
        // About 4 units a column: up to 3.5 where the screen has room, since
        // labels are laid out for a proportional font narrower than a cell.
        sx = std::min(8.0 / 7.0, (COLS - 2) / std::max(cols, 1.0));
        sy = std::min(1.0, (LINES - 2) / std::max(rows, 1.0));
        frame.cols = static_cast<int>(std::lround(cols * sx)) + 2;
        frame.rows = static_cast<int>(std::lround(rows * sy)) + 2;
        frame.col = std::max(0, (COLS - frame.cols) / 2);
        frame.row = std::max(0, (LINES - frame.rows) / 2);
    }
    int Col(int x) const { return frame.col + 1 + static_cast<int>(std::lround(x * sx / 4.0)); }
    int Row(int y) const { return frame.row + 1 + static_cast<int>(std::lround(y * sy / 8.0)); }
    CCells Of(const CDlgRect& r) const {
        CCells c;
        c.col = Col(r.x);
        c.row = Row(r.y);
        c.cols = std::max(1, Col(r.x + r.cx) - c.col);
        c.rows = std::max(1, Row(r.y + r.cy) - c.row);
        return c;
    }
};

// The row a one-line control (button, check box, edit, closed combo) uses.
int LineRow(const CCells& c) { return c.row + (c.rows - 1) / 2; }

bool Boxed(const CCells& c) { return c.rows >= 3 && c.cols >= 4; }

// The rows of a list or multi-line edit inside its border.
CCells Inner(const CCells& c) {
    if (!Boxed(c)) return c;
    return {c.row + 1, c.col + 1, c.rows - 2, c.cols - 2};
}

void PutText(int row, int col, const std::string& text, int width, attr_t attr = A_NORMAL) {
    if (width <= 0 || row < 0 || row >= LINES) return;
    attron(attr);
    mvaddnstr(row, col, text.c_str(), std::min(width, static_cast<int>(text.size())));
    attroff(attr);
}

// A label cut by its rectangle runs on over the blank cells after it, up to
// the dialog's frame: the templates size labels for a proportional font.
struct COverflow {
    int row;
    int col;  // first cell not yet written
    std::string rest;
    attr_t attr;
};

void PutLabel(int row, int col, const std::string& text, int width, attr_t attr, std::vector<COverflow>& overflow) {
    PutText(row, col, text, width, attr);
    if (width >= 0 && static_cast<int>(text.size()) > width)
        overflow.push_back({row, col + width, text.substr(static_cast<size_t>(width)), attr});
}

void RunOn(const std::vector<COverflow>& overflow, int rightEdge) {
    for (const auto& o : overflow) {
        int col = o.col;
        for (char c : o.rest) {
            if (col >= rightEdge || (mvinch(o.row, col) & A_CHARTEXT) != ' ') break;
            PutText(o.row, col++, std::string(1, c), 1, o.attr);
        }
    }
}

void Fill(int row, int col, int width, attr_t attr = A_NORMAL) {
    if (width > 0) PutText(row, col, std::string(static_cast<size_t>(width), ' '), width, attr);
}

void DrawBox(const CCells& c, attr_t attr = A_NORMAL) {
    if (c.rows < 2 || c.cols < 2) return;
    attron(attr);
    mvhline(c.row, c.col + 1, ACS_HLINE, c.cols - 2);
    mvhline(c.row + c.rows - 1, c.col + 1, ACS_HLINE, c.cols - 2);
    mvvline(c.row + 1, c.col, ACS_VLINE, c.rows - 2);
    mvvline(c.row + 1, c.col + c.cols - 1, ACS_VLINE, c.rows - 2);
    mvaddch(c.row, c.col, ACS_ULCORNER);
    mvaddch(c.row, c.col + c.cols - 1, ACS_URCORNER);
    mvaddch(c.row + c.rows - 1, c.col, ACS_LLCORNER);
    mvaddch(c.row + c.rows - 1, c.col + c.cols - 1, ACS_LRCORNER);
    attroff(attr);
}

// A multi-line edit's text as shown: its lines, wrapped at the width, so no
// part of a long status text is hidden.
std::vector<std::string> WrappedLines(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string line;
    auto flush = [&] {
        for (size_t i = 0; i < line.size() || i == 0; i += static_cast<size_t>(width)) {
            lines.push_back(line.substr(i, static_cast<size_t>(width)));
            if (line.empty()) break;
        }
        line.clear();
    };
    for (char c : text) {
        if (c == '\n') flush();
        else if (c != '\r') line += c;
    }
    if (!line.empty()) flush();
    return lines;
}

// Keeps the selected row of a list in view.
void ScrollToSelection(CDlgWindowState& item, int visible) {
    if (visible <= 0) return;
    int count = static_cast<int>(item.rows.size());
    if (item.curSel >= 0) {
        if (item.curSel < item.topRow) item.topRow = item.curSel;
        if (item.curSel >= item.topRow + visible) item.topRow = item.curSel - visible + 1;
    }
    item.topRow = std::clamp(item.topRow, 0, std::max(0, count - visible));
}

// The open list of a combo: below its edit field, as many rows as the
// template allows and the screen has, at least one.
CCells DropDownCells(const CLayout& layout, const CDlgWindowState& item) {
    CCells field = layout.Of(item.rect);
    CCells list;
    list.col = field.col;
    list.cols = field.cols;
    list.row = field.row + 1;
    int wanted = std::min<int>(static_cast<int>(item.rows.size()), std::max(1, field.rows - 1));
    list.rows = std::max(1, std::min(wanted, LINES - list.row - 2)) + 2;
    return list;
}

bool IsEdit(const CDlgWindowState* item) { return item && item->cls == DLG_CLASS_EDIT; }
bool HasEditField(const CDlgWindowState* item) { return IsEdit(item) || (item && item->cls == DLG_CLASS_COMBOBOX); }

}  // namespace

// What the surface knows of a dialog it shows: the focus and the open combo.
struct CTerminalSurface::CView {
    CDialog* dialog = nullptr;
    int focus = 0;
    int dropped = 0;  // id of the combo whose list is open, 0 for none
    bool focusSet = false;

    CDlgWindowState* Focused() const { return focusSet ? dialog->FindItem(focus) : nullptr; }
};

CTerminalSurface::CTerminalSurface() {
    std::fflush(stdout);
    // A terminal without a known type still speaks the common escapes.
    const char* term = std::getenv("TERM");
    for (const char* type : {term && *term ? term : nullptr, "xterm", "vt100"}) {
        if (type && (m_screen = newterm(type, stdout, stdin)) != nullptr) break;
    }
    if (!m_screen) {
        m_error = std::string("cannot use the terminal (TERM=") + (term ? term : "unset") + ")";
        return;
    }
    set_term(m_screen);
    g_cursesActive = 1;
    static bool s_atExit = (std::atexit(RestoreTerminal), true);
    (void)s_atExit;
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        struct sigaction action {};
        action.sa_handler = OnCrash;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(kCrashSignals[i], &action, &g_oldCrashActions[i]);
    }
    cbreak();  // Ctrl+C stays a termination signal
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    intrflush(stdscr, FALSE);
    set_escdelay(25);
    curs_set(0);
    mousemask(BUTTON1_PRESSED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
    mouseinterval(0);
    define_key("\033[1;3B", KEY_ALT_DOWN);
    define_key("\033[1;3A", KEY_ALT_UP);
    define_key("\033\033[B", KEY_ALT_DOWN);
    define_key("\033\033[A", KEY_ALT_UP);
    define_key("\033[Z", KEY_BTAB);
    DlgSetSurface(this);
}

CTerminalSurface::~CTerminalSurface() {
    if (!m_screen) return;
    if (DlgSurface() == this) DlgSetSurface(nullptr);
    RestoreTerminal();
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) sigaction(kCrashSignals[i], &g_oldCrashActions[i], nullptr);
    delscreen(m_screen);
}

uint64_t CTerminalSurface::NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

CTerminalSurface::CView* CTerminalSurface::ViewOf(const CDialog* dialog) {
    for (CView* view : m_views)
        if (view->dialog == dialog) return view;
    return nullptr;
}

void CTerminalSurface::Repaint() { Draw(); }

void CTerminalSurface::RunModal(CDialog& dialog) {
    CView view;
    view.dialog = &dialog;
    m_views.push_back(&view);
    MoveFocus(view, true);
    while (!dialog.IsEnded()) {
        if (OSTerminationSignal() != 0) {
            DlgUserCancel(dialog);
            if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
            break;
        }
        if (OSTakeRaiseRequest()) {
            flash();
            clearok(curscr, TRUE);
        }
        DlgFireDueTimers(NowMs());
        if (dialog.IsEnded()) break;
        CDlgWindowState* focused = view.Focused();
        if (!focused || !focused->enabled) MoveFocus(view, true);
        Draw();
        uint64_t next = DlgNextTimerDue(), now = NowMs();
        int wait = next <= now ? 0 : static_cast<int>(std::min<uint64_t>(next - now, kMaxWaitMs));
        timeout(wait);
        int key = getch();
        if (key != ERR) HandleKey(view, key);
    }
    m_views.pop_back();
}

void CTerminalSurface::MoveFocus(CView& view, bool forward) {
    auto& items = view.dialog->Items();
    int count = static_cast<int>(items.size());
    if (count == 0) return;
    int start = -1;
    for (int i = 0; i < count; ++i)
        if (view.focusSet && items[static_cast<size_t>(i)]->id == view.focus) start = i;
    for (int step = 1; step <= count; ++step) {
        int i = start < 0 ? (forward ? step - 1 : count - step) : ((start + (forward ? step : -step)) % count + count) % count;
        CDlgWindowState& item = *items[static_cast<size_t>(i)];
        if (item.IsTabStop() && item.enabled) {
            view.focus = item.id;
            view.focusSet = true;
            view.dropped = 0;
            if (HasEditField(&item)) {  // tabbing into an edit selects its text
                item.selStart = 0;
                item.selEnd = item.text.size();
            }
            return;
        }
    }
    view.focusSet = false;
}

void CTerminalSurface::MoveSelection(CView& view, int key) {
    CDlgWindowState* item = view.Focused();
    if (!item) return;
    int count = static_cast<int>(item->rows.size());
    if (count == 0) return;
    CLayout layout(*view.dialog);
    int page = item->cls == DLG_CLASS_LISTBOX ? Inner(layout.Of(item->rect)).rows
                                               : DropDownCells(layout, *item).rows - 2;
    page = std::max(1, page - 1);
    int row = item->curSel;
    switch (key) {
        case KEY_UP: case KEY_LEFT: row = row < 0 ? 0 : row - 1; break;
        case KEY_DOWN: case KEY_RIGHT: row = row < 0 ? 0 : row + 1; break;
        case KEY_PPAGE: row = row < 0 ? 0 : row - page; break;
        case KEY_NPAGE: row = row < 0 ? 0 : row + page; break;
        case KEY_HOME: row = 0; break;
        case KEY_END: row = count - 1; break;
        default: return;
    }
    row = std::clamp(row, 0, count - 1);
    if (row != item->curSel) DlgUserSelect(*view.dialog, item->id, row);
}

void CTerminalSurface::MoveCaret(CDlgWindowState& item, int key) {
    size_t caret = std::min(item.selEnd, item.text.size());
    switch (key) {
        case KEY_LEFT: caret = item.selStart != item.selEnd ? item.selStart : (caret > 0 ? caret - 1 : 0); break;
        case KEY_RIGHT: caret = item.selStart != item.selEnd ? caret : std::min(caret + 1, item.text.size()); break;
        case KEY_HOME: caret = 0; break;
        case KEY_END: caret = item.text.size(); break;
        case KEY_UP: item.topRow = std::max(0, item.topRow - 1); return;
        case KEY_DOWN: ++item.topRow; return;
        default: return;
    }
    item.selStart = item.selEnd = caret;
}

void CTerminalSurface::ToggleDropDown(CView& view, CDlgWindowState& item) {
    view.dropped = view.dropped == item.id ? 0 : item.id;
}

void CTerminalSurface::HandleKey(CView& view, int key) {
    CDialog& dialog = *view.dialog;
    if (key == KEY_ESCAPE) {  // Escape alone, or Alt with the next key
        timeout(25);
        int next = getch();
        if (next == ' ') {
            if (unsigned command = RunSystemMenu(dialog)) DlgUserSysCommand(dialog, command);
            return;
        }
        if (next == KEY_DOWN) key = KEY_ALT_DOWN;
        else if (next == KEY_UP) key = KEY_ALT_UP;
        else if (next != ERR) return;  // Alt with another key: nothing to do
    }
    if (key == KEY_MOUSE) return HandleMouse(view);
    if (key == KEY_RESIZE || key == 12 /* Ctrl+L */) {
        clearok(curscr, TRUE);
        return;
    }
    CDlgWindowState* item = view.Focused();
    switch (key) {
        case KEY_TAB: return MoveFocus(view, true);
        case KEY_BTAB: return MoveFocus(view, false);
        case KEY_ESCAPE:
            if (view.dropped) view.dropped = 0;
            else DlgUserCancel(dialog);
            return;
        case KEY_ENTER: case '\r': case '\n':
            if (view.dropped) view.dropped = 0;
            else DlgUserEnter(dialog, item ? item->id : 0);
            return;
        case KEY_ALT_DOWN: case KEY_ALT_UP: case KEY_F(4):
            if (item && item->cls == DLG_CLASS_COMBOBOX) ToggleDropDown(view, *item);
            return;
        default: break;
    }
    if (!item) return;
    if (item->cls == DLG_CLASS_BUTTON) {
        if (key == ' ') DlgUserClick(dialog, item->id);
        else if (key == KEY_DOWN || key == KEY_RIGHT) MoveFocus(view, true);
        else if (key == KEY_UP || key == KEY_LEFT) MoveFocus(view, false);
        return;
    }
    bool selectionKey = key == KEY_UP || key == KEY_DOWN || key == KEY_PPAGE || key == KEY_NPAGE ||
                        key == KEY_HOME || key == KEY_END;
    if (item->cls == DLG_CLASS_LISTBOX) {
        if (selectionKey || key == KEY_LEFT || key == KEY_RIGHT) MoveSelection(view, key);
        return;
    }
    if (item->cls == DLG_CLASS_COMBOBOX && (selectionKey && (view.dropped || key == KEY_UP || key == KEY_DOWN))) {
        MoveSelection(view, key);
        return;
    }
    // Edits and the edit field of a combo.
    if (key == KEY_BACKSPACE || key == 127 || key == 8) DlgUserTypeChar(dialog, item->id, '\b');
    else if (key == KEY_DC) DlgUserDeleteChar(dialog, item->id);
    else if (key == KEY_LEFT || key == KEY_RIGHT || key == KEY_HOME || key == KEY_END || key == KEY_UP || key == KEY_DOWN)
        MoveCaret(*item, key);
    else if (key >= 32 && key < 127 && !DlgUserTypeChar(dialog, item->id, static_cast<char>(key)))
        beep();  // a numeric box refuses the character, or the box is read-only
}

void CTerminalSurface::HandleMouse(CView& view) {
    MEVENT event;
    if (getmouse(&event) != OK) return;
    CDialog& dialog = *view.dialog;
    CLayout layout(dialog);
    if (event.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) {
        for (auto& item : dialog.Items()) {
            if (item->cls != DLG_CLASS_LISTBOX && !IsEdit(item.get())) continue;
            if (!layout.Of(item->rect).Contains(event.y, event.x)) continue;
            item->topRow = std::max(0, item->topRow + ((event.bstate & BUTTON4_PRESSED) ? -1 : 1));
        }
        return;
    }
    if (!(event.bstate & BUTTON1_PRESSED)) return;
    if (view.dropped) {
        CDlgWindowState* combo = dialog.FindItem(view.dropped);
        view.dropped = 0;
        if (combo) {
            CCells list = Inner(DropDownCells(layout, *combo));
            if (list.Contains(event.y, event.x)) {
                DlgUserSelect(dialog, combo->id, combo->topRow + event.y - list.row);
                return;
            }
        }
    }
    if ((dialog.Template()->style & WS_SYSMENU) && event.y == layout.frame.row && event.x >= layout.frame.col + 1 &&
        event.x <= layout.frame.col + 3) {
        if (unsigned command = RunSystemMenu(dialog)) DlgUserSysCommand(dialog, command);
        return;
    }
    for (auto& p : dialog.Items()) {
        CDlgWindowState& item = *p;
        if (!item.TakesFocus()) continue;
        CCells cells = layout.Of(item.rect);
        if (item.cls != DLG_CLASS_LISTBOX && !(IsEdit(&item) && (item.style & ES_MULTILINE))) {
            cells.row = LineRow(cells);
            if (item.cls == DLG_CLASS_COMBOBOX) cells.row = layout.Of(item.rect).row;
            cells.rows = 1;
        }
        if (!cells.Contains(event.y, event.x)) continue;
        if (!item.enabled) return;
        view.focus = item.id;
        view.focusSet = true;
        switch (item.cls) {
            case DLG_CLASS_BUTTON: DlgUserClick(dialog, item.id); break;
            case DLG_CLASS_COMBOBOX: ToggleDropDown(view, item); break;
            case DLG_CLASS_LISTBOX: {
                CCells inner = Inner(cells);
                if (inner.Contains(event.y, event.x)) DlgUserSelect(dialog, item.id, item.topRow + event.y - inner.row);
                break;
            }
            case DLG_CLASS_EDIT:
                if (!(item.style & ES_MULTILINE))
                    item.selStart = item.selEnd = std::min(item.text.size(), static_cast<size_t>(event.x - cells.col));
                break;
            case DLG_CLASS_STATIC: break;
        }
        return;
    }
}

unsigned CTerminalSurface::RunSystemMenu(CDialog& dialog) {
    CMenu* menu = dialog.GetSystemMenu(false);
    if (!menu || menu->Items().empty()) return 0;
    const auto& items = menu->Items();
    int width = 0;
    for (const auto& item : items) width = std::max(width, static_cast<int>(Shown(item.text).size()));
    CLayout layout(dialog);
    CCells box{layout.frame.row + 1, layout.frame.col + 1, static_cast<int>(items.size()) + 2, width + 4};
    auto selectable = [&](int i) { return !(items[static_cast<size_t>(i)].flags & MF_SEPARATOR); };
    int current = 0;
    while (current < static_cast<int>(items.size()) && !selectable(current)) ++current;
    while (!dialog.IsEnded() && OSTerminationSignal() == 0) {
        Draw();
        Fill(box.row, box.col, box.cols);
        for (int r = 1; r < box.rows - 1; ++r) Fill(box.row + r, box.col, box.cols);
        DrawBox(box);
        for (int i = 0; i < static_cast<int>(items.size()); ++i) {
            int row = box.row + 1 + i;
            if (!selectable(i)) {
                mvhline(row, box.col + 1, ACS_HLINE, box.cols - 2);
                continue;
            }
            PutText(row, box.col + 1, " " + Shown(items[static_cast<size_t>(i)].text), box.cols - 2,
                    i == current ? A_REVERSE : A_NORMAL);
        }
        refresh();
        timeout(kMaxWaitMs);
        int key = getch();
        DlgFireDueTimers(NowMs());
        if (key == ERR) continue;
        int count = static_cast<int>(items.size());
        if (key == KEY_ESCAPE || key == KEY_TAB) return 0;
        if (key == KEY_ENTER || key == '\r' || key == '\n' || key == ' ')
            return current < count ? items[static_cast<size_t>(current)].id : 0;
        if (key == KEY_UP || key == KEY_DOWN) {
            for (int step = 1; step <= count; ++step) {
                int i = ((current + (key == KEY_DOWN ? step : -step)) % count + count) % count;
                if (selectable(i)) {
                    current = i;
                    break;
                }
            }
            continue;
        }
        MEVENT event;
        if (key == KEY_MOUSE && getmouse(&event) == OK && (event.bstate & BUTTON1_PRESSED)) {
            int i = event.y - box.row - 1;
            if (Inner(box).Contains(event.y, event.x) && selectable(i)) return items[static_cast<size_t>(i)].id;
            return 0;
        }
        for (const auto& item : items) {  // a mnemonic letter chooses its item
            size_t amp = item.text.find('&');
            if (amp != std::string::npos && amp + 1 < item.text.size() &&
                std::tolower(static_cast<unsigned char>(item.text[amp + 1])) == std::tolower(key))
                return item.id;
        }
    }
    return 0;
}

void CTerminalSurface::Draw() {
    erase();
    curs_set(0);
    int cursorRow = -1, cursorCol = -1;
    for (CDialog* dialog : DlgModalStack()) {
        if (!dialog->IsShown() || !dialog->Template()) continue;
        CView* view = ViewOf(dialog);
        bool top = dialog == DlgModalStack().back();
        CLayout layout(*dialog);
        const CCells& frame = layout.frame;
        for (int r = 0; r < frame.rows; ++r) Fill(frame.row + r, frame.col, frame.cols);
        DrawBox(frame, top ? A_BOLD : A_NORMAL);
        std::string caption = " " + dialog->Caption() + " ";
        int captionCol = frame.col + std::max(1, (frame.cols - static_cast<int>(caption.size())) / 2);
        PutText(frame.row, captionCol, caption, frame.cols - 2, top ? A_BOLD : A_NORMAL);
        if (dialog->Template()->style & WS_SYSMENU) PutText(frame.row, frame.col + 1, "[-]", 3);
        CDlgWindowState* focused = view && top ? view->Focused() : nullptr;
        auto& items = dialog->Items();
        // Group boxes first, so the controls inside draw over their frames.
        std::vector<CDlgWindowState*> order;
        for (auto& p : items)
            if (p->IsButtonKind(BS_GROUPBOX)) order.push_back(p.get());
        for (auto& p : items)
            if (!p->IsButtonKind(BS_GROUPBOX)) order.push_back(p.get());
        std::vector<COverflow> overflow;
        for (CDlgWindowState* item : order) {
            CCells c = layout.Of(item->rect);
            attr_t dim = item->enabled ? A_NORMAL : A_DIM;
            attr_t focus = item == focused ? A_REVERSE : A_NORMAL;
            std::string text = Shown(item->text);
            switch (item->cls) {
                case DLG_CLASS_STATIC: PutLabel(c.row, c.col, text, c.cols, dim, overflow); break;
                case DLG_CLASS_BUTTON: {
                    uint32_t kind = item->style & BS_TYPEMASK;
                    int row = LineRow(c);
                    if (kind == BS_GROUPBOX) {
                        DrawBox(c, dim);
                        if (!text.empty()) PutText(c.row, c.col + 1, " " + text + " ", c.cols - 2, dim);
                    } else if (kind == BS_AUTOCHECKBOX) {
                        PutText(row, c.col, item->check ? "[X]" : "[ ]", c.cols, dim | focus);
                        PutLabel(row, c.col + 4, text, c.cols - 4, dim, overflow);
                    } else if (kind == BS_AUTORADIOBUTTON) {
                        PutText(row, c.col, item->check ? "(*)" : "( )", c.cols, dim | focus);
                        PutLabel(row, c.col + 4, text, c.cols - 4, dim, overflow);
                    } else {
                        std::string label = kind == BS_DEFPUSHBUTTON ? "<" + text + ">" : "[" + text + "]";
                        int col = c.col + std::max(0, (c.cols - static_cast<int>(label.size())) / 2);
                        PutLabel(row, col, label, c.cols, dim | focus | (kind == BS_DEFPUSHBUTTON ? A_BOLD : A_NORMAL),
                                 overflow);
                    }
                    break;
                }
                case DLG_CLASS_LISTBOX: {
                    if (Boxed(c)) DrawBox(c, dim | (item == focused ? A_BOLD : A_NORMAL));
                    CCells in = Inner(c);
                    ScrollToSelection(*item, in.rows);
                    for (int r = 0; r < in.rows; ++r) {
                        size_t index = static_cast<size_t>(item->topRow + r);
                        Fill(in.row + r, in.col, in.cols);
                        if (index >= item->rows.size()) continue;
                        bool selected = static_cast<int>(index) == item->curSel;
                        PutText(in.row + r, in.col, item->rows[index], in.cols, dim | (selected ? A_REVERSE : A_NORMAL));
                    }
                    if (Boxed(c) && item->topRow > 0) PutText(c.row, c.col + c.cols - 2, "^", 1, dim);
                    if (Boxed(c) && item->topRow + in.rows < static_cast<int>(item->rows.size()))
                        PutText(c.row + c.rows - 1, c.col + c.cols - 2, "v", 1, dim);
                    break;
                }
                case DLG_CLASS_COMBOBOX: {
                    int width = std::max(1, c.cols - 3);
                    Fill(c.row, c.col, width, dim | A_UNDERLINE);
                    PutText(c.row, c.col, text, width, dim | A_UNDERLINE | focus);
                    PutText(c.row, c.col + width, "[v]", 3, dim);
                    if (item == focused) {
                        cursorRow = c.row;
                        cursorCol = c.col + static_cast<int>(std::min<size_t>(item->selEnd, static_cast<size_t>(width - 1)));
                    }
                    break;
                }
                case DLG_CLASS_EDIT: {
                    if (item->style & ES_MULTILINE) {
                        if (Boxed(c)) DrawBox(c, dim | (item == focused ? A_BOLD : A_NORMAL));
                        CCells in = Inner(c);
                        auto lines = WrappedLines(item->text, in.cols);
                        item->topRow = std::clamp(item->topRow, 0, std::max(0, static_cast<int>(lines.size()) - in.rows));
                        for (int r = 0; r < in.rows; ++r) {
                            size_t index = static_cast<size_t>(item->topRow + r);
                            if (index < lines.size()) PutText(in.row + r, in.col, lines[index], in.cols, dim);
                        }
                    } else {
                        int row = LineRow(c);
                        size_t caret = std::min(item->selEnd, item->text.size());
                        size_t first = caret >= static_cast<size_t>(c.cols) ? caret - static_cast<size_t>(c.cols) + 1 : 0;
                        Fill(row, c.col, c.cols, dim | A_UNDERLINE);
                        PutText(row, c.col, item->text.substr(first), c.cols, dim | A_UNDERLINE);
                        if (item == focused) {
                            if (item->selStart != item->selEnd && item->selStart >= first)
                                PutText(row, c.col + static_cast<int>(item->selStart - first),
                                        item->text.substr(item->selStart, item->selEnd - item->selStart),
                                        c.cols - static_cast<int>(item->selStart - first), A_REVERSE);
                            cursorRow = row;
                            cursorCol = c.col + static_cast<int>(caret - first);
                        }
                    }
                    break;
                }
            }
        }
        RunOn(overflow, frame.col + frame.cols - 1);
        // The open list of a combo lies over everything else.
        if (view && view->dropped) {
            if (CDlgWindowState* combo = dialog->FindItem(view->dropped)) {
                CCells box = DropDownCells(layout, *combo);
                CCells in = Inner(box);
                ScrollToSelection(*combo, in.rows);
                for (int r = 0; r < box.rows; ++r) Fill(box.row + r, box.col, box.cols);
                DrawBox(box);
                for (int r = 0; r < in.rows; ++r) {
                    size_t index = static_cast<size_t>(combo->topRow + r);
                    if (index < combo->rows.size())
                        PutText(in.row + r, in.col, combo->rows[index], in.cols,
                                static_cast<int>(index) == combo->curSel ? A_REVERSE : A_NORMAL);
                }
                cursorRow = -1;
            }
        }
        if (top && frame.row + frame.rows < LINES)
            PutText(LINES - 1, 0, "Tab: next  Enter: default  Space: press  Esc: cancel  Alt+Space: menu", COLS - 1, A_DIM);
    }
    if (cursorRow >= 0) {
        curs_set(1);
        move(cursorRow, cursorCol);
    }
    refresh();
}
