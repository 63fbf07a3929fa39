#include "dlg/terminal.h"

#include "dlg/layout.h"
#include "os/signals.h"
#include "os/window.h"

#include <curses.h>
#include <langinfo.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

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

bool g_utf8 = false;  // the locale's characters are UTF-8: draw with the terminal's own line characters
bool g_dims = true;   // the terminal can dim disabled controls; else their brackets say so

// The brackets of a control's mark: braces for a disabled one where dimming does not show.
std::string Bracketed(const std::string& inner, bool enabled, char open, char close) {
    if (!enabled && !g_dims) open = '{', close = '}';
    return open + inner + close;
}

// The marks of texts cut at the end or scrolled at the start.
const char* CutMark() { return g_utf8 ? "\u2026" : ">"; }
const char* LeadMark() { return g_utf8 ? "\u2026" : "<"; }

int Width(const std::string& text) { return DlgTextWidth(text); }

void PutText(int row, int col, const std::string& text, int width, attr_t attr = A_NORMAL) {
    if (width <= 0 || row < 0 || row >= LINES || col < 0 || col >= COLS) return;
    std::string shown = DlgFitText(DlgPrintable(text), std::min(width, COLS - col));
    attron(attr);
    mvaddstr(row, col, shown.c_str());
    attroff(attr);
}

// A text in width cells; a text longer than that ends with the cut mark.
void PutCut(int row, int col, const std::string& text, int width, attr_t attr = A_NORMAL) {
    if (width <= 0) return;
    if (Width(text) <= width) return PutText(row, col, text, width, attr);
    PutText(row, col, DlgFitText(text, width - 1) + CutMark(), width, attr);
}

// A row in width cells. A longer one whose last part (after ", " or two
// blanks, as in "..., Port 2" or "...  4 Ports") is short loses its middle
// instead of that part, so the port stays readable beside the start.
void PutMiddleCut(int row, int col, const std::string& text, int width, attr_t attr = A_NORMAL) {
    const std::string shown = DlgPrintable(text);
    size_t comma = shown.rfind(", "), blanks = shown.rfind("  ");
    size_t cut = comma == std::string::npos ? blanks : blanks == std::string::npos ? comma : std::max(comma, blanks);
    std::string tail = cut == std::string::npos ? std::string() : shown.substr(cut + 2);
    if (Width(shown) <= width || tail.empty() || Width(tail) > width / 3) return PutCut(row, col, shown, width, attr);
    PutText(row, col, DlgFitText(shown, width - 1 - Width(tail)) + CutMark() + tail, width, attr);
}

void Fill(int row, int col, int width, attr_t attr = A_NORMAL) {
    if (width > 0) PutText(row, col, std::string(static_cast<size_t>(width), ' '), width, attr);
}

// A frame; a focused control's frame is drawn with double lines (reversed
// where the terminal has no such characters), so focus shows without colour.
void DrawBox(const CDlgCells& c, attr_t attr = A_NORMAL, bool focused = false) {
    if (c.rows < 2 || c.cols < 2) return;
    int bottom = c.row + c.rows - 1, right = c.col + c.cols - 1;
    if (g_utf8) {
        attron(attr);
        mvhline_set(c.row, c.col + 1, focused ? WACS_D_HLINE : WACS_HLINE, c.cols - 2);
        mvhline_set(bottom, c.col + 1, focused ? WACS_D_HLINE : WACS_HLINE, c.cols - 2);
        mvvline_set(c.row + 1, c.col, focused ? WACS_D_VLINE : WACS_VLINE, c.rows - 2);
        mvvline_set(c.row + 1, right, focused ? WACS_D_VLINE : WACS_VLINE, c.rows - 2);
        mvadd_wch(c.row, c.col, focused ? WACS_D_ULCORNER : WACS_ULCORNER);
        mvadd_wch(c.row, right, focused ? WACS_D_URCORNER : WACS_URCORNER);
        mvadd_wch(bottom, c.col, focused ? WACS_D_LLCORNER : WACS_LLCORNER);
        mvadd_wch(bottom, right, focused ? WACS_D_LRCORNER : WACS_LRCORNER);
        attroff(attr);
        return;
    }
    attron(attr | (focused ? A_REVERSE : A_NORMAL));
    mvhline(c.row, c.col + 1, ACS_HLINE, c.cols - 2);
    mvhline(bottom, c.col + 1, ACS_HLINE, c.cols - 2);
    mvvline(c.row + 1, c.col, ACS_VLINE, c.rows - 2);
    mvvline(c.row + 1, right, ACS_VLINE, c.rows - 2);
    mvaddch(c.row, c.col, ACS_ULCORNER);
    mvaddch(c.row, right, ACS_URCORNER);
    mvaddch(bottom, c.col, ACS_LLCORNER);
    mvaddch(bottom, right, ACS_LRCORNER);
    attroff(attr | (focused ? A_REVERSE : A_NORMAL));
}

