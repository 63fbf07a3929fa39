// The dialog helpers and the test dialogs' shared mechanics, run inside a
// dialog built from the host test dialog's template.
#include "gui/dialog_helpers.h"
#include "gui/test_dialog.h"

#include "gui_fixture.h"

#include <cstring>
#include <functional>

namespace {

// The host test dialog's controls, bound for the helpers to work on.
class CHarnessDialog : public CTestDialog {
public:
    explicit CHarnessDialog(std::function<void(CHarnessDialog&)> body) : CTestDialog(IDD_HOST_TEST), m_body(body) {}

    bool OnNotify(unsigned code, int id) override {
        if (code == BN_CLICKED && id == IDC_HOST_DISCONNECT_NOTIFY) {
            OnMonitorClicked();
            return true;
        }
        return CDialog::OnNotify(code, id);
    }
    void OnTimer(uintptr_t) override { PollMonitoredPort("Connect Event Detected!"); }
    void OnEnumerateBus() override {}

    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_HOST_DEVICE_LIST, list);
        DDX_Control(pDX, IDC_HOST_PORT_NUMBER, ports);
        DDX_Control(pDX, IDC_HOST_ADDRESS, address);
        DDX_Control(pDX, IDC_HOST_STATUS, m_statusWindow);
        DDX_Control(pDX, IDC_HOST_EXECUTE, m_executeButton);
        DDX_Control(pDX, IDC_HOST_DISCONNECT_NOTIFY, m_monitorBox);
    }
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        m_body(*this);
        return true;
    }

    using CTestDialog::Lock;
    using CTestDialog::OnPortCommandRun;
    using CTestDialog::ReportEnumeration;
    using CTestDialog::ShowEnumerating;
    using CTestDialog::ShowEnumerationResult;
    using CTestDialog::ShowResult;
    using CTestDialog::Unlock;
    CEdit& Status() { return m_statusWindow; }

    CListBox list;
    CComboBox ports;
    CEdit address;

private:
    std::function<void(CHarnessDialog&)> m_body;
};

std::vector<std::string> Entries(CComboBox& combo) {
    std::vector<std::string> entries(static_cast<size_t>(combo.GetCount()));
    for (int i = 0; i < combo.GetCount(); ++i) combo.GetLBText(i, entries[static_cast<size_t>(i)]);
    return entries;
}

std::vector<std::string> Rows(CListBox& list) {
    std::vector<std::string> rows(static_cast<size_t>(list.GetCount()));
    for (int i = 0; i < list.GetCount(); ++i) list.GetText(i, rows[static_cast<size_t>(i)]);
    return rows;
}

class CHelperTest : public CGuiTest {
protected:
    // Runs body inside the shown dialog, then closes it.
    void InDialog(std::function<void(CHarnessDialog&)> body) {
        user.Script({[&] { user.Cancel(); }});
        CHarnessDialog dialog(body);
        dialog.DoModal();
    }
    // The bench loaded, its controller selected and the bus enumerated.
    void LoadSelected(const std::string& text) {
        Load(text);
        std::vector<HostRecord> hosts;
        ASSERT_EQ(BuildHostList(hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
        ASSERT_EQ(EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false), BENCH_OK);
    }
};

}  // namespace

TEST(FormatDescriptorBytesTest, AppendsLowerCaseHexEachFollowedByABlank) {
    const uint8_t bytes[] = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0xff};
    char text[DIALOG_TEXT_SIZE] = "x: ";
    EXPECT_EQ(FormatDescriptorBytes(bytes, text, 9), 0);
    EXPECT_STREQ(text, "x: 12 1 0 2 0 0 0 40 ff ");
    FormatDescriptorBytes(bytes, text, 0);
    FormatDescriptorBytes(bytes, text, -3);
    EXPECT_STREQ(text, "x: 12 1 0 2 0 0 0 40 ff ");
}

TEST(FormatDescriptorBytesTest, StopsBeforeTheEndOfTheTextBuffer) {
    uint8_t bytes[256];
    std::memset(bytes, 0xab, sizeof bytes);
    char text[DIALOG_TEXT_SIZE + 8];
    std::memset(text, 0, sizeof text);
    std::memset(text + DIALOG_TEXT_SIZE, 'G', 8);  // guard bytes after the buffer
    FormatDescriptorBytes(bytes, text, 256);
    EXPECT_EQ(std::strlen(text), 255u);  // 85 values of three characters
    EXPECT_EQ(std::string(text + DIALOG_TEXT_SIZE, 8), "GGGGGGGG");
}

