// The real "voltaris /C" end to end: start-up and its failures, every
// listing and selection command, help texts, line handling, the end of the
// input and signals, on pipes and on a pseudo-terminal, with the exact bytes
// of the console text and of both status files at each prompt.
#include "console_fixture.h"

#include <csignal>
#include <thread>

namespace {

const std::string kBanner = "- xHCI Voltaris - \n\n";
const std::string kHostPrompt = "\n\nSelect Valid Host Controller Index: ";
const std::string kPrompt = "\nEnter Command: ";

const std::string kTwoHostBench = R"(
[[controller]]
id = "First Controller"
ports = ["usb2", "ss"]

[[controller]]
id = "Second Controller"
ports = ["usb2", "usb2", "ss"]
)";

const std::string kHelpMenu =
    "\n\nCommand Line Help Menu:\n\n\n  E  \t\tEnumerate Bus\n  EXIT  \tExit Tool\n  GP\t \tGet Hi or SuperSpeed Host "
    "Port Numbers\n  GUI   \tSwitch to GUI Mode\n  HELP  \tThis help menu\n  LB\t \tList Hubs\n  LD\t \tList "
    "Devices\n  LH \t\tList Hosts\n  SH\t \tSelect Host\n  TD\t \tTest a Device\n  TP \t\tTest a Downstream Facing "
    "Port\n\n   Type <Test> ? for more information\n   Example: GP ?\n";

}  // namespace

TEST_F(ConsoleE2ETest, StartsListsHostsAndLeavesWithExit) {
    Start();
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    ASSERT_TRUE(m_console->WaitForOutput(kHostPrompt));
    EXPECT_EQ(m_console->TakeOutput(),
              SimulatedNote() + kBanner + "\n List of Hosts: \n0: " + kDefaultHostId + "\n" + kHostPrompt);
    EXPECT_EQ(m_console->Information(), "INDEX|0|HOST_INFO|" + kDefaultHostId + "\r\n");
    EXPECT_EQ(m_console->Status(), "READY\r\n");

    EXPECT_EQ(Run("0"), " Loading...\n Ready\n" + kPrompt);
    EXPECT_EQ(m_console->Status(), "READY\r\n");

    m_console->Send("EXIT");
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(m_console->TakeOutput(), "\n Exiting application\n");
    EXPECT_EQ(m_console->Status(), "BUSY\r\n");
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"InitRailswap list -> 0", "InitRailswap select " + kDefaultHostId + " -> 0",
                                        "new CXhciBenchline", "delete CXhciBenchline", "CleanupRailswap stack -> 0"}));
}

TEST_F(ConsoleE2ETest, HostPromptAsksAgainAndAppendsTheHostsEachTime) {
    Start(kTwoHostBench);
    const std::string hosts =
        "INDEX|0|HOST_INFO|(simulated) First Controller\r\nINDEX|1|HOST_INFO|(simulated) Second Controller\r\n";
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    EXPECT_EQ(m_console->Information(), hosts);
    ASSERT_TRUE(m_console->WaitForOutput(kHostPrompt));
    m_console->TakeOutput();

    // A word that is no whole number is no index, not index 0.
    for (const char* bad : {"2", "-1", "x2", "0x1"}) {
        std::string status;
        EXPECT_EQ(Run(bad, &status, kHostPrompt), kHostPrompt) << bad;
        EXPECT_EQ(status, "UNSUCCESSFUL") << bad;
    }
    EXPECT_EQ(Run(" 0 "), " Loading...\n Ready\n" + kPrompt);
    EXPECT_EQ(m_console->Information(), hosts + hosts + hosts + hosts + hosts);
    EXPECT_EQ(Exit(), 0);
    EXPECT_EQ(TraceOf("InitRailswap select"),
              (std::vector<std::string>{"InitRailswap select (simulated) First Controller -> 0"}));
}

