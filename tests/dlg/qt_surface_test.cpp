// The window surface on Qt's offscreen platform: real widgets, real key and
// mouse events, the dialog's state and handlers behind them.
#include "dlg/dialog.h"
#include "dlg/qt_surface.h"
#include "os/signals.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

constexpr int kRun = 10, kOther = 11, kCheck = 12, kRadioA = 13, kRadioB = 14, kList = 15, kCombo = 16, kNumber = 17,
              kStatus = 18, kLabel = 19, kOff = 20, kAsk = 21;
constexpr unsigned kAboutCommand = 0x10;

const CDlgItemTemplate kItems[] = {
    {kRun, DLG_CLASS_BUTTON, "Run", {10, 100, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {kOther, DLG_CLASS_BUTTON, "Other", {70, 100, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_STATIC, DLG_CLASS_BUTTON, "Options", {5, 5, 120, 50}, BS_GROUPBOX},
    {kCheck, DLG_CLASS_BUTTON, "Watch", {10, 15, 60, 10}, BS_AUTOCHECKBOX | WS_TABSTOP},
    {kRadioA, DLG_CLASS_BUTTON, "A", {10, 27, 40, 10}, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
    {kRadioB, DLG_CLASS_BUTTON, "B", {10, 39, 40, 10}, BS_AUTORADIOBUTTON | WS_TABSTOP},
    {kList, DLG_CLASS_LISTBOX, nullptr, {130, 5, 80, 50}, LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP},
    {kCombo, DLG_CLASS_COMBOBOX, nullptr, {130, 60, 80, 60}, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP},
    {kNumber, DLG_CLASS_EDIT, nullptr, {10, 60, 40, 13}, ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {kStatus, DLG_CLASS_EDIT, nullptr, {10, 76, 110, 20}, ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER},
    {kLabel, DLG_CLASS_STATIC, "Port && &Speed <b>", {60, 60, 68, 8}, SS_LEFT},
    {kOff, DLG_CLASS_BUTTON, "Off", {130, 100, 40, 14}, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED},
    {kAsk, DLG_CLASS_BUTTON, "Ask", {175, 100, 40, 14}, BS_PUSHBUTTON | WS_TABSTOP},
};

const CDlgTemplate kTemplate = {
    1, "Window Test", 220, 120, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, "MS Sans Serif", 8, kItems};

// Records every notification; Ask opens an OK/Cancel message box.
class CProbeDialog : public CDialog {
public:
    CProbeDialog() : CDialog(&kTemplate) {}
    bool OnNotify(unsigned code, int id) override {
        notes.push_back({code, id});
        if (code == BN_CLICKED && id == kAsk) answer = MessageBox("Remove Downstream Device", "Prompt", MB_OKCANCEL);
        return CDialog::OnNotify(code, id);
    }
    void OnTimer(uintptr_t id) override { ticks += id == 7; }
    void OnSysCommand(unsigned id, intptr_t param) override {
        if (id == kAboutCommand) ++about;
        else CDialog::OnSysCommand(id, param);
    }
    int Count(unsigned code, int id) const {
        int n = 0;
        for (auto [c, i] : notes) n += c == code && i == id;
        return n;
    }

    std::vector<std::pair<unsigned, int>> notes;
    int answer = 0;
    int ticks = 0;
    int about = 0;

protected:
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        for (const char* row : {"first", "second", "third"}) {
            list.AddString(row);
            combo.AddString(row);
        }
        status.SetWindowText("Operation Successful\r\nsecond line");
        if (CMenu* menu = GetSystemMenu(false)) menu->AppendMenu(MF_STRING, kAboutCommand, "&About");
        notes.clear();
        return true;
    }
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, kList, list);
        DDX_Control(pDX, kCombo, combo);
        DDX_Control(pDX, kStatus, status);
    }

private:
    CListBox list;
    CComboBox combo;
    CEdit status;
};

class CQtSurfaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("QT_QPA_PLATFORM", "offscreen", 1); }
    void SetUp() override { ASSERT_TRUE(surface.Ok()) << surface.Error(); }
    void TearDown() override {
        for (const auto& e : surface.ScriptErrors()) ADD_FAILURE() << e;
    }

    // Runs the probe dialog with the script; returns DoModal's result.
    intptr_t Run(std::vector<CQtSurface::Step> steps) {
        surface.Script(std::move(steps));
        return dialog.DoModal();
    }
    // A step that does something and is done.
    static CQtSurface::Step Do(std::function<void()> f) {
        return [f] {
            f();
            return true;
        };
    }
    QWidget* W(int id) { return surface.WidgetOf(DlgModalStack().back(), id); }
    template <typename T>
    T* As(int id) {
        return qobject_cast<T*>(W(id));
    }
    static QWidget* Focus() { return QApplication::focusWidget(); }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = Focus() ? Focus() : surface.WindowOf(DlgModalStack().back());
        QTest::keyClick(target, key, mods);
    }
    void Type(const char* text) { QTest::keyClicks(Focus(), text); }
    CDlgWindowState* S(int id) { return DlgModalStack().back()->FindItem(id); }
    // The item whose widget has the focus, or 0.
    int FocusedId() {
        for (QWidget* w = Focus(); w; w = w->parentWidget())
            for (const auto& item : DlgModalStack().back()->Items())
                if (surface.WidgetOf(DlgModalStack().back(), item->id) == w) return item->id;
        return 0;
    }

    CQtSurface surface;
    CProbeDialog dialog;
};

}  // namespace