void HorizontalLine(int row, int col, int width) {
    if (width <= 0) return;
    if (g_utf8) mvhline_set(row, col, WACS_HLINE, width);
    else mvhline(row, col, ACS_HLINE, width);
}

// Marks on a box's right edge that more lies above or below what it shows.
void ScrollMarks(const CDlgCells& box, bool above, bool below, attr_t attr) {
    if (box.rows < 3 || box.cols < 4) return;
    if (above) PutText(box.row, box.col + box.cols - 2, g_utf8 ? "\u25b2" : "^", 1, attr);
    if (below) PutText(box.row + box.rows - 1, box.col + box.cols - 2, g_utf8 ? "\u25bc" : "v", 1, attr);
}

bool Boxed(const CDlgCells& c) { return c.rows >= 3 && c.cols >= 4; }

// The rows of a list or multi-line edit inside its border.
CDlgCells Inner(const CDlgCells& c) {
    if (!Boxed(c)) return c;
    return {c.row + 1, c.col + 1, c.rows - 2, c.cols - 2};
}

// A dialog on the screen now, and the cells of one of its controls.
struct CPlaced {
    CDlgLayout layout;
    CDialog* dialog;
    explicit CPlaced(CDialog& d) : layout(DlgLayOutAboveHint(d, COLS, LINES)), dialog(&d) {}
    CDlgCells Of(const CDlgWindowState& item) const {
        auto& items = dialog->Items();
        for (size_t i = 0; i < items.size() && i < layout.items.size(); ++i)
            if (items[i].get() == &item) return layout.items[i];
        return {};
    }
};

