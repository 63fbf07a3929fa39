// The hub test dialog through a scripted user on simulated benches.
#include "gui/hub_test_dialog.h"

#include "bench/catalogue.h"
#include "gui_fixture.h"

namespace {

// A high-speed 4-port hub on root port 1 with a drive on its port 1 and a
// keyboard on its port 3; a camera on root port 2; a SuperSpeed hub on 5.
const char* const kHubBench = R"(
[[controller]]
id = "Hub host"
ports = ["usb2", "usb2", "usb2", "usb2", "ss", "ss", "ss", "ss"]

[[controller.device]]
at = "1"
vid = 0x2B4E
pid = 0x0412
serial = 1
speed = "high"
hub_ports = 4

[[controller.device]]
at = "1.1"
vid = 0x3A17
pid = 0x1001
serial = 0x101
speed = "high"

[[controller.device]]
at = "1.3"
vid = 0x3A17
pid = 0x2002
serial = 0x103
speed = "full"

[[controller.device]]
at = "2"
vid = 0x1C4D
pid = 0x0A20
speed = "high"

[[controller.device]]
at = "5"
vid = 0x2B4E
pid = 0x0413
serial = 2
speed = "super"
hub_ports = 4
)";

const std::vector<std::string> kHubRows = {"NONE", "VID/PID 0x2b4e/412, Address 1  4 Ports"};
const std::vector<std::string> kDownstreamRows = {"NONE", "VID/PID 0x3a17/1001, Address 2, Port 1",
                                                  "VID/PID 0x3a17/2002, Address 3, Port 3"};
const std::vector<std::string> kPorts = {"1", "2", "3", "4"};

class CHubDialogTest : public CGuiTest {
protected:
    // The bench loaded and its controller selected, as the main dialog's TEST does.
    void Open(const std::string& bench, std::vector<CHeadlessUser::Step> steps) {
        Load(bench);
        RunTestDialog<CHubTestDialog>(std::move(steps));
    }

    void Execute(int list, int position) {
        ASSERT_TRUE(user.Select(list, position));
        ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
    }

    void Unplug(const std::string& at) {
        std::string error;
        ASSERT_TRUE(BLSimUnplug(BLBackend(), 0, at, error)) << error;
    }

    // The request lines sent, without their results.
    std::vector<std::string> Sent(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const auto& line : trace)
            if (line.rfind(prefix, 0) == 0) lines.push_back(line.substr(0, line.find(" ->")));
        return lines;
    }
};

}  // namespace

TEST_F(CHubDialogTest, OpensOnTheFirstHubWithItsDevicesPortsAndCatalogueLists) {
    Open(kHubBench, {[&] {
             EXPECT_EQ(user.Caption(), "xHCI HS Voltaris - Hub Test");
             EXPECT_EQ(user.Rows(IDC_HUB_LIST), kHubRows);
             EXPECT_EQ(user.Selection(IDC_HUB_LIST), 1);
             EXPECT_EQ(user.Rows(IDC_HUB_DOWNSTREAM_LIST), kDownstreamRows);
             EXPECT_EQ(user.Selection(IDC_HUB_DOWNSTREAM_LIST), 1);
             EXPECT_EQ(user.Rows(IDC_HUB_PORT_NUMBER), kPorts);
             EXPECT_EQ(user.Rows(IDC_HUB_COMMAND), CatalogueDialogList(FAMILY_HUB));
             EXPECT_EQ(user.Rows(IDC_HUB_PORT_COMMAND), CatalogueDialogList(FAMILY_PORT));
             EXPECT_EQ(user.Rows(IDC_HUB_DEVICE_COMMAND), CatalogueDialogList(FAMILY_HUB_DEVICE));
             for (int id : {IDC_HUB_COMMAND, IDC_HUB_PORT_COMMAND, IDC_HUB_DEVICE_COMMAND}) {
                 EXPECT_TRUE(user.Enabled(id)) << id;
                 EXPECT_EQ(user.Text(id), "NONE") << id;
             }
             for (int id : {IDC_HUB_ADDRESS, IDC_HUB_DEVICE_ADDRESS, IDC_HUB_DISCONNECT_NOTIFY})
                 EXPECT_FALSE(user.Enabled(id)) << id;
             EXPECT_EQ(user.Text(IDC_HUB_ADDRESS), "0");
             EXPECT_EQ(GetSelectedHub(), 0);
             EXPECT_EQ(BusModel().SelectedDevice, 0);
             EXPECT_TRUE(user.Press(IDC_HUB_RETURN));
         }});
    EXPECT_EQ(GetSelectedHub(), NO_SELECTION) << "Return To Main clears the hub selection";
}

