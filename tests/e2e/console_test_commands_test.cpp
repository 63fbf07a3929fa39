// TP and TD through the real "voltaris /C": syntax and index checks, what
// reaches the bench for each, the single-step prompts, re-enumeration after
// a test mode, and the "Remove Downstream Device" question.
#include "console_fixture.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const std::string kPrompt = "\nEnter Command: ";
const std::string kStepPrompt = "\nPress Enter to go to next step...";

// Position of the first trace line at or after from that starts with prefix;
// the trace's size when there is none.
size_t Find(const std::vector<std::string>& lines, const std::string& prefix, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    return lines.size();
}

}  // namespace

TEST_F(ConsoleE2ETest, TdRefusesBadSyntaxModeWordsAndIndexes) {
    StartReady(kOneDeviceBench);
    const std::string syntax = "\n Enter all fields, Correct Syntax:\n  TD <Test Mode> <Device Index>\n" + kPrompt;
    const std::string badMode = "\n Invalid Test Mode\n" + kPrompt;
    const std::string badIndex = "\n Invalid Device Index\n" + kPrompt;
    struct Case {
        const char* Line;
        std::string Text;
    } cases[] = {
        {"TD", syntax},
        {"td TEST_J", syntax},
        {"TD SET_ADDRESS 0", badMode},
        {"TD TEST_FORCE_ENABLE 0", badMode},
        {"TD SS_TX_COMPLIANCE_MODE 0", badMode},
        {"TD bogus 99", badMode},  // the mode word is checked first
        {"TD TEST_J 1", badIndex},
        {"TD TEST_J -1", badIndex},
        {"TD TEST_J 4294967296", badIndex},
        {"TD TEST_J x", badIndex},  // a word that is no whole number names no device, not device 0
        {"TD TEST_J 0x0", badIndex},
        {"TD TEST_J 0th", badIndex},
        {"TD TEST_J \"\"", badIndex},
    };
    for (const auto& c : cases) {
        std::string status;
        EXPECT_EQ(Run(c.Line, &status), c.Text) << c.Line;
        EXPECT_EQ(status, "UNSUCCESSFUL") << c.Line;
    }
    EXPECT_TRUE(TraceOf("SetTestMode").empty());
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TdTestModeThenTheNextTdFindsTheDeviceGone) {
    StartReady(kOneDeviceBench + "\n[[fault]]\nrequest = \"Enumerate\"\nstatus = 0x80001001\ncount = 1\n");
    std::string status;
    EXPECT_EQ(Run("td test_packet 0", &status), "\n Setting Device into TEST_PACKET mode \n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(TraceOf("SetTestMode"), (std::vector<std::string>{"SetTestMode dev@1 4 -> 0x00000000"}));

    // A re-enumeration that fails is said, and nothing is sent on a bus in an unknown state.
    EXPECT_EQ(Run("TD DEVICE_DESCRIPTOR 0", &status),
              "\n Setting Device into DEVICE_DESCRIPTOR mode \n Enumeration Failed\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_TRUE(TraceOf("GetDescriptor").empty());

    // The device stays in its test mode, so a re-enumeration no longer finds it.
    size_t enumerations = TraceOf("Enumerate ").size();
    EXPECT_EQ(Run("TD TEST_PACKET 0", &status),
              "\n Setting Device into TEST_PACKET mode \n Device not found, power "
              "cycle device and try again.\n" +
                  kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(TraceOf("Enumerate ").size(), enumerations + 1);
    EXPECT_EQ(TraceOf("SetTestMode").size(), 1u);

    // After a power cycle it answers again.
    ASSERT_EQ(Sim("cycle", "1"), 0);
    EXPECT_EQ(Run("TD DEVICE_DESCRIPTOR +0 ", &status),
              "\n Setting Device into DEVICE_DESCRIPTOR mode \n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(TraceOf("GetDescriptor"), (std::vector<std::string>{"GetDescriptor dev@1 1 0 0 256 -> 0x00000000"}));
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TdSingleStepGetDeviceDescriptorPromptsBetweenStages) {
    StartReady(kOneDeviceBench);
    std::string status;
    EXPECT_EQ(Run("TD SINGLE_STEP_GET_DEV_DESC 0", &status, kStepPrompt),
              "\n Setting Device into SINGLE_STEP_GET_DEV_DESC mode \n Step Successful\n" + kStepPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Run("", &status, kStepPrompt), " Step Successful\n" + kStepPrompt);
    EXPECT_EQ(status, "READY");
    // What is typed at a step prompt is ignored.
    EXPECT_EQ(Run("EXIT", &status), " Step Successful\n Done\n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");

    std::vector<std::string> steps = TraceOf("DoControlTransferSingleStep dev@1");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_NE(steps[0].find(" 8 0 -> 0x00000000"), std::string::npos) << steps[0];
    EXPECT_NE(steps[1].find(" 18 1 -> 0x00000000"), std::string::npos) << steps[1];
    EXPECT_NE(steps[2].find(" 0 2 -> 0x00000000"), std::string::npos) << steps[2];
    EXPECT_EQ(Exit(), 0);
}

// A signal or the end of the input at a step prompt ends the sequence there:
// the remaining stages are not sent, and the console leaves as EXIT does.
TEST_F(ConsoleE2ETest, SignalOrEndOfInputAtAStepPromptSendsNoFurtherStage) {
    for (int signo : {0, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signo);
        std::remove(Trace().c_str());
        StartReady(kOneDeviceBench);
        m_console->Send("TD SINGLE_STEP_GET_DEV_DESC 0");
        ASSERT_TRUE(m_console->WaitForOutput(kStepPrompt));
        ASSERT_EQ(m_console->WaitForPrompt(), "READY");
        if (signo) m_console->Signal(signo);
        else m_console->CloseInput();
        EXPECT_EQ(m_console->Wait(), signo ? 128 + signo : 0);
        EXPECT_EQ(m_console->TakeOutput(),
                  "\n Setting Device into SINGLE_STEP_GET_DEV_DESC mode \n Step Successful\n" + kStepPrompt +
                      " Stopped: no further step sent\n\n Exiting application\n");
        EXPECT_EQ(TraceOf("DoControlTransferSingleStep").size(), 1u);
        EXPECT_EQ(Steps().back(), "CleanupRailswap stack -> 0");
    }
}

// An index names what the listing showed, also after a rescan moved the
// others up: a device or hub that left the bus gets nothing, and nothing
// goes to the one now at its position.
TEST_F(ConsoleE2ETest, AnIndexNamesWhatTheLastListingShowedAfterARescan) {
    StartReady();
    std::string status;
    Run("TD TEST_J 1");  // the drive at address 2 stops answering
    // The rescan leaves the drive out: the keyboard of row 2 is at address 2 now.
    EXPECT_EQ(Run("TD DEVICE_DESCRIPTOR 2", &status),
              "\n Setting Device into DEVICE_DESCRIPTOR mode \n Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("GetDescriptor "), (std::vector<std::string>{"GetDescriptor dev@2 1 0 0 256 -> 0x00000000"}));
    EXPECT_EQ(Run("TD RESET 1", &status),
              "\n Setting Device into RESET mode \n Device not found, power cycle "
              "device and try again.\n" +
                  kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");

    // The USB 2.0 hub (LB row 0) into a test mode, then a rescan: row 0 names
    // no hub, and row 1 is still the SuperSpeed hub, now at address 2.
    Run("TD TEST_J 0");
    Run("TD DEVICE_DESCRIPTOR 3");
    EXPECT_EQ(Run("TP SUSPEND 1 0", &status),
              "\n Setting Hub 0 Port 1 into SUSPEND mode \n\n Invalid Hub Index\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_TRUE(TraceOf("SetPortFeature").empty());
    EXPECT_EQ(Run("TP SUSPEND 1 1", &status), "\n Setting Hub 1 Port 1 into SUSPEND mode \n Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("SetPortFeature"), (std::vector<std::string>{"SetPortFeature hub@2:1 2 0 0 -> 0x00000000"}));
    EXPECT_EQ(Exit(), 0);
}

// At READY the information file is complete: a listing that cannot be
// written whole fails its command and says why on stderr.
TEST_F(ConsoleE2ETest, AListingThatCannotBeWrittenWholeFailsItsCommand) {
    StartReady(kOneDeviceBench);
    std::remove(m_dir.File("CLInformation.txt").c_str());
    ASSERT_EQ(symlink("/dev/null", m_dir.File("CLInformation.txt").c_str()), 0);
    std::string status;
    EXPECT_EQ(Run("LD", &status),
              "\n List of Devices: \n   0  :  VID/PID 0x1234/42, Address 1\nvoltaris: "
              "CLInformation.txt: a symbolic link is in its place; the listing there is "
              "incomplete\n" +
                  kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TdSingleStepGoesOnAfterAFailedStage) {
    StartReady(kOneDeviceBench +
               "\n[[fault]]\nrequest = \"DoControlTransferSingleStep\"\nstatus = 0x80000005\n"
               "count = 1\n");
    std::string status;
    EXPECT_EQ(Run("TD SINGLE_STEP_SET_FEATURE 0", &status, kStepPrompt),
              "\n Setting Device into SINGLE_STEP_SET_FEATURE mode \n Step Failed\n" + kStepPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    // The second stage runs although the first failed; the transfer failed.
    std::string rest = Run("", &status);
    EXPECT_TRUE(rest == " Step Successful\n Done\n Failed\n" + kPrompt ||
                rest == " Step Failed\n Done\n Failed\n" + kPrompt)
        << rest;
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(TraceOf("DoControlTransferSingleStep dev@1").size(), 2u);
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TdSetFeatureStatusStageAnswerCountsAsSuccess) {
    StartReady(kOneDeviceBench +
               "\n[[fault]]\nrequest = \"DoControlTransferSingleStep\"\nargs = \"0 2\"\n"
               "status = 0x80004008\n");
    std::string status;
    Run("TD SINGLE_STEP_SET_FEATURE 0", &status, kStepPrompt);
    EXPECT_EQ(Run("", &status), " Step Successful\n Done\n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TpRefusesBadSyntaxModeWordsAndHubIndexes) {
    StartReady();
    const std::string syntax =
        "\n Enter all fields, Correct Syntax:\n  TP <Test Mode> <Port Num> <Optional Hub Index>\n" + kPrompt;
    struct Case {
        const char* Line;
        std::string Text;
    } cases[] = {
        {"TP", syntax},
        {"tp TEST_J", syntax},
        {"TP BOGUS 1 99", "\n Invalid Test Mode\n" + kPrompt},  // only the mode word is reported
        {"TP DEVICE_DESCRIPTOR 1", "\n Invalid Test Mode\n" + kPrompt},
        {"TP TEST_J 1 2", "\n Invalid Hub Index\n" + kPrompt},  // two hubs: 0 and 1
        {"TP TEST_J 1 -1", "\n Invalid Hub Index\n" + kPrompt},
        {"TP TEST_J 1 1x", "\n Invalid Hub Index\n" + kPrompt},
        {"TP TEST_J 2x 0", "\n Setting Hub 0 Port 2x into TEST_J mode \n Failed\n" + kPrompt},
        {"TP TEST_J 0x2", "\n Setting Host Port 0x2 into TEST_J mode \n Failed\n" + kPrompt},
    };
    for (const auto& c : cases) {
        std::string status;
        EXPECT_EQ(Run(c.Line, &status), c.Text) << c.Line;
        EXPECT_EQ(status, "UNSUCCESSFUL") << c.Line;
    }
    EXPECT_TRUE(TraceOf("SetPortFeature").empty());
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TpRootPortTestModeThenResetReEnumeratesFirst) {
    StartReady();
    std::string status;
    EXPECT_EQ(Run("TP TEST_J 3", &status), "\n Setting Host Port 3 into TEST_J mode \n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    std::vector<std::string> trace = TraceLines();
    size_t test = Find(trace, "SetPortFeature root:3 21 1 0 -> 0x00000000");
    ASSERT_LT(test, trace.size());
    for (int port = 1; port <= 8; ++port)
        EXPECT_LT(Find(trace, "QuiescePort root:" + std::to_string(port)), test) << port;

    EXPECT_EQ(Run("tp reset 3", &status), "\n Setting Host Port 3 into RESET mode \n Successful\n" + kPrompt);
    trace = TraceLines();
    size_t enumerate = Find(trace, "Enumerate bench", test);
    size_t reset = Find(trace, "SetPortFeature root:3 4 0", test);
    EXPECT_LT(enumerate, reset);
    EXPECT_LT(reset, trace.size());

    // A port number beyond a byte names no port rather than port 1.
    EXPECT_EQ(Run("TP TEST_K 257", &status), "\n Setting Host Port 257 into TEST_K mode \n Failed\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_TRUE(TraceOf("SetPortFeature root:1 ").empty());
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TpHubPortResetRunsWithoutReEnumeration) {
    StartReady();
    std::string status;
    EXPECT_EQ(Run("TP TEST_PACKET 3 0", &status),
              "\n Setting Hub 0 Port 3 into TEST_PACKET mode \n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    std::vector<std::string> trace = TraceLines();
    size_t test = Find(trace, "SetPortFeature hub@1:3 21 4 0 -> 0x00000000");
    ASSERT_LT(test, trace.size());
    for (const char* idled : {"IdlePort hub@1:1", "IdlePort hub@1:2", "IdlePort hub@1:4"})
        EXPECT_LT(Find(trace, idled), test) << idled;
    EXPECT_EQ(Find(trace, "IdlePort hub@1:3"), trace.size());

    EXPECT_EQ(Run("TP RESET 3 0"), "\n Setting Hub 0 Port 3 into RESET mode \n Successful\n" + kPrompt);
    trace = TraceLines();
    size_t reset = Find(trace, "SetPortFeature hub@1:3 4 0", test);
    ASSERT_LT(reset, trace.size());
    EXPECT_EQ(Find(trace, "Enumerate bench", test), trace.size());

    // Any other command after the hub test mode re-enumerates first.
    EXPECT_EQ(Run("TP SUSPEND 2 0"), "\n Setting Hub 0 Port 2 into SUSPEND mode \n Successful\n" + kPrompt);
    trace = TraceLines();
    EXPECT_LT(Find(trace, "Enumerate bench", reset), Find(trace, "SetPortFeature hub@1:2 2 0", reset));
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, TpComplianceAsksOnTheConsoleToRemoveTheDevice) {
    StartReady();
    const std::string question = "\n Remove Downstream Device\n\n OK or CANCEL: ";
    std::string status;
    EXPECT_EQ(Run("TP SS_TX_COMPLIANCE_MODE 7", &status),
              "\n Setting Host Port 7 into SS_TX_COMPLIANCE_MODE mode \n Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("SetPortLinkFeature"),
              (std::vector<std::string>{"SetPortLinkFeature root:7 5 10 0 -> 0x00000000"}));

    // A device on the port: the question waits while the command stays busy.
    m_console->Send("TP SS_TX_COMPLIANCE_MODE 6");
    ASSERT_TRUE(m_console->WaitForOutput(question));
    EXPECT_EQ(m_console->TakeOutput(), "\n Setting Host Port 6 into SS_TX_COMPLIANCE_MODE mode \n" + question);
    EXPECT_EQ(m_console->Status(), "BUSY\r\n");
    EXPECT_EQ(Run("cancel", &status), " Failed\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(TraceOf("SetPortLinkFeature").size(), 1u);

    // Unplugged and confirmed: the question comes once more, then the port
    // goes into compliance mode. An unknown answer asks again.
    m_console->Send("TP SS_TX_COMPLIANCE_MODE 6");
    ASSERT_TRUE(m_console->WaitForOutput(question));
    m_console->TakeOutput();
    ASSERT_EQ(Sim("unplug", "6"), 0);
    m_console->SendRaw("maybe\nok\n");
    ASSERT_TRUE(m_console->WaitForOutput("\n OK or CANCEL: " + question));
    m_console->SendRaw("\n");
    EXPECT_EQ(m_console->WaitForPrompt(), "READY");
    ASSERT_TRUE(m_console->WaitForOutput(kPrompt));
    EXPECT_EQ(m_console->TakeOutput(), "\n OK or CANCEL: " + question + " Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("SetPortLinkFeature").back(), "SetPortLinkFeature root:6 5 10 0 -> 0x00000000");
    EXPECT_EQ(Exit(), 0);
}

// Two controllers, each with a camera on root port 1; the second one's driver
// is refused.
inline const std::string kTwoHostBench = R"(
[[controller]]
id = "First Controller"
ports = ["usb2", "usb2"]
device = [{at = "1", vid = 0x1111, pid = 0x0001, speed = "high"}, {at = "2", vid = 0x1111, pid = 0x0002, speed = "high"}]

[[controller]]
id = "Second Controller"
driver_version = "1.0.4.0"
ports = ["usb2", "usb2"]
device = [{at = "1", vid = 0x2222, pid = 0x0001, speed = "high"}]
)";

TEST_F(ConsoleE2ETest, RefusedShKeepsTheConsoleOnTheControllerItLists) {
    StartReady(kTwoHostBench);
    std::string status;
    EXPECT_EQ(Run("SH 1", &status), "\n Selecting Host 1... \n Error selecting Host\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    // LD still lists the first controller's devices, and TD reaches them there.
    EXPECT_NE(Run("LD").find("VID/PID 0x1111/1"), std::string::npos);
    EXPECT_EQ(Run("TD DEVICE_DESCRIPTOR 0", &status),
              "\n Setting Device into DEVICE_DESCRIPTOR mode \n Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("GetDescriptor c0/dev@1").size(), 1u);
    EXPECT_TRUE(TraceOf("GetDescriptor c1/").empty());
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, FailedShEnumerationSaysSoAndListsNothingStale) {
    // The second driver's version is not known (a warning, accepted); its bus
    // cannot be scanned.
    StartReady(kTwoHostBench +
               "\n[[fault]]\nrequest = \"GetDriverVersion\"\nstatus = 0xC0000001\n"
               "[[fault]]\nrequest = \"Enumerate\"\nstatus = 0x80001001\n");
    std::string status;
    EXPECT_EQ(Run("SH 1", &status), "\n Selecting Host 1... \n Enumeration Failed\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(Run("LD"), "\n List of Devices: \n  No Devices Found\n" + kPrompt);
    EXPECT_EQ(Run("TD TEST_J 0", &status), "\n Invalid Device Index\n" + kPrompt);
    EXPECT_TRUE(TraceOf("SetTestMode").empty());
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, FailedDeviceSelectionSendsNothingToTheDeviceSelectedBefore) {
    StartReady(kTwoHostBench);
    std::string status;
    Run("TD DEVICE_DESCRIPTOR 0", &status);
    ASSERT_EQ(Sim("unplug", "2"), 0);
    EXPECT_EQ(Run("TD TEST_J 1", &status), "\n Setting Device into TEST_J mode \n Failed\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_TRUE(TraceOf("SetTestMode").empty());
    // The failed index is tried again, not served by the device before it.
    EXPECT_EQ(Run("TD TEST_J 1", &status), "\n Setting Device into TEST_J mode \n Failed\n" + kPrompt);
    EXPECT_TRUE(TraceOf("SetTestMode").empty());
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, ParentTestPacketLeavesTheNextPortTestToReEnumerateFirst) {
    StartReady(kTwoHostBench);
    std::string status;
    EXPECT_EQ(Run("TD PARENT_TEST_PACKET 0", &status),
              "\n Setting Device into PARENT_TEST_PACKET mode \n Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("SetPortFeature c0/root:1 21 4 0").size(), 1u);
    size_t before = TraceOf("Enumerate").size();
    Run("TP RESET 1", &status);
    EXPECT_EQ(TraceOf("Enumerate").size(), before + 1);
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, LongestHostIdGivesWholeInformationRecords) {
    const std::string id(243, 'H');  // the longest a bench file takes: 255 characters with the mark
    StartReady("[[controller]]\nid = \"" + id + "\"\nports = [\"usb2\"]\n");
    Run("LH");
    EXPECT_EQ(ReadFile(m_dir.File("CLInformation.txt")), "INDEX|0|HOST_INFO|(simulated) " + id + "|NUM_PORTS|1\r\n");
    EXPECT_EQ(Exit(), 0);
}
