// The host test dialog through a scripted user on simulated benches.
#include "gui/host_test_dialog.h"

#include "bench/catalogue.h"
#include "gui_fixture.h"

namespace {

class CHostDialogTest : public CGuiTest {
protected:
    void Run(std::vector<CHeadlessUser::Step> steps) { RunTestDialog<CHostTestDialog>(std::move(steps)); }
    void RunPortCommand(int command, int portRow = 0) {
        EXPECT_TRUE(user.Select(IDC_HOST_PORT_COMMAND, command));
        EXPECT_TRUE(user.Select(IDC_HOST_PORT_NUMBER, portRow));
        EXPECT_TRUE(user.Press(IDC_HOST_EXECUTE));
    }
    void RunDeviceCommand(int command) {
        EXPECT_TRUE(user.Select(IDC_HOST_DEVICE_COMMAND, command));
        EXPECT_TRUE(user.Press(IDC_HOST_EXECUTE));
    }
    void Unplug(const std::string& at) {
        std::string error;
        EXPECT_TRUE(BLSimUnplug(BLBackend(), 0, at, error)) << error;
    }
    void ReturnToMain() { EXPECT_TRUE(user.Press(IDC_HOST_RETURN)); }
};

}  // namespace

TEST_F(CHostDialogTest, OpensWithTheUsb2RootPortsAndTheCatalogueCommands) {
    Load(kGuiBench);
    Run({[&] {
        EXPECT_EQ(user.Caption(), "xHCI HS Voltaris - Host Test");
        EXPECT_EQ(user.Rows(IDC_HOST_PORT_COMMAND), CatalogueDialogList(FAMILY_PORT));
        EXPECT_EQ(user.Rows(IDC_HOST_PORT_COMMAND).size(), 9u);
        EXPECT_EQ(user.Rows(IDC_HOST_DEVICE_COMMAND), CatalogueDialogList(FAMILY_HOST_DEVICE));
        EXPECT_EQ(user.Rows(IDC_HOST_DEVICE_COMMAND)[2], "SET_ADDRESS");
        EXPECT_EQ(user.Rows(IDC_HOST_PORT_NUMBER), (std::vector<std::string>{"1", "2", "3", "4"}));
        EXPECT_EQ(user.Selection(IDC_HOST_PORT_NUMBER), 0);
        EXPECT_EQ(user.Rows(IDC_HOST_DEVICE_LIST).size(), 3u);
        EXPECT_EQ(user.Selection(IDC_HOST_DEVICE_LIST), 1);
        EXPECT_TRUE(user.Enabled(IDC_HOST_DEVICE_COMMAND));
        EXPECT_FALSE(user.Enabled(IDC_HOST_ADDRESS));
        EXPECT_FALSE(user.Enabled(IDC_HOST_DISCONNECT_NOTIFY));
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "");
        EXPECT_EQ(BusModel().SelectedDevice, 0);
        ReturnToMain();
    }});
}

TEST_F(CHostDialogTest, PortAndDeviceCommandsExcludeEachOther) {
    Load(kGuiBench);
    Run({[&] {
        EXPECT_TRUE(user.Select(IDC_HOST_DEVICE_COMMAND, HOST_DEVICE_CMD_SET_ADDRESS));
        EXPECT_TRUE(user.Enabled(IDC_HOST_ADDRESS));
        EXPECT_TRUE(user.Select(IDC_HOST_PORT_COMMAND, PORT_TEST_SUSPEND));
        EXPECT_EQ(user.Selection(IDC_HOST_DEVICE_COMMAND), 0);
        EXPECT_FALSE(user.Enabled(IDC_HOST_ADDRESS));
        EXPECT_TRUE(user.Enabled(IDC_HOST_PORT_NUMBER));
        EXPECT_TRUE(user.Select(IDC_HOST_DEVICE_COMMAND, HOST_DEVICE_CMD_ENABLE_WAKEUP));
        EXPECT_EQ(user.Selection(IDC_HOST_PORT_COMMAND), 0);
        EXPECT_TRUE(user.Select(IDC_HOST_DEVICE_COMMAND, HOST_DEVICE_CMD_NONE));
        trace.clear();
        EXPECT_TRUE(user.Press(IDC_HOST_EXECUTE));
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
        EXPECT_EQ(trace.size(), 0u);
        ReturnToMain();
    }});
}

TEST_F(CHostDialogTest, PortActionsRunOnTheChosenRootPort) {
    Load(kGuiBench);
    Run({[&] {
        RunPortCommand(PORT_TEST_SUSPEND, 0);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
        RunPortCommand(PORT_TEST_RESUME, 0);
        RunPortCommand(PORT_TEST_RESET, 2);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
        // A port number typed over the list names no port.
        EXPECT_TRUE(user.Type(IDC_HOST_PORT_NUMBER, "9"));
        EXPECT_TRUE(user.Press(IDC_HOST_EXECUTE));
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Failed");
        // A command typed in full acts as choosing it: the port list is enabled at once.
        EXPECT_TRUE(user.Select(IDC_HOST_PORT_COMMAND, PORT_TEST_NONE));
        EXPECT_FALSE(user.Enabled(IDC_HOST_PORT_NUMBER));
        EXPECT_TRUE(user.Type(IDC_HOST_PORT_COMMAND, "test_force_enable"));
        EXPECT_TRUE(user.Enabled(IDC_HOST_PORT_NUMBER));
        ReturnToMain();
    }});
    EXPECT_EQ(Requests("SetPortFeature root:1 2 0 0"), 1u);
    EXPECT_EQ(Requests("ResumePort root:1"), 1u);
    EXPECT_EQ(Requests("SetPortFeature root:3 4 0 0"), 1u);
    EXPECT_EQ(Requests("Enumerate "), 0u);
}