TEST_F(CHubDialogTest, HubRowZeroTurnsTheHubOffAndEnumerateBusKeepsItOff) {
    Open(kHubBench, {[&] {
             ASSERT_TRUE(user.Select(IDC_HUB_LIST, 0));
             for (int id : {IDC_HUB_COMMAND, IDC_HUB_PORT_COMMAND, IDC_HUB_PORT_NUMBER, IDC_HUB_ADDRESS})
                 EXPECT_FALSE(user.Enabled(id)) << id;
             EXPECT_EQ(user.Rows(IDC_HUB_DOWNSTREAM_LIST), kDownstreamRows) << "the downstream list keeps its rows";
             ASSERT_TRUE(user.Press(IDC_HUB_ENUMERATE));
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Enumeration Successful");
             EXPECT_EQ(user.Selection(IDC_HUB_LIST), 0);
             EXPECT_TRUE(user.Rows(IDC_HUB_PORT_NUMBER).empty());
             EXPECT_FALSE(user.Enabled(IDC_HUB_PORT_NUMBER));
             EXPECT_TRUE(user.Rows(IDC_HUB_DOWNSTREAM_LIST).empty());
             EXPECT_FALSE(user.Enabled(IDC_HUB_DEVICE_COMMAND));
             // EXECUTE without a hub sends nothing.
             trace.clear();
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             EXPECT_TRUE(trace.empty()) << trace.front();
             // Choosing the hub again brings its devices and ports back.
             ASSERT_TRUE(user.Select(IDC_HUB_LIST, 1));
             EXPECT_EQ(user.Rows(IDC_HUB_DOWNSTREAM_LIST), kDownstreamRows);
             EXPECT_EQ(user.Rows(IDC_HUB_PORT_NUMBER), kPorts);
             EXPECT_TRUE(user.Enabled(IDC_HUB_DEVICE_COMMAND));
             user.Press(IDC_HUB_RETURN);
         }});
}

TEST_F(CHubDialogTest, CommandListsExcludeEachOtherAndAddressBoxesFollowSetAddress) {
    Open(kHubBench, {[&] {
             ASSERT_TRUE(user.Select(IDC_HUB_COMMAND, HUB_CMD_SET_ADDRESS));
             EXPECT_TRUE(user.Enabled(IDC_HUB_ADDRESS));
             ASSERT_TRUE(user.Select(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_SET_ADDRESS));
             EXPECT_EQ(user.Selection(IDC_HUB_COMMAND), 0);
             EXPECT_FALSE(user.Enabled(IDC_HUB_ADDRESS));
             EXPECT_TRUE(user.Enabled(IDC_HUB_DEVICE_ADDRESS));
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_COMMAND, PORT_TEST_RESET));
             EXPECT_EQ(user.Selection(IDC_HUB_DEVICE_COMMAND), 0);
             EXPECT_FALSE(user.Enabled(IDC_HUB_DEVICE_ADDRESS));
             EXPECT_TRUE(user.Enabled(IDC_HUB_PORT_NUMBER));
             ASSERT_TRUE(user.Select(IDC_HUB_COMMAND, HUB_CMD_RESUME));
             EXPECT_EQ(user.Selection(IDC_HUB_PORT_COMMAND), 0);
             EXPECT_FALSE(user.Enabled(IDC_HUB_PORT_NUMBER));
             EXPECT_FALSE(user.Enabled(IDC_HUB_ADDRESS));
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_COMMAND, PORT_TEST_NONE));
             EXPECT_EQ(user.Selection(IDC_HUB_COMMAND), HUB_CMD_RESUME) << "NONE leaves the other lists alone";
             user.Press(IDC_HUB_RETURN);
         }});
}

