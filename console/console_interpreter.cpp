#include "console/console_interpreter.h"

#include "bench/bus_model.h"
#include "bench/executors.h"
#include "console/command_line.h"
#include "console/console_session.h"
#include "console/status_files.h"
#include "console/test_commands.h"
#include "corekit/corekit.h"
#include "os/console.h"
#include "railswap/railswap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct CHelpText {
    const char* Name;
    const char* Text;
};

const CHelpText kHelpTexts[] = {
    {"EXIT", "\n Usage:\n EXIT - Exits Application\n"},
    {"LH", "\n Usage:\n LH - Displays a list of available host controllers\n      and gives an index value for each\n"},
    {"HELP",
     "\n\nCommand Line Help Menu:\n\n\n  E  \t\tEnumerate Bus\n  EXIT  \tExit Tool\n  GP\t \tGet Hi or SuperSpeed Host Port Numbers\n  GUI   \tSwitch to GUI Mode\n  HELP  \tThis help menu\n  LB\t \tList Hubs\n  LD\t \tList Devices\n  LH \t\tList Hosts\n  SH\t \tSelect Host\n  TD\t \tTest a Device\n  TP \t\tTest a Downstream Facing Port\n\n   Type <Test> ? for more information\n   Example: GP ?\n"},
    {"SH",
     "\n Usage:\n SH <Host Index> - Selects a host controller\n      to use for testing. Available indexes\n      can be listed using LH command.\n"},
    {"E", "\n Usage:\n E - Enumerates bus, use to update lists of\n     currently connected peripherals\n"},
    {"LB", "\n Usage:\n LB - Displays a list of available hubs\n      and gives an index value for each\n"},
    {"LD", "\n Usage:\n LD - Displays a list of available devices\n      and gives an index value for each\n"},
    {"GUI", "\n Usage:\n GUI - Opens GUI Application\n"},
    {"TP",
     "\n Usage:\n TP <Test Mode> <Port Number> <Optional Hub Index>\n\n      Puts Downstream Facing Port into test mode (host or hub). If a valid\n      hub index is given then a port on that hub is put into the test mode.\n      Use LB to get a list of available hub indexes\n\n      Test Modes:\n        TEST_J\n        TEST_K\n        TEST_SE0_NAK\n        TEST_PACKET\n        SUSPEND\n        RESUME\n        RESET\n        TEST_FORCE_ENABLE\n        SS_TX_COMPLIANCE_MODE\n"},
    {"TD",
     "\n Usage:\n TD <Test Mode> <Device Index>\n\n      Puts Upstream Facing Port (peripheral) into test mode. Be\n      sure to use the device index for any upstream port (hub or\n      device) obtained using the the LD command.\n\n      Test Modes:\n        TEST_J\n        TEST_K\n        TEST_SE0_NAK\n        TEST_PACKET\n        SUSPEND\n        RESUME\n        RESET\n        DEVICE_DESCRIPTOR\n        LOOP_DEVICE_DESCRIPTOR\n        ENABLE_WAKEUP\n        DISABLE_WAKEUP\n        SINGLE_STEP_SET_FEATURE\n        SINGLE_STEP_GET_DEV_DESC\n        PARENT_TEST_PACKET\n"},
    {"GP",
     "\n Usage:\n GP <Speed> - Lists host ports and their speeds\n\n  Speed:\n   SS - SuperSpeed Ports\n   HS - Hi-Speed Ports\n"},
};

constexpr const char* kSection = "CommandLineMode";
constexpr int kMaxHosts = 256;
// Longest host name kept, so that it fits a 256-byte buffer with its NUL.
constexpr size_t kMaxHostName = 255;

class CConsoleInterpreter {
public:
    CConsoleInterpreter(CConsoleHost& host, CIniArgs& stackConfig, std::string& text)
        : m_host(host),
          m_config(stackConfig),
          m_text(text),
          m_session([&host](const char* line) { host.WriteConsoleText(line); }),
          m_hostNames(kMaxHosts) {}