TEST_F(CQtSurfaceTest, EveryControlKindIsANativeWidgetPlacedInDialogUnits) {
    EXPECT_EQ(Run({Do([&] {
                  QWidget* window = surface.WindowOf(&dialog);
                  ASSERT_TRUE(window);
                  EXPECT_EQ(window->windowTitle(), "Window Test");
                  int bx = surface.BaseUnitX(), by = surface.BaseUnitY();
                  EXPECT_GT(bx, 3);
                  EXPECT_GT(by, 8);
                  EXPECT_EQ(window->size(), QSize((220 * bx + 2) / 4, (120 * by + 4) / 8));
                  ASSERT_TRUE(As<QPushButton>(kRun));
                  EXPECT_TRUE(As<QPushButton>(kRun)->isDefault());
                  EXPECT_FALSE(As<QPushButton>(kOther)->isDefault());
                  EXPECT_EQ(As<QPushButton>(kRun)->geometry(),
                            QRect((10 * bx + 2) / 4, (100 * by + 4) / 8, (50 * bx + 2) / 4, (14 * by + 4) / 8));
                  ASSERT_TRUE(As<QCheckBox>(kCheck));
                  ASSERT_TRUE(As<QRadioButton>(kRadioA));
                  ASSERT_TRUE(As<QListWidget>(kList));
                  EXPECT_EQ(As<QListWidget>(kList)->count(), 3);
                  ASSERT_TRUE(As<QComboBox>(kCombo));
                  EXPECT_TRUE(As<QComboBox>(kCombo)->isEditable());
                  EXPECT_EQ(As<QComboBox>(kCombo)->count(), 3);
                  // A combo's field is as tall as its font needs, its list fills the rest.
                  EXPECT_LT(As<QComboBox>(kCombo)->height(), (60 * by + 4) / 8);
                  ASSERT_TRUE(As<QLineEdit>(kNumber));
                  auto* status = As<QPlainTextEdit>(kStatus);
                  ASSERT_TRUE(status);
                  EXPECT_TRUE(status->isReadOnly());
                  EXPECT_EQ(status->toPlainText(), "Operation Successful\nsecond line");
                  ASSERT_TRUE(As<QLabel>(kLabel));
                  // Mnemonics are not shown, and text is never read as markup.
                  EXPECT_EQ(As<QLabel>(kLabel)->text(), "Port & Speed <b>");
                  EXPECT_EQ(As<QLabel>(kLabel)->textFormat(), Qt::PlainText);
                  bool group = false;
                  for (QGroupBox* box : window->findChildren<QGroupBox*>()) group |= box->title() == "Options";
                  EXPECT_TRUE(group);
                  EXPECT_FALSE(As<QPushButton>(kOff)->isEnabled());
                  Key(Qt::Key_Escape);
              })}),
              IDCANCEL);
}

TEST_F(CQtSurfaceTest, ClicksAndSelectionsReachTheHandlers) {
    Run({Do([&] {
        QTest::mouseClick(W(kOther), Qt::LeftButton);
        EXPECT_EQ(dialog.Count(BN_CLICKED, kOther), 1);
        QTest::mouseClick(W(kCheck), Qt::LeftButton);
        EXPECT_EQ(S(kCheck)->check, BST_CHECKED);
        EXPECT_TRUE(As<QCheckBox>(kCheck)->isChecked());
        QTest::mouseClick(W(kRadioB), Qt::LeftButton);
        QTest::mouseClick(W(kRadioA), Qt::LeftButton);
        EXPECT_EQ(S(kRadioA)->check, BST_CHECKED);
        EXPECT_EQ(S(kRadioB)->check, BST_UNCHECKED);
        EXPECT_FALSE(As<QRadioButton>(kRadioB)->isChecked());
        // A disabled button ignores the click.
        QTest::mouseClick(W(kOff), Qt::LeftButton);
        EXPECT_EQ(dialog.Count(BN_CLICKED, kOff), 0);
        auto* list = As<QListWidget>(kList);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        EXPECT_EQ(S(kList)->curSel, 2);
        EXPECT_EQ(dialog.Count(LBN_SELCHANGE, kList), 1);
        // Arrows move in a list.
        list->setFocus();
        Key(Qt::Key_Up);
        EXPECT_EQ(S(kList)->curSel, 1);
        EXPECT_EQ(dialog.Count(LBN_SELCHANGE, kList), 2);
        // ... and choose in a closed combo.
        W(kCombo)->setFocus();
        Key(Qt::Key_Down);
        EXPECT_EQ(S(kCombo)->curSel, 0);
        EXPECT_EQ(S(kCombo)->text, "first");
        EXPECT_GE(dialog.Count(CBN_SELCHANGE, kCombo), 1);
        Key(Qt::Key_End);
        EXPECT_EQ(S(kCombo)->text, "third");
        Key(Qt::Key_PageUp);
        EXPECT_EQ(S(kCombo)->curSel, 0);
        QTest::mouseClick(W(kRun), Qt::LeftButton);
        EXPECT_EQ(dialog.Count(BN_CLICKED, kRun), 1);
        Key(Qt::Key_Escape);
    })});
}