TEST_F(CHubDialogTest, EachAddressBoxFeedsOnlyItsOwnSetAddress) {
    Open(kHubBench, {[&] {
             // Each box is typed into before the other one's SET ADDRESS runs.
             ASSERT_TRUE(user.Select(IDC_HUB_COMMAND, HUB_CMD_SET_ADDRESS));
             ASSERT_TRUE(user.SelectText(IDC_HUB_ADDRESS, 0, 1));
             ASSERT_TRUE(user.Type(IDC_HUB_ADDRESS, "9"));
             ASSERT_TRUE(user.Select(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_SET_ADDRESS));
             ASSERT_TRUE(user.Type(IDC_HUB_DEVICE_ADDRESS, "300"));
             Execute(IDC_HUB_COMMAND, HUB_CMD_SET_ADDRESS);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             ASSERT_TRUE(user.SelectText(IDC_HUB_ADDRESS, 0, 1));
             ASSERT_TRUE(user.Type(IDC_HUB_ADDRESS, "7"));
             Execute(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_SET_ADDRESS);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             user.Press(IDC_HUB_RETURN);
         }});
    EXPECT_EQ(Sent("SetAddress"), (std::vector<std::string>{"SetAddress hub@1 9", "SetAddress dev@2 44"}));
}

TEST_F(CHubDialogTest, ParentTestPacketSkipsThePendingReEnumerationWhichStaysPending) {
    Open(kHubBench, {[&] {
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_COMMAND, PORT_TEST_TEST_PACKET));
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_NUMBER, 1));
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             EXPECT_EQ(Sent("SetPortFeature hub@1:2 21").size(), 1u);
             EXPECT_FALSE(user.Enabled(IDC_HUB_DISCONNECT_NOTIFY));

             trace.clear();
             Execute(IDC_HUB_COMMAND, HUB_CMD_PARENT_TEST_PACKET);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             EXPECT_EQ(Requests("Enumerate"), 0u);
             EXPECT_EQ(Sent("SetPortFeature root:1 21"), std::vector<std::string>{"SetPortFeature root:1 21 4 0"});

             // The next command enumerates first, then runs.
             trace.clear();
             Execute(IDC_HUB_COMMAND, HUB_CMD_DISABLE_WAKEUP);
             EXPECT_EQ(Requests("Enumerate"), 1u);
             EXPECT_EQ(Sent("DisableRemoteWakeup"), std::vector<std::string>{"DisableRemoteWakeup hub@1"});
             trace.clear();
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(Requests("Enumerate"), 0u) << "the flag was cleared";
             user.Press(IDC_HUB_RETURN);
         }});
}

TEST_F(CHubDialogTest, HubSingleStepLocksStepsThroughThreeStagesAndCanStartAgain) {
    Open(kHubBench, {[&] {
             Execute(IDC_HUB_COMMAND, HUB_CMD_SINGLE_STEP_GET_DEV_DESC);
             EXPECT_EQ(user.Text(IDC_HUB_EXECUTE), "Step");
             for (int id :
                  {IDC_HUB_LIST, IDC_HUB_DOWNSTREAM_LIST, IDC_HUB_COMMAND, IDC_HUB_PORT_COMMAND, IDC_HUB_DEVICE_COMMAND,
                   IDC_HUB_ENUMERATE, IDC_HUB_PORT_NUMBER, IDC_HUB_ADDRESS, IDC_HUB_DEVICE_ADDRESS})
                 EXPECT_FALSE(user.Enabled(id)) << id;
             EXPECT_TRUE(user.Enabled(IDC_HUB_RETURN));
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(user.Text(IDC_HUB_STATUS).rfind("Get Device Descriptor Raw Value: \n12 1 0 2 9 ", 0), 0u)
                 << user.Text(IDC_HUB_STATUS);
             EXPECT_EQ(user.Text(IDC_HUB_EXECUTE), "Step");
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(user.Text(IDC_HUB_EXECUTE), "Execute");
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             EXPECT_EQ(user.Selection(IDC_HUB_COMMAND), HUB_CMD_SINGLE_STEP_GET_DEV_DESC) << "the hub command stays";
             for (int id : {IDC_HUB_LIST, IDC_HUB_DOWNSTREAM_LIST, IDC_HUB_COMMAND, IDC_HUB_PORT_COMMAND,
                            IDC_HUB_DEVICE_COMMAND, IDC_HUB_ENUMERATE})
                 EXPECT_TRUE(user.Enabled(id)) << id;
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(user.Text(IDC_HUB_EXECUTE), "Step") << "a new sequence";
             user.Press(IDC_HUB_RETURN);
         }});
    EXPECT_EQ(Sent("DoControlTransferSingleStep"),
              (std::vector<std::string>{
                  "DoControlTransferSingleStep hub@1 8006000100001200 8 0", "DoControlTransferSingleStep hub@1 18 1",
                  "DoControlTransferSingleStep hub@1 0 2", "DoControlTransferSingleStep hub@1 8006000100001200 8 0"}));
}