// The hint line goes on the last row when no dialog shown reaches it.
bool HintShown() {
    for (CDialog* dialog : DlgModalStack()) {
        if (!dialog->IsShown() || !dialog->Template()) continue;
        const CDlgCells frame = CPlaced(*dialog).layout.frame;
        if (frame.row + frame.rows >= LINES) return false;
    }
    return true;
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

// The open list of a combo: under its edit field (over it when there is more
// room there), as wide as its longest entry, as many rows as the entries and
// the screen have, never under the hint line.
CDlgCells DropDownCells(const CPlaced& placed, const CDlgWindowState& item) {
    CDlgCells field = placed.Of(item);
    int widest = 0;
    for (const auto& row : item.rows) widest = std::max(widest, Width(row));
    CDlgCells list;
    list.cols = std::min(std::max(field.cols, widest + 2), COLS);
    list.col = std::clamp(field.col, 0, std::max(0, COLS - list.cols));
    int count = std::max(1, static_cast<int>(item.rows.size()));
    int bottom = HintShown() ? LINES - 1 : LINES;
    int below = bottom - (field.row + 1) - 2, above = field.row - 2;
    if (below >= std::min(count, 3) || below >= above) {
        list.rows = std::clamp(count, 1, std::max(1, below)) + 2;
        list.row = field.row + 1;
    } else {
        list.rows = std::clamp(count, 1, std::max(1, above)) + 2;
        list.row = field.row - list.rows;
    }
    return list;
}

std::string Base64(const std::string& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

bool IsEdit(const CDlgWindowState* item) { return item && item->cls == DLG_CLASS_EDIT; }
bool HasEditField(const CDlgWindowState* item) { return IsEdit(item) || (item && item->cls == DLG_CLASS_COMBOBOX); }

}  // namespace

// The layout of a shown dialog, from its controls' live texts and entries.
CDlgLayout DlgLayOut(CDialog& dialog, int cols, int lines) {
    std::vector<CDlgLayoutItem> items;
    for (const auto& state : dialog.Items()) {
        CDlgLayoutItem item{state->id, state->cls, state->style, state->rect, state->text, 0};
        if (state->cls == DLG_CLASS_COMBOBOX)
            for (const auto& row : state->rows) item.widestRow = std::max(item.widestRow, DlgTextWidth(row));
        items.push_back(std::move(item));
    }
    return DlgLayOut(*dialog.Template(), items, cols, lines);
}

CDlgLayout DlgLayOutAboveHint(CDialog& dialog, int cols, int lines) {
    CDlgLayout layout = DlgLayOut(dialog, cols, lines - 1);
    return layout.fits ? layout : DlgLayOut(dialog, cols, lines);
}

// What the surface knows of a dialog it shows: the focus and the open combo.
struct CTerminalSurface::CView {
    CDialog* dialog = nullptr;
    int focus = 0;
    int dropped = 0;            // id of the combo whose list is open, 0 for none
    bool dropScrolled = false;  // the wheel moved the open list away from its selection
    bool focusSet = false;
    std::map<int, int> shifted;  // first column shown of each list scrolled sideways

    CDlgWindowState* Focused() const { return focusSet ? dialog->FindItem(focus) : nullptr; }
};

CTerminalSurface::CTerminalSurface() {
    std::fflush(stdout);
    // Wide-character curses draws with the locale's characters; a program
    // that left the locale at "C" gets the user's one for the terminal's sake.
    const char* locale = std::setlocale(LC_CTYPE, nullptr);
    m_oldLocale = locale ? locale : "C";
    if (m_oldLocale == "C" || m_oldLocale == "POSIX") std::setlocale(LC_CTYPE, "");
    g_utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
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
    g_dims = (termattrs() & A_DIM) != 0;
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
    std::setlocale(LC_CTYPE, m_oldLocale.c_str());
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
        int i = start < 0 ? (forward ? step - 1 : count - step)
                          : ((start + (forward ? step : -step)) % count + count) % count;
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
    CPlaced placed(*view.dialog);
    int page = item->cls == DLG_CLASS_LISTBOX ? Inner(placed.Of(*item)).rows : DropDownCells(placed, *item).rows - 2;
    page = std::max(1, page - 1);
    int row = item->curSel;
    switch (key) {
    case KEY_UP:
    case KEY_LEFT: row = row < 0 ? 0 : row - 1; break;
    case KEY_DOWN:
    case KEY_RIGHT: row = row < 0 ? 0 : row + 1; break;
    case KEY_PPAGE: row = row < 0 ? 0 : row - page; break;
    case KEY_NPAGE: row = row < 0 ? 0 : row + page; break;
    case KEY_HOME: row = 0; break;
    case KEY_END: row = count - 1; break;
    default: return;
    }
    row = std::clamp(row, 0, count - 1);
    view.dropScrolled = false;
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
    view.dropScrolled = false;
}

// The wheel over an open drop-down scrolls its rows, leaving the choice as it is.
bool CTerminalSurface::ScrollDropDown(CView& view, int y, int x, int step) {
    CDlgWindowState* combo = view.dropped ? view.dialog->FindItem(view.dropped) : nullptr;
    if (!combo) return false;
    CDlgCells box = DropDownCells(CPlaced(*view.dialog), *combo);
    if (!box.Contains(y, x)) return false;
    int most = std::max(0, static_cast<int>(combo->rows.size()) - Inner(box).rows);
    combo->topRow = std::clamp(combo->topRow + step, 0, most);
    view.dropScrolled = true;
    return true;
}

// Alt+C: the status window's text to the clipboard of the terminal (OSC 52),
// where its type says it takes one.
void CTerminalSurface::CopyStatus(CDialog& dialog) {
    std::optional<std::string> text = DlgStatusText(dialog);
    if (!text) return (void)beep();
    const char* setClipboard = tigetstr("Ms");
    const char* term = std::getenv("TERM");
    std::string type = term ? term : "";
    bool known = setClipboard && setClipboard != reinterpret_cast<const char*>(-1);
    if (!known && type.rfind("xterm", 0) != 0 && type.rfind("tmux", 0) != 0 && type.rfind("screen", 0) != 0) {
        m_notice = "This terminal takes no copied text; Shift and the mouse select it in most terminals";
        return;
    }
    std::string encoded = Base64(*text);
    const char* filled = known ? tiparm(setClipboard, "c", encoded.c_str()) : nullptr;
    std::string sequence = filled ? filled : "\033]52;c;" + encoded + "\a";
    refresh();
    std::fputs(sequence.c_str(), stdout);
    std::fflush(stdout);
    m_notice = "Status window copied";
}

// The rest of an escape sequence curses does not know (a key of another
// terminal type): read to its final byte and dropped, never typed.
void CTerminalSurface::SkipEscapeSequence() {
    timeout(25);
    for (int i = 0; i < 16; ++i) {
        int c = getch();
        if (c == ERR || (c >= 0x40 && c <= 0x7E)) return;
    }
}

void CTerminalSurface::HandleKey(CView& view, int key) {
    CDialog& dialog = *view.dialog;
    m_notice.clear();
    if (key == KEY_ESCAPE) {  // Escape alone, or Alt with the next key
        timeout(25);
        int next = getch();
        if (next == ' ') {
            if (unsigned command = RunSystemMenu(dialog)) DlgUserSysCommand(dialog, command);
            return;
        }
        if (next == 'c' || next == 'C') return CopyStatus(dialog);
        if (next == KEY_DOWN) key = KEY_ALT_DOWN;
        else if (next == KEY_UP) key = KEY_ALT_UP;
        else if (next == '[' || next == 'O') return SkipEscapeSequence();
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
    case KEY_ENTER:
    case '\r':
    case '\n':
        if (view.dropped) view.dropped = 0;
        else DlgUserEnter(dialog, item ? item->id : 0);
        return;
    case KEY_F(1): DlgUserAboutCommand(dialog); return;
    case KEY_ALT_DOWN:
    case KEY_ALT_UP:
    case KEY_F(4):
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
    bool selectionKey =
        key == KEY_UP || key == KEY_DOWN || key == KEY_PPAGE || key == KEY_NPAGE || key == KEY_HOME || key == KEY_END;
    if (item->cls == DLG_CLASS_LISTBOX) {
        // In a list with rows wider than itself, Left and Right scroll sideways.
        int inner = Inner(CPlaced(dialog).Of(*item)).cols, widest = 0;
        for (const auto& row : item->rows) widest = std::max(widest, Width(row));
        if ((key == KEY_LEFT || key == KEY_RIGHT) && widest > inner) {
            int& shift = view.shifted[item->id];
            int step = std::max(1, inner / 2);
            shift = std::clamp(shift + (key == KEY_RIGHT ? step : -step), 0, widest - inner + 1);
            return;
        }
        if (selectionKey || key == KEY_LEFT || key == KEY_RIGHT) MoveSelection(view, key);
        return;
    }
    if (item->cls == DLG_CLASS_COMBOBOX && selectionKey) {  // Left and Right move the caret
        MoveSelection(view, key);
        return;
    }
    // Edits and the edit field of a combo.
    if (key == KEY_BACKSPACE || key == 127 || key == 8) DlgUserTypeChar(dialog, item->id, '\b');
    else if (key == KEY_DC) DlgUserDeleteChar(dialog, item->id);
    else if (key == KEY_LEFT || key == KEY_RIGHT || key == KEY_HOME || key == KEY_END || key == KEY_UP ||
             key == KEY_DOWN)
        MoveCaret(*item, key);
    else if (key >= 32 && key < 127 && !DlgUserTypeChar(dialog, item->id, static_cast<char>(key)))
        beep();  // a numeric box refuses the character, or the box is read-only
}

void CTerminalSurface::HandleMouse(CView& view) {
    MEVENT event;
    if (getmouse(&event) != OK) return;
    CDialog& dialog = *view.dialog;
    CPlaced placed(dialog);
    if (event.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) {
        int step = (event.bstate & BUTTON4_PRESSED) ? -1 : 1;
        if (ScrollDropDown(view, event.y, event.x, step)) return;
        for (auto& item : dialog.Items()) {
            if (item->cls != DLG_CLASS_LISTBOX && !IsEdit(item.get())) continue;
            if (!placed.Of(*item).Contains(event.y, event.x)) continue;
            item->topRow = std::max(0, item->topRow + ((event.bstate & BUTTON4_PRESSED) ? -1 : 1));
        }
        return;
    }
    if (!(event.bstate & BUTTON1_PRESSED)) return;
    if (view.dropped) {
        CDlgWindowState* combo = dialog.FindItem(view.dropped);
        view.dropped = 0;
        if (combo) {
            CDlgCells list = Inner(DropDownCells(placed, *combo));
            if (list.Contains(event.y, event.x)) {
                DlgUserSelect(dialog, combo->id, combo->topRow + event.y - list.row);
                return;
            }
        }
    }
    const CDlgCells& frame = placed.layout.frame;
    if ((dialog.Template()->style & WS_SYSMENU) && event.y == frame.row && event.x >= frame.col + 1 &&
        event.x <= frame.col + 3) {
        if (unsigned command = RunSystemMenu(dialog)) DlgUserSysCommand(dialog, command);
        return;
    }
    for (auto& p : dialog.Items()) {
        CDlgWindowState& item = *p;
        if (!item.TakesFocus()) continue;
        CDlgCells cells = placed.Of(item);
        if (!cells.Contains(event.y, event.x)) continue;
        if (!item.enabled) return;
        view.focus = item.id;
        view.focusSet = true;
        switch (item.cls) {
        case DLG_CLASS_BUTTON: DlgUserClick(dialog, item.id); break;
        case DLG_CLASS_COMBOBOX: ToggleDropDown(view, item); break;
        case DLG_CLASS_LISTBOX: {
            CDlgCells inner = Inner(cells);
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
    for (const auto& item : items) width = std::max(width, Width(DlgShownText(item.text)));
    const CDlgCells frame = CPlaced(dialog).layout.frame;
    CDlgCells box{frame.row + 1, frame.col + 1, static_cast<int>(items.size()) + 2, width + 4};
    auto selectable = [&](int i) { return !(items[static_cast<size_t>(i)].flags & MF_SEPARATOR); };
    int current = 0;
    while (current < static_cast<int>(items.size()) && !selectable(current)) ++current;
    while (!dialog.IsEnded() && OSTerminationSignal() == 0) {
        Draw();
        for (int r = 0; r < box.rows; ++r) Fill(box.row + r, box.col, box.cols);
        DrawBox(box);
        for (int i = 0; i < static_cast<int>(items.size()); ++i) {
            int row = box.row + 1 + i;
            if (!selectable(i)) {
                HorizontalLine(row, box.col + 1, box.cols - 2);
                continue;
            }
            PutText(row, box.col + 1, " " + DlgShownText(items[static_cast<size_t>(i)].text), box.cols - 2,
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

namespace {

// Where the caret goes once everything is drawn; row -1 hides it.
struct CCursor {
    int row = -1;
    int col = -1;
};

// What drawing one control needs besides the control itself.
struct CControlDraw {
    CDlgWindowState& item;
    CDlgCells c;
    bool hasFocus;
    int defaultId;                // the button Enter presses
    std::map<int, int>* shifted;  // first column shown of lists scrolled sideways
    CCursor& cursor;

    attr_t Dim() const { return item.enabled ? A_NORMAL : A_DIM; }
    attr_t Focus() const { return hasFocus ? A_REVERSE : A_NORMAL; }
    std::string Text() const { return DlgShownText(item.text); }
};

void DrawStatic(CControlDraw& d) {
    const CDlgCells& c = d.c;
    if (c.rows > 1) {
        auto lines = DlgWrapText(d.Text(), c.cols);
        for (int r = 0; r < c.rows && r < static_cast<int>(lines.size()); ++r)
            PutCut(c.row + r, c.col, lines[static_cast<size_t>(r)], c.cols, d.Dim());
    } else {
        PutCut(c.row, c.col, d.Text(), c.cols, d.Dim());
    }
}

void DrawGroupBox(CControlDraw& d) {
    std::string text = d.Text();
    DrawBox(d.c, d.Dim());
    if (!text.empty()) PutCut(d.c.row, d.c.col + 1, " " + text + " ", d.c.cols - 2, d.Dim());
}

void DrawCheckOrRadio(CControlDraw& d) {
    const CDlgCells& c = d.c;
    bool check = (d.item.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    std::string mark =
        Bracketed(d.item.check ? (check ? "X" : "*") : " ", d.item.enabled, check ? '[' : '(', check ? ']' : ')');
    PutText(c.row, c.col, mark, c.cols, d.Dim() | d.Focus());
    PutCut(c.row, c.col + 4, d.Text(), c.cols - 4, d.Dim() | d.Focus());
}

// The button Enter presses shows the ring: the focused one, else the default.
void DrawPushButton(CControlDraw& d) {
    const CDlgCells& c = d.c;
    bool isDefault = d.item.id == d.defaultId;
    std::string label = Bracketed(d.Text(), d.item.enabled, isDefault ? '<' : '[', isDefault ? '>' : ']');
    int col = c.col + std::max(0, (c.cols - Width(label)) / 2);
    PutCut(c.row, col, label, c.cols, d.Dim() | d.Focus() | (isDefault ? A_BOLD : A_NORMAL));
}

// The first column a list shows: where it was scrolled sideways, kept within
// its rows (they may have changed since the scroll).
int ListShift(CControlDraw& d, int cols) {
    if (!d.shifted || !d.shifted->count(d.item.id)) return 0;
    int widest = 0;
    for (const auto& row : d.item.rows) widest = std::max(widest, Width(row));
    int most = widest > cols ? widest - cols + 1 : 0;
    int& shift = (*d.shifted)[d.item.id];
    return shift = std::clamp(shift, 0, most);
}

void DrawListBox(CControlDraw& d) {
    CDlgWindowState& item = d.item;
    const CDlgCells& c = d.c;
    if (Boxed(c)) DrawBox(c, d.Dim(), d.hasFocus);
    CDlgCells in = Inner(c);
    ScrollToSelection(item, in.rows);
    int shift = ListShift(d, in.cols);
    for (int r = 0; r < in.rows; ++r) {
        size_t index = static_cast<size_t>(item.topRow + r);
        if (index >= item.rows.size()) continue;
        bool selected = static_cast<int>(index) == item.curSel;
        attr_t attr = d.Dim() | (selected ? A_REVERSE : A_NORMAL);
        const std::string& row = item.rows[index];
        if (selected) Fill(in.row + r, in.col, in.cols, attr);
        if (shift > 0 && Width(row) > 0) {
            std::string rest = row.substr(std::min(row.size(), DlgFitText(row, shift).size()));
            PutText(in.row + r, in.col, LeadMark(), 1, attr);
            PutCut(in.row + r, in.col + 1, rest, in.cols - 1, attr);
        } else {
            PutMiddleCut(in.row + r, in.col, row, in.cols, attr);
        }
    }
    if (Boxed(c)) ScrollMarks(c, item.topRow > 0, item.topRow + in.rows < static_cast<int>(item.rows.size()), d.Dim());
}

void DrawComboBox(CControlDraw& d) {
    const CDlgCells& c = d.c;
    attr_t field = d.Dim() | A_UNDERLINE | d.Focus();
    int width = std::max(1, c.cols - 3);
    Fill(c.row, c.col, width, field);
    PutCut(c.row, c.col, d.Text(), width, field);
    PutText(c.row, c.col + width, Bracketed("v", d.item.enabled, '[', ']'), 3, d.Dim());
    if (d.hasFocus) {
        d.cursor.row = c.row;
        d.cursor.col = c.col + static_cast<int>(std::min<size_t>(d.item.selEnd, static_cast<size_t>(width - 1)));
    }
}

// A multi-line edit: the status windows and reports.
void DrawStatusWindow(CControlDraw& d) {
    CDlgWindowState& item = d.item;
    const CDlgCells& c = d.c;
    if (Boxed(c)) DrawBox(c, d.Dim(), d.hasFocus);
    CDlgCells in = Inner(c);
    auto lines = DlgWrapText(item.text, in.cols);
    if (lines.size() == 1 && lines[0].empty()) lines.clear();
    int count = static_cast<int>(lines.size());
    item.topRow = std::clamp(item.topRow, 0, std::max(0, count - in.rows));
    for (int r = 0; r < in.rows; ++r) {
        size_t index = static_cast<size_t>(item.topRow + r);
        if (index < lines.size()) PutText(in.row + r, in.col, lines[index], in.cols, d.Dim());
    }
    if (Boxed(c)) ScrollMarks(c, item.topRow > 0, item.topRow + in.rows < count, d.Dim());
}

// A one-line edit: a text longer than its box scrolls with the caret; marks
// at the ends show what lies outside.
void DrawEditField(CControlDraw& d) {
    const CDlgWindowState& item = d.item;
    const CDlgCells& c = d.c;
    const attr_t field = d.Dim() | A_UNDERLINE;
    size_t caret = std::min(item.selEnd, item.text.size());
    size_t first = caret >= static_cast<size_t>(c.cols) ? caret - static_cast<size_t>(c.cols) + 1 : 0;
    Fill(c.row, c.col, c.cols, field);
    PutText(c.row, c.col, item.text.substr(first), c.cols, field);
    if (d.hasFocus && item.selStart != item.selEnd && item.selStart >= first)
        PutText(c.row, c.col + static_cast<int>(item.selStart - first),
                item.text.substr(item.selStart, item.selEnd - item.selStart),
                c.cols - static_cast<int>(item.selStart - first), A_REVERSE);
    if (first > 0) PutText(c.row, c.col, LeadMark(), 1, field);
    if (item.text.size() - first > static_cast<size_t>(c.cols)) PutText(c.row, c.col + c.cols - 1, CutMark(), 1, field);
    if (d.hasFocus) {
        d.cursor.row = c.row;
        d.cursor.col = c.col + static_cast<int>(caret - first);
    }
}

void DrawNothing(CControlDraw&) {}

// Each kind of control draws itself.
using FDrawControl = void (*)(CControlDraw&);

FDrawControl DrawerOf(const CDlgWindowState& item) {
    switch (item.cls) {
    case DLG_CLASS_STATIC: return DrawStatic;
    case DLG_CLASS_BUTTON:
        switch (item.style & BS_TYPEMASK) {
        case BS_GROUPBOX: return DrawGroupBox;
        case BS_AUTOCHECKBOX:
        case BS_AUTORADIOBUTTON: return DrawCheckOrRadio;
        default: return DrawPushButton;
        }
    case DLG_CLASS_LISTBOX: return DrawListBox;
    case DLG_CLASS_COMBOBOX: return DrawComboBox;
    case DLG_CLASS_EDIT: return (item.style & ES_MULTILINE) ? DrawStatusWindow : DrawEditField;
    }
    return DrawNothing;
}

// The frame, its caption and the system menu's mark.
void DrawFrame(const CDialog& dialog, const CDlgCells& frame, bool top) {
    for (int r = 0; r < frame.rows; ++r) Fill(frame.row + r, frame.col, frame.cols);
    DrawBox(frame, top ? A_BOLD : A_NORMAL);
    bool sysMenu = dialog.Template()->style & WS_SYSMENU;
    std::string caption = " " + dialog.Caption() + " ";
    int captionRoom = frame.cols - 2 - (sysMenu ? 4 : 0);
    int captionCol = frame.col + 1 + (sysMenu ? 4 : 0) + std::max(0, (captionRoom - Width(caption)) / 2);
    PutCut(frame.row, captionCol, caption, captionRoom, top ? A_BOLD : A_NORMAL);
    if (sysMenu) PutText(frame.row, frame.col + 1, "[-]", 3);
}

// The open list of a combo.
void DrawDropDown(const CPlaced& placed, CDlgWindowState& combo, bool scrolled) {
    CDlgCells box = DropDownCells(placed, combo);
    CDlgCells in = Inner(box);
    if (!scrolled) ScrollToSelection(combo, in.rows);
    for (int r = 0; r < box.rows; ++r) Fill(box.row + r, box.col, box.cols);
    DrawBox(box);
    for (int r = 0; r < in.rows; ++r) {
        size_t index = static_cast<size_t>(combo.topRow + r);
        if (index < combo.rows.size())
            PutCut(in.row + r, in.col, combo.rows[index], in.cols,
                   static_cast<int>(index) == combo.curSel ? A_REVERSE : A_NORMAL);
    }
    ScrollMarks(box, combo.topRow > 0, combo.topRow + in.rows < static_cast<int>(combo.rows.size()), A_NORMAL);
}

}  // namespace

void CTerminalSurface::Draw() {
    erase();
    curs_set(0);
    CCursor cursor;
    for (CDialog* dialog : DlgModalStack()) {
        if (!dialog->IsShown() || !dialog->Template()) continue;
        CView* view = ViewOf(dialog);
        bool top = dialog == DlgModalStack().back();
        CPlaced placed(*dialog);
        DrawFrame(*dialog, placed.layout.frame, top);
        CDlgWindowState* focused = view && top ? view->Focused() : nullptr;
        const int defaultId = DlgDefaultButton(*dialog, focused ? focused->id : 0);
        for (auto& p : dialog->Items()) {
            CControlDraw draw{*p,    placed.Of(*p), p.get() == focused, defaultId, view ? &view->shifted : nullptr,
                              cursor};
            DrawerOf (*p)(draw);
        }
        // The open list of a combo lies over everything else.
        if (view && view->dropped) {
            if (CDlgWindowState* combo = dialog->FindItem(view->dropped)) {
                DrawDropDown(placed, *combo, view->dropScrolled);
                cursor.row = -1;
            }
        }
        if (top && HintShown())
            PutText(LINES - 1, 0,
                    m_notice.empty() ? "Tab next  Enter default  Space press  Esc cancel  Alt+Space menu  Alt+C copy"
                                     : m_notice,
                    COLS - 1, A_DIM);
    }
    if (cursor.row >= 0) {
        curs_set(1);
        move(cursor.row, cursor.col);
    }
    refresh();
}
