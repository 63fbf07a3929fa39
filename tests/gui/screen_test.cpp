// Every dialog and both kinds of message box drawn by the terminal surface in
// tmux at 80x24, 100x30, 120x40 and 200x60, checked from the screen: each
// template text whole where the layout put it, every frame unbroken, the
// status windows' descriptor dump whole from 100x30 up; the 80x24 screens
// against the reviewed copies in screens/ (VOLTARIS_UPDATE_SCREENS=1 writes
// them anew).
#include "dlg/layout.h"
#include "dlg/resources.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kDialogs[] = {"about", "main", "device", "hub", "host", "ss", "message", "question"};

struct CPlacedItem {
    int id = 0;
    int cls = 0;
    uint32_t style = 0;
    CDlgCells cells;
    std::string text;
};

struct CRendered {
    std::vector<std::u32string> rows;  // the screen, one code point a cell
    std::string text;                  // the screen as captured
    std::string escapes;               // the screen with its attributes
    CDlgCells frame;
    std::string caption;
    std::vector<CPlacedItem> items;
};

std::u32string Decode(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < n && i + static_cast<size_t>(k) < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
        out += cp;
        i += static_cast<size_t>(n);
    }
    return out;
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

class CScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
        m_dir = fs::temp_directory_path() / ("dlg-screen-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        m_base = m_socket = "dlg-screen-" + std::to_string(getpid());
        // The tmux server outlives a test that is killed; it must not keep
        // what the test was handed (a test run's build lock, say).
        for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
            int fd = std::atoi(entry.path().filename().c_str());
            if (fd > 2) fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    void TearDown() override {
        for (int i = 0; i <= m_renders; ++i)  // a server that was still starting when told to go
            Shell("tmux -L " + m_base + (i ? "-" + std::to_string(i) : "") + " kill-server 2>/dev/null");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Shows a dialog in a fresh tmux window of that size and reads it back
    // once the screen has settled.
    CRendered Render(const std::string& name, int cols, int lines, const std::string& locale = "C.UTF-8") {
        // A server of its own each time: a new session on a socket whose
        // server is still shutting down fails.
        Shell("tmux -L " + m_socket + " kill-server 2>/dev/null");
        m_socket = m_base + "-" + std::to_string(++m_renders);
        fs::path layout = m_dir / (name + ".layout");
        fs::remove(layout);
        std::string command = "tmux -L " + m_socket + " -f /dev/null new-session -d -s s -x " + std::to_string(cols) +
            " -y " + std::to_string(lines) + " \"env LC_ALL=" + locale + " '" + DLG_SCREEN_BINARY + "' " + name + " '" +
            layout.string() + "'; sleep 60\"";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        CRendered screen;
        std::string capture = "tmux -L " + m_socket + " capture-pane -p -t s";
        for (int i = 0; i < 200 && !fs::exists(layout); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        std::string previous;
        for (int i = 0; i < 40; ++i) {  // the same screen twice in a row
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            screen.text = Shell(capture);
            if (screen.text == previous && !screen.text.empty()) break;
            previous = screen.text;
        }
        screen.escapes = Shell("tmux -L " + m_socket + " capture-pane -e -p -t s");
        std::istringstream rows(screen.text);
        for (std::string row; std::getline(rows, row);) {
            std::u32string cells = Decode(row);
            cells.resize(static_cast<size_t>(cols), U' ');
            screen.rows.push_back(cells);
        }
        screen.rows.resize(static_cast<size_t>(lines), std::u32string(static_cast<size_t>(cols), U' '));
        std::ifstream in(layout);
        for (std::string line; std::getline(in, line);) {
            std::string head = line.substr(0, line.find('\t'));
            std::string text = line.find('\t') == std::string::npos ? "" : Unescape(line.substr(line.find('\t') + 1));
            std::istringstream fields(head);
            std::string kind;
            fields >> kind;
            if (kind == "frame") {
                fields >> screen.frame.row >> screen.frame.col >> screen.frame.rows >> screen.frame.cols;
                screen.caption = text;
            } else {
                CPlacedItem item;
                fields >> item.id >> item.cls >> item.style >> item.cells.row >> item.cells.col >> item.cells.rows >>
                    item.cells.cols;
                item.text = text;
                screen.items.push_back(item);
            }
        }
        EXPECT_FALSE(screen.items.empty()) << name << ": no layout written";
        return screen;
    }

    // Sends keys to the dialog shown last and reads the screen again.
    CRendered Keys(const CRendered& shown, const std::string& keys) {
        Shell("tmux -L " + m_socket + " send-keys -t s " + keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        CRendered screen = shown;
        screen.text = Shell("tmux -L " + m_socket + " capture-pane -p -t s");
        screen.rows.clear();
        std::istringstream rows(screen.text);
        size_t width = shown.rows.empty() ? 0 : shown.rows[0].size();
        for (std::string row; std::getline(rows, row);) {
            std::u32string cells = Decode(row);
            cells.resize(width, U' ');
            screen.rows.push_back(cells);
        }
        screen.rows.resize(shown.rows.size(), std::u32string(width, U' '));
        return screen;
    }

    fs::path m_dir;
    std::string m_base;
    std::string m_socket;
    int m_renders = 0;
};

char32_t At(const CRendered& s, int row, int col) {
    if (row < 0 || col < 0 || row >= static_cast<int>(s.rows.size())) return 0;
    const auto& r = s.rows[static_cast<size_t>(row)];
    return col < static_cast<int>(r.size()) ? r[static_cast<size_t>(col)] : 0;
}

std::u32string Cells(const CRendered& s, int row, int col, int count) {
    std::u32string out;
    for (int i = 0; i < count; ++i) out += At(s, row, col + i);
    return out;
}

bool TextAt(const CRendered& s, int row, int col, const std::string& text) {
    std::u32string want = Decode(text);
    return Cells(s, row, col, static_cast<int>(want.size())) == want;
}

// Whether the text lies whole on a row between two columns.
bool TextWithin(const CRendered& s, int row, int col, int cols, const std::string& text) {
    std::u32string want = Decode(text), have = Cells(s, row, col, cols);
    return have.find(want) != std::u32string::npos;
}

// Outside a UTF-8 locale frames come in the terminal's line drawing set,
// which capture-pane gives as the set's letters.
bool g_lineSet = false;

bool Horizontal(char32_t c) { return c == U'─' || c == U'═' || (g_lineSet && c == U'q'); }
bool Vertical(char32_t c) { return c == U'│' || c == U'║' || (g_lineSet && c == U'x'); }

// A frame is whole: its corners and every cell of its edges are line
// characters, but for the texts it carries: a caption on its top edge, scroll
// marks beside its right corners.
::testing::AssertionResult FrameWhole(const CRendered& s, const CDlgCells& c, int captionFrom, int captionTo,
                                      int menuTo = 0) {
    int bottom = c.row + c.rows - 1, right = c.col + c.cols - 1;
    auto is = [&](int row, int col, std::u32string allowed) {
        if (g_lineSet)
            allowed += allowed[0] == U'┌' ? U"l"
                : allowed[0] == U'┐'      ? U"k"
                : allowed[0] == U'└'      ? U"m"
                : allowed[0] == U'┘'      ? U"j"
                                          : U"";
        return allowed.find(At(s, row, col)) != std::u32string::npos;
    };
    if (!is(c.row, c.col, U"┌╔") || !is(c.row, right, U"┐╗") || !is(bottom, c.col, U"└╚") || !is(bottom, right, U"┘╝"))
        return ::testing::AssertionFailure()
            << "a corner of the frame at " << c.row << "," << c.col << " is overwritten";
    for (int col = c.col + 1; col < right; ++col) {
        bool mark = col == right - 1;
        if (!(col >= captionFrom && col < captionTo) && col >= menuTo && !Horizontal(At(s, c.row, col)) &&
            !(mark && is(c.row, col, U"▲^")))
            return ::testing::AssertionFailure() << "top edge overwritten at " << c.row << "," << col;
        if (!Horizontal(At(s, bottom, col)) && !(mark && is(bottom, col, U"▼v")))
            return ::testing::AssertionFailure() << "bottom edge overwritten at " << bottom << "," << col;
    }
    for (int row = c.row + 1; row < bottom; ++row)
        if (!Vertical(At(s, row, c.col)) || !Vertical(At(s, row, right)))
            return ::testing::AssertionFailure()
                << "side overwritten on row " << row << " of the frame at " << c.row << "," << c.col;
    return ::testing::AssertionSuccess();
}

std::string Words(const std::string& text) {
    std::istringstream in(text);
    std::string word, out;
    while (in >> word) out += (out.empty() ? "" : " ") + word;
    return out;
}

// Checks one screen; returns how many status windows hold more than they show.
int CheckScreen(const CRendered& s, const std::string& where, bool wholeStatus) {
    int scrolled = 0;
    SCOPED_TRACE(where);
    // The dialog's frame with its caption (and the system menu mark).
    std::string caption = " " + s.caption + " ";
    int captionCol = -1;
    std::u32string top = Cells(s, s.frame.row, s.frame.col, s.frame.cols);
    size_t found = top.find(Decode(caption));
    EXPECT_NE(found, std::u32string::npos) << "caption \"" << s.caption << "\" is not whole";
    if (found != std::u32string::npos) captionCol = s.frame.col + static_cast<int>(found);
    int menuEnd = TextAt(s, s.frame.row, s.frame.col + 1, "[-]") ? s.frame.col + 4 : s.frame.col + 1;
    EXPECT_TRUE(FrameWhole(s, s.frame, captionCol, captionCol + static_cast<int>(Decode(caption).size()), menuEnd));
    if (menuEnd > s.frame.col + 1) {  // the system menu mark lies before the caption
        EXPECT_LT(menuEnd, captionCol);
    }
    for (const CPlacedItem& item : s.items) {
        const CDlgCells& c = item.cells;
        std::string text = DlgShownText(item.text);
        std::string name = std::to_string(item.id) + " \"" + text + "\"";
        uint32_t kind = item.style & BS_TYPEMASK;
        switch (item.cls) {
        case DLG_CLASS_STATIC: {
            auto lines = c.rows > 1 ? DlgWrapText(text, c.cols) : std::vector<std::string>{text};
            for (size_t i = 0; i < lines.size(); ++i)
                EXPECT_TRUE(TextAt(s, c.row + static_cast<int>(i), c.col, lines[i])) << name << " is not whole";
            break;
        }
        case DLG_CLASS_BUTTON:
            if (kind == BS_GROUPBOX) {
                EXPECT_TRUE(TextAt(s, c.row, c.col + 1, " " + text + " ")) << name << " caption is not whole";
                EXPECT_TRUE(FrameWhole(s, c, c.col + 1, c.col + 1 + static_cast<int>(Decode(text).size()) + 2)) << name;
            } else if (kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON) {
                EXPECT_TRUE(TextAt(s, c.row, c.col + 4, text)) << name << " is not whole";
            } else {
                std::string label =
                    (kind == BS_DEFPUSHBUTTON ? "<" : "[") + text + (kind == BS_DEFPUSHBUTTON ? ">" : "]");
                EXPECT_TRUE(TextWithin(s, c.row, c.col, c.cols, label)) << name << " is not whole";
            }
            break;
        case DLG_CLASS_LISTBOX: EXPECT_TRUE(FrameWhole(s, c, 0, 0)) << name; break;
        case DLG_CLASS_EDIT:
            if (item.style & ES_MULTILINE) {
                EXPECT_TRUE(FrameWhole(s, c, 0, 0)) << name;
                std::string shown;
                for (int r = 1; r < c.rows - 1; ++r) {
                    std::u32string row = Cells(s, c.row + r, c.col + 1, c.cols - 2);
                    for (char32_t ch : row) shown += ch < 0x80 ? static_cast<char>(ch) : '?';
                    shown += ' ';
                }
                if (wholeStatus) {
                    EXPECT_EQ(Words(shown), Words(item.text)) << "status window " << item.id;
                }
                // More lines than rows: a mark on the bottom edge says so.
                bool more = static_cast<int>(DlgWrapText(item.text, c.cols - 2).size()) > c.rows - 2;
                char32_t mark = At(s, c.row + c.rows - 1, c.col + c.cols - 2);
                EXPECT_EQ(mark == U'▼' || mark == U'v', more) << "scroll mark of status window " << item.id;
                scrolled += more;
            }
            break;
        default: break;
        }
    }
    return scrolled;
}

TEST_F(CScreenTest, EveryDialogShowsItsTextsWholeAndItsFramesUnbroken) {
    const std::pair<int, int> sizes[] = {{80, 24}, {100, 30}, {120, 40}, {200, 60}};
    for (const char* name : kDialogs) {
        for (auto [cols, lines] : sizes) {
            CRendered screen = Render(name, cols, lines);
            bool failedBefore = HasFailure();
            CheckScreen(screen, std::string(name) + " at " + std::to_string(cols) + "x" + std::to_string(lines),
                        cols >= 100 && lines >= 30);
            if (HasFailure() && !failedBefore) std::cout << screen.text;
        }
    }
}

TEST_F(CScreenTest, ScreensAt80x24AreTheReviewedOnes) {
    bool update = std::getenv("VOLTARIS_UPDATE_SCREENS") != nullptr;
    for (const char* name : kDialogs) {
        CRendered screen = Render(name, 80, 24);
        fs::path golden = fs::path(DLG_SCREENS_DIR) / (std::string(name) + ".txt");
        if (update) {
            std::ofstream(golden) << screen.text;
            continue;
        }
        std::ifstream in(golden);
        std::stringstream want;
        want << in.rdbuf();
        EXPECT_TRUE(screen.text == want.str()) << name << ": the screen differs from " << golden
                                               << " (VOLTARIS_UPDATE_SCREENS=1 rewrites it once the change is meant):\n"
                                               << screen.text;
    }
}

TEST_F(CScreenTest, AStatusWindowTooSmallForItsTextSaysThereIsMore) {
    CRendered screen = Render("ss", 80, 18);
    EXPECT_EQ(CheckScreen(screen, "ss at 80x18", false), 1) << screen.text;
}

TEST_F(CScreenTest, FocusShowsWithoutColour) {
    // The first control in tab order has the focus: reverse video on a
    // button; no colour is used anywhere.
    CRendered screen = Render("device", 80, 24);
    size_t at = screen.escapes.find("<EXECUTE>");
    ASSERT_NE(at, std::string::npos);
    size_t sgr = screen.escapes.rfind("\033[", at);
    ASSERT_NE(sgr, std::string::npos);
    std::string params = screen.escapes.substr(sgr + 2, screen.escapes.find('m', sgr) - sgr - 2);
    EXPECT_NE((";" + params + ";").find(";7;"), std::string::npos) << "attributes before <EXECUTE>: " << params;
    for (const char* colour : {"[3", ";3", "[4", ";4"})  // foreground and background colours 30-49
        for (size_t i = screen.escapes.find(colour); i != std::string::npos; i = screen.escapes.find(colour, i + 1))
            EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(screen.escapes[i + 2])) &&
                         screen.escapes[i + 2] != '8' && screen.escapes[i + 2] != '9')
                << "a colour at " << i;
}

TEST_F(CScreenTest, TheRingFollowsTheFocusAndComboKeysChooseWhileStrayEscapesAreDropped) {
    CRendered shown = Render("device", 80, 24);
    EXPECT_NE(shown.text.find("<EXECUTE>"), std::string::npos) << shown.text;
    // A focused push button is the one Enter presses: it alone has the ring.
    CRendered screen = Keys(shown, "Tab");
    EXPECT_NE(screen.text.find("<Return To Main>"), std::string::npos) << screen.text;
    EXPECT_NE(screen.text.find("[EXECUTE]"), std::string::npos) << screen.text;
    // On the closed command combo End and Home choose; an End of another
    // terminal type (ESC [ 4 ~) is dropped whole.
    screen = Keys(shown, "Tab End");
    EXPECT_NE(screen.text.find("SINGLE STEP GET DEV DESC"), std::string::npos) << screen.text;
    EXPECT_NE(screen.text.find("<EXECUTE>"), std::string::npos) << screen.text;
    screen = Keys(shown, "Home");
    EXPECT_EQ(screen.text.find("SINGLE STEP"), std::string::npos) << screen.text;
    screen = Keys(shown, "Escape [ 4 \\~");
    EXPECT_EQ(screen.text.find("4~"), std::string::npos) << screen.text;
}

// Finds the frame whose top left corner is at (row, col) on the screen.
CDlgCells FrameAt(const CRendered& s, int row, int col) {
    CDlgCells c{row, col, 1, 1};
    while (Horizontal(At(s, row, c.col + c.cols))) ++c.cols;
    ++c.cols;
    while (Vertical(At(s, c.row + c.rows, col))) ++c.rows;
    ++c.rows;
    return c;
}

TEST_F(CScreenTest, AnOpenComboListShowsEveryEntryWholeOnTheScreen) {
    // The device dialog's command combo (EXECUTE, Return To Main, the combo)
    // opens below its field; the hub dialog's downstream device command combo
    // (EXECUTE, Return To Main, two lists, Enumerate Bus, the combo) lies on
    // the bottom row and opens above it.
    const struct {
        const char* dialog;
        const char* keys;
        int comboId;
        bool below;
    } cases[] = {{"device", "Tab Tab F4", 1014, true}, {"hub", "Tab Tab Tab Tab Tab F4", 1058, false}};
    const char* entries[] = {"NONE", "TEST_J", "TEST_K", "TEST_SE0_NAK", "TEST_PACKET", "SINGLE STEP GET DEV DESC"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dialog);
        CRendered screen = Keys(Render(c.dialog, 80, 24), c.keys);
        const CPlacedItem* combo = nullptr;
        for (const CPlacedItem& item : screen.items)
            if (item.id == c.comboId) combo = &item;
        ASSERT_NE(combo, nullptr);
        int col = combo->cells.col, top = combo->cells.row + 1;
        if (!c.below) {
            while (top > 0 && At(screen, top, col) != U'┌') --top;
            EXPECT_LT(top + static_cast<int>(std::size(entries)) + 1, combo->cells.row + 1) << screen.text;
        }
        ASSERT_EQ(At(screen, top, col), U'┌') << screen.text;
        CDlgCells box = FrameAt(screen, top, col);
        EXPECT_TRUE(FrameWhole(screen, box, 0, 0)) << screen.text;
        bool hint = screen.text.find("Tab next") != std::string::npos;
        EXPECT_LE(box.row + box.rows, 24 - (hint ? 1 : 0));
        for (int i = 0; i < static_cast<int>(std::size(entries)); ++i)
            EXPECT_TRUE(TextAt(screen, box.row + 1 + i, box.col + 1, entries[i])) << entries[i] << "\n" << screen.text;
    }
}