TEST_F(CHubDialogTest, DeviceSingleStepSetFeatureTakesTwoPressesAndEndsOnNone) {
    Open(kHubBench, {[&] {
             ASSERT_TRUE(user.Select(IDC_HUB_DOWNSTREAM_LIST, 2));
             Execute(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_SINGLE_STEP_SET_FEATURE);
             EXPECT_EQ(user.Text(IDC_HUB_EXECUTE), "Step");
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             EXPECT_EQ(user.Text(IDC_HUB_EXECUTE), "Execute");
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             EXPECT_EQ(user.Selection(IDC_HUB_DEVICE_COMMAND), 0);
             user.Press(IDC_HUB_RETURN);
         }});
    EXPECT_EQ(Sent("DoControlTransferSingleStep"),
              (std::vector<std::string>{"DoControlTransferSingleStep dev@3 0003003200000000 8 0",
                                        "DoControlTransferSingleStep dev@3 0 2"}));
}

TEST_F(CHubDialogTest, DescriptorReadsOfHubAndDeviceAreShownAndFailuresReported) {
    Open(kHubBench, {[&] {
             Execute(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_DEVICE_DESCRIPTOR);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS).rfind("Get Device Descriptor Raw Value: \n12 1 0 2 0 ", 0), 0u)
                 << user.Text(IDC_HUB_STATUS);
             Execute(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_TEST_PACKET);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Successful");
             // A device in a test mode answers no more.
             Execute(IDC_HUB_DEVICE_COMMAND, HUB_DEVICE_CMD_DEVICE_DESCRIPTOR);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Operation Failed");
             Execute(IDC_HUB_COMMAND, HUB_CMD_DEVICE_DESCRIPTOR);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS).rfind("Get Device Descriptor Raw Value: \n12 1 0 2 9 ", 0), 0u);
             user.Press(IDC_HUB_RETURN);
         }});
}

TEST_F(CHubDialogTest, ForceEnableLetsTheMonitorWatchThatPortUntilItCanNoLongerBeRead) {
    Open(kHubBench, {[&] {
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_COMMAND, PORT_TEST_TEST_FORCE_ENABLE));
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_NUMBER, 2));
             ASSERT_TRUE(user.Press(IDC_HUB_EXECUTE));
             ASSERT_TRUE(user.Press(IDC_HUB_DISCONNECT_NOTIFY));
             Unplug("1.3");
             user.Advance(1000);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Disconnect Event Detected!");
             std::string error;
             ASSERT_TRUE(BLSimPlug(BLBackend(), 0, "1.3", error)) << error;
             user.Advance(1000);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Connect Event Detected");
             EXPECT_EQ(Sent("ClearPortFeature hub@1:3 16").size(), 2u) << "each change is acknowledged";
             // With the hub gone its port can no longer be read: said once, and the watch ends.
             Unplug("1");
             user.Advance(1000);
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Port Can No Longer Be Read");
             EXPECT_FALSE(user.Checked(IDC_HUB_DISCONNECT_NOTIFY));
             EXPECT_FALSE(user.Enabled(IDC_HUB_DISCONNECT_NOTIFY));
             size_t polls = Requests("GetPortStatus");
             user.Advance(3000);
             EXPECT_EQ(Requests("GetPortStatus"), polls);
             user.Press(IDC_HUB_RETURN);
         }});
}