TEST_F(CHelperTest, ShowStatusWritesBySignAndRefusesMissingParts) {
    Load(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        EXPECT_EQ(ShowStatus(nullptr, 0, "ok", "bad", 1), BENCH_E_INDEX);
        EXPECT_EQ(ShowStatus(&d.Status(), 0, "ok", "bad", 1), BENCH_OK);
        EXPECT_EQ(d.Status().GetWindowText(), "ok");
        // A negative status with bit 30 set is no failure by the component's
        // rule, but the window judges by the sign alone.
        ShowStatus(&d.Status(), static_cast<int32_t>(0xC0000001u), "ok", "bad", 0);
        EXPECT_EQ(d.Status().GetWindowText(), "bad");
        EXPECT_EQ(ShowStatus(&d.Status(), 0, nullptr, "bad", 1), BENCH_E_INDEX);
        EXPECT_EQ(d.Status().GetWindowText(), "Invalid Parameter To Status Function");
        int repaints = user.Repaints();
        ShowStatus(&d.Status(), 0, "", "", 1);
        EXPECT_EQ(d.Status().GetWindowText(), "");
        EXPECT_GT(user.Repaints(), repaints);
    });
}

TEST_F(CHelperTest, HostListFillerWithAndWithoutControllers) {
    Load(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        EXPECT_EQ(FillHostListBox(d.list), BENCH_OK);
        EXPECT_EQ(Rows(d.list), std::vector<std::string>{"(simulated) Test host  8 Ports"});
        EXPECT_EQ(d.list.GetCurSel(), LB_ERR);
    });
    DestroyBench();
    InDialog([&](CHarnessDialog& d) {
        EXPECT_EQ(FillHostListBox(d.list), BENCH_E_NO_HOST);
        EXPECT_EQ(Rows(d.list), std::vector<std::string>{"No Host Controllers Found"});
    });
}

TEST_F(CHelperTest, DeviceAndHubListFillers) {
    LoadSelected(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        d.list.InsertString(0, "stale");
        d.list.InsertString(1, "rows");
        EXPECT_EQ(FillDeviceListBox(d.list, NO_SELECTION, SPEED_USB2), BENCH_OK);
        EXPECT_EQ(Rows(d.list),
                  (std::vector<std::string>{"NONE", "VID/PID 0x2b4e/412, Address 1, Port 1",
                                            "VID/PID 0x3a17/1001, Address 2, Port 2"}));
        EXPECT_EQ(d.list.GetCurSel(), 0);

        EXPECT_EQ(FillHubListBox(d.list, NO_SELECTION, 0, SPEED_USB2, 0), BENCH_OK);
        EXPECT_EQ(Rows(d.list), (std::vector<std::string>{"NONE", "VID/PID 0x2b4e/412, Address 1  12 Ports"}));
        EXPECT_EQ(FillHubListBox(d.list, NO_SELECTION, 0, SPEED_SUPER, 1), BENCH_OK);
        EXPECT_EQ(Rows(d.list),
                  (std::vector<std::string>{"HOST: (simulated) Test host", "HUB: VID/PID 0x2b4e/413, Address 3"}));
        EXPECT_EQ(d.list.GetCurSel(), 0);
    });
}

TEST_F(CHelperTest, ABusWithoutDevicesListsOnlyNone) {
    LoadSelected("[[controller]]\nid = \"Empty\"\nports = [\"usb2\"]\n");
    InDialog([&](CHarnessDialog& d) {
        FillDeviceListBox(d.list, NO_SELECTION, SPEED_USB2);
        EXPECT_EQ(Rows(d.list), std::vector<std::string>{"NONE"});
        EXPECT_EQ(d.list.GetCurSel(), 0);
    });
}

