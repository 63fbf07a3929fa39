// The terminal layout of every dialog template at the screen sizes people
// use: texts get their cells, nothing overlaps, the dialog grows with the
// screen.
#include "dlg/layout.h"
#include "gui/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const int kDialogs[] = {IDD_ABOUTBOX, IDD_VOLTARIS_DIALOG, IDD_DEVICE_TEST, IDD_HUB_TEST, IDD_HOST_TEST, IDD_SS_TEST};
const std::pair<int, int> kScreens[] = {{80, 24}, {100, 30}, {120, 40}, {200, 60}};

// Combos as the dialogs fill them: port numbers, the SuperSpeed test modes,
// else the command lists ("SINGLE STEP GET DEV DESC").
int WidestRow(const CDlgItemTemplate& item) {
    if (item.cls != DLG_CLASS_COMBOBOX) return 0;
    if (item.id == IDC_HUB_PORT_NUMBER || item.id == IDC_HOST_PORT_NUMBER || item.id == IDC_SS_PORT_NUMBER) return 3;
    return item.id == IDC_SS_TEST_MODE ? 18 : 24;
}

std::vector<CDlgLayoutItem> ItemsOf(const CDlgTemplate& t) {
    std::vector<CDlgLayoutItem> items;
    for (const auto& i : t.items) items.push_back({i.id, i.cls, i.style, i.rect, i.text ? i.text : "", WidestRow(i)});
    return items;
}

bool IsGroup(const CDlgLayoutItem& item) {
    return item.cls == DLG_CLASS_BUTTON && (item.style & BS_TYPEMASK) == BS_GROUPBOX;
}

// The cells a control's text takes as the terminal draws it.
int TextCells(const CDlgLayoutItem& item) {
    int text = DlgTextWidth(DlgShownText(item.text));
    if (item.cls == DLG_CLASS_STATIC) return text;
    if (item.cls != DLG_CLASS_BUTTON) return 0;
    switch (item.style & BS_TYPEMASK) {
    case BS_GROUPBOX: return text + 4;
    case BS_AUTOCHECKBOX:
    case BS_AUTORADIOBUTTON: return text + 4;
    default: return text + 2;
    }
}

std::string Name(const CDlgLayoutItem& item) { return std::to_string(item.id) + " \"" + item.text + "\""; }

class CLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { InstallDialogResources(); }
};

TEST_F(CLayoutTest, EveryDialogFitsWithTextsWholeAndNothingOverlapping) {
    for (int id : kDialogs) {
        const CDlgTemplate* t = DlgFindTemplate(id);
        ASSERT_NE(t, nullptr);
        auto items = ItemsOf(*t);
        for (auto [cols, lines] : kScreens) {
            SCOPED_TRACE(std::string(t->caption) + " at " + std::to_string(cols) + "x" + std::to_string(lines));
            CDlgLayout layout = DlgLayOut(*t, items, cols, lines);
            EXPECT_TRUE(layout.fits);
            const CDlgCells& frame = layout.frame;
            EXPECT_GE(frame.col, 0);
            EXPECT_GE(frame.row, 0);
            EXPECT_LE(frame.col + frame.cols, cols);
            EXPECT_LE(frame.row + frame.rows, lines);
            EXPECT_GE(frame.cols - 2, DlgTextWidth(t->caption) + 2) << "caption";
            CDlgCells client{frame.row + 1, frame.col + 1, frame.rows - 2, frame.cols - 2};
            for (size_t i = 0; i < items.size(); ++i) {
                const CDlgCells& a = layout.items[i];
                EXPECT_GE(a.cols, TextCells(items[i])) << Name(items[i]);
                // Combo fields show their longest entry whole from 100x30 up.
                if (cols >= 100) {
                    EXPECT_GE(a.cols, items[i].widestRow + 3) << Name(items[i]) << " cuts an entry";
                }
                EXPECT_TRUE(client.Contains(a.row, a.col) && client.Contains(a.row + a.rows - 1, a.col + a.cols - 1))
                    << Name(items[i]) << " leaves the dialog";
                if (items[i].cls == DLG_CLASS_LISTBOX || items[i].cls == DLG_CLASS_EDIT) {
                    bool box = items[i].cls == DLG_CLASS_LISTBOX || (items[i].style & ES_MULTILINE);
                    EXPECT_GE(a.rows, box ? 3 : 1) << Name(items[i]);
                }
                for (size_t j = i + 1; j < items.size(); ++j) {
                    const CDlgCells& b = layout.items[j];
                    bool gi = IsGroup(items[i]), gj = IsGroup(items[j]);
                    if (!gi && !gj) {
                        EXPECT_FALSE(a.Overlaps(b)) << Name(items[i]) << " and " << Name(items[j]);
                        continue;
                    }
                    // A control and a group box: inside its frame, or clear of it.
                    const CDlgCells& g = gi ? a : b;
                    const CDlgCells& c = gi ? b : a;
                    CDlgCells inner{g.row + 1, g.col + 1, g.rows - 2, g.cols - 2};
                    bool inside =
                        inner.Contains(c.row, c.col) && inner.Contains(c.row + c.rows - 1, c.col + c.cols - 1);
                    EXPECT_TRUE(inside || !g.Overlaps(c)) << Name(items[i]) << " and " << Name(items[j]);
                }
            }
        }
    }
}

