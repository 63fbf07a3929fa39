// The dialog framework through a scripted user: modal loops that nest,
// handler tables, controls, timers, message boxes and the system menu.
#include "dlg/app.h"
#include "dlg/headless.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum {
    ID_LIST = 10,
    ID_COMBO,
    ID_EDIT,
    ID_NUMBER,
    ID_STATUS,
    ID_CHECK,
    ID_RADIO_A,
    ID_RADIO_B,
    ID_RADIO_C,
    ID_OPEN,
    ID_GO,
    ID_DISABLED,
};

const CDlgItemTemplate kItems[] = {
    {ID_GO, DLG_CLASS_BUTTON, "Go", {10, 100, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {ID_OPEN, DLG_CLASS_BUTTON, "Open", {70, 100, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP},
    {ID_DISABLED, DLG_CLASS_BUTTON, "Off", {130, 100, 50, 14}, BS_PUSHBUTTON | WS_DISABLED},
    {ID_LIST, DLG_CLASS_LISTBOX, nullptr, {10, 10, 80, 40}, LBS_NOTIFY | LBS_SORT},
    {ID_COMBO, DLG_CLASS_COMBOBOX, nullptr, {100, 10, 80, 60}, CBS_DROPDOWN | CBS_SORT},
    {ID_EDIT, DLG_CLASS_EDIT, nullptr, {100, 30, 80, 12}, ES_AUTOHSCROLL},
    {ID_NUMBER, DLG_CLASS_EDIT, nullptr, {100, 45, 40, 12}, ES_NUMBER},
    {ID_STATUS, DLG_CLASS_EDIT, nullptr, {100, 60, 80, 30}, ES_MULTILINE | ES_READONLY},
    {ID_CHECK, DLG_CLASS_BUTTON, "Check", {10, 60, 60, 10}, BS_AUTOCHECKBOX},
    // A and B form one group; C starts its own.
    {ID_RADIO_A, DLG_CLASS_BUTTON, "A", {10, 72, 60, 10}, BS_AUTORADIOBUTTON | WS_GROUP},
    {ID_RADIO_B, DLG_CLASS_BUTTON, "B", {10, 82, 60, 10}, BS_AUTORADIOBUTTON},
    {ID_RADIO_C, DLG_CLASS_BUTTON, "C", {10, 92, 60, 10}, BS_AUTORADIOBUTTON | WS_GROUP},
};

const CDlgItemTemplate kInnerItems[] = {
    {IDOK, DLG_CLASS_BUTTON, "OK", {10, 10, 50, 14}, BS_DEFPUSHBUTTON},
};

const CDlgTemplate kTemplates[] = {
    {1, "Outer", 200, 120, WS_POPUP | WS_CAPTION | WS_SYSMENU, "MS Sans Serif", 8, kItems},
    {2, "Inner", 80, 40, WS_POPUP | WS_CAPTION, "MS Sans Serif", 8, kInnerItems},
};
const CDlgString kStrings[] = {{7, "seven"}};
const CDlgResources kResources = {kTemplates, kStrings, {}};

class CTestApp : public CWinApp {
public:
    CTestApp() : CWinApp("Test App") {}
    bool InitInstance() override { return false; }
};

// A dialog that records what reaches it.
class COuterDialog : public CDialog {
public:
    COuterDialog() : CDialog(1) {}

    bool OnNotify(unsigned code, int id) override {
        static constexpr CNotifyEntry<COuterDialog> kHandlers[] = {
            {BN_CLICKED, ID_GO, &COuterDialog::OnGo},
            {BN_CLICKED, ID_OPEN, &COuterDialog::OnOpen},
            {LBN_SELCHANGE, ID_LIST, &COuterDialog::OnListChange},
            {EN_CHANGE, ID_EDIT, &COuterDialog::OnEditChange},
        };
        events.push_back(code * 1000 + id);
        return DispatchNotify<COuterDialog>(*this, kHandlers, code, id) || CDialog::OnNotify(code, id);
    }
    void OnTimer(uintptr_t id) override {
        ticks.push_back(NowOf());
        if (id == 2) KillTimer(2);  // a timer that stops itself
    }

    uint64_t NowOf() const { return DlgSurface()->NowMs(); }
    void OnGo() { EndDialog(42); }
    void OnOpen() {
        CDialog inner(2);
        innerResult = inner.DoModal();
    }
    void OnListChange() { listChanges.push_back(list.GetCurSel()); }
    void OnEditChange() { editChanges.push_back(edit.GetWindowText()); }

    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, ID_LIST, list);
        DDX_Control(pDX, ID_COMBO, combo);
        DDX_Control(pDX, ID_EDIT, edit);
        DDX_Control(pDX, ID_STATUS, status);
        DDX_Control(pDX, ID_CHECK, check);
    }

    CListBox list;
    CComboBox combo;
    CEdit edit;
    CEdit status;
    CButton check;
    std::vector<int> events;
    std::vector<int> listChanges;
    std::vector<std::string> editChanges;
    std::vector<uint64_t> ticks;
    intptr_t innerResult = 0;
};

class DlgTest : public ::testing::Test {
protected:
    void SetUp() override { DlgSetResources(&kResources); }
    void TearDown() override { EXPECT_TRUE(user.Errors().empty()) << user.Errors().front(); }

    CTestApp app;
    CHeadlessUser user;
    COuterDialog dialog;
};

}  // namespace

