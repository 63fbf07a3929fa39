// What one test dialog leaves behind for the next, and how EXECUTE reads
// what the user typed instead of choosing.
#include "gui/device_test_dialog.h"
#include "gui/host_test_dialog.h"
#include "gui/hub_test_dialog.h"
#include "gui/ss_test_dialog.h"

#include <functional>

#include "gui_fixture.h"

namespace {

const std::vector<std::string> kAllUsb2Rows = {"NONE", "VID/PID 0x2b4e/412, Address 1, Port 1",
                                               "VID/PID 0x3a17/1001, Address 2, Port 2"};

class CDialogSequenceTest : public CGuiTest {
protected:
    void ExpectDeviceDialogListsEveryUsb2Device() {
        RunTestDialog<CDeviceTestDialog>({[&] {
                                             EXPECT_EQ(user.Rows(IDC_DEVICE_LIST), kAllUsb2Rows);
                                             EXPECT_TRUE(user.Press(IDC_DEVICE_ENUMERATE));
                                             EXPECT_EQ(user.Rows(IDC_DEVICE_LIST), kAllUsb2Rows);
                                             user.Cancel();
                                         }},
                                         IDCANCEL);
    }
};

}  // namespace

TEST_F(CDialogSequenceTest, AHubChosenInAnEarlierDialogDoesNotNarrowTheDeviceLists) {
    Load(kGuiBench);
    // The SuperSpeed dialog opens on its hub; the hub dialog is left with Escape.
    RunTestDialog<CSSTestDialog>({[&] { user.Cancel(); }}, IDCANCEL);
    ExpectDeviceDialogListsEveryUsb2Device();
    RunTestDialog<CHubTestDialog>({[&] { user.Cancel(); }}, IDCANCEL);
    RunTestDialog<CHostTestDialog>({[&] {
                                       EXPECT_EQ(user.Rows(IDC_HOST_DEVICE_LIST), kAllUsb2Rows);
                                       user.Cancel();
                                   }},
                                   IDCANCEL);
}

// Whatever leaves a test mode, a device below a hub included, has the next
// dialog enumerate before it lists what is on the bus.
TEST_F(CDialogSequenceTest, ATestModeLeftPendingIsEnumeratedBeforeTheNextDialogFillsItsLists) {
    auto execute = [&](int command, int entry) {
        EXPECT_TRUE(user.Select(command, entry));
        EXPECT_TRUE(user.Press(user.TemplateId() == IDD_HUB_TEST ? IDC_HUB_EXECUTE : IDC_HOST_EXECUTE));
        user.Cancel();
    };
    struct Case {
        const char* Name;
        std::function<void()> Leave;
        std::vector<std::string> Rows;  // the device dialog's list after it
    } cases[] = {
        {"root port TEST_PACKET",
         [&] {
             RunTestDialog<CHostTestDialog>({[&] { execute(IDC_HOST_PORT_COMMAND, PORT_TEST_TEST_PACKET); }}, IDCANCEL);
         },
         kAllUsb2Rows},
        {"TEST_PACKET of the device below the hub",
         [&] {
             RunTestDialog<CHubTestDialog>({[&] { execute(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_TEST_PACKET); }},
                                           IDCANCEL);
         },
         {kAllUsb2Rows[0], kAllUsb2Rows[1]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Load(kGuiBench);
        c.Leave();
        ASSERT_EQ(Requests("Enumerate"), 0u);
        RunTestDialog<CDeviceTestDialog>({[&] {
                                             EXPECT_EQ(Requests("Enumerate"), 1u);
                                             EXPECT_EQ(user.Rows(IDC_DEVICE_LIST), c.Rows);
                                             user.Cancel();
                                         }},
                                         IDCANCEL);
        // Done once: the dialog after it finds nothing pending.
        RunTestDialog<CDeviceTestDialog>({[&] { user.Cancel(); }}, IDCANCEL);
        EXPECT_EQ(Requests("Enumerate"), 0u);
        TearDown();
    }
}

TEST_F(CDialogSequenceTest, TypedCommandTextChoosesItsEntryOrIsRefused) {
    Load(kGuiBench);
    RunTestDialog<CDeviceTestDialog>({[&] {
                                         EXPECT_TRUE(user.Select(IDC_DEVICE_LIST, 2));
                                         EXPECT_TRUE(user.Type(IDC_DEVICE_COMMAND, "test_packet"));
                                         EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
                                         EXPECT_EQ(Requests("SetTestMode dev@2 4"), 1u);
                                         EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
                                         EXPECT_EQ(user.Selection(IDC_DEVICE_COMMAND), DEVICE_CMD_TEST_PACKET);
                                         user.Cancel();
                                     }},
                                     IDCANCEL);
    RunTestDialog<CSSTestDialog>({[&] {
                                     EXPECT_TRUE(user.Type(IDC_SS_TEST_MODE, "COMPLIANCE"));
                                     EXPECT_TRUE(user.Press(IDC_SS_EXECUTE));
                                     EXPECT_EQ(user.Text(IDC_SS_STATUS), "Unknown Choice: COMPLIANCE");
                                     user.Cancel();
                                 }},
                                 IDCANCEL);
    EXPECT_EQ(Requests("SetPortLinkFeature"), 0u);
    RunTestDialog<CHostTestDialog>({[&] {
                                       EXPECT_TRUE(user.Type(IDC_HOST_PORT_COMMAND, "TEST_PACKET "));
                                       EXPECT_TRUE(user.Press(IDC_HOST_EXECUTE));
                                       EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Unknown Choice: TEST_PACKET ");
                                       user.Cancel();
                                   }},
                                   IDCANCEL);
    EXPECT_EQ(Requests("SetPortFeature"), 0u);
}

TEST_F(CDialogSequenceTest, ChangingThePortBlanksTheLastResult) {
    Load(kGuiBench);
    RunTestDialog<CHostTestDialog>({[&] {
                                       EXPECT_TRUE(user.Select(IDC_HOST_PORT_COMMAND, PORT_TEST_SUSPEND));
                                       EXPECT_TRUE(user.Press(IDC_HOST_EXECUTE));
                                       EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
                                       EXPECT_TRUE(user.Select(IDC_HOST_PORT_NUMBER, 1));
                                       EXPECT_EQ(user.Text(IDC_HOST_STATUS), "");
                                       user.Cancel();
                                   }},
                                   IDCANCEL);
}