TEST_F(CHelperTest, PortComboListsTheRootPortsOfEachSpeed) {
    LoadSelected(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        const std::vector<std::pair<SpeedFilter, std::vector<std::string>>> cases = {
            {SPEED_USB2, {"1", "2", "3", "4"}},
            {SPEED_SUPER, {"5", "6", "7", "8"}},
            {SPEED_ALL, {"1", "2", "3", "4", "5", "6", "7", "8"}},
        };
        for (const auto& [filter, expected] : cases) {
            d.Status().SetWindowText("old text");
            FillPortCombo(d.ports, &d.Status(), 0, filter, 1);
            EXPECT_EQ(Entries(d.ports), expected) << "filter " << filter;
            EXPECT_EQ(d.ports.GetCurSel(), 0);
            EXPECT_TRUE(d.ports.IsWindowEnabled());
            EXPECT_EQ(d.Status().GetWindowText(), "");
        }
        // A hub's downstream ports: 1 to its port count, in numeric order
        // although the combo sorts.
        ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
        std::vector<HubRecord> hubs;
        BuildHubList(hubs, NO_SELECTION, SPEED_USB2);
        EXPECT_EQ(FillPortCombo(d.ports, nullptr, 0, SPEED_USB2, 0), BENCH_OK);
        EXPECT_EQ(Entries(d.ports),
                  (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
        EXPECT_EQ(ReadPortNumber(d.ports), 1);
    });
}

TEST_F(CHelperTest, PortComboWithoutAHubStaysEmptyAndDisabled) {
    LoadSelected(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        FillPortCombo(d.ports, &d.Status(), 0, SPEED_USB2, 1);
        EXPECT_EQ(FillPortCombo(d.ports, &d.Status(), NO_SELECTION, SPEED_USB2, 0), BENCH_OK);
        EXPECT_EQ(d.ports.GetCount(), 0);
        EXPECT_FALSE(d.ports.IsWindowEnabled());
        EXPECT_EQ(d.Status().GetWindowText(), "Getting Port Numbers...");
        EXPECT_EQ(ReadPortNumber(d.ports), 0);
        // A hub index the hub list does not reach lists nothing.
        FillPortCombo(d.ports, &d.Status(), 9, SPEED_USB2, 0);
        EXPECT_EQ(d.ports.GetCount(), 0);
    });
}

TEST_F(CHelperTest, HostRowWithoutASelectedHostStaysEmpty) {
    Load(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        FillHubListBox(d.list, NO_SELECTION, 0, SPEED_SUPER, 1);
        ASSERT_GE(d.list.GetCount(), 1);
        std::string row;
        d.list.GetText(0, row);
        EXPECT_EQ(row, "HOST: ");
        FillPortCombo(d.ports, &d.Status(), 0, SPEED_ALL, 1);
        EXPECT_EQ(d.ports.GetCount(), 0);
    });
}

TEST_F(CHelperTest, AddressBoxesKeepTheLowByteOfTheLeadingNumber) {
    Load(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        const std::vector<std::pair<std::string, int>> cases = {
            {"300", 44}, {"", 0}, {"7", 7}, {"12abc", 12}, {"abc", 0}, {"99999999999999999999999", 255}};
        for (const auto& [text, value] : cases) {
            d.address.SetWindowText(text.c_str());
            EXPECT_EQ(ReadAddressValue(d.address, 255), value) << text;
        }
        d.address.SetWindowText("1234");
        EXPECT_EQ(ReadAddressValue(d.address, 2), 12);
    });
}

TEST_F(CHelperTest, ResultDisplayShowsTheDescriptorOnlyForASuccessfulRead) {
    Load(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        uint8_t buffer[TEST_BUFFER_SIZE] = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x4e, 0x2b,
                                            0x12, 0x04, 0x00, 0x01, 0x01, 0x02, 0x03, 0x01, 0x77};
        d.ShowResult(BENCH_OK, true, buffer);
        EXPECT_EQ(d.Status().GetWindowText(),
                  "Get Device Descriptor Raw Value: \n12 1 0 2 0 0 0 40 4e 2b 12 4 0 1 1 2 3 1 ");
        d.ShowResult(BENCH_E_FAILED, true, buffer);
        EXPECT_EQ(d.Status().GetWindowText(), "Operation Failed");
        d.ShowResult(BENCH_OK, false, buffer);
        EXPECT_EQ(d.Status().GetWindowText(), "Operation Successful");
    });
}

TEST_F(CHelperTest, EnumerationTextsAndTheFailureBoxForAFailureOnly) {
    Load(kGuiBench);
    int boxes = 0;
    user.Script({
        [&] {
            ++boxes;
            EXPECT_EQ(user.MessageText(), "Enumeration Failed.  Try Exiting App and Restarting.");
            EXPECT_EQ(user.Caption(), "xHCI HS Voltaris - Host Test");
            user.Press(IDOK);
        },
        [&] { user.Cancel(); },
    });
    CHarnessDialog dialog([&](CHarnessDialog& d) {
        d.ShowEnumerating();
        EXPECT_EQ(d.Status().GetWindowText(), "Enumerating Bus...");
        d.ReportEnumeration(BENCH_E_NO_HOST);
        d.ReportEnumeration(BENCH_OK);
        d.ShowEnumerationResult(BENCH_E_NO_HOST);
        EXPECT_EQ(d.Status().GetWindowText(), "Enumeration Failed");
        d.ShowEnumerationResult(BENCH_OK);
        EXPECT_EQ(d.Status().GetWindowText(), "Enumeration Successful");
    });
    dialog.DoModal();
    EXPECT_EQ(boxes, 1);
}

