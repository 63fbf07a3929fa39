// The main dialog through a scripted user on simulated benches.
#include "gui/main_dialog.h"

#include "gui_fixture.h"

namespace {

const int kChoices[] = {IDC_DEVICE_CHOICE, IDC_HUB_CHOICE, IDC_HOST_CHOICE, IDC_SS_CHOICE};

int CheckedChoices(CHeadlessUser& user) {
    int n = 0;
    for (int id : kChoices) n += user.Checked(id);
    return n;
}

}  // namespace

TEST_F(CGuiTest, StartsWithTheControllersListedAndDeviceChosen) {
    Load(kGuiBench);
    user.Script({[&] {
        EXPECT_EQ(user.Caption(), "xHCI Voltaris");
        EXPECT_EQ(user.Rows(IDC_HOST_LIST), std::vector<std::string>{"(simulated) Test host  8 Ports"});
        EXPECT_EQ(user.Selection(IDC_HOST_LIST), 0);
        EXPECT_TRUE(user.Checked(IDC_DEVICE_CHOICE));
        EXPECT_EQ(CheckedChoices(user), 1);
        EXPECT_EQ(user.SystemMenu(), (std::vector<std::string>{"&Close", "-", "&About XHCI HS Voltaris "}));
        EXPECT_TRUE(user.Press(IDC_EXIT));
    }});
    CVoltarisDlg dialog;
    EXPECT_EQ(dialog.DoModal(), 0);
    EXPECT_EQ(dialog.GetIcon(ICON_BIG), DlgLoadIcon(IDR_MAINFRAME));
}

TEST_F(CGuiTest, ChoicesAreExclusiveWhicheverIsClicked) {
    Load(kGuiBench);
    user.Script({[&] {
        for (int clicked : {IDC_HUB_CHOICE, IDC_SS_CHOICE, IDC_HOST_CHOICE, IDC_DEVICE_CHOICE, IDC_DEVICE_CHOICE}) {
            user.Press(clicked);
            EXPECT_TRUE(user.Checked(clicked));
            EXPECT_EQ(CheckedChoices(user), 1) << "after a click on " << clicked;
        }
        user.Cancel();
    }});
    CVoltarisDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST_F(CGuiTest, TestSelectsTheControllerAndOpensTheChosenDialogWithChoicesLocked) {
    Load(kGuiBench);
    CDialog* main = nullptr;
    user.Script({
        [&] {
            main = user.Top();
            user.Press(IDC_HUB_CHOICE);
            user.Press(IDC_TEST);
            EXPECT_EQ(user.TemplateId(), IDD_VOLTARIS_DIALOG);
            EXPECT_TRUE(user.Enabled(IDC_HOST_LIST));
            EXPECT_TRUE(user.Enabled(IDC_HUB_CHOICE));
        },
        [&] {
            EXPECT_EQ(user.TemplateId(), IDD_HUB_TEST);
            EXPECT_EQ(user.Caption(), "xHCI HS Voltaris - Hub Test");
            EXPECT_EQ(GetSelectedHost(), 0);
            for (int id : {IDC_HOST_LIST, IDC_DEVICE_CHOICE, IDC_HUB_CHOICE, IDC_HOST_CHOICE, IDC_SS_CHOICE})
                EXPECT_FALSE(main->FindItem(id)->enabled) << id;
            EXPECT_TRUE(main->FindItem(IDC_TEST)->enabled);
            EXPECT_TRUE(main->FindItem(IDC_EXIT)->enabled);
            user.Press(IDC_HUB_RETURN);
        },
        [&] {
            // Each choice opens its own dialog, Escape closes it.
            for (int choice : {IDC_DEVICE_CHOICE, IDC_HOST_CHOICE, IDC_SS_CHOICE}) {
                user.Press(choice);
                user.Press(IDC_TEST);
            }
        },
        [&] {
            EXPECT_EQ(user.TemplateId(), IDD_DEVICE_TEST);
            user.Cancel();
        },
        [&] {
            EXPECT_EQ(user.TemplateId(), IDD_HOST_TEST);
            user.Cancel();
        },
        [&] {
            EXPECT_EQ(user.TemplateId(), IDD_SS_TEST);
            user.Cancel();
        },
        [&] { user.Press(IDC_EXIT); },
    });
    CVoltarisDlg dialog;
    dialog.DoModal();
    EXPECT_TRUE(user.ScriptDone());
}

TEST_F(CGuiTest, WithoutControllersTestReportsItAndOpensNothing) {
    Load("# a bench with no controller\n");
    user.Script({
        [&] {
            EXPECT_EQ(user.Rows(IDC_HOST_LIST), std::vector<std::string>{"No Host Controllers Found"});
            EXPECT_EQ(CheckedChoices(user), 0);
            user.Press(IDC_TEST);
            EXPECT_EQ(user.Depth(), 1u);
            EXPECT_TRUE(user.Enabled(IDC_HOST_LIST));
            user.Press(IDC_EXIT);
        },
        [&] {
            EXPECT_EQ(user.MessageText(), "No XHCI Host Controller Found.  Unable to Test.");
            EXPECT_EQ(user.Caption(), "xHCI Voltaris");  // titled like its dialog
            EXPECT_FALSE(user.Exists(IDCANCEL));
            user.Press(IDOK);
        },
    });
    CVoltarisDlg dialog;
    dialog.DoModal();
    EXPECT_TRUE(user.ScriptDone());
    EXPECT_EQ(Requests("SelectHostController"), 0u);
}

TEST_F(CGuiTest, WrongDriverVersionKeepsTheControllerSelectedButOpensNoTestDialog) {
    std::string bench = kGuiBench;
    bench.replace(bench.find("1.0.3.7"), 7, "1.0.4.0");
    Load(bench);
    user.Script({
        [&] {
            user.Press(IDC_TEST);
            user.Press(IDC_EXIT);
        },
        [&] {
            EXPECT_EQ(user.MessageText(),
                      "Incorrect driver version.  Please install host driver included with this package.");
            user.Enter();
        },
    });
    CVoltarisDlg dialog;
    dialog.DoModal();
    EXPECT_TRUE(user.ScriptDone());
    EXPECT_EQ(GetSelectedHost(), 0);
}

TEST_F(CGuiTest, NoLineSelectedIsASoftwareError) {
    Load(kGuiBench);
    user.Script({
        [&] {
            user.Top()->FindItem(IDC_HOST_LIST)->curSel = -1;
            user.Press(IDC_TEST);
            user.Press(IDC_EXIT);
        },
        [&] {
            EXPECT_EQ(user.MessageText(), "Software Error.  Unable to Select Host.");
            user.Press(IDOK);
        },
    });
    CVoltarisDlg dialog;
    dialog.DoModal();
    EXPECT_TRUE(user.ScriptDone());
    EXPECT_EQ(GetSelectedHost(), NO_SELECTION);
}

TEST_F(CGuiTest, AboutBoxComesFromTheSystemMenuOnly) {
    Load(kGuiBench);
    user.Script({
        [&] {
            EXPECT_TRUE(user.SystemCommand(IDM_ABOUTBOX));
            EXPECT_TRUE(user.SystemCommand(SC_CLOSE));
        },
        [&] {
            EXPECT_EQ(user.Caption(), "About xHCI HS Voltaris");
            EXPECT_EQ(user.Text(IDC_STATIC), "xHCI HS Voltaris  Version 1.3.2.8");
            user.Enter();
        },
    });
    CVoltarisDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(user.ScriptDone());
}