TEST_F(DlgTest, ModalLoopsNestAndEachReturnsItsOwnResult) {
    user.Script({
        [&] {
            EXPECT_EQ(user.Caption(), "Outer");
            EXPECT_TRUE(user.Press(ID_OPEN));  // the next step runs inside the inner loop
            EXPECT_EQ(dialog.innerResult, IDOK);
            EXPECT_EQ(user.Depth(), 1u);
        },
        [&] {
            EXPECT_EQ(user.Depth(), 2u);
            EXPECT_EQ(user.Caption(), "Inner");
            EXPECT_TRUE(user.Enter());
        },
        [&] { EXPECT_TRUE(user.Press(ID_GO)); },
    });
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_TRUE(user.ScriptDone());
    EXPECT_FALSE(dialog.IsShown());
    // Member controls are detached with the window and stay safe to call.
    EXPECT_EQ(dialog.list.GetCount(), 0);
    dialog.list.AddString("ignored");
    EXPECT_EQ(dialog.list.GetCurSel(), LB_ERR);
}

TEST_F(DlgTest, EscapeCancelsAndAnEmptyScriptCancelsInsteadOfHanging) {
    user.Script({[&] { user.Cancel(); }});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);

    CHeadlessUser second;  // a fresh user with no script at all
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(second.Errors().size(), 1u);
    EXPECT_NE(second.Errors()[0].find("Outer"), std::string::npos);
}

TEST_F(DlgTest, WithoutSurfaceOrTemplateDoModalFails) {
    CDialog missing(99);
    EXPECT_EQ(missing.DoModal(), -1);
    DlgSetSurface(nullptr);
    EXPECT_EQ(dialog.DoModal(), -1);
    DlgSetSurface(&user);
}

TEST_F(DlgTest, ButtonsCheckBoxesAndRadioGroups) {
    user.Script({[&] {
        EXPECT_FALSE(user.Press(ID_DISABLED));
        EXPECT_TRUE(user.Press(ID_CHECK));
        EXPECT_TRUE(user.Checked(ID_CHECK));
        EXPECT_TRUE(user.Press(ID_CHECK));
        EXPECT_FALSE(user.Checked(ID_CHECK));

        user.Press(ID_RADIO_A);
        user.Press(ID_RADIO_C);
        EXPECT_TRUE(user.Checked(ID_RADIO_A)) << "C is in another group";
        user.Press(ID_RADIO_B);
        EXPECT_FALSE(user.Checked(ID_RADIO_A));
        EXPECT_TRUE(user.Checked(ID_RADIO_B));
        EXPECT_TRUE(user.Checked(ID_RADIO_C));
        user.Cancel();
    }});
    dialog.DoModal();
    // Every click reached the dialog; the disabled button's did not.
    EXPECT_EQ(std::count(dialog.events.begin(), dialog.events.end(), ID_DISABLED), 0);
    EXPECT_EQ(std::count(dialog.events.begin(), dialog.events.end(), ID_CHECK), 2);
}

TEST_F(DlgTest, ListAndComboRowsSelectionAndNotifications) {
    user.Script({[&] {
        CListBox& list = dialog.list;
        // Placed rows stay where they are put although the list sorts; added rows are sorted in.
        list.InsertString(0, "zeta");
        list.InsertString(1, "alpha");
        list.AddString("Beta");
        EXPECT_EQ(user.Rows(ID_LIST), (std::vector<std::string>{"Beta", "zeta", "alpha"}));
        EXPECT_EQ(list.InsertString(5, "far"), LB_ERR);

        list.SetCurSel(1);
        list.InsertString(0, "first");  // the selection moves with its row
        EXPECT_EQ(list.GetCurSel(), 2);
        list.DeleteString(2);
        EXPECT_EQ(list.GetCurSel(), LB_ERR);
        EXPECT_EQ(list.SetCurSel(9), LB_ERR);

        EXPECT_TRUE(user.Select(ID_LIST, 1));
        EXPECT_FALSE(user.Select(ID_LIST, 7));
        EXPECT_EQ(dialog.listChanges, std::vector<int>{1});

        CComboBox& combo = dialog.combo;
        combo.InsertString(-1, "10");
        combo.InsertString(-1, "2");
        EXPECT_TRUE(user.Select(ID_COMBO, 1));
        EXPECT_EQ(user.Text(ID_COMBO), "2");
        std::string text;
        EXPECT_EQ(combo.GetLBText(combo.GetCurSel(), text), 1);
        // Typed text names no entry.
        EXPECT_TRUE(user.Type(ID_COMBO, "7"));
        EXPECT_EQ(combo.GetCurSel(), CB_ERR);
        EXPECT_EQ(user.Text(ID_COMBO), "7");
        // ... until it names one: that entry is chosen at once.
        EXPECT_TRUE(user.Type(ID_COMBO, "\b10"));
        EXPECT_EQ(combo.GetCurSel(), 0);
        user.Cancel();
    }});
    dialog.DoModal();
}

