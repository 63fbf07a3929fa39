// Random sequences of commands on the simulated bench: the console's test
// commands with its listings and enumerations, then the four test dialogs on
// the bus the console hands over as GUI does, with hot-plug and faults that
// fire once between commands. After every command the trace and the bench's
// state must show that each request reached only what the user named from the
// last listing shown (each device of the bench has its own PID, so a row names
// it), on the chosen controller; that success was shown only when every
// request succeeded and one was sent; that a command after a test mode
// enumerated first; and that a listing after an enumeration holds what the
// bench holds. Commands come from the catalogue, so the test grows with it.
// A failure names its seed: VOLTARIS_SEQUENCE_SEED=N starts there and
// VOLTARIS_SEQUENCE_SEEDS=K runs K seeds (else seeds run for about 15 s).
#include "bench/catalogue.h"
#include "bench/executors.h"
#include "benchline/sim.h"
#include "console/console_session.h"
#include "console/test_commands.h"
#include "dlg/headless.h"
#include "gui/device_test_dialog.h"
#include "gui/host_test_dialog.h"
#include "gui/hub_test_dialog.h"
#include "gui/resource.h"
#include "gui/ss_test_dialog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

const char* const kBench = R"(
[[controller]]
id = "Host 0"
ports = ["usb2", "usb2", "usb2", "usb2", "ss", "ss"]
device = [{at = "1", vid = 1, pid = 0x101, speed = "high", hub_ports = 4}, {at = "1.1", vid = 1, pid = 0x102, speed = "high"},
  {at = "1.3", vid = 1, pid = 0x103, speed = "high", hub_ports = 2}, {at = "1.3.2", vid = 1, pid = 0x104, speed = "full"},
  {at = "2", vid = 1, pid = 0x105, speed = "high"}, {at = "3", vid = 1, pid = 0x106, speed = "low"},
  {at = "5", vid = 1, pid = 0x107, speed = "super", hub_ports = 2}, {at = "5.1", vid = 1, pid = 0x108, speed = "super"}]
[[controller]]
id = "Host 1"
ports = ["usb2", "usb2", "ss"]
device = [{at = "1", vid = 1, pid = 0x201, speed = "high", hub_ports = 2}, {at = "1.2", vid = 1, pid = 0x202, speed = "high"},
  {at = "2", vid = 1, pid = 0x203, speed = "high"}]
)";

// Requests that act on the bus or read the target itself, not look-ups.
const std::set<std::string> kActing = {"SetTestMode",
                                       "SetPortFeature",
                                       "ClearPortFeature",
                                       "ResumePort",
                                       "QuiescePort",
                                       "IdlePort",
                                       "WriteRegister",
                                       "ReadRegister",
                                       "GetDescriptor",
                                       "SetAddress",
                                       "EnableRemoteWakeup",
                                       "DisableRemoteWakeup",
                                       "DoControlTransferSingleStep",
                                       "SetPortLinkFeature",
                                       "GetPortStatus"};
const std::vector<std::string> kFaulted = {"Enumerate",     "SetTestMode",   "SetPortFeature",
                                           "GetDescriptor", "GetPortStatus", "DoControlTransferSingleStep",
                                           "IdlePort",      "QuiescePort",   "GetVidPidSerialNumber"};
enum : uint8_t { KIND_DEVICE = 1, KIND_ROOT = 2, KIND_HUB = 4, KIND_ANY = 7 };
constexpr unsigned kUnknown = 0x10000;  // a device the test cannot tell

struct CRequest {
    std::string Method, Target, Args;
    bool Failed = false;
};

CRequest ParseRequest(const std::string& line) {
    CRequest r;
    std::istringstream words(line.substr(0, line.find(" -> ")));
    words >> r.Method >> r.Target;
    std::getline(words >> std::ws, r.Args);
    size_t status = line.find(" -> 0x");
    r.Failed =
        status != std::string::npos && BLFailed(static_cast<int32_t>(std::stoul(line.substr(status + 4), nullptr, 16)));
    return r;
}