    EConsoleExit Run() {
        CConsoleRemoveDevicePrompt prompt(m_session);
        CConsoleConfirmPrompt confirm(m_session);
        if (StartUp()) CommandLoop();
        return m_exit;
    }

private:
    using CCommand = bool (CConsoleInterpreter::*)();
    struct CCommandEntry {
        const char* Name;
        CCommand Run;  // returns false when the console is left
    };
    static const CCommandEntry kCommands[];

    bool StartUp();
    bool SelectHost(int& chosen);
    void ParseHostNames();
    bool Fail(int state, const char* text, bool switched);
    void FailIfInfoIncomplete();
    void CommandLoop();
    bool Dispatch();
    void ShowCommandHelp(const std::string& name);

    bool Help();
    bool Exit();
    bool Gui();
    bool ListHosts();
    bool SelectHostCommand();
    bool Enumerate();
    bool ListHubs();
    bool ListDevices();
    bool GetPorts();
    bool TestPort();
    bool TestDevice();

    void Write(const char* text) { m_session.Write(text); }

    CConsoleHost& m_host;
    EConsoleExit m_exit = CONSOLE_EXIT_START_FAILED;
    CIniArgs& m_config;
    std::string& m_text;
    CConsoleSession m_session;
    CSafeString m_switcherText;
    std::vector<std::string> m_hostNames;
    int m_hostCount = 0;
};

const CConsoleInterpreter::CCommandEntry CConsoleInterpreter::kCommands[] = {
    {"HELP", &CConsoleInterpreter::Help},      {"?", &CConsoleInterpreter::Help},
    {"/?", &CConsoleInterpreter::Help},        {"EXIT", &CConsoleInterpreter::Exit},
    {"LH", &CConsoleInterpreter::ListHosts},   {"SH", &CConsoleInterpreter::SelectHostCommand},
    {"E", &CConsoleInterpreter::Enumerate},    {"LB", &CConsoleInterpreter::ListHubs},
    {"LD", &CConsoleInterpreter::ListDevices}, {"GUI", &CConsoleInterpreter::Gui},
    {"TP", &CConsoleInterpreter::TestPort},    {"TD", &CConsoleInterpreter::TestDevice},
    {"GP", &CConsoleInterpreter::GetPorts},
};

// What a failed stack switch says and leaves in the status file.
struct CSwitchFailure {
    int State;
    const char* Text;
};

CSwitchFailure DescribeSwitchFailure(ERailswapResult result) {
    if (result == RAILSWAP_NO_HOST) return {STATUS_COULD_NOT_FIND_HOST, " No Host Controllers Found!\n"};
    if (result == RAILSWAP_REBOOT_NEEDED) return {STATUS_REBOOT_NEEDED, " Reboot Needed!\n"};
    return {STATUS_ERROR_LOADING_DRIVER, " Error Loading Driver!\n"};
}

bool CConsoleInterpreter::StartUp() {
    m_host.OpenConsole();
    Write("- xHCI Voltaris - \n\n");

    m_config.AddArg(kSection, "ListHostController", "");
    ERailswapResult listed = InitRailswap(m_config, m_switcherText, 0);
    if (listed != RAILSWAP_OK) {
        CSwitchFailure failure = DescribeSwitchFailure(listed);
        return Fail(failure.State, failure.Text, false);
    }
    m_text = m_switcherText.get();
    Write("\n List of Hosts: \n");
    size_t bar = m_text.find('|');
    Write(bar == std::string::npos ? m_text.c_str() : m_text.c_str() + bar + 1);
    m_hostCount = std::min(ParseDecimal(m_text.substr(0, bar)), int32_t{kMaxHosts});

    int chosen = 0;
    if (!SelectHost(chosen)) return false;

    Write(" Loading...\n");
    m_config.AddArg(kSection, "SelectHostController", "");
    m_config.AddArg(kSection, m_hostNames[chosen], "");
    ERailswapResult switched = InitRailswap(m_config, m_switcherText, 0);
    if (switched == RAILSWAP_REBOOT_NEEDED) {
        Write(" Reboot Needed!\n");
        WriteStatusFile(STATUS_REBOOT_NEEDED);
    } else if (switched != RAILSWAP_OK) {
        CSwitchFailure failure = DescribeSwitchFailure(switched);
        return Fail(failure.State, failure.Text, false);
    }
    m_text = m_switcherText.get();

    CreateBench();
    BuildHostList(m_session.Hosts);
    if (m_session.Hosts.empty()) return Fail(STATUS_COULD_NOT_FIND_HOST, " Host not found\n", true);
    EBenchResult selected = SelectHostByIndex(0);
    if (selected < 0) {
        if (selected == BENCH_E_DRIVER_VERSION) return Fail(STATUS_INVALID_DRIVER, " Invalid Driver Version\n", true);
        return Fail(STATUS_COULD_NOT_FIND_HOST, " Error Getting Host Info\n", true);
    }
    BuildHubList(m_session.Hubs, NO_SELECTION, SPEED_ALL);
    m_session.LastResult = ConsoleResult(BuildDeviceList(m_session.Devices, NO_SELECTION, SPEED_ALL));
    Write(" Ready\n");
    return true;
}