TEST_F(CHubDialogTest, EnumerateBusFindsTheHubAgainBehindASuperSpeedHubAndKeepsThePort) {
    // The SuperSpeed hub on root port 1 comes first in the list of every speed.
    const std::string bench = R"(
[[controller]]
id = "Hub host"
ports = ["ss", "usb2"]

[[controller.device]]
at = "1"
vid = 0x2B4E
pid = 0x0413
serial = 2
speed = "super"
hub_ports = 4

[[controller.device]]
at = "2"
vid = 0x2B4E
pid = 0x0412
serial = 1
speed = "high"
hub_ports = 4

[[controller.device]]
at = "2.1"
vid = 0x3A17
pid = 0x1001
speed = "high"

[[controller.device]]
at = "2.3"
vid = 0x3A17
pid = 0x2002
speed = "full"
)";
    Open(bench, {[&] {
             ASSERT_EQ(user.Rows(IDC_HUB_LIST).size(), 2u);
             ASSERT_TRUE(user.Select(IDC_HUB_DOWNSTREAM_LIST, 2));
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_COMMAND, PORT_TEST_RESET));
             ASSERT_TRUE(user.Select(IDC_HUB_PORT_NUMBER, 3));
             ASSERT_TRUE(user.Press(IDC_HUB_ENUMERATE));
             EXPECT_EQ(user.Text(IDC_HUB_STATUS), "Enumeration Successful");
             EXPECT_EQ(user.Selection(IDC_HUB_LIST), 1);
             EXPECT_EQ(GetSelectedHub(), 0);
             EXPECT_EQ(user.Selection(IDC_HUB_PORT_NUMBER), 3) << "the port is kept";
             ASSERT_EQ(user.Rows(IDC_HUB_DOWNSTREAM_LIST).size(), 3u);
             trace.clear();
             Execute(IDC_HUB_COMMAND, HUB_CMD_ENABLE_WAKEUP);
             EXPECT_EQ(Sent("EnableRemoteWakeup").size(), 1u);
             EXPECT_EQ(Sent("EnableRemoteWakeup hub@").size(), 1u) << Sent("EnableRemoteWakeup").front();
             user.Press(IDC_HUB_RETURN);
         }});
}

TEST_F(CHubDialogTest, EnumerateBusAfterTheHubWasUnpluggedLeavesNoHubAndNoPorts) {
    Open(kHubBench, {[&] {
             Unplug("1");
             ASSERT_TRUE(user.Press(IDC_HUB_ENUMERATE));
             EXPECT_EQ(user.Rows(IDC_HUB_LIST), std::vector<std::string>{"NONE"});
             EXPECT_EQ(user.Selection(IDC_HUB_LIST), 0);
             EXPECT_TRUE(user.Rows(IDC_HUB_DOWNSTREAM_LIST).empty());
             EXPECT_TRUE(user.Rows(IDC_HUB_PORT_NUMBER).empty());
             for (int id : {IDC_HUB_COMMAND, IDC_HUB_PORT_COMMAND, IDC_HUB_DEVICE_COMMAND, IDC_HUB_PORT_NUMBER})
                 EXPECT_FALSE(user.Enabled(id)) << id;
             EXPECT_EQ(GetSelectedHub(), NO_SELECTION);
             // Plugged in again, the next Enumerate Bus picks it.
             std::string error;
             ASSERT_TRUE(BLSimPlug(BLBackend(), 0, "1", error)) << error;
             ASSERT_TRUE(user.Press(IDC_HUB_ENUMERATE));
             EXPECT_EQ(user.Selection(IDC_HUB_LIST), 1);
             EXPECT_EQ(user.Selection(IDC_HUB_DOWNSTREAM_LIST), 1);
             EXPECT_TRUE(user.Enabled(IDC_HUB_DEVICE_COMMAND));
             EXPECT_EQ(user.Rows(IDC_HUB_PORT_NUMBER), kPorts);
             user.Press(IDC_HUB_RETURN);
         }});
}