TEST_F(CHostDialogTest, AfterTestPacketTheNextExecuteEnumeratesFirst) {
    Load(kGuiBench);
    Run({[&] {
             RunPortCommand(PORT_TEST_TEST_PACKET, 1);
             EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
             EXPECT_EQ(Requests("SetPortFeature root:2 21 4 0"), 1u);
             EXPECT_EQ(Requests("Enumerate "), 0u);
             RunPortCommand(PORT_TEST_RESET, 0);
             EXPECT_EQ(Requests("Enumerate "), 1u);
             // The EXECUTE result replaces the Enumerate Bus texts.
             EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
             EXPECT_EQ(user.Selection(IDC_HOST_DEVICE_LIST), 1);
             RunPortCommand(PORT_TEST_RESET, 0);
             EXPECT_EQ(Requests("Enumerate "), 1u);

             // An enumeration that fails sends nothing after it and stays pending.
             RunPortCommand(PORT_TEST_TEST_PACKET, 1);
             EXPECT_TRUE(BLSimAddFault(BLBackend(), {"Enumerate", "", "", static_cast<BLSTATUS>(0x80001001u), 1}));
             RunPortCommand(PORT_TEST_RESET, 0);
             EXPECT_EQ(Requests("Enumerate "), 2u);
             EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Enumeration Failed");
             EXPECT_EQ(Requests("SetPortFeature root:1 4 0 0"), 2u);
             RunPortCommand(PORT_TEST_RESET, 0);
             EXPECT_EQ(Requests("Enumerate "), 3u);
             EXPECT_EQ(Requests("SetPortFeature root:1 4 0 0"), 3u);
             ReturnToMain();
         },
         [&] {  // the box of the failed enumeration
             EXPECT_EQ(user.MessageText(), "Enumeration Failed.  Try Exiting App and Restarting.");
             user.Press(IDOK);
         }});
}

TEST_F(CHostDialogTest, DisconnectNotifyWatchesThePortAfterForceEnable) {
    Load(kGuiBench);
    Run({[&] {
        RunPortCommand(PORT_TEST_TEST_FORCE_ENABLE, 0);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");
        EXPECT_TRUE(user.Enabled(IDC_HOST_DISCONNECT_NOTIFY));
        EXPECT_FALSE(user.Checked(IDC_HOST_DISCONNECT_NOTIFY));
        // An unplug from before the watch is acknowledged when it starts, unseen.
        Unplug("1");
        EXPECT_TRUE(user.Press(IDC_HOST_DISCONNECT_NOTIFY));
        EXPECT_TRUE(user.Checked(IDC_HOST_DISCONNECT_NOTIFY));
        user.Advance(1000);
        EXPECT_EQ(Requests("GetPortStatus root:1"), 2u);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Operation Successful");

        std::string error;
        EXPECT_TRUE(BLSimPlug(BLBackend(), 0, "1", error)) << error;
        user.Advance(1000);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Connect Event Detected!");
        Unplug("1");
        user.Advance(1000);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Disconnect Event Detected!");
        EXPECT_EQ(Requests("ClearPortFeature root:1 16 0"), 3u);

        // Unchecking stops the watch; checking starts it again.
        EXPECT_TRUE(user.Press(IDC_HOST_DISCONNECT_NOTIFY));
        user.Advance(3000);
        EXPECT_EQ(Requests("GetPortStatus root:1"), 4u);
        EXPECT_TRUE(user.Press(IDC_HOST_DISCONNECT_NOTIFY));

        // A device command's enumeration ends Test Force Enable, and the watch.
        EXPECT_TRUE(user.Select(IDC_HOST_DEVICE_LIST, 1));
        RunDeviceCommand(HOST_DEVICE_CMD_DEVICE_DESCRIPTOR);
        EXPECT_FALSE(user.Checked(IDC_HOST_DISCONNECT_NOTIFY));
        EXPECT_FALSE(user.Enabled(IDC_HOST_DISCONNECT_NOTIFY));
        user.Advance(3000);
        EXPECT_EQ(Requests("GetPortStatus root:1"), 5u);
        ReturnToMain();
    }});
}

TEST_F(CHostDialogTest, EnumerateBusWithTheDeviceGoneSelectsNone) {
    Load(kGuiBench);
    Run({[&] {
        user.Select(IDC_HOST_DEVICE_LIST, 2);
        Unplug("1.2");
        EXPECT_TRUE(user.Press(IDC_HOST_ENUMERATE));
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Enumeration Successful");
        EXPECT_EQ(user.Rows(IDC_HOST_DEVICE_LIST).size(), 2u);
        EXPECT_EQ(user.Selection(IDC_HOST_DEVICE_LIST), 0);
        EXPECT_FALSE(user.Enabled(IDC_HOST_DEVICE_COMMAND));
        EXPECT_EQ(BusModel().SelectedDevice, NO_SELECTION);
        ReturnToMain();
    }});
}