// Asks for a host index until a valid one is typed; false when the console
// was left instead.
bool CConsoleInterpreter::SelectHost(int& chosen) {
    while (true) {
        ParseHostNames();
        FailIfInfoIncomplete();
        EConsoleRead read = m_session.ReadCommandLine("\nSelect Valid Host Controller Index: ", m_session.Tokens,
                                                      m_session.TokenCount, m_session.LastResult);
        if (read == CONSOLE_READ_END) return Exit();
        if (read == CONSOLE_READ_TOO_LONG) {
            m_session.LastResult = CONSOLE_E_FAILED;
            continue;
        }
        if (m_session.Tokens.empty()) continue;
        if (SameWord(m_session.Tokens[0], "EXIT")) return Exit();
        int32_t index = 0;
        if (!ParseWholeDecimal(m_session.Tokens[0], index) || index < 0 || index >= m_hostCount) {
            m_session.LastResult = ConsoleResult(BENCH_E_INDEX);
            continue;
        }
        chosen = index;
        return true;
    }
}

// Each host line of the switcher's text reads "<index>: <name>".
void CConsoleInterpreter::ParseHostNames() {
    size_t position = 0;
    for (int i = 0; i < m_hostCount; ++i) {
        std::string name;
        size_t colon = position == std::string::npos ? position : m_text.find(": ", position);
        if (colon != std::string::npos) {
            position = m_text.find('\n', colon);
            name = m_text.substr(colon + 2, position == std::string::npos ? position : position - colon - 2);
        } else {
            position = std::string::npos;
        }
        m_hostNames[i] = name.substr(0, kMaxHostName);
        m_session.AppendInfo("INDEX|%d|HOST_INFO|%s\n", i, m_hostNames[i].c_str());
    }
}

// A failed start-up leaves its state in the status file and releases the
// console. Once a controller has been switched, the bench is closed and the
// stack restored as well, so the machine is not left on the compliance stack.
bool CConsoleInterpreter::Fail(int state, const char* text, bool switched) {
    Write(text);
    WriteStatusFile(state);
    OSFreeConsole();
    if (switched) {
        DestroyBench();
        CleanupRailswap(m_config, m_switcherText, 0);
    }
    return false;
}

// A driving program reads the information file once the status file says
// READY, so a listing that could not be written whole fails its command.
void CConsoleInterpreter::FailIfInfoIncomplete() {
    std::string failure = m_session.TakeInfoFailure();
    if (failure.empty()) return;
    std::fprintf(stderr, "voltaris: %s; the listing there is incomplete\n", failure.c_str());
    m_session.LastResult = CONSOLE_E_FAILED;
}

void CConsoleInterpreter::CommandLoop() {
    while (true) {
        EConsoleRead read =
            m_session.ReadCommandLine("Enter Command: ", m_session.Tokens, m_session.TokenCount, m_session.LastResult);
        m_session.LastResult = CONSOLE_OK;
        if (read == CONSOLE_READ_END) {
            Exit();
            return;
        }
        if (read == CONSOLE_READ_TOO_LONG) {
            m_session.LastResult = CONSOLE_E_FAILED;
            continue;
        }
        if (m_session.Tokens.empty()) continue;
        if (!Dispatch()) return;
        FailIfInfoIncomplete();
        // The input ended at a prompt inside the command.
        if (m_session.InputEnded()) {
            Exit();
            return;
        }
    }
}