TEST_F(CScreenTest, AFocusedListHasADoubleFrame) {
    CRendered shown = Render("device", 80, 24);
    const CPlacedItem* list = nullptr;
    for (const CPlacedItem& item : shown.items)
        if (item.cls == DLG_CLASS_LISTBOX) list = &item;
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(At(shown, list->cells.row, list->cells.col), U'┌');
    // EXECUTE, Return To Main, the command combo, the list (the sample's
    // Enumerate Bus is disabled).
    CRendered screen = Keys(shown, "Tab Tab Tab");
    EXPECT_EQ(At(screen, list->cells.row, list->cells.col), U'╔') << screen.text;
    EXPECT_EQ(At(screen, list->cells.row + list->cells.rows - 1, list->cells.col + list->cells.cols - 1), U'╝');
}

TEST_F(CScreenTest, AltCCopiesTheStatusWindowThroughTheTerminalsClipboard) {
    CRendered shown = Render("device", 80, 24);
    Shell("tmux -L " + m_socket + " set -s set-clipboard on");
    CRendered screen = Keys(shown, "M-c");
    EXPECT_NE(screen.text.find("Status window copied"), std::string::npos) << screen.text;
    std::string copied = Shell("tmux -L " + m_socket + " show-buffer");
    EXPECT_EQ(copied.rfind("Get Device Descriptor Raw Value: \n12 1 0 2", 0), 0u) << copied;
    EXPECT_EQ(copied.find('\r'), std::string::npos);
}

TEST_F(CScreenTest, ATerminalThatCannotDimMarksDisabledControlsWithBraces) {
    CRendered dims = Render("device", 80, 24);
    EXPECT_NE(dims.text.find("[Enumerate Bus]"), std::string::npos) << dims.text;
    CRendered vt100 = Render("device", 80, 24, "C.UTF-8 TERM=vt100");
    EXPECT_NE(vt100.text.find("{Enumerate Bus}"), std::string::npos) << vt100.text;
    EXPECT_NE(vt100.text.find("[Return To Main]"), std::string::npos) << vt100.text;
}

TEST_F(CScreenTest, WithoutUtf8TheFramesAreDrawnWithTheTerminalsLineSet) {
    CRendered screen = Render("hub", 80, 24, "C");
    g_lineSet = true;
    CheckScreen(screen, "hub at 80x24 in the C locale", false);
    g_lineSet = false;
    EXPECT_EQ(screen.text.find("\u2500"), std::string::npos) << "no UTF-8 line characters outside a UTF-8 locale";
}

}  // namespace
