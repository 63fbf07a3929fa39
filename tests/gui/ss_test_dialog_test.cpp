// The SuperSpeed test dialog through a scripted user on simulated benches.
#include "gui/ss_test_dialog.h"

#include "gui_fixture.h"

namespace {

// Root ports 1-2 USB 2.0, 3-5 SuperSpeed; SuperSpeed hubs on 3 (two ports,
// a disk on its port 2) and on 4 (three ports).
const char* const kSuperSpeedBench = R"(
[[controller]]
id = "SS host"
ports = ["usb2", "usb2", "ss", "ss", "ss"]

[[controller.device]]
at = "3"
vid = 0x2B4E
pid = 0x0413
serial = 2
speed = "super"
hub_ports = 2

[[controller.device]]
at = "3.2"
vid = 0x3A17
pid = 0x3003
speed = "super"

[[controller.device]]
at = "4"
vid = 0x2B4E
pid = 0x0414
serial = 3
speed = "super"
hub_ports = 3
)";

const char* const kNoHubBench = R"(
[[controller]]
id = "SS host"
ports = ["usb2", "usb2", "ss", "ss", "ss"]

[[controller.device]]
at = "4"
vid = 0x1C4D
pid = 0x5E10
speed = "super"
)";

const std::vector<std::string> kRows = {"HOST: (simulated) SS host", "HUB: VID/PID 0x2b4e/413, Address 1",
                                        "HUB: VID/PID 0x2b4e/414, Address 3"};

class CSSDialogTest : public CGuiTest {
protected:
    void SetUp() override {
        CGuiTest::SetUp();
        // The compliance executors ask in a message box, as in the program.
        SetRemoveDevicePrompt([](const std::string& text, const std::string& caption) {
            return DlgMessageBox(text.c_str(), caption.c_str(), MB_OKCANCEL) == IDOK ? PROMPT_OK : PROMPT_CANCEL;
        });
    }
    void TearDown() override {
        SetRemoveDevicePrompt({});
        CGuiTest::TearDown();
    }

    void Open(const std::string& bench, std::vector<CHeadlessUser::Step> steps) {
        Load(bench);
        RunTestDialog<CSSTestDialog>(std::move(steps));
    }

    void Compliance(int row, int portEntry) {
        ASSERT_TRUE(user.Select(IDC_SS_LIST, row));
        ASSERT_TRUE(user.Select(IDC_SS_PORT_NUMBER, portEntry));
        ASSERT_TRUE(user.Select(IDC_SS_TEST_MODE, COMPLIANCE_TX_COMPLIANCE_MODE));
        trace.clear();
        ASSERT_TRUE(user.Press(IDC_SS_EXECUTE));
    }

    // The link-state requests sent, without their results.
    std::vector<std::string> LinkRequests() const {
        std::vector<std::string> lines;
        for (const auto& line : trace)
            if (line.rfind("SetPortLinkFeature", 0) == 0) lines.push_back(line.substr(0, line.find(" ->")));
        return lines;
    }
};

}  // namespace

TEST_F(CSSDialogTest, OpensOnTheLastSuperSpeedHubAndLeavingKeepsItSelected) {
    Open(kSuperSpeedBench, {[&] {
             EXPECT_EQ(user.Caption(), "SuperSpeed Test Modes");
             EXPECT_EQ(user.Rows(IDC_SS_LIST), kRows);
             EXPECT_EQ(user.Selection(IDC_SS_LIST), 2);
             EXPECT_EQ(user.Rows(IDC_SS_PORT_NUMBER), (std::vector<std::string>{"1", "2", "3"}));
             EXPECT_EQ(user.Rows(IDC_SS_TEST_MODE), (std::vector<std::string>{"NONE", "TX_COMPLIANCE_MODE"}));
             EXPECT_EQ(user.Text(IDC_SS_TEST_MODE), "NONE");
             EXPECT_EQ(user.Text(IDC_SS_STATUS), "");
             // Row 0 lists the SuperSpeed root ports, a hub row that hub's ports.
             ASSERT_TRUE(user.Select(IDC_SS_LIST, 0));
             EXPECT_EQ(user.Rows(IDC_SS_PORT_NUMBER), (std::vector<std::string>{"3", "4", "5"}));
             ASSERT_TRUE(user.Select(IDC_SS_LIST, 1));
             EXPECT_EQ(user.Rows(IDC_SS_PORT_NUMBER), (std::vector<std::string>{"1", "2"}));
             EXPECT_TRUE(user.Press(IDC_SS_RETURN));
         }});
    EXPECT_EQ(GetSelectedHub(), 0);
}

TEST_F(CSSDialogTest, WithoutSuperSpeedHubsOnlyTheHostRowAndItsSuperSpeedPorts) {
    Open(kNoHubBench, {[&] {
             EXPECT_EQ(user.Rows(IDC_SS_LIST), std::vector<std::string>{"HOST: (simulated) SS host"});
             EXPECT_EQ(user.Selection(IDC_SS_LIST), 0);
             EXPECT_EQ(user.Rows(IDC_SS_PORT_NUMBER), (std::vector<std::string>{"3", "4", "5"}));
             EXPECT_TRUE(user.Enabled(IDC_SS_PORT_NUMBER));
             user.Press(IDC_SS_RETURN);
         }});
    EXPECT_EQ(GetSelectedHub(), NO_SELECTION);
}