bool CConsoleInterpreter::Dispatch() {
    const auto& tokens = m_session.Tokens;
    if (tokens.size() >= 2 && (tokens[1] == "?" || tokens[1] == "/?" || SameWord(tokens[1], "HELP"))) {
        ShowCommandHelp(tokens[0]);
        return true;
    }
    for (const auto& command : kCommands) {
        if (SameWord(tokens[0], command.Name)) return (this->*command.Run)();
    }
    m_session.WriteLine("\n  Invalid Command: %s\n", tokens[0].c_str());
    m_session.LastResult = CONSOLE_E_FAILED;
    return true;
}

void CConsoleInterpreter::ShowCommandHelp(const std::string& name) {
    for (const auto& help : kHelpTexts) {
        if (SameWord(name, help.Name)) {
            Write(help.Text);
            return;
        }
    }
    Write("\n No help information available.\n");
}

bool CConsoleInterpreter::Help() {
    ShowCommandHelp("HELP");
    return true;
}

bool CConsoleInterpreter::Exit() {
    Write("\n Exiting application\n");
    m_exit = CONSOLE_EXIT_DONE;
    OSFreeConsole();
    DestroyBench();
    CleanupRailswap(m_config, m_switcherText, 0);
    return false;
}

// The bench and the switched stack stay as they are, for the dialogs.
bool CConsoleInterpreter::Gui() {
    Write("\n Switching to GUI Mode\n");
    OSFreeConsole();
    m_exit = CONSOLE_EXIT_TO_DIALOGS;
    return false;
}

bool CConsoleInterpreter::ListHosts() {
    m_session.WriteInfo("", true);
    Write("\n List of hosts with compliance driver installed: \n");
    for (size_t i = 0; i < m_session.Hosts.size(); ++i) {
        const HostRecord& host = m_session.Hosts[i];
        int index = static_cast<int>(i);
        m_session.WriteLine("   %d  :  %.255s - %d Ports\n", index, host.HostId, host.PortCount);
        m_session.AppendInfo("INDEX|%d|HOST_INFO|%.255s|NUM_PORTS|%d\n", index, host.HostId, host.PortCount);
    }
    if (m_session.Hosts.empty()) {
        Write("  No Host Controllers Found\n");
        m_session.WriteInfo("NO_HOST_FOUND", false);
    }
    return true;
}

bool CConsoleInterpreter::SelectHostCommand() {
    const auto& tokens = m_session.Tokens;
    if (tokens.size() < 2) {
        Write("\n  Please enter valid host index\n");
        return true;
    }
    // A word that sorts before "0" (a sign, a blank, nothing) is no index,
    // nor is one that is not a whole number.
    int32_t index = 0;
    if (CompareNoCase(tokens[1], "0") < 0 || !ParseWholeDecimal(tokens[1], index) ||
        m_session.Hosts.size() <= static_cast<uint32_t>(index)) {
        Write("\n Invalid host index\n");
        m_session.LastResult = CONSOLE_E_FAILED;
        return true;
    }
    m_session.WriteLine("\n Selecting Host %s... \n", tokens[1].c_str());
    uint8_t previous = GetSelectedHost();
    m_session.LastResult = ConsoleResult(SelectHostByIndex(static_cast<uint8_t>(index)));
    if (m_session.LastResult < 0) {
        Write(" Error selecting Host\n");
        WriteStatusFile(STATUS_COULD_NOT_FIND_HOST);
        // The console stays on the controller its lists show.
        if (previous != NO_SELECTION && previous != index) SelectHostByIndex(previous);
        return true;
    }
    // The lists now show the new controller's devices, or nothing when it
    // could not be enumerated.
    BLSTATUS listed = EnumerateAll(m_session.Devices, m_session.Hubs);
    if (listed < 0) {
        Write(" Enumeration Failed\n");
        m_session.LastResult = ConsoleResult(listed);
    } else {
        Write(" Successful\n");
    }
    return true;
}