TEST_F(DlgTest, EditsChangeNotifyAndClearDeletesOnlyTheSelection) {
    user.Script({[&] {
        dialog.edit.SetWindowText("hello world");
        EXPECT_EQ(dialog.editChanges.back(), "hello world");
        dialog.edit.Clear();  // the caret sits at the start: nothing selected
        EXPECT_EQ(user.Text(ID_EDIT), "hello world");
        dialog.edit.SetSel(5, 11);
        dialog.edit.Clear();
        EXPECT_EQ(user.Text(ID_EDIT), "hello");

        ASSERT_TRUE(user.SelectText(ID_EDIT, 0, 5));
        EXPECT_TRUE(user.Type(ID_EDIT, "ab"));
        EXPECT_EQ(user.Text(ID_EDIT), "ab");
        EXPECT_EQ(dialog.editChanges.back(), "ab");
        EXPECT_TRUE(user.Type(ID_EDIT, "\b"));
        EXPECT_EQ(user.Text(ID_EDIT), "a");

        EXPECT_TRUE(user.Type(ID_NUMBER, "30"));
        EXPECT_FALSE(user.Type(ID_NUMBER, "x"));
        EXPECT_EQ(user.Text(ID_NUMBER), "30");

        // A read-only window takes neither typing nor the clear request.
        dialog.status.SetWindowText("status");
        dialog.status.SetSel(0, -1);
        dialog.status.Clear();
        EXPECT_EQ(user.Text(ID_STATUS), "status");
        EXPECT_FALSE(user.Type(ID_STATUS, "x"));
        user.Cancel();
    }});
    dialog.DoModal();
}

TEST_F(DlgTest, TimersTickOnTheVirtualClockUntilKilled) {
    user.Script({[&] {
        EXPECT_EQ(dialog.SetTimer(1, 100), 1u);
        dialog.SetTimer(2, 50);
        user.Advance(49);
        EXPECT_TRUE(dialog.ticks.empty());
        user.Advance(51);  // 50 stops itself, then 100
        EXPECT_EQ(dialog.ticks, (std::vector<uint64_t>{50, 100}));
        user.Advance(250);
        EXPECT_EQ(dialog.ticks, (std::vector<uint64_t>{50, 100, 200, 300}));
        EXPECT_TRUE(dialog.KillTimer(1));
        EXPECT_FALSE(dialog.KillTimer(1));
        user.Advance(1000);
        EXPECT_EQ(dialog.ticks.size(), 4u);
        dialog.SetTimer(1, 100);  // left running: it goes with the window
        user.Cancel();
    }});
    dialog.DoModal();
    EXPECT_EQ(DlgNextTimerDue(), UINT64_MAX);
}

TEST_F(DlgTest, MessageBoxesAnswerAndCaptions) {
    std::vector<int> answers;
    user.Script({
        [&] {
            answers.push_back(dialog.MessageBox("Owned box"));
            answers.push_back(DlgMessageBox("Line one\nLine two", "", MB_OKCANCEL));
            answers.push_back(DlgMessageBox("Escape here", "", MB_OKCANCEL));
            answers.push_back(DlgMessageBox("Escape in an OK box", nullptr, MB_OK));
            user.Cancel();
        },
        [&] {
            EXPECT_EQ(user.MessageText(), "Owned box");
            EXPECT_EQ(user.Caption(), "Outer");  // titled like the dialog it belongs to
            EXPECT_FALSE(user.Exists(IDCANCEL));
            user.Press(IDOK);
        },
        [&] {
            EXPECT_EQ(user.MessageText(), "Line one\nLine two");
            EXPECT_EQ(user.Caption(), "");
            user.Press(IDOK);
        },
        [&] { user.Cancel(); },
        [&] {
            EXPECT_EQ(user.Caption(), "Error");
            user.Cancel();
        },
    });
    dialog.DoModal();
    EXPECT_EQ(answers, (std::vector<int>{IDOK, IDOK, IDCANCEL, IDOK}));
}

TEST_F(DlgTest, SystemMenuHasCloseAndTakesAppendedItems) {
    user.Script({[&] {
        CMenu* menu = dialog.GetSystemMenu(false);
        ASSERT_NE(menu, nullptr);
        menu->AppendMenu(MF_SEPARATOR);
        menu->AppendMenu(MF_STRING, 16, "&Extra");
        EXPECT_EQ(user.SystemMenu(), (std::vector<std::string>{"&Close", "-", "&Extra"}));
        EXPECT_FALSE(user.SystemCommand(17));
        EXPECT_TRUE(user.SystemCommand(SC_CLOSE));
    }});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(DlgLoadString(7), "seven");
    EXPECT_EQ(DlgLoadString(8), "");
}