// A device as the bench's "show" tree tells it.
struct CDeviceState {
    unsigned Controller = 0, Address = 0;
    std::string At;
    bool Hub = false, Super = false, Plugged = true;
    bool Silenced = false;  // left in a test mode: its own, one above, a port on its way, a halted controller
};
using CBench = std::map<unsigned, CDeviceState>;  // by PID

CBench ReadBench(CBLBackend* backend) {
    static const std::regex kController(R"(^controller (\d+) .* (running|halted)$)"),
        kStopped("port-test|compliance|disabled");
    static const std::regex kPort(
        R"(^ *(\S+)(?: usb2| ss)?(?: \[([^\]]*)\])?: (hub|dev)(?:@(\d+))? [0-9A-F]{4}:([0-9A-F]{4}) )"
        R"(serial [0-9A-F]{4} (\S+?)(?:, \d+ ports)?(?: \[([^\]]*)\])?$)");
    CBench bench;
    unsigned controller = 0;
    std::map<std::string, bool> silenced;  // by port path
    std::istringstream lines(BLSimShow(backend));
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, kController)) {
            controller = static_cast<unsigned>(std::stoul(m[1]));
            silenced = {{"", m[2] == "halted"}};
        } else if (std::regex_match(line, m, kPort)) {
            std::string at = m[1], states = m[7];
            size_t dot = at.rfind('.');
            bool quiet = silenced[dot == std::string::npos ? "" : at.substr(0, dot)] ||
                std::regex_search(m[2].str(), kStopped) || states.find("test-mode") != std::string::npos;
            silenced[at] = quiet;
            bench[static_cast<unsigned>(std::stoul(m[5], nullptr, 16))] = {
                controller,
                m[4].matched ? static_cast<unsigned>(std::stoul(m[4])) : 0,
                at,
                m[3] == "hub",
                m[6].str()[0] == 'S',
                states.find("unplugged") == std::string::npos,
                quiet};
        }
    }
    return bench;
}

unsigned PidAt(const CBench& bench, unsigned controller, const std::string& at, unsigned address = 0) {
    for (const auto& [pid, d] : bench)
        if (d.Controller == controller && (address ? d.Address == address : d.At == at)) return pid;
    return kUnknown;
}

std::string Prefix(unsigned controller) { return "c" + std::to_string(controller) + "/"; }

// What a command acts on, as the user named it. What it may reach follows
// from where the bench holds that after the command: "Method target" entries,
// either may be "*", and a target ending in "*" matches by prefix.
struct CTarget {
    enum EKind { NOTHING, DEVICE, ROOT_PORT, ABOVE, HUB_PORT } Kind = NOTHING;
    unsigned Pid = 0;  // the device, or the hub of a hub port
    std::string Port;

    std::vector<std::string> Reach(const CBench& bench, unsigned c) const {
        if (Pid == kUnknown) return {"* " + Prefix(c) + "*", "* host:" + std::to_string(c)};
        if (Kind == NOTHING || (Kind != ROOT_PORT && !bench.count(Pid))) return {};
        const CDeviceState* d = Kind == ROOT_PORT ? nullptr : &bench.at(Pid);
        auto hubPort = [&](unsigned hub, const std::string& port) {
            return Prefix(c) + "hub@" + std::to_string(bench.at(hub).Address) + ":" + port;
        };
        if (Kind == DEVICE) {
            size_t dot = d->At.rfind('.');
            return {
                "* " + Prefix(c) + (d->Hub ? "hub@" : "dev@") + std::to_string(d->Address),
                "* " +
                    (dot == std::string::npos ? Prefix(c) + "root:" + d->At
                                              : hubPort(PidAt(bench, c, d->At.substr(0, dot)), d->At.substr(dot + 1)))};
        }
        if (Kind == HUB_PORT) return {"IdlePort " + hubPort(Pid, "*"), "* " + hubPort(Pid, Port)};
        std::string root = Kind == ABOVE ? d->At.substr(0, d->At.find('.')) : Port;
        return {"QuiescePort " + Prefix(c) + "root:*", "* " + Prefix(c) + "root:" + root,
                "* host:" + std::to_string(c)};
    }
};