TEST_F(ConsoleE2ETest, SecondHostIsSwitchedByItsName) {
    Start(kTwoHostBench);
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    ASSERT_TRUE(m_console->WaitForOutput(kHostPrompt));
    m_console->TakeOutput();
    // A line without a word asks again without a new failure.
    EXPECT_EQ(Run("", nullptr, kHostPrompt), kHostPrompt);
    EXPECT_EQ(m_console->Status(), "READY\r\n");
    EXPECT_EQ(Run("1"), " Loading...\n Ready\n" + kPrompt);
    EXPECT_EQ(TraceOf("InitRailswap select"),
              (std::vector<std::string>{"InitRailswap select (simulated) Second Controller -> 0"}));
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, ExitAtTheHostPromptRestoresTheStack) {
    Start();
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    ASSERT_TRUE(m_console->WaitForOutput(kHostPrompt));
    m_console->TakeOutput();
    m_console->Send("exit");
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(m_console->TakeOutput(), "\n Exiting application\n");
    EXPECT_EQ(m_console->Status(), "BUSY\r\n");
    EXPECT_EQ(Steps(), (std::vector<std::string>{"InitRailswap list -> 0", "CleanupRailswap stack -> 0"}));
}

TEST_F(ConsoleE2ETest, EveryStartUpFailureHasItsTextAndStatus) {
    struct Case {
        const char* What;
        std::string Bench;
        bool ChooseHost;   // the failure comes after the host prompt
        std::string Text;  // console text after the banner (and " Loading...\n")
        std::string Status;
        bool Restored;  // the stack was switched, so it is restored again
    };
    auto fault = [](const std::string& request, const std::string& target, const std::string& status) {
        std::string text = kEmptyBench + "\n[[fault]]\nrequest = \"" + request + "\"\n";
        if (!target.empty()) text += "target = \"" + target + "\"\n";
        return text + "status = " + status + "\n";
    };
    const Case cases[] = {
        {"no controller at all", "", false, " No Host Controllers Found!\n", "COULD_NOT_FIND_HOST\r\n", false},
        {"listing: no controller", fault("InitRailswap", "list", "-1"), false, " No Host Controllers Found!\n",
         "COULD_NOT_FIND_HOST\r\n", false},
        {"listing: reboot", fault("InitRailswap", "list", "1"), false, " Reboot Needed!\n", "REBOOT_NEEDED\r\n", false},
        {"listing: driver error", fault("InitRailswap", "list", "5"), false, " Error Loading Driver!\n",
         "ERROR_LOADING_DRIVER\r\n", false},
        {"switch: no controller", fault("InitRailswap", "select", "-1"), true, " No Host Controllers Found!\n",
         "COULD_NOT_FIND_HOST\r\n", false},
        {"switch: driver error", fault("InitRailswap", "select", "-7"), true, " Error Loading Driver!\n",
         "ERROR_LOADING_DRIVER\r\n", false},
        {"no controller after the switch", fault("FindFirstHC", "", "0x80000001"), true, " Host not found\n",
         "COULD_NOT_FIND_HOST\r\n", true},
        {"wrong driver version",
         "[[controller]]\nid = \"Old Driver\"\ndriver_version = \"1.0.4.0\"\nports = [\"usb2\"]\n", true,
         " Invalid Driver Version\n", "INVALID_DRIVER\r\n", true},
        {"controller cannot be read", fault("SelectHostController", "", "0x80000005"), true,
         " Error Getting Host Info\n", "COULD_NOT_FIND_HOST\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::remove(Trace().c_str());
        Start(c.Bench.empty() ? "# nothing\n" : c.Bench);
        if (c.ChooseHost) {
            ASSERT_EQ(m_console->WaitForPrompt(), "READY");
            ASSERT_TRUE(m_console->WaitForOutput(kHostPrompt));
            m_console->TakeOutput();
            m_console->Send("0");
        }
        EXPECT_EQ(m_console->Wait(), 1);
        std::string text = m_console->TakeOutput();
        EXPECT_EQ(text, c.ChooseHost ? " Loading...\n" + c.Text : SimulatedNote() + kBanner + c.Text);
        EXPECT_EQ(m_console->Status(), c.Status);
        std::vector<std::string> steps = Steps();
        bool restored = !steps.empty() && steps.back().rfind("CleanupRailswap", 0) == 0;
        EXPECT_EQ(restored, c.Restored);
        if (c.Restored) {
            EXPECT_EQ(steps[steps.size() - 2], "delete CXhciBenchline");
        }
    }
}

TEST_F(ConsoleE2ETest, RebootNeededWhileSwitchingGoesOn) {
    Start(kEmptyBench + "\n[[fault]]\nrequest = \"InitRailswap\"\ntarget = \"select\"\nstatus = 1\n");
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    ASSERT_TRUE(m_console->WaitForOutput(kHostPrompt));
    m_console->TakeOutput();
    std::string status;
    EXPECT_EQ(Run("0", &status), " Loading...\n Reboot Needed!\n Ready\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, ListingCommandsOnTheDefaultBench) {
    StartReady();
    std::string status;

    EXPECT_EQ(
        Run("lh", &status),
        "\n List of hosts with compliance driver installed: \n   0  :  " + kDefaultHostId + " - 8 Ports\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(m_console->Information(), "INDEX|0|HOST_INFO|" + kDefaultHostId + "|NUM_PORTS|8\r\n");

    EXPECT_EQ(Run("LB"),
              "\n List of Hubs: \n"
              "   0  :  VID/PID 0x2b4e/412, Address 1 - 4 Ports \n"
              "   1  :  VID/PID 0x2b4e/413, Address 5 - 4 Ports SuperSpeed\n" +
                  kPrompt);
    EXPECT_EQ(m_console->Information(),
              "INDEX|0|VID|2b4e|PID|412|ADDRESS|1|NUM_PORTS|4|EXTRA_INFO||\r\n"
              "INDEX|1|VID|2b4e|PID|413|ADDRESS|5|NUM_PORTS|4|EXTRA_INFO|SuperSpeed|\r\n");

    EXPECT_EQ(Run("ld"),
              "\n List of Devices: \n"
              "   0  :  VID/PID 0x2b4e/412, Address 1\n"
              "   1  :  VID/PID 0x3a17/1001, Address 2\n"
              "   2  :  VID/PID 0x3a17/2002, Address 3\n"
              "   3  :  VID/PID 0x1c4d/a20, Address 4\n"
              "   4  :  VID/PID 0x2b4e/413, Address 5\n"
              "   5  :  VID/PID 0x3a17/3003, Address 6\n"
              "   6  :  VID/PID 0x1c4d/5e10, Address 7\n" +
                  kPrompt);
    EXPECT_EQ(m_console->Information(),
              "INDEX|0|VID|2b4e|PID|412|ADDRESS|1\r\nINDEX|1|VID|3a17|PID|1001|ADDRESS|2\r\n"
              "INDEX|2|VID|3a17|PID|2002|ADDRESS|3\r\nINDEX|3|VID|1c4d|PID|a20|ADDRESS|4\r\n"
              "INDEX|4|VID|2b4e|PID|413|ADDRESS|5\r\nINDEX|5|VID|3a17|PID|3003|ADDRESS|6\r\n"
              "INDEX|6|VID|1c4d|PID|5e10|ADDRESS|7\r\n");

    EXPECT_EQ(Run("GP hs"), "\n Found 4 Hi-Speed Ports on Host 0:\n\n   - 1 \n   - 2 \n   - 3 \n   - 4 \n" + kPrompt);
    EXPECT_EQ(m_console->Information(), "PORT|1|HI-SPEED\r\nPORT|2|HI-SPEED\r\nPORT|3|HI-SPEED\r\nPORT|4|HI-SPEED\r\n");
    EXPECT_EQ(Run("GP SS"), "\n Found 4 SuperSpeed Ports on Host 0:\n\n   - 5 \n   - 6 \n   - 7 \n   - 8 \n" + kPrompt);
    EXPECT_EQ(m_console->Information(),
              "PORT|5|SUPERSPEED\r\nPORT|6|SUPERSPEED\r\nPORT|7|SUPERSPEED\r\nPORT|8|SUPERSPEED\r\n");

    // GP with another word lists nothing but still empties the file.
    EXPECT_EQ(Run("GP FS", &status), kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(m_console->Information(), "");
    Run("LD");
    EXPECT_EQ(Run("GP", &status), "\n Enter all fields, Correct Syntax:\n  GP <Speed>\n  Speed: HS or SS\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(m_console->Information(), "");

    // Commands that list nothing leave the file as it is.
    Run("LH");
    EXPECT_EQ(Run("E", &status), "\n Enumerating Bus... \n Enumeration Successful\n  7 Device(s) Detected\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(m_console->Information(), "INDEX|0|HOST_INFO|" + kDefaultHostId + "|NUM_PORTS|8\r\n");
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, EmptyListsWriteTheirWordWithoutLineEnd) {
    StartReady(kEmptyBench);
    EXPECT_EQ(Run("LD"), "\n List of Devices: \n  No Devices Found\n" + kPrompt);
    EXPECT_EQ(m_console->Information(), "NO_DEVICES_FOUND");
    EXPECT_EQ(Run("LB"), "\n List of Hubs: \n  No Hubs Found\n" + kPrompt);
    EXPECT_EQ(m_console->Information(), "NO_HUBS_FOUND");
    EXPECT_EQ(Run("E"), "\n Enumerating Bus... \n Enumeration Successful\n  0 Device(s) Detected\n" + kPrompt);
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, SelectHostChecksItsIndex) {
    StartReady(kTwoHostBench);
    std::string status;
    EXPECT_EQ(Run("SH", &status), "\n  Please enter valid host index\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    for (const char* bad : {"-1", "2", "+1", "5", "abc", "1st", "0x1"}) {
        EXPECT_EQ(Run(std::string("SH ") + bad, &status), "\n Invalid host index\n" + kPrompt) << bad;
        EXPECT_EQ(status, "UNSUCCESSFUL");
    }
    EXPECT_EQ(Run("sh 1", &status), "\n Selecting Host 1... \n Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Run("GP HS"), "\n Found 2 Hi-Speed Ports on Host 1:\n\n   - 1 \n   - 2 \n" + kPrompt);
    EXPECT_EQ(Run("SH 0", &status), "\n Selecting Host 0... \n Successful\n" + kPrompt);
    EXPECT_EQ(Run("GP SS"), "\n Found 1 SuperSpeed Ports on Host 0:\n\n   - 2 \n" + kPrompt);
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, FailedSelectionIsReportedAndTheConsoleGoesOn) {
    // Only choosing the second controller for a test fails.
    StartReady(kTwoHostBench + "\n[[fault]]\nrequest = \"SelectHostController\"\nargs = \"host:1 1 0\"\n" +
               "status = 0x80000005\n");
    std::string status;
    EXPECT_EQ(Run("SH 1", &status), "\n Selecting Host 1... \n Error selecting Host\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    EXPECT_EQ(Run("LH", &status).rfind("\n List of hosts with compliance driver installed: \n", 0), 0u);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, HelpTextsAndUnknownCommands) {
    StartReady(kEmptyBench);
    std::string status;
    for (const char* line : {"HELP", "help", "?", "/?", "HELP ?", "help /?"}) {
        EXPECT_EQ(Run(line, &status), kHelpMenu + kPrompt) << line;
        EXPECT_EQ(status, "READY");
    }
    EXPECT_EQ(Run("lh ?"),
              "\n Usage:\n LH - Displays a list of available host controllers\n      and gives an index "
              "value for each\n" +
                  kPrompt);
    EXPECT_EQ(Run("GP help"),
              "\n Usage:\n GP <Speed> - Lists host ports and their speeds\n\n  Speed:\n   SS - "
              "SuperSpeed Ports\n   HS - Hi-Speed Ports\n" +
                  kPrompt);
    EXPECT_EQ(Run("exit /?"), "\n Usage:\n EXIT - Exits Application\n" + kPrompt);
    EXPECT_EQ(Run("E ?"),
              "\n Usage:\n E - Enumerates bus, use to update lists of\n     currently connected "
              "peripherals\n" +
                  kPrompt);
    EXPECT_EQ(Run("gui ?"), "\n Usage:\n GUI - Opens GUI Application\n" + kPrompt);
    EXPECT_EQ(Run("sh ?"),
              "\n Usage:\n SH <Host Index> - Selects a host controller\n      to use for testing. "
              "Available indexes\n      can be listed using LH command.\n" +
                  kPrompt);
    EXPECT_EQ(Run("LB ?"),
              "\n Usage:\n LB - Displays a list of available hubs\n      and gives an index value for "
              "each\n" +
                  kPrompt);
    EXPECT_EQ(Run("LD ?"),
              "\n Usage:\n LD - Displays a list of available devices\n      and gives an index value "
              "for each\n" +
                  kPrompt);
    EXPECT_EQ(Run("TP ?").rfind("\n Usage:\n TP <Test Mode> <Port Number> <Optional Hub Index>\n\n      Puts", 0), 0u);
    EXPECT_EQ(Run("TD ?").rfind("\n Usage:\n TD <Test Mode> <Device Index>\n\n      Puts", 0), 0u);

    EXPECT_EQ(Run("frob ?", &status), "\n No help information available.\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Run("frob", &status), "\n  Invalid Command: frob\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    // A second word that is no question runs the command itself.
    EXPECT_EQ(Run("LD x", &status), "\n List of Devices: \n  No Devices Found\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, LinesTooLongEmptyOrOddlySpaced) {
    StartReady(kEmptyBench);
    std::string status;
    // 99 bytes are a command line; 100 are refused as a whole.
    std::string longest(99, 'A');
    EXPECT_EQ(Run(longest, &status), "\n  Invalid Command: " + longest + "\n" + kPrompt);
    EXPECT_EQ(Run(std::string(100, 'L'), &status), "\n  Command line too long\n" + kPrompt);
    EXPECT_EQ(status, "UNSUCCESSFUL");
    // The rest of a long line never runs as a command of its own.
    EXPECT_EQ(Run(std::string(5000, ' ') + "EXIT", &status), "\n  Command line too long\n" + kPrompt);
    EXPECT_EQ(Run("", &status), kPrompt);
    EXPECT_EQ(status, "READY");
    EXPECT_EQ(Run(" \t ", &status), kPrompt);
    EXPECT_EQ(Run("   ld  ", &status), "\n List of Devices: \n  No Devices Found\n" + kPrompt);
    EXPECT_EQ(Run("\"LD\"\r"), "\n List of Devices: \n  No Devices Found\n" + kPrompt);
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleE2ETest, CommandsWrittenAheadThroughThePipeAllRun) {
    Start(kEmptyBench);
    m_console->SendRaw("0\nLH\nLD\nEXIT\n");
    EXPECT_EQ(m_console->Wait(), 0);
    std::string text = m_console->TakeOutput();
    EXPECT_NE(text.find("List of hosts with compliance driver installed"), std::string::npos) << text;
    EXPECT_NE(text.find("No Devices Found"), std::string::npos) << text;
    EXPECT_EQ(m_console->Information(), "NO_DEVICES_FOUND");
}

TEST_F(ConsoleE2ETest, EndOfInputLeavesAsExitDoes) {
    // A last line without a line feed still runs.
    StartReady(kEmptyBench);
    m_console->SendRaw("LD");
    m_console->CloseInput();
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(m_console->TakeOutput(),
              "\n List of Devices: \n  No Devices Found\n" + kPrompt + "\n Exiting application\n");
    EXPECT_EQ(m_console->Information(), "NO_DEVICES_FOUND");
    EXPECT_EQ(m_console->Status(), "BUSY\r\n");
    EXPECT_EQ(Steps().back(), "CleanupRailswap stack -> 0");

    // At the host prompt too.
    std::remove(Trace().c_str());
    Start(kEmptyBench);
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    m_console->CloseInput();
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(Steps(), (std::vector<std::string>{"InitRailswap list -> 0", "CleanupRailswap stack -> 0"}));
}

TEST_F(ConsoleE2ETest, TerminationSignalsLeaveAsExitDoes) {
    for (int signo : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE}) {
        SCOPED_TRACE(signo);
        std::remove(Trace().c_str());
        StartReady(kEmptyBench);
        m_console->Signal(signo);
        EXPECT_EQ(m_console->Wait(), 128 + signo);
        EXPECT_EQ(m_console->TakeOutput(), "\n Exiting application\n");
        std::vector<std::string> steps = Steps();
        ASSERT_GE(steps.size(), 2u);
        EXPECT_EQ(steps[steps.size() - 2], "delete CXhciBenchline");
        EXPECT_EQ(steps.back(), "CleanupRailswap stack -> 0");
    }
}

TEST_F(ConsoleE2ETest, WorksOnAPseudoTerminal) {
    Start("", true);
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    ASSERT_TRUE(m_console->WaitForOutput("Select Valid Host Controller Index: "));
    // The terminal turns each line feed into CR LF.
    EXPECT_NE(m_console->TakeOutput().find("\r\n List of Hosts: \r\n0: " + kDefaultHostId + "\r\n"), std::string::npos);
    EXPECT_EQ(m_console->Command("0"), "READY");
    ASSERT_TRUE(m_console->WaitForOutput("Enter Command: "));
    EXPECT_EQ(m_console->Command("LD"), "READY");
    ASSERT_TRUE(m_console->WaitForOutput("Enter Command: "));
    std::string text = m_console->TakeOutput();
    EXPECT_NE(text.find("LD\r\n"), std::string::npos) << "the terminal echoes what is typed: " << text;
    EXPECT_NE(text.find("   6  :  VID/PID 0x1c4d/5e10, Address 7\r\n"), std::string::npos) << text;
    EXPECT_EQ(m_console->Command("nope"), "UNSUCCESSFUL");
    // The end of input at a terminal (Ctrl-D) leaves as EXIT does.
    m_console->CloseInput();
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(Steps().back(), "CleanupRailswap stack -> 0");
}

// The way an automation program works: wait for READY or UNSUCCESSFUL,
// write a command, read the information file, decide the next command.
TEST_F(ConsoleE2ETest, AutomationClientDrivesAWholeSession) {
    Start();
    ASSERT_EQ(m_console->WaitForPrompt(), "READY");
    std::vector<std::string> hosts = ReadLines(m_dir.File("CLInformation.txt"));
    ASSERT_EQ(hosts.size(), 1u);
    ASSERT_EQ(m_console->Command("0"), "READY");

    ASSERT_EQ(m_console->Command("LD"), "READY");
    std::vector<std::string> devices = ReadLines(m_dir.File("CLInformation.txt"));
    ASSERT_EQ(devices.size(), 7u);
    for (size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].rfind("INDEX|" + std::to_string(i) + "|VID|", 0), 0u) << devices[i];
        EXPECT_EQ(m_console->Command("TD DEVICE_DESCRIPTOR " + std::to_string(i)), "READY") << i;
    }
    EXPECT_EQ(TraceOf("GetDescriptor ").size(), devices.size());
    EXPECT_EQ(m_console->Command("TD DEVICE_DESCRIPTOR 7"), "UNSUCCESSFUL");
    ASSERT_EQ(m_console->Command("LB"), "READY");
    EXPECT_EQ(ReadLines(m_dir.File("CLInformation.txt")).size(), 2u);
    EXPECT_EQ(Exit(), 0);
}

// GUI hands the switched stack and the open bench over to the dialogs, which
// run on the same terminal; closing the main dialog ends the program. A test
// mode the console left goes with it: the first test dialog enumerates first.
TEST_F(ConsoleE2ETest, GuiHandsTheBenchAndStackOverToTheDialogs) {
    StartReady("", true);
    EXPECT_EQ(m_console->TakeOutput().find("Switching"), std::string::npos);
    EXPECT_EQ(m_console->Command("TP TEST_PACKET 2"), "READY");
    m_console->Send("GUI");
    ASSERT_TRUE(m_console->WaitForOutput("Switching to GUI Mode"));
    ASSERT_TRUE(WaitFor([&] { return !TraceOf("InitRailswap stack").empty(); }));
    EXPECT_EQ(m_console->Status(), "BUSY\r\n");
    EXPECT_TRUE(TraceOf("Enumerate").empty());
    m_console->SendRaw("\r");  // TEST opens the device test dialog
    ASSERT_TRUE(WaitFor([&] { return !TraceOf("Enumerate bench -> 0x00000000").empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_console->SendRaw("\x1b");  // Escape closes it
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_console->SendRaw("\x1b");  // and the main dialog
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"InitRailswap list -> 0", "InitRailswap select " + kDefaultHostId + " -> 0",
                                        "new CXhciBenchline", "InitRailswap stack -> 0", "delete CXhciBenchline",
                                        "CleanupRailswap stack -> 0"}));
}

// Without a terminal the dialogs cannot start; the bench and the stack switch
// that the console left for them are still undone.
TEST_F(ConsoleE2ETest, GuiOnPipesRestoresTheStackAndFails) {
    StartReady("", false);
    m_console->Send("GUI");
    EXPECT_EQ(m_console->Wait(), 1);
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"InitRailswap list -> 0", "InitRailswap select " + kDefaultHostId + " -> 0",
                                        "new CXhciBenchline", "delete CXhciBenchline", "CleanupRailswap stack -> 0"}));
}