TEST_F(CQtSurfaceTest, TypingGoesThroughTheDialogsEditRules) {
    Run({Do([&] {
        W(kNumber)->setFocus();
        Type("12a3");
        EXPECT_EQ(S(kNumber)->text, "123");
        EXPECT_EQ(As<QLineEdit>(kNumber)->text(), "123");
        EXPECT_EQ(dialog.Count(EN_CHANGE, kNumber), 3);
        Key(Qt::Key_Backspace);
        EXPECT_EQ(S(kNumber)->text, "12");
        Key(Qt::Key_Home);
        Key(Qt::Key_Delete);
        EXPECT_EQ(S(kNumber)->text, "2");
        // Pasting types the clipboard's characters, so the same rules hold.
        QApplication::clipboard()->setText("4x2\n");
        Key(Qt::Key_End);
        Key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(S(kNumber)->text, "242");
        // Undo would change the text behind the dialog's back: not offered.
        Key(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(As<QLineEdit>(kNumber)->text(), "242");
        // The combo's edit field takes any text; it then names no entry.
        W(kCombo)->setFocus();
        Type("test_packet");
        EXPECT_EQ(S(kCombo)->text, "test_packet");
        EXPECT_EQ(S(kCombo)->curSel, -1);
        EXPECT_GE(dialog.Count(CBN_EDITCHANGE, kCombo), 1);
        // The read-only status window takes no typing.
        W(kStatus)->setFocus();
        Type("x");
        EXPECT_EQ(S(kStatus)->text, "Operation Successful\r\nsecond line");
        Key(Qt::Key_Escape);
    })});
}

TEST_F(CQtSurfaceTest, KeysWorkAsInADialogBox) {
    Run({Do([&] {
             // Tab stops in template order; the disabled button and the
             // read-only status window are skipped.
             EXPECT_EQ(FocusedId(), kRun);
             std::vector<int> order;
             for (int i = 0; i < 9; ++i) {
                 Key(Qt::Key_Tab);
                 order.push_back(FocusedId());
             }
             EXPECT_EQ(order, (std::vector<int>{kOther, kCheck, kRadioA, kRadioB, kList, kCombo, kNumber, kAsk, kRun}));
             Key(Qt::Key_Backtab);
             EXPECT_EQ(FocusedId(), kAsk);
             Key(Qt::Key_Tab, Qt::ShiftModifier);
             EXPECT_EQ(FocusedId(), kNumber);
             // Space toggles a check box.
             W(kCheck)->setFocus();
             Key(Qt::Key_Space);
             EXPECT_EQ(S(kCheck)->check, BST_CHECKED);
             // Enter presses the focused push button ...
             W(kOther)->setFocus();
             // ... which alone shows the default ring while it has the focus.
             EXPECT_TRUE(As<QPushButton>(kOther)->isDefault());
             EXPECT_FALSE(As<QPushButton>(kRun)->isDefault());
             Key(Qt::Key_Return);
             EXPECT_EQ(dialog.Count(BN_CLICKED, kOther), 1);
             EXPECT_EQ(dialog.Count(BN_CLICKED, kRun), 0);
             // ... else the default button.
             W(kList)->setFocus();
             EXPECT_TRUE(As<QPushButton>(kRun)->isDefault());
             EXPECT_FALSE(As<QPushButton>(kOther)->isDefault());
             Key(Qt::Key_Enter);
             EXPECT_EQ(dialog.Count(BN_CLICKED, kRun), 1);
             // Ctrl+Shift+C copies the status window from anywhere; a click
             // gives it the focus (for Ctrl+C), Tab does not.
             Key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
             EXPECT_EQ(QApplication::clipboard()->text(), "Operation Successful\nsecond line");
             EXPECT_EQ(W(kStatus)->focusPolicy(), Qt::ClickFocus);
             EXPECT_EQ(W(kStatus)->contextMenuPolicy(), Qt::CustomContextMenu);
             // F1 runs the window's own menu entry (the About box).
             Key(Qt::Key_F1);
             EXPECT_EQ(dialog.about, 1);
         }),
         Do([&] { Key(Qt::Key_Escape); })});
    EXPECT_EQ(dialog.Count(BN_CLICKED, IDCANCEL), 1);
}

TEST_F(CQtSurfaceTest, ClosingTheWindowIsTheSystemMenusClose) {
    EXPECT_EQ(Run({Do([&] {
                  QCloseEvent close;
                  QApplication::sendEvent(surface.WindowOf(&dialog), &close);
              })}),
              IDCANCEL);
}

TEST_F(CQtSurfaceTest, TimersTickWhileTheLoopWaits) {
    Run({Do([&] { dialog.SetTimer(7, 20); }), [&] { return dialog.ticks >= 3; }, Do([&] {
             dialog.KillTimer(7);
             Key(Qt::Key_Escape);
         })});
    EXPECT_GE(dialog.ticks, 3);
}

TEST_F(CQtSurfaceTest, ANestedMessageBoxAnswersAndTheDialogGoesOn) {
    Run({Do([&] { QTest::mouseClick(W(kAsk), Qt::LeftButton); }), Do([&] {
             // Inside the message box's own loop, on top of the dialog.
             ASSERT_EQ(DlgModalStack().size(), 2u);
             QWidget* box = surface.WindowOf(DlgModalStack().back());
             ASSERT_TRUE(box);
             EXPECT_EQ(box->windowTitle(), "Prompt");
             EXPECT_TRUE(box->isModal());
             EXPECT_EQ(As<QLabel>(DLG_IDC_MESSAGE_TEXT)->text(), "Remove Downstream Device");
             EXPECT_TRUE(As<QPushButton>(IDOK)->isDefault());
             QTest::mouseClick(W(IDCANCEL), Qt::LeftButton);
         }),
         Do([&] {
             EXPECT_EQ(DlgModalStack().size(), 1u);
             EXPECT_EQ(dialog.answer, IDCANCEL);
             QTest::mouseClick(W(kAsk), Qt::LeftButton);
         }),
         Do([&] { Key(Qt::Key_Return); }),  // the box's default: OK
         Do([&] {
             EXPECT_EQ(dialog.answer, IDOK);
             Key(Qt::Key_Escape);
         })});
}

TEST_F(CQtSurfaceTest, ATerminationSignalEndsEveryLoopAsCancelled) {
    OSInstallTerminationHandlers();
    EXPECT_EQ(Run({Do([&] { QTest::mouseClick(W(kAsk), Qt::LeftButton); }), Do([&] { std::raise(SIGTERM); })}),
              IDCANCEL);
    EXPECT_EQ(dialog.answer, IDCANCEL);
    EXPECT_EQ(OSTerminationSignal(), SIGTERM);
}

TEST(CQtSurfaceStartTest, NoDisplayIsAClearErrorAndInstallsNothing) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DISPLAY", ":7391", 1);
    {
        CQtSurface surface;
        EXPECT_FALSE(surface.Ok());
        EXPECT_NE(surface.Error().find("cannot open a window on the display"), std::string::npos) << surface.Error();
        EXPECT_EQ(surface.Error().find('\n'), std::string::npos);
        EXPECT_EQ(DlgSurface(), nullptr);
        CDialog dialog(&kTemplate);
        EXPECT_EQ(dialog.DoModal(), -1);
    }
}

TEST_F(CQtSurfaceTest, TheSystemMenuOpensOnAltSpaceAndAnEntryRuns) {
    Run({Do([&] {
        // The menu runs its own loop: choose About from inside it.
        QTimer::singleShot(50, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_TRUE(menu);
            QStringList entries;
            for (QAction* action : menu->actions()) entries << action->text();
            EXPECT_EQ(entries, (QStringList{"&Close", "&About"}));
            if (entries.size() == 2) menu->setActiveAction(menu->actions().at(1));
            QTest::keyClick(menu, Qt::Key_Return);
        });
        Key(Qt::Key_Space, Qt::AltModifier);
        EXPECT_EQ(dialog.about, 1);
        Key(Qt::Key_Escape);
    })});
}

TEST_F(CQtSurfaceTest, ATerminationSignalClosesAnOpenSystemMenu) {
    OSInstallTerminationHandlers();
    EXPECT_EQ(Run({Do([&] {
                  QTimer::singleShot(50, [] { std::raise(SIGTERM); });
                  Key(Qt::Key_Space, Qt::AltModifier);
              })}),
              IDCANCEL);
    EXPECT_EQ(dialog.about, 0);
}