bool Allows(const std::vector<std::string>& allowed, const CRequest& r) {
    for (const std::string& entry : allowed) {
        std::string method = entry.substr(0, entry.find(' ')), target = entry.substr(entry.find(' ') + 1);
        bool prefix = target.back() == '*';
        if (prefix) target.pop_back();
        if ((method == "*" || method == r.Method) && (prefix ? r.Target.rfind(target, 0) == 0 : r.Target == target))
            return true;
    }
    return false;
}

// The controls of a test dialog that the random user works.
struct CShape {
    int Template, Execute, Return, Enumerate, Status, DeviceList, HubList, PortNumber, Monitor;
    std::vector<std::pair<int, ECommandFamily>> Commands;  // in the order EXECUTE weighs them
};
const CShape kShapes[] = {
    {IDD_DEVICE_TEST,
     IDC_DEVICE_EXECUTE,
     IDC_DEVICE_RETURN,
     IDC_DEVICE_ENUMERATE,
     IDC_DEVICE_STATUS,
     IDC_DEVICE_LIST,
     0,
     0,
     0,
     {{IDC_DEVICE_COMMAND, FAMILY_DEVICE}}},
    {IDD_HOST_TEST,
     IDC_HOST_EXECUTE,
     IDC_HOST_RETURN,
     IDC_HOST_ENUMERATE,
     IDC_HOST_STATUS,
     IDC_HOST_DEVICE_LIST,
     0,
     IDC_HOST_PORT_NUMBER,
     IDC_HOST_DISCONNECT_NOTIFY,
     {{IDC_HOST_PORT_COMMAND, FAMILY_PORT}, {IDC_HOST_DEVICE_COMMAND, FAMILY_HOST_DEVICE}}},
    {IDD_HUB_TEST,
     IDC_HUB_EXECUTE,
     IDC_HUB_RETURN,
     IDC_HUB_ENUMERATE,
     IDC_HUB_STATUS,
     IDC_HUB_DOWNSTREAM_LIST,
     IDC_HUB_LIST,
     IDC_HUB_PORT_NUMBER,
     IDC_HUB_DISCONNECT_NOTIFY,
     {{IDC_HUB_PORT_COMMAND, FAMILY_PORT}, {IDC_HUB_DEVICE_COMMAND, FAMILY_HUB_DEVICE}, {IDC_HUB_COMMAND, FAMILY_HUB}}},
    {IDD_SS_TEST,
     IDC_SS_EXECUTE,
     IDC_SS_RETURN,
     IDC_SS_ENUMERATE,
     IDC_SS_STATUS,
     0,
     IDC_SS_LIST,
     IDC_SS_PORT_NUMBER,
     0,
     {{IDC_SS_TEST_MODE, FAMILY_COMPLIANCE}}},
};

class CSequenceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char dir[] = "/tmp/voltaris-sequence-XXXXXX";  // the console's status files go there
        ASSERT_TRUE(mkdtemp(dir) && chdir(dir) == 0);
        InstallDialogResources();
    }

    void RunSeed(unsigned seed) {
        m_random.seed(seed);
        std::string error;
        auto backend = BLSimCreateFromText(kBench, "sequence bench", error);
        ASSERT_TRUE(backend) << error;
        m_backend = backend.get();
        BLInstallBackend(backend.release());
        BLSetTraceSink(
            [](const std::string& line, void* self) {
                auto* test = static_cast<CSequenceTest*>(self);
                std::lock_guard lock(test->m_mutex);  // the descriptor loop's thread writes too
                test->m_trace.push_back(line);
            },
            this);
        // The user answers "Remove Downstream Device" with OK twice at most.
        SetRemoveDevicePrompt([this](const std::string&, const std::string&) {
            return ++m_answers <= 2 && Random(2) ? PROMPT_OK : PROMPT_CANCEL;
        });
        ASSERT_EQ(CreateBench(), BENCH_OK);
        Choose(Random(2));
        BuildHubList(m_hubs, NO_SELECTION, SPEED_ALL);  // the console's listings at start-up
        BuildDeviceList(m_devices, NO_SELECTION, SPEED_ALL);
        Check("start", {}, false, true);
        for (int i = 0; i < 50 && !HasFailure(); ++i) ConsoleStep();
        for (int i = 0; i < 8 && !HasFailure(); ++i) RunDialog(kShapes[Random(4)]);  // after GUI
        DestroyBench();
        BusModel() = CBusModel{};
        SetRemoveDevicePrompt(nullptr);
        BLSetTraceSink(nullptr, nullptr);
        BLInstallBackend(nullptr);
        m_trace.clear();
        m_checked = 0;
        for (unsigned c : {0, 1}) m_pending[c] = 0, m_failedEnumeration[c] = false;
    }

    unsigned Random(unsigned n) { return n ? std::uniform_int_distribution<unsigned>(0, n - 1)(m_random) : 0; }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[Random(static_cast<unsigned>(items.size()))];
    }
    // A code of the family below count, a test mode half the time: they are
    // what changes the bus under the next command.
    uint8_t PickCode(ECommandFamily family, unsigned count) {
        std::vector<uint8_t> codes, testModes;
        for (unsigned code = 0; code < count; ++code) {
            const CCatalogueStep* step = FindCatalogueStep(family, static_cast<uint8_t>(code));
            if (!step) continue;
            codes.push_back(static_cast<uint8_t>(code));
            if ((step->Action >= ACTION_TEST_J && step->Action <= ACTION_TEST_FORCE_ENABLE) ||
                step->Action == ACTION_PARENT_TEST_PACKET || step->Action == ACTION_TX_COMPLIANCE)
                testModes.push_back(static_cast<uint8_t>(code));
        }
        return Pick(Random(2) && !testModes.empty() ? testModes : codes);
    }

    void Choose(unsigned controller) {
        std::vector<HostRecord> hosts;
        ASSERT_EQ(BuildHostList(hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(static_cast<uint8_t>(controller)), BENCH_OK);
        m_controller = controller;
    }
    // The device a row shows by PID, or by its address while that is still
    // current when the listing could not read who it was.
    unsigned Resolve(unsigned pid, unsigned address, bool current) const {
        return pid ? pid : current ? PidAt(ReadBench(m_backend), m_controller, "", address) : 0;
    }

    // Checks the requests since the last check: each reached only what the
    // target may reach, on the chosen controller; shown as a success, every
    // one succeeded and one was sent (unless nothing was asked for); one of a
    // kind left in a test mode came after an enumeration. Returns whether it
    // enumerated.
    bool Check(const std::string& what, const CTarget& target, bool success, bool nothingAsked,
               uint8_t mustEnumerate = 0) {
        std::vector<std::string> lines;
        {
            std::lock_guard lock(m_mutex);
            lines.assign(m_trace.begin() + static_cast<long>(m_checked), m_trace.end());
            m_checked = m_trace.size();
        }
        const std::vector<std::string> allowed = target.Reach(ReadBench(m_backend), m_controller);
        uint8_t& pending = m_pending[m_controller];
        bool enumerated = false, failed = false, enumerateFirst = (pending & mustEnumerate) != 0;
        size_t acted = 0;
        for (const std::string& line : lines) {
            CRequest r = ParseRequest(line);
            if (r.Method == "Enumerate") {
                enumerated = true;
                failed = failed || r.Failed;
                pending = r.Failed ? KIND_ANY : 0;
                m_failedEnumeration[m_controller] = r.Failed;
            } else if (r.Method == "SetTestMode") {
                pending |= KIND_DEVICE;
            } else if (r.Method == "SetPortLinkFeature" ||
                       (r.Method == "SetPortFeature" && r.Args.rfind("21 ", 0) == 0)) {
                pending |= r.Target.find("root:") != std::string::npos ? KIND_ROOT : KIND_HUB;
            }
            if (!kActing.count(r.Method)) continue;
            ++acted;
            failed = failed || r.Failed;
            EXPECT_TRUE(Allows(allowed, r))
                << what << " reached " << line << "; named " << ::testing::PrintToString(allowed);
            EXPECT_TRUE(enumerated || !enumerateFirst) << what << " after a test mode did not enumerate first";
        }
        if (success) {
            EXPECT_FALSE(failed) << what << " was shown as a success with a failed request";
            EXPECT_TRUE(acted > 0 || nothingAsked) << what << " was shown as a success with nothing sent";
        }
        return enumerated;
    }

    // A listing made after an enumeration that did not fail holds every
    // device the bench has addressed (of the speed and kind listed; below a
    // hub, a part of them), at its address, and none left in a test mode.
    void CheckListing(const std::string& what, const std::vector<std::pair<unsigned, unsigned>>& listed, bool usb2,
                      bool whole) {
        if (m_failedEnumeration[m_controller]) return;  // the user was told it failed
        CBench bench = ReadBench(m_backend);
        size_t addressed = 0;
        for (const auto& [pid, d] : bench) addressed += d.Controller == m_controller && d.Address && !(usb2 && d.Super);
        for (const auto& [pid, address] : listed) {
            unsigned at = PidAt(bench, m_controller, "", address);
            EXPECT_TRUE(at != kUnknown && (!pid || pid == at) && !(usb2 && bench.at(at).Super))
                << what << " lists PID " << std::hex << pid << " at " << std::dec << address << ":\n"
                << BLSimShow(m_backend);
            EXPECT_FALSE(at != kUnknown && bench.at(at).Silenced) << what << " lists a device left in a test mode";
        }
        EXPECT_TRUE(!whole || listed.size() == addressed) << what << " leaves devices out:\n" << BLSimShow(m_backend);
    }

    void HotPlug() {
        m_plugged = true;
        std::vector<std::pair<std::string, bool>> devices;
        for (const auto& [pid, d] : ReadBench(m_backend))
            if (d.Controller == m_controller) devices.push_back({d.At, d.Plugged});
        auto [at, plugged] = Pick(devices);
        std::string error;
        if (Random(3) == 0) BLSimPowerCycle(m_backend, m_controller, at, error);
        else if (plugged) BLSimUnplug(m_backend, m_controller, at, error);
        else BLSimPlug(m_backend, m_controller, at, error);
    }

    void AddFault() {
        // Enumerations fail most often: every rescan after a test mode meets one.
        BLSimFault fault{Random(3) ? Pick(kFaulted) : "Enumerate", "", "", BL_SIM_E_REFUSED, 1};
        CBench bench = ReadBench(m_backend);
        unsigned pid = PidAt(bench, m_controller, std::to_string(1 + Random(2)));
        if (fault.Request != "Enumerate" && Random(2) && pid != kUnknown)
            fault.Target = Pick(CTarget{CTarget::DEVICE, pid, ""}.Reach(bench, m_controller)).substr(2);
        ASSERT_TRUE(BLSimAddFault(m_backend, fault));
    }

    // One console command (E, TD, TP) or a change of the bench between two.
    void ConsoleStep() {
        unsigned step = Random(10);
        if (step >= 6) return step >= 8 ? AddFault() : HotPlug();
        if (step == 0) {
            int32_t status = EnumerateAll(m_devices, m_hubs);
            Check("E", {}, status >= 0, true);
            std::vector<std::pair<unsigned, unsigned>> devices;
            for (const DeviceRecord& d : m_devices) devices.push_back({d.Pid, d.Address});
            if (status >= 0) CheckListing("LD after E", devices, false, true);
            return;
        }
        bool device = step <= 3;
        ECommandFamily family = device ? FAMILY_DEVICE : FAMILY_PORT;
        const CCatalogueEntry* entry = nullptr;
        uint8_t code = 0;
        while (!entry || !entry->ConsoleWord) entry = FindCatalogueEntry(family, code = PickCode(family, 32));
        std::vector<std::string> tokens = {device ? "TD" : "TP", entry->ConsoleWord};
        CTarget target;
        uint8_t mustEnumerate = 0;
        // A row of the last listing, now and then a word that names none.
        auto row = [&](size_t count, int& index) {
            index = count && Random(8) ? static_cast<int>(Random(static_cast<unsigned>(count))) : -1;
            return index >= 0 ? std::to_string(index)
                              : Pick<std::string>({"x", "1x", "", "-1", "0x0", std::to_string(count)});
        };
        int index = -1;
        if (device) {
            tokens.push_back(row(m_devices.size(), index));
            bool parent = code == DEVICE_CMD_PARENT_TEST_PACKET;
            if (index >= 0) {
                const DeviceRecord& d = m_devices[static_cast<size_t>(index)];
                target = {parent ? CTarget::ABOVE : CTarget::DEVICE,
                          Resolve(d.Pid, d.Address, d.Listed.ListedAt == BusModel().Enumerations), ""};
            }
            mustEnumerate = KIND_DEVICE | (parent ? KIND_ROOT : 0);
        } else {
            tokens.push_back(std::to_string(1 + Random(7)));
            index = 0;
            if (Random(2) || m_hubs.empty()) {
                target = {CTarget::ROOT_PORT, 0, tokens[2]};
                mustEnumerate = code == PORT_TEST_SS_TX_COMPLIANCE_MODE ? 0 : KIND_ROOT;
            } else {
                tokens.push_back(row(m_hubs.size(), index));
                if (index >= 0) {
                    const HubRecord& h = m_hubs[static_cast<size_t>(index)];
                    target = {CTarget::HUB_PORT,
                              Resolve(h.Pid, h.Address, h.Listed.ListedAt == BusModel().Enumerations), tokens[2]};
                }
                mustEnumerate = code == PORT_TEST_SS_TX_COMPLIANCE_MODE || code == PORT_TEST_RESET ? 0 : KIND_HUB;
            }
        }
        // Enter at every prompt, or now and then the end of the input.
        size_t endedAt = SIZE_MAX;
        CConsoleSession session([](const char*) {},
                                [&](char* buffer, size_t, size_t* length) {
                                    std::lock_guard lock(m_mutex);
                                    if (Random(6) == 0) return endedAt = m_trace.size(), OS_READ_END;
                                    return buffer[0] = '\n', *length = 1, OS_READ_LINE;
                                });
        session.Devices = m_devices;
        session.Hubs = m_hubs;
        session.Tokens = tokens;
        m_answers = 0;
        device ? RunTestDeviceCommand(session) : RunTestPortCommand(session);
        std::string what;
        for (const std::string& token : tokens) what += token + " ";
        for (size_t i = endedAt; i < m_trace.size() && code != DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR; ++i)
            EXPECT_FALSE(kActing.count(ParseRequest(m_trace[i]).Method)) << what << "went on after the input ended";
        if (index < 0) {
            EXPECT_LT(session.LastResult, 0) << what;
            EXPECT_EQ(m_trace.size(), m_checked) << what << "names nothing but sent " << m_trace.back();
        }
        Check(what, target, session.LastResult >= 0, false, index < 0 ? 0 : mustEnumerate);
    }

    // (PID, address) of the rows of a list that show a device or hub.
    static std::vector<std::pair<unsigned, unsigned>> Rows(const CHeadlessUser& user, int list, bool chosen = false) {
        static const std::regex kRow("VID/PID 0x[0-9a-f]+/([0-9a-f]+), Address (\\d+)");
        std::vector<std::string> texts = list ? user.Rows(list) : std::vector<std::string>{};
        if (chosen)
            texts = list && user.Selection(list) >= 0 ? std::vector{texts[static_cast<size_t>(user.Selection(list))]}
                                                      : std::vector<std::string>{};
        std::vector<std::pair<unsigned, unsigned>> rows;
        std::smatch m;
        for (const std::string& text : texts)
            if (std::regex_search(text, m, kRow))
                rows.push_back(
                    {static_cast<unsigned>(std::stoul(m[1], nullptr, 16)), static_cast<unsigned>(std::stoul(m[2]))});
        return rows;
    }
    // The device or hub of the row chosen; 0 for none.
    unsigned PidOfRow(const CHeadlessUser& user, int list) const {
        auto rows = Rows(user, list, true);
        return rows.empty() ? 0 : Resolve(rows[0].first, rows[0].second, true);
    }

    // What EXECUTE is about to run, from what the dialog shows: the first
    // command list with a command chosen, on the row and port chosen.
    CTarget ExecuteTarget(const CShape& s, const CHeadlessUser& user, bool& none, uint8_t& mustEnumerate) const {
        int portRow = s.PortNumber ? user.Selection(s.PortNumber) : -1;
        std::string port = portRow >= 0 ? user.Rows(s.PortNumber)[static_cast<size_t>(portRow)] : "0";
        unsigned device = PidOfRow(user, s.DeviceList), hub = PidOfRow(user, s.HubList);
        size_t chosen = 0;
        while (chosen + 1 < s.Commands.size() && user.Selection(s.Commands[chosen].first) <= 0) ++chosen;
        auto [combo, family] = s.Commands[chosen];
        none = user.Selection(combo) <= 0;
        mustEnumerate = s.Template == IDD_SS_TEST ? 0 : KIND_ANY;  // the SuperSpeed dialog has no pending rescan
        if (family == FAMILY_HUB && user.Selection(combo) == HUB_CMD_PARENT_TEST_PACKET) {
            mustEnumerate = 0;  // it runs without the pending enumeration
            return {CTarget::ABOVE, hub, ""};
        }
        if (family == FAMILY_PORT || family == FAMILY_COMPLIANCE)
            return hub ? CTarget{CTarget::HUB_PORT, hub, port} : CTarget{CTarget::ROOT_PORT, 0, port};
        return {CTarget::DEVICE, family == FAMILY_HUB ? hub : device, ""};
    }

    // One test dialog on a controller chosen at random, as the main dialog's
    // TEST opens it, worked by a user who acts at random.
    void RunDialog(const CShape& s) {
        Choose(Random(2));
        CHeadlessUser user;
        int actions = 5 + static_cast<int>(Random(20));
        bool opened = false;
        CTarget forceEnabled, looping;  // the port in Test Force Enable until an enumeration; the loop's device
        std::function<void()> tick = [&] {
            if (!user.MessageText().empty()) {  // "Enumeration Failed.  Try Exiting App and Restarting."
                user.Script({tick});
                user.Press(IDOK);
            } else if (--actions < 0 || HasFailure()) {
                user.Press(s.Return);
            } else {
                user.Script({tick});
                if (!std::exchange(opened, true)) {
                    bool pending = m_pending[m_controller] != 0;
                    EXPECT_TRUE(Check("opening", {}, false, true) || !pending)
                        << s.Template << " did not enumerate first";
                    CheckLists(s, user, "opening");
                }
                Act(s, user, forceEnabled, looping);
            }
        };
        user.Script({tick});
        switch (s.Template) {
        case IDD_DEVICE_TEST: CDeviceTestDialog().DoModal(); break;
        case IDD_HOST_TEST: CHostTestDialog().DoModal(); break;
        case IDD_HUB_TEST: CHubTestDialog().DoModal(); break;
        default: CSSTestDialog().DoModal(); break;
        }
        Check("closing " + std::to_string(s.Template), {}, false, true);
        EXPECT_TRUE(user.Errors().empty()) << user.Errors().front();
    }

    void CheckLists(const CShape& s, const CHeadlessUser& user, const std::string& when) {
        std::string what = "dialog " + std::to_string(s.Template) + " " + when;
        if (s.DeviceList) CheckListing(what, Rows(user, s.DeviceList), true, s.Template != IDD_HUB_TEST);
        if (s.HubList) CheckListing(what + " (hubs)", Rows(user, s.HubList), s.Template == IDD_HUB_TEST, false);
    }

    void Act(const CShape& s, CHeadlessUser& user, CTarget& forceEnabled, CTarget& looping) {
        std::string what = "dialog " + std::to_string(s.Template) + " ";
        const bool watching = s.Monitor && user.Checked(s.Monitor);
        unsigned action = Random(12);
        if (action == 0) {
            int list = Random(2) && s.HubList ? s.HubList : s.DeviceList;
            if (list) user.Select(list, static_cast<int>(Random(static_cast<unsigned>(user.Rows(list).size()))));
            if (Check(what + "list selection", {}, false, true)) forceEnabled = {};
        } else if (action <= 5) {
            if (action <= 2) {  // a command chosen, and run at once half the time
                auto [combo, family] = Pick(s.Commands);
                user.Select(combo, PickCode(family, static_cast<unsigned>(CatalogueDialogList(family).size())));
                if (s.PortNumber && Random(2))
                    user.Select(s.PortNumber,
                                static_cast<int>(Random(static_cast<unsigned>(user.Rows(s.PortNumber).size()))));
                if (Random(2)) return;
            }
            bool stopping = user.Text(s.Execute) == "Stop Looping", none = false;
            uint8_t mustEnumerate = 0;
            CTarget target = stopping ? CTarget{} : ExecuteTarget(s, user, none, mustEnumerate);
            int chosen = user.Selection(s.Commands[0].first);
            m_answers = 0;
            user.Press(s.Execute);
            std::string shown = user.Text(s.Status);
            bool success = shown == "Operation Successful" || shown.rfind("Get Device Descriptor Raw Value", 0) == 0;
            if (Check(what + "EXECUTE: " + shown, target, success && !stopping, none || stopping, mustEnumerate))
                forceEnabled = {};
            if (s.Template == IDD_DEVICE_TEST && chosen == DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR)
                looping = stopping ? CTarget{} : target;
            if (s.Monitor && chosen == PORT_TEST_TEST_FORCE_ENABLE) forceEnabled = target;
        } else if (action == 6) {
            bool pressed = user.Press(s.Enumerate);  // not while a single-step sequence locks it
            if (Check(what + "Enumerate Bus", {}, user.Text(s.Status) == "Enumeration Successful", true))
                forceEnabled = {};
            if (pressed) CheckLists(s, user, "Enumerate Bus");
        } else if (action == 7) {
            if (s.Monitor && user.Press(s.Monitor) && user.Checked(s.Monitor)) m_plugged = false;
            Check(what + "Disconnect Notify", forceEnabled, false, true);
        } else if (action == 8) {  // the descriptor loop and the connection monitor never run together
            std::string before = user.Text(s.Status);
            user.Advance(100 + Random(2500));
            Check(what + "timers",
                  looping.Kind != CTarget::NOTHING ? looping
                      : watching                   ? forceEnabled
                                                   : CTarget{},
                  false, true);
            std::string shown = user.Text(s.Status);
            EXPECT_TRUE(shown == before || shown.find("Event Detected") == std::string::npos || m_plugged)
                << what << "showed \"" << shown << "\" for a change from before the watch";
        } else {
            action == 9 ? HotPlug() : AddFault();
        }
    }

    CBLBackend* m_backend = nullptr;
    std::mt19937 m_random;
    std::mutex m_mutex;
    std::vector<std::string> m_trace;
    size_t m_checked = 0;  // trace lines checked so far
    // By controller, from the trace: the KIND_ left in a test mode since the
    // last enumeration, and whether that enumeration failed.
    uint8_t m_pending[2] = {};
    bool m_failedEnumeration[2] = {};
    unsigned m_controller = 0;
    int m_answers = 0;
    bool m_plugged = false;               // a device was plugged, unplugged or cycled since the watch began
    std::vector<DeviceRecord> m_devices;  // the console's last listings
    std::vector<HubRecord> m_hubs;
};

TEST_F(CSequenceTest, EveryCommandReachesWhatTheUserNamedAndShowsWhatHappened) {
    auto number = [](const char* name, int fallback) {
        const char* value = std::getenv(name);
        return value && *value ? std::atoi(value) : fallback;
    };
    const int first = number("VOLTARIS_SEQUENCE_SEED", 1), count = number("VOLTARIS_SEQUENCE_SEEDS", 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    int seed = first;
    for (; !HasFailure() && (count ? seed < first + count : std::chrono::steady_clock::now() < deadline); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ": VOLTARIS_SEQUENCE_SEED=" + std::to_string(seed) +
                     " VOLTARIS_SEQUENCE_SEEDS=1 runs it again");
        RunSeed(static_cast<unsigned>(seed));
    }
    std::printf("sequence test: seeds %d to %d\n", first, seed - 1);
}

}  // namespace