bool CConsoleInterpreter::Enumerate() {
    Write("\n Enumerating Bus... \n");
    m_session.LastResult = ConsoleResult(EnumerateAll(m_session.Devices, m_session.Hubs));
    if (m_session.LastResult < 0) {
        Write(" Enumeration Failed\n");
    } else {
        m_session.WriteLine(" Enumeration Successful\n  %d Device(s) Detected\n",
                            static_cast<int>(m_session.Devices.size()));
    }
    return true;
}

bool CConsoleInterpreter::ListHubs() {
    m_session.WriteInfo("", true);
    Write("\n List of Hubs: \n");
    for (size_t i = 0; i < m_session.Hubs.size(); ++i) {
        const HubRecord& hub = m_session.Hubs[i];
        int index = static_cast<int>(i);
        const char* remark = hub.SuperSpeed ? "SuperSpeed" : "";
        m_session.WriteLine("   %d  :  VID/PID 0x%x/%x, Address %d - %d Ports %s\n", index, hub.Vid, hub.Pid,
                            hub.Address, hub.PortCount, remark);
        m_session.AppendInfo("INDEX|%d|VID|%x|PID|%x|ADDRESS|%d|NUM_PORTS|%d|EXTRA_INFO|%s|\n", index, hub.Vid, hub.Pid,
                             hub.Address, hub.PortCount, remark);
    }
    if (m_session.Hubs.empty()) {
        Write("  No Hubs Found\n");
        m_session.WriteInfo("NO_HUBS_FOUND", false);
    }
    return true;
}

bool CConsoleInterpreter::ListDevices() {
    m_session.WriteInfo("", true);
    Write("\n List of Devices: \n");
    for (size_t i = 0; i < m_session.Devices.size(); ++i) {
        const DeviceRecord& device = m_session.Devices[i];
        int index = static_cast<int>(i);
        m_session.WriteLine("   %d  :  VID/PID 0x%x/%x, Address %d\n", index, device.Vid, device.Pid, device.Address);
        m_session.AppendInfo("INDEX|%d|VID|%x|PID|%x|ADDRESS|%d\n", index, device.Vid, device.Pid, device.Address);
    }
    if (m_session.Devices.empty()) {
        Write("  No Devices Found\n");
        m_session.WriteInfo("NO_DEVICES_FOUND", false);
    }
    return true;
}

bool CConsoleInterpreter::GetPorts() {
    m_session.WriteInfo("", true);
    const auto& tokens = m_session.Tokens;
    if (tokens.size() < 2) {
        Write("\n Enter all fields, Correct Syntax:");
        Write("\n  GP <Speed>");
        Write("\n  Speed: HS or SS\n");
        m_session.LastResult = CONSOLE_E_FAILED;
        return true;
    }
    bool hiSpeed = SameWord(tokens[1], "HS");
    if (!hiSpeed && !SameWord(tokens[1], "SS")) return true;
    uint8_t selected = GetSelectedHost();
    if (selected >= m_session.Hosts.size()) return true;
    const HostRecord& host = m_session.Hosts[selected];
    uint8_t count = hiSpeed ? host.Usb2PortCount : host.SuperSpeedPortCount;
    const uint8_t* ports = hiSpeed ? host.Usb2Ports : host.SuperSpeedPorts;
    m_session.WriteLine(
        hiSpeed ? "\n Found %d Hi-Speed Ports on Host %d:\n\n" : "\n Found %d SuperSpeed Ports on Host %d:\n\n", count,
        selected);
    for (int i = 0; i < count; ++i) {
        m_session.WriteLine("   - %d \n", ports[i]);
        m_session.AppendInfo(hiSpeed ? "PORT|%d|HI-SPEED\n" : "PORT|%d|SUPERSPEED\n", ports[i]);
    }
    return true;
}

bool CConsoleInterpreter::TestPort() {
    RunTestPortCommand(m_session);
    return true;
}

bool CConsoleInterpreter::TestDevice() {
    RunTestDeviceCommand(m_session);
    return true;
}

}  // namespace

EConsoleExit RunConsoleInterpreter(CConsoleHost& host, CIniArgs stackConfig, std::string text,
                                   const std::string& inputTitle) {
    CMFCDialogTKUserInput userInput(nullptr, inputTitle);
    CConsoleInterpreter interpreter(host, stackConfig, text);
    return interpreter.Run();
}
