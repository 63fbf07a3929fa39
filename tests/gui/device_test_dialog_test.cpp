// The device test dialog through a scripted user on simulated benches.
#include "gui/device_test_dialog.h"

#include "bench/catalogue.h"
#include "gui_fixture.h"

#include <sstream>

namespace {

const std::vector<std::string> kUsb2Rows = {"NONE", "VID/PID 0x2b4e/412, Address 1, Port 1",
                                            "VID/PID 0x3a17/1001, Address 2, Port 2"};
const char kNoDevices[] =
    "No Devices Present. \r\nIf you put the device in a test mode you need to \r\npower cycle it and re-enumerate\n";

// The values of a descriptor dump, or nothing when the text is not one.
std::vector<std::string> DumpValues(const std::string& text) {
    const std::string prefix = "Get Device Descriptor Raw Value: \n";
    if (text.rfind(prefix, 0) != 0) return {};
    std::istringstream in(text.substr(prefix.size()));
    std::vector<std::string> values;
    for (std::string value; in >> value;) values.push_back(value);
    return values;
}

class CDeviceDialogTest : public CGuiTest {
protected:
    void Run(std::vector<CHeadlessUser::Step> steps) { RunTestDialog<CDeviceTestDialog>(std::move(steps)); }
    void Execute(int command) {
        EXPECT_TRUE(user.Select(IDC_DEVICE_COMMAND, command));
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
    }
    void ReturnToMain() { EXPECT_TRUE(user.Press(IDC_DEVICE_RETURN)); }
};

}  // namespace

TEST_F(CDeviceDialogTest, OpensWithTheFirstUsb2DeviceSelectedAndTheCatalogueCommands) {
    Load(kGuiBench);
    Run({[&] {
        EXPECT_EQ(user.Caption(), "xHCI HS Voltaris - Device Test");
        EXPECT_EQ(user.Rows(IDC_DEVICE_LIST), kUsb2Rows);
        EXPECT_EQ(user.Selection(IDC_DEVICE_LIST), 1);
        EXPECT_EQ(user.Rows(IDC_DEVICE_COMMAND), CatalogueDialogList(FAMILY_DEVICE));
        EXPECT_EQ(user.Rows(IDC_DEVICE_COMMAND).size(), 15u);
        EXPECT_EQ(user.Selection(IDC_DEVICE_COMMAND), 0);
        EXPECT_TRUE(user.Enabled(IDC_DEVICE_COMMAND));
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_ADDRESS));
        EXPECT_EQ(user.Text(IDC_DEVICE_ADDRESS), "0");
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "EXECUTE");
        EXPECT_EQ(BusModel().SelectedDevice, 0);
        ReturnToMain();
    }});
}

TEST_F(CDeviceDialogTest, EmptyBusLeavesTheCommandsDisabledAndExecuteSendsNothing) {
    Load("[[controller]]\nid = \"Empty host\"\ndriver_version = \"1.0.3.0\"\n");
    Run({[&] {
        EXPECT_EQ(user.Rows(IDC_DEVICE_LIST), std::vector<std::string>{"NONE"});
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_COMMAND));
        trace.clear();
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        EXPECT_EQ(trace.size(), 0u);
        ReturnToMain();
    }});
}

TEST_F(CDeviceDialogTest, DescriptorReadShowsTheDumpAndSetAddressSendsTheLowByte) {
    Load(kGuiBench);
    Run({[&] {
        user.Select(IDC_DEVICE_LIST, 2);
        Execute(DEVICE_CMD_DEVICE_DESCRIPTOR);
        auto values = DumpValues(user.Text(IDC_DEVICE_STATUS));
        ASSERT_EQ(values.size(), 18u) << user.Text(IDC_DEVICE_STATUS);
        EXPECT_EQ(values[0], "12");
        EXPECT_EQ(values[1], "1");

        EXPECT_TRUE(user.Select(IDC_DEVICE_COMMAND, DEVICE_CMD_SET_ADDRESS));
        EXPECT_TRUE(user.Enabled(IDC_DEVICE_ADDRESS));
        user.SelectText(IDC_DEVICE_ADDRESS, 0, 1);
        EXPECT_TRUE(user.Type(IDC_DEVICE_ADDRESS, "300"));
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        EXPECT_TRUE(user.Select(IDC_DEVICE_COMMAND, DEVICE_CMD_RESET));
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_ADDRESS));
        ReturnToMain();
    }});
    EXPECT_EQ(Requests("GetDescriptor dev@2 1 0 0"), 1u);
    EXPECT_EQ(Requests("SetAddress dev@2 44 "), 1u);
}