TEST_F(CSSDialogTest, NoTestSelectedSendsNothing) {
    Open(kSuperSpeedBench, {[&] {
             ASSERT_TRUE(user.Press(IDC_SS_EXECUTE));
             EXPECT_EQ(user.Text(IDC_SS_STATUS), "No Test Selected");
             user.Press(IDC_SS_RETURN);
         }});
    EXPECT_TRUE(LinkRequests().empty());
}

TEST_F(CSSDialogTest, EmptyPortsGoIntoComplianceModeWithoutAsking) {
    Open(kSuperSpeedBench, {[&] {
             Compliance(0, 2);
             EXPECT_EQ(user.Depth(), 1u);
             EXPECT_EQ(user.Text(IDC_SS_STATUS), "Operation Successful");
             EXPECT_EQ(LinkRequests(), std::vector<std::string>{"SetPortLinkFeature root:5 5 10 0"});
             Compliance(1, 0);
             EXPECT_EQ(user.Text(IDC_SS_STATUS), "Operation Successful");
             EXPECT_EQ(LinkRequests(), std::vector<std::string>{"SetPortLinkFeature hub@1:1 5 10 0"});
             user.Press(IDC_SS_RETURN);
         }});
}

TEST_F(CSSDialogTest, AnAttachedDeviceIsAskedAwayAndOkAfterTheUnplugSendsTheRequest) {
    Open(kSuperSpeedBench,
         {
             [&] { Compliance(1, 1); },
             [&] {
                 EXPECT_EQ(user.MessageText(), "Remove Downstream Device");
                 EXPECT_TRUE(LinkRequests().empty());
                 std::string error;
                 ASSERT_TRUE(BLSimUnplug(BLBackend(), 0, "3.2", error)) << error;
                 user.Press(IDOK);
             },
             [&] {
                 // The box read the port before the unplug, so it comes once more.
                 EXPECT_EQ(user.MessageText(), "Remove Downstream Device");
                 user.Press(IDOK);
             },
             [&] {
                 EXPECT_EQ(user.Depth(), 1u);
                 EXPECT_EQ(user.Text(IDC_SS_STATUS), "Operation Successful");
                 EXPECT_EQ(LinkRequests(), std::vector<std::string>{"SetPortLinkFeature hub@1:2 5 10 0"});
                 user.Press(IDC_SS_RETURN);
             },
         });
}

TEST_F(CSSDialogTest, CancelInTheRemoveBoxFailsWithoutARequest) {
    Open(kSuperSpeedBench,
         {
             [&] { Compliance(1, 1); },
             [&] { user.Press(IDCANCEL); },
             [&] {
                 EXPECT_EQ(user.Text(IDC_SS_STATUS), "Operation Failed");
                 EXPECT_TRUE(LinkRequests().empty());
                 user.Press(IDC_SS_RETURN);
             },
         });
}

TEST_F(CSSDialogTest, EnumerateBusKeepsTheHubAndPortOrFallsBackToTheHost) {
    Open(kSuperSpeedBench, {[&] {
             ASSERT_TRUE(user.Select(IDC_SS_LIST, 1));
             ASSERT_TRUE(user.Select(IDC_SS_PORT_NUMBER, 1));
             ASSERT_TRUE(user.Press(IDC_SS_ENUMERATE));
             EXPECT_EQ(user.Text(IDC_SS_STATUS), "Enumeration Successful");
             EXPECT_EQ(user.Selection(IDC_SS_LIST), 1);
             EXPECT_EQ(user.Selection(IDC_SS_PORT_NUMBER), 1);
             EXPECT_EQ(GetSelectedHub(), 0);
             for (int id :
                  {IDC_SS_PORT_NUMBER, IDC_SS_ENUMERATE, IDC_SS_EXECUTE, IDC_SS_RETURN, IDC_SS_TEST_MODE, IDC_SS_LIST})
                 EXPECT_TRUE(user.Enabled(id)) << id;
             // The second hub moves up to row 1 when the first goes: back to the host.
             ASSERT_TRUE(user.Select(IDC_SS_LIST, 2));
             std::string error;
             ASSERT_TRUE(BLSimUnplug(BLBackend(), 0, "3", error)) << error;
             ASSERT_TRUE(user.Press(IDC_SS_ENUMERATE));
             EXPECT_EQ(user.Rows(IDC_SS_LIST),
                       (std::vector<std::string>{"HOST: (simulated) SS host", "HUB: VID/PID 0x2b4e/414, Address 1"}));
             EXPECT_EQ(user.Selection(IDC_SS_LIST), 0);
             EXPECT_EQ(user.Rows(IDC_SS_PORT_NUMBER), (std::vector<std::string>{"3", "4", "5"}));
             EXPECT_EQ(user.Selection(IDC_SS_PORT_NUMBER), 0);
             EXPECT_EQ(GetSelectedHub(), NO_SELECTION);
             user.Press(IDC_SS_RETURN);
         }});
}