TEST_F(CLayoutTest, ListsAndStatusWindowsGrowWithTheScreen) {
    for (int id : kDialogs) {
        const CDlgTemplate* t = DlgFindTemplate(id);
        auto items = ItemsOf(*t);
        CDlgLayout small = DlgLayOut(*t, items, 80, 24), large = DlgLayOut(*t, items, 200, 60);
        EXPECT_GE(large.frame.cols, small.frame.cols) << t->caption;
        EXPECT_GE(large.frame.rows, small.frame.rows) << t->caption;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].cls != DLG_CLASS_LISTBOX && !(items[i].style & ES_MULTILINE)) continue;
            EXPECT_GT(large.items[i].rows * large.items[i].cols, small.items[i].rows * small.items[i].cols)
                << t->caption << " " << Name(items[i]);
        }
    }
}

TEST_F(CLayoutTest, OneLineControlsOnOneTemplateRowShareAScreenRow) {
    const CDlgTemplate* t = DlgFindTemplate(IDD_HUB_TEST);
    auto items = ItemsOf(*t);
    auto cellsOf = [&](int id, const CDlgLayout& layout) {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].id == id) return layout.items[i];
        return CDlgCells{};
    };
    for (auto [cols, lines] : kScreens) {
        CDlgLayout layout = DlgLayOut(*t, items, cols, lines);
        EXPECT_EQ(cellsOf(IDC_HUB_EXECUTE, layout).row, cellsOf(IDC_HUB_RETURN, layout).row);
        EXPECT_EQ(cellsOf(IDC_HUB_PORT_COMMAND, layout).row, cellsOf(IDC_HUB_PORT_NUMBER, layout).row);
        EXPECT_EQ(cellsOf(IDC_HUB_DEVICE_COMMAND, layout).row, cellsOf(IDC_HUB_DEVICE_ADDRESS, layout).row);
        EXPECT_LT(cellsOf(IDC_HUB_COMMAND_LABEL, layout).row, cellsOf(IDC_HUB_COMMAND, layout).row);
    }
}

TEST_F(CLayoutTest, TooSmallAScreenIsReportedNotCrashedOn) {
    const CDlgTemplate* t = DlgFindTemplate(IDD_HUB_TEST);
    auto items = ItemsOf(*t);
    for (auto [cols, lines] : {std::pair{20, 6}, std::pair{1, 1}, std::pair{0, 0}}) {
        CDlgLayout layout = DlgLayOut(*t, items, cols, lines);
        EXPECT_FALSE(layout.fits);
        EXPECT_EQ(layout.items.size(), items.size());
    }
}

TEST(DlgTextTest, WrapsAtBlanksAndCutsOnlyWordsLongerThanTheLine) {
    EXPECT_EQ(DlgWrapText("Get Device Descriptor Raw Value: \n12 1 0 2 0 0 0 40", 12),
              (std::vector<std::string>{"Get Device", "Descriptor", "Raw Value: ", "12 1 0 2 0 0", "0 40"}));
    EXPECT_EQ(DlgWrapText("abcdefghij", 4), (std::vector<std::string>{"abcd", "efgh", "ij"}));
    EXPECT_EQ(DlgWrapText("one\r\n\ntwo", 10), (std::vector<std::string>{"one", "", "two"}));
    EXPECT_EQ(DlgWrapText("", 10), std::vector<std::string>{""});
    EXPECT_EQ(DlgWrapText("x y", 0), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(DlgShownText("&About && more"), "About & more");
    EXPECT_EQ(DlgFitText("Return To Main", 6), "Return");
    EXPECT_EQ(DlgFitText("abc", -1), "");
}

}  // namespace