TEST_F(CDeviceDialogTest, FailedTestModeStillReenumeratesBeforeTheNextExecute) {
    Load(std::string(kGuiBench) + "[[fault]]\nrequest = \"SetTestMode\"\nstatus = 0x80001002\ncount = 1\n");
    Run({[&] {
        user.Select(IDC_DEVICE_LIST, 2);
        Execute(DEVICE_CMD_TEST_J);
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Failed");
        EXPECT_EQ(Requests("Enumerate "), 0u);
        Execute(DEVICE_CMD_DEVICE_DESCRIPTOR);
        // The device still answers: it is found again and read.
        EXPECT_EQ(Requests("Enumerate "), 1u);
        EXPECT_EQ(DumpValues(user.Text(IDC_DEVICE_STATUS)).size(), 18u);
        EXPECT_EQ(user.Selection(IDC_DEVICE_LIST), 2);
        Execute(DEVICE_CMD_NONE);
        EXPECT_EQ(Requests("Enumerate "), 1u);
        ReturnToMain();
    }});
}

TEST_F(CDeviceDialogTest, DeviceThatVanishedInATestModeGivesTheNoDevicesText) {
    Load(kGuiBench);
    Run({[&] {
        user.Select(IDC_DEVICE_LIST, 2);
        Execute(DEVICE_CMD_TEST_PACKET);
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        size_t before = trace.size();
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), kNoDevices);
        // The hub is still listed, yet nothing is selected and nothing sent.
        EXPECT_EQ(user.Rows(IDC_DEVICE_LIST).size(), 2u);
        EXPECT_EQ(user.Selection(IDC_DEVICE_LIST), 0);
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_COMMAND));
        EXPECT_EQ(user.Selection(IDC_DEVICE_COMMAND), 0);
        EXPECT_EQ(BusModel().SelectedDevice, NO_SELECTION);
        for (size_t i = before; i < trace.size(); ++i) EXPECT_NE(trace[i].rfind("SetTestMode", 0), 0u) << trace[i];
        ReturnToMain();
    }});
    EXPECT_EQ(Requests("SetTestMode dev@2 4"), 1u);
}

TEST_F(CDeviceDialogTest, SingleStepGetDeviceDescriptorTakesThreePressesWhileLocked) {
    Load(kGuiBench);
    Run({[&] {
        user.Select(IDC_DEVICE_LIST, 2);
        Execute(DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC);
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Step");
        for (int id : {IDC_DEVICE_LIST, IDC_DEVICE_COMMAND, IDC_DEVICE_ENUMERATE, IDC_DEVICE_ADDRESS})
            EXPECT_FALSE(user.Enabled(id)) << id;
        EXPECT_TRUE(user.Enabled(IDC_DEVICE_RETURN));

        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(DumpValues(user.Text(IDC_DEVICE_STATUS)).size(), 18u);
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Step");

        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Execute");
        EXPECT_EQ(user.Selection(IDC_DEVICE_COMMAND), 0);
        for (int id : {IDC_DEVICE_LIST, IDC_DEVICE_COMMAND, IDC_DEVICE_ENUMERATE}) EXPECT_TRUE(user.Enabled(id)) << id;
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_ADDRESS));

        // Set feature: setup, then the status stage.
        Execute(DEVICE_CMD_SINGLE_STEP_SET_FEATURE);
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Step");
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Execute");
        ReturnToMain();
    }});
    EXPECT_EQ(Requests("DoControlTransferSingleStep dev@2 8006000100001200 8 0 "), 1u);
    EXPECT_EQ(Requests("DoControlTransferSingleStep dev@2 18 1 "), 1u);
    EXPECT_EQ(Requests("DoControlTransferSingleStep dev@2 0003003200000000 8 0 "), 1u);
    EXPECT_EQ(Requests("DoControlTransferSingleStep dev@2 0 2 "), 2u);
}