TEST_F(CHelperTest, SingleStepSequencesTakeTwoAndThreePresses) {
    CSingleStep step;
    EXPECT_EQ(step.Press(false, false), STEP_ACTION_NONE);
    EXPECT_EQ(step.Press(true, false), STEP_ACTION_SETUP);
    EXPECT_EQ(step.Active, 1);
    EXPECT_EQ(step.Press(true, false), STEP_ACTION_STATUS);
    EXPECT_EQ(step.Active, 0);
    EXPECT_EQ(step.Stage, STEP_STAGE_STATUS);

    EXPECT_EQ(step.Press(false, true), STEP_ACTION_SETUP);
    EXPECT_EQ(step.Stage, STEP_STAGE_SETUP);
    EXPECT_EQ(step.Press(false, true), STEP_ACTION_DATA);
    EXPECT_EQ(step.Active, 1);
    EXPECT_EQ(step.Press(false, true), STEP_ACTION_STATUS);
    EXPECT_EQ(step.Active, 0);
    // A finished sequence starts over on the next press.
    EXPECT_EQ(step.Press(false, true), STEP_ACTION_SETUP);
}

TEST_F(CHelperTest, LockAndUnlockTouchTheNamedControlsAndTheCaption) {
    Load(kGuiBench);
    InDialog([&](CHarnessDialog& d) {
        d.ports.InsertString(-1, "NONE");
        d.ports.InsertString(-1, "1");
        d.ports.SetCurSel(1);
        d.Lock({&d.list, &d.ports, &d.address});
        EXPECT_FALSE(d.list.IsWindowEnabled());
        EXPECT_FALSE(d.address.IsWindowEnabled());
        EXPECT_EQ(user.Text(IDC_HOST_EXECUTE), "Step");
        d.Unlock({&d.ports}, {&d.list, &d.ports});
        EXPECT_TRUE(d.list.IsWindowEnabled());
        EXPECT_FALSE(d.address.IsWindowEnabled());
        EXPECT_EQ(d.ports.GetCurSel(), 0);
        EXPECT_EQ(user.Text(IDC_HOST_EXECUTE), "Execute");
    });
}

TEST_F(CHelperTest, ConnectionMonitorPollsEverySecondWhileChecked) {
    LoadSelected(kGuiBench);
    user.Script({[&] {
        EXPECT_FALSE(user.Press(IDC_HOST_DISCONNECT_NOTIFY)) << "disabled until TEST_FORCE_ENABLE";
        static_cast<CHarnessDialog*>(user.Top())->OnPortCommandRun(true, POLL_ROOT_PORT, 1);
        EXPECT_TRUE(user.Press(IDC_HOST_DISCONNECT_NOTIFY));
        EXPECT_TRUE(user.Checked(IDC_HOST_DISCONNECT_NOTIFY));
        trace.clear();
        user.Advance(2999);
        size_t polls = Requests("GetPortStatus");
        EXPECT_EQ(polls, 2u);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "") << "no change leaves the status window alone";
        // Any other port command unchecks, stops and disables it.
        static_cast<CHarnessDialog*>(user.Top())->OnPortCommandRun(false, POLL_ROOT_PORT, 1);
        EXPECT_FALSE(user.Checked(IDC_HOST_DISCONNECT_NOTIFY));
        EXPECT_FALSE(user.Enabled(IDC_HOST_DISCONNECT_NOTIFY));
        user.Advance(5000);
        EXPECT_EQ(Requests("GetPortStatus"), polls);
        user.Cancel();
    }});
    CHarnessDialog dialog([](CHarnessDialog& d) { d.OnPortCommandRun(false, POLL_ROOT_PORT, 1); });
    dialog.DoModal();
}

TEST_F(CHelperTest, ConnectionMonitorReportsADisconnect) {
    LoadSelected(kGuiBench);
    user.Script({[&] {
        static_cast<CHarnessDialog*>(user.Top())->OnPortCommandRun(true, POLL_ROOT_PORT, 1);
        user.Press(IDC_HOST_DISCONNECT_NOTIFY);
        std::string error;
        ASSERT_TRUE(BLSimUnplug(BLBackend(), 0, "1", error)) << error;
        user.Advance(1000);
        EXPECT_EQ(user.Text(IDC_HOST_STATUS), "Disconnect Event Detected!");
        user.Cancel();
    }});
    CHarnessDialog dialog([](CHarnessDialog&) {});
    dialog.DoModal();
}