TEST_F(CDeviceDialogTest, LoopReadsEveryHundredMillisecondsUntilStopped) {
    Load(std::string(kGuiBench) + "[[fault]]\nrequest = \"GetDescriptor\"\nstatus = 0x80001001\ncount = 1\n");
    Run({[&] {
        user.Select(IDC_DEVICE_LIST, 2);
        // The first read is made at once; it fails, and the status keeps
        // saying so while later reads succeed.
        Execute(DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR);
        EXPECT_EQ(Requests("GetDescriptor"), 1u);
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Failed");
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Stop Looping");
        for (int id : {IDC_DEVICE_LIST, IDC_DEVICE_COMMAND, IDC_DEVICE_ENUMERATE, IDC_DEVICE_ADDRESS})
            EXPECT_FALSE(user.Enabled(id)) << id;
        user.Advance(100);
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Failed");
        user.Advance(800);
        EXPECT_EQ(Requests("GetDescriptor dev@2"), 10u);

        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_EXECUTE), "Execute");
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Failed");  // the stop keeps the loop's result
        EXPECT_EQ(user.Selection(IDC_DEVICE_COMMAND), 0);
        for (int id : {IDC_DEVICE_LIST, IDC_DEVICE_COMMAND, IDC_DEVICE_ENUMERATE}) EXPECT_TRUE(user.Enabled(id)) << id;
        user.Advance(1000);
        EXPECT_EQ(Requests("GetDescriptor"), 10u);

        // A loop started again begins clean; closing while looping stops the reads.
        Execute(DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR);
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        user.Advance(100);
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        Execute(DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR);
        ReturnToMain();
    }});
    user.Advance(1000);
    EXPECT_EQ(Requests("GetDescriptor"), 13u);
}

TEST_F(CDeviceDialogTest, NoneRowLeavesNoCommandToRunOnTheDeviceSelectedBefore) {
    Load(kGuiBench);
    Run({[&] {
        user.Select(IDC_DEVICE_COMMAND, DEVICE_CMD_SET_ADDRESS);
        EXPECT_TRUE(user.Select(IDC_DEVICE_LIST, 0));
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_COMMAND));
        EXPECT_FALSE(user.Enabled(IDC_DEVICE_ADDRESS));
        EXPECT_EQ(user.Selection(IDC_DEVICE_COMMAND), 0);
        EXPECT_TRUE(user.Press(IDC_DEVICE_EXECUTE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Operation Successful");
        ReturnToMain();
    }});
    EXPECT_EQ(Requests("SetAddress"), 0u);
}

// A SuperSpeed device before the chosen one in address order: the
// all-speed index restored by the enumeration is not the USB 2.0 row.
TEST_F(CDeviceDialogTest, EnumerateBusKeepsTheSelectedDeviceAtItsUsb2Row) {
    Load(R"(
[[controller]]
id = "Mixed host"
driver_version = "1.0.3.0"
ports = ["ss", "usb2", "usb2"]

[[controller.device]]
at = "1"
vid = 0x1111
pid = 0x0001
speed = "super"

[[controller.device]]
at = "2"
vid = 0x2222
pid = 0x0002
speed = "high"

[[controller.device]]
at = "3"
vid = 0x3333
pid = 0x0003
speed = "high"
)");
    Run({[&] {
        ASSERT_EQ(user.Rows(IDC_DEVICE_LIST).size(), 3u);
        user.Select(IDC_DEVICE_LIST, 2);
        EXPECT_TRUE(user.Press(IDC_DEVICE_ENUMERATE));
        EXPECT_EQ(user.Text(IDC_DEVICE_STATUS), "Enumeration Successful");
        EXPECT_EQ(user.Selection(IDC_DEVICE_LIST), 2);
        EXPECT_EQ(BusModel().SelectedDevice, 1);
        Execute(DEVICE_CMD_DEVICE_DESCRIPTOR);
        ReturnToMain();
    }});
    EXPECT_EQ(Requests("GetDescriptor dev@3"), 1u);
}

TEST_F(CDeviceDialogTest, EnumerateBusSelectsTheFirstDevicePluggedIntoAnEmptyBus) {
    Load(
        "[[controller]]\nid = \"Host\"\nports = [\"usb2\"]\n\n[[controller.device]]\nat = \"1\"\n"
        "vid = 0x4444\npid = 0x0004\nspeed = \"high\"\n");
    std::string error;
    ASSERT_TRUE(BLSimUnplug(BLBackend(), 0, "1", error)) << error;
    Run({[&] {
        EXPECT_EQ(user.Rows(IDC_DEVICE_LIST).size(), 1u);
        std::string plugError;
        EXPECT_TRUE(BLSimPlug(BLBackend(), 0, "1", plugError)) << plugError;
        EXPECT_TRUE(user.Press(IDC_DEVICE_ENUMERATE));
        EXPECT_EQ(user.Selection(IDC_DEVICE_LIST), 1);
        EXPECT_TRUE(user.Enabled(IDC_DEVICE_COMMAND));
        EXPECT_EQ(BusModel().SelectedDevice, 0);
        for (int id : {IDC_DEVICE_LIST, IDC_DEVICE_ENUMERATE, IDC_DEVICE_EXECUTE, IDC_DEVICE_RETURN})
            EXPECT_TRUE(user.Enabled(id)) << id;
        ReturnToMain();
    }});
}
