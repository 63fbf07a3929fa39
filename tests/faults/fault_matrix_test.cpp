// Every entry of the catalogue, in every front end that offers it, run on the
// simulated bench with each request of its sequence failing in turn, with its
// target unplugged and with the hub above it unplugged: the user must be shown
// a failure every time. On a bench of three controllers, with the second one
// chosen, no request may reach another controller.
//
// The cases are made from the catalogue table, so a new entry is covered
// without touching this file.
#include "bench/bus_model.h"
#include "bench/catalogue.h"
#include "bench/executors.h"
#include "benchline/backend.h"
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

#include <cstdlib>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Each controller: root ports 1-3 USB 2.0, 4-5 SuperSpeed.
//   addr 1  hub at 1 (4 ports)   addr 2  device at 1.2   addr 3  device at 2
//   addr 4  SuperSpeed hub at 4 (2 empty ports)          root ports 3 and 5 empty
std::string BenchText(unsigned controllers) {
    std::string text;
    for (unsigned c = 0; c < controllers; ++c) {
        text += "[[controller]]\nid = \"Host " + std::to_string(c) + "\"\n" +
            "ports = [\"usb2\", \"usb2\", \"usb2\", \"ss\", \"ss\"]\ndevice = [\n"
            "  {at = \"1\", vid = 0x2B4E, pid = 0x0412, speed = \"high\", hub_ports = 4},\n"
            "  {at = \"1.2\", vid = 0x3A17, pid = 0x1001, serial = 1, speed = \"high\"},\n"
            "  {at = \"2\", vid = 0x1C4D, pid = 0x0A20, speed = \"high\"},\n"
            "  {at = \"4\", vid = 0x2B4E, pid = 0x0413, speed = \"super\", hub_ports = 2},\n"
            "]\n";
    }
    return text;
}

constexpr BLSTATUS kRefused = BL_SIM_E_REFUSED;

// What a case acts on, and what can be pulled out from under it.
struct CTarget {
    const char* Name;
    uint8_t Address;                  // the device or hub acted on; 0 for a port
    uint8_t Port;                     // the root or hub port acted on; 0 for a device
    std::vector<const char*> Unplug;  // paths whose removal must make it fail
};

const CTarget kDeviceOnRootPort{"device on root port 2", 3, 0, {"2"}};
const CTarget kDeviceBelowHub{"device below the hub", 2, 0, {"1.2", "1"}};
const CTarget kHub{"the hub", 1, 0, {"1"}};
const CTarget kRootPort{"root port 2", 0, 2, {}};
const CTarget kHubPort{"hub port 2", 0, 2, {"1"}};
const CTarget kSuperSpeedRootPort{"root port 5", 0, 5, {}};
const CTarget kSuperSpeedHubPort{"SuperSpeed hub port 1", 0, 1, {"4"}};

enum EFrontEnd { FRONT_TD, FRONT_TP, FRONT_DEVICE, FRONT_HOST, FRONT_HUB, FRONT_SS };

struct CCase {
    EFrontEnd Front;
    ECommandFamily Family;
    const CCatalogueEntry* Entry;
    uint8_t Code;
    CTarget Target;
    std::string Name;
};

// What one run saw: every trace line, where the command started, and
// whether the user was shown a failure.
struct CRun {
    std::vector<std::string> Trace;
    size_t ActionStart = 0;
    bool ShownFailure = false;
    std::string Shown;
};

class CFaultMatrix : public ::testing::TestWithParam<unsigned> {
protected:
    static void SetUpTestSuite() {
        // The console writes its status files into the working directory.
        char pattern[] = "/tmp/voltaris-faults-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_dir = pattern;
        ASSERT_EQ(chdir(s_dir.c_str()), 0);
        InstallDialogResources();
    }
    static void TearDownTestSuite() {
        (void)chdir("/");
        std::system(("rm -rf " + s_dir).c_str());
    }

    void TearDown() override { Close(); }

    unsigned Controllers() const { return GetParam(); }
    // The controller chosen: the second of several.
    uint8_t Chosen() const { return Controllers() > 1 ? 1 : 0; }

    void Close() {
        DestroyBench();
        BusModel() = CBusModel{};
        SetRemoveDevicePrompt(nullptr);
        BLSetTraceSink(nullptr, nullptr);
        BLInstallBackend(nullptr);
    }

    // A fresh bench with the chosen controller selected, as the front ends
    // find it after start-up.
    void Open() {
        Close();
        std::string error;
        auto backend = BLSimCreateFromText(BenchText(Controllers()), "matrix bench", error);
        ASSERT_TRUE(backend) << error;
        m_backend = backend.get();
        BLInstallBackend(backend.release());
        m_run = CRun{};
        BLSetTraceSink(
            [](const std::string& line, void* self) { static_cast<CFaultMatrix*>(self)->m_run.Trace.push_back(line); },
            this);
        // Nothing is attached to the ports the compliance cases use.
        SetRemoveDevicePrompt([](const std::string&, const std::string&) { return PROMPT_CANCEL; });
        ASSERT_EQ(CreateBench(), BENCH_OK);
        std::vector<HostRecord> hosts;
        ASSERT_EQ(BuildHostList(hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(Chosen()), BENCH_OK);
    }

    // Called right before the command: a fault, an unplug, or nothing.
    using CArm = std::function<void()>;

    CRun Run(const CCase& c, const CArm& arm) {
        Open();
        switch (c.Front) {
        case FRONT_TD:
        case FRONT_TP: RunConsole(c, arm); break;
        case FRONT_DEVICE: RunDialog<CDeviceTestDialog>(c, arm); break;
        case FRONT_HOST: RunDialog<CHostTestDialog>(c, arm); break;
        case FRONT_HUB: RunDialog<CHubTestDialog>(c, arm); break;
        case FRONT_SS: RunDialog<CSSTestDialog>(c, arm); break;
        }
        CRun run = m_run;
        Close();
        return run;
    }

    // The console: TD or TP typed with the target's index, the prompts of a
    // single-step sequence or of the loop answered with Enter.
    void RunConsole(const CCase& c, const CArm& arm) {
        std::string output;
        CConsoleSession session([&](const char* text) { output += text; },
                                [](char* buffer, size_t, size_t* length) {
                                    buffer[0] = '\n';
                                    *length = 1;
                                    return OS_READ_LINE;
                                });
        ASSERT_GE(EnumerateAll(session.Devices, session.Hubs), 0);
        std::string word = c.Entry->ConsoleWord;
        if (c.Front == FRONT_TD) {
            session.Tokens = {"TD", word, std::to_string(IndexOfAddress(session.Devices, c.Target.Address))};
        } else if (c.Target.Name == kRootPort.Name || c.Target.Name == kSuperSpeedRootPort.Name) {
            session.Tokens = {"TP", word, std::to_string(c.Target.Port)};
        } else {
            uint8_t hubAddress = c.Target.Name == kHubPort.Name ? 1 : 4;
            int hub = -1;
            for (size_t i = 0; i < session.Hubs.size(); ++i)
                if (session.Hubs[i].Address == hubAddress) hub = static_cast<int>(i);
            ASSERT_GE(hub, 0);
            session.Tokens = {"TP", word, std::to_string(c.Target.Port), std::to_string(hub)};
        }
        session.TokenCount = static_cast<int>(session.Tokens.size());
        arm();
        m_run.ActionStart = m_run.Trace.size();
        if (c.Front == FRONT_TD) RunTestDeviceCommand(session);
        else RunTestPortCommand(session);
        m_run.Shown = output;
        m_run.ShownFailure = session.LastResult < 0 && output.find(" Failed\n") != std::string::npos;
    }

    static int IndexOfAddress(const std::vector<DeviceRecord>& devices, uint8_t address) {
        for (size_t i = 0; i < devices.size(); ++i)
            if (devices[i].Address == address) return static_cast<int>(i);
        ADD_FAILURE() << "no device at address " << int(address);
        return 0;
    }

    // The row of a list or combo whose text contains needle.
    int RowWith(int id, const std::string& needle, bool whole = false) {
        std::vector<std::string> rows = m_user.Rows(id);
        for (size_t i = 0; i < rows.size(); ++i)
            if (whole ? rows[i] == needle : rows[i].find(needle) != std::string::npos) return static_cast<int>(i);
        ADD_FAILURE() << "no row \"" << needle << "\" in control " << id;
        return -1;
    }

    struct CDialogIds {
        int Execute, Return, Status, Command, PortNumber, List, Address;
    };

    // The controls a case works with in its dialog.
    CDialogIds IdsOf(const CCase& c) {
        switch (c.Front) {
        case FRONT_DEVICE:
            return {IDC_DEVICE_EXECUTE, IDC_DEVICE_RETURN, IDC_DEVICE_STATUS, IDC_DEVICE_COMMAND, 0,
                    IDC_DEVICE_LIST,    IDC_DEVICE_ADDRESS};
        case FRONT_HOST:
            return {IDC_HOST_EXECUTE,     IDC_HOST_RETURN,
                    IDC_HOST_STATUS,      c.Family == FAMILY_PORT ? IDC_HOST_PORT_COMMAND : IDC_HOST_DEVICE_COMMAND,
                    IDC_HOST_PORT_NUMBER, IDC_HOST_DEVICE_LIST,
                    IDC_HOST_ADDRESS};
        case FRONT_HUB: {
            int command = c.Family == FAMILY_PORT ? IDC_HUB_PORT_COMMAND
                : c.Family == FAMILY_HUB          ? IDC_HUB_COMMAND
                                                  : IDC_HUB_DEVICE_COMMAND;
            return {IDC_HUB_EXECUTE,
                    IDC_HUB_RETURN,
                    IDC_HUB_STATUS,
                    command,
                    IDC_HUB_PORT_NUMBER,
                    IDC_HUB_DOWNSTREAM_LIST,
                    c.Family == FAMILY_HUB ? IDC_HUB_ADDRESS : IDC_HUB_DEVICE_ADDRESS};
        }
        default:
            return {IDC_SS_EXECUTE, IDC_SS_RETURN, IDC_SS_STATUS, IDC_SS_TEST_MODE, IDC_SS_PORT_NUMBER, IDC_SS_LIST, 0};
        }
    }

    // A dialog: the target chosen in its lists, the entry chosen in its
    // command combo, then EXECUTE as often as the entry has stages (the loop
    // runs for a while and is stopped). A failure text after any press is a
    // failure shown.
    template <class TDialog>
    void RunDialog(const CCase& c, const CArm& arm) {
        const CDialogIds ids = IdsOf(c);
        m_user.Script({[&] {
            if (c.Front == FRONT_SS) {
                EXPECT_TRUE(m_user.Select(ids.List, c.Target.Name == kSuperSpeedHubPort.Name ? 1 : 0));
            }
            if (c.Target.Address != 0 && !(c.Front == FRONT_HUB && c.Family == FAMILY_HUB)) {
                std::string row = "Address " + std::to_string(c.Target.Address) + ",";
                EXPECT_TRUE(m_user.Select(ids.List, RowWith(ids.List, row)));
            }
            if (c.Target.Port != 0) {
                EXPECT_TRUE(
                    m_user.Select(ids.PortNumber, RowWith(ids.PortNumber, std::to_string(c.Target.Port), true)));
            }
            EXPECT_TRUE(m_user.Select(ids.Command, c.Code));
            if (c.Entry->Steps[0].Action == ACTION_SET_ADDRESS) {
                EXPECT_TRUE(m_user.SelectText(ids.Address, 0, m_user.Text(ids.Address).size()));
                EXPECT_TRUE(m_user.Type(ids.Address, "9"));
            }
            arm();
            m_run.ActionStart = m_run.Trace.size();
            bool loop = c.Entry->Steps[0].Action == ACTION_LOOP_DEVICE_DESCRIPTOR;
            size_t presses = loop ? 1 : c.Entry->StepCount;
            for (size_t i = 0; i < presses; ++i) {
                EXPECT_TRUE(m_user.Press(ids.Execute));
                if (loop) m_user.Advance(250);
                Note(m_user.Text(ids.Status));
            }
            if (loop) {
                EXPECT_TRUE(m_user.Press(ids.Execute));
            }
            EXPECT_TRUE(m_user.Press(ids.Return));
        }});
        TDialog dialog;
        dialog.DoModal();
        EXPECT_TRUE(m_user.ScriptDone()) << c.Name;
    }

    void Note(const std::string& status) {
        m_run.Shown += status + "|";
        static const char* const kFailures[] = {"Operation Failed", "Enumeration Failed", "No Devices Present"};
        for (const char* failure : kFailures)
            if (status.find(failure) != std::string::npos) m_run.ShownFailure = true;
    }

    // The requests of a run's command whose failure the command must report:
    // method, target and arguments as a fault names them. Look-ups that
    // cannot fail (a count, a flag, a text) are left out.
    static std::vector<BLSimFault> FailableRequests(const CRun& run) {
        static const std::set<std::string> kCannotFail = {"IsSuperSpeedPort", "GetNumberHostPorts", "GetHostID"};
        std::vector<BLSimFault> faults;
        std::set<std::string> seen;
        for (size_t i = run.ActionStart; i < run.Trace.size(); ++i) {
            const std::string& line = run.Trace[i];
            std::string request = line.substr(0, line.find(" -> "));
            if (!seen.insert(request).second) continue;
            std::vector<std::string> words;
            for (size_t at = 0, next; at <= request.size(); at = next + 1) {
                next = request.find(' ', at);
                if (next == std::string::npos) next = request.size();
                words.push_back(request.substr(at, next - at));
            }
            if (words.size() < 2 || kCannotFail.count(words[0])) continue;
            BLSimFault fault;
            fault.Request = words[0];
            fault.Target = words[1];
            for (size_t w = 2; w < words.size(); ++w) fault.Args += (w > 2 ? " " : "") + words[w];
            fault.Status = kRefused;
            faults.push_back(fault);
        }
        return faults;
    }

    // No request of a run names a controller other than the chosen one;
    // listing the controllers, which visits each, is the exception.
    void ExpectOnlyChosenController(const CRun& run, const std::string& name) {
        static const std::regex kController(R"((?:^|[ /])(?:c|host:)(\d+)[/ ]|host:(\d+)$)");
        static const std::set<std::string> kListing = {"FindFirstHC",        "FindNextHC",  "GetHostID",
                                                       "GetNumberHostPorts", "GetHostPort", "IsSuperSpeedPort"};
        for (const std::string& line : run.Trace) {
            std::string method = line.substr(0, line.find(' '));
            if (kListing.count(method)) continue;
            if (method == "SelectHostController" && line.find(" 0 0 -> ") != std::string::npos) continue;
            for (std::sregex_iterator it(line.begin(), line.end(), kController), end; it != end; ++it) {
                std::string number = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
                EXPECT_EQ(std::stoul(number), Chosen()) << name << ": " << line;
            }
        }
    }

    static std::string s_dir;
    CBLBackend* m_backend = nullptr;
    CHeadlessUser m_user;
    CRun m_run;
};

std::string CFaultMatrix::s_dir;

// The targets of each front end and family.
std::vector<CTarget> TargetsOf(EFrontEnd front, ECommandFamily family) {
    switch (front) {
    case FRONT_TD:
    case FRONT_DEVICE: return {kDeviceOnRootPort, kDeviceBelowHub};
    case FRONT_HOST:
        return family == FAMILY_PORT ? std::vector<CTarget>{kRootPort} : std::vector<CTarget>{kDeviceOnRootPort};
    case FRONT_HUB:
        if (family == FAMILY_HUB) return {kHub};
        if (family == FAMILY_PORT) return {kHubPort};
        return {kDeviceBelowHub};
    case FRONT_TP:
    case FRONT_SS: return {};
    }
    return {};
}

std::vector<CCase> AllCases() {
    struct CFront {
        EFrontEnd Front;
        ECommandFamily Family;
        const char* Name;
    };
    const CFront fronts[] = {{FRONT_TD, FAMILY_DEVICE, "TD"},
                             {FRONT_TP, FAMILY_PORT, "TP"},
                             {FRONT_DEVICE, FAMILY_DEVICE, "device dialog"},
                             {FRONT_HOST, FAMILY_PORT, "host dialog"},
                             {FRONT_HOST, FAMILY_HOST_DEVICE, "host dialog"},
                             {FRONT_HUB, FAMILY_HUB, "hub dialog"},
                             {FRONT_HUB, FAMILY_PORT, "hub dialog"},
                             {FRONT_HUB, FAMILY_HUB_DEVICE, "hub dialog"},
                             {FRONT_SS, FAMILY_COMPLIANCE, "SuperSpeed dialog"}};
    std::vector<CCase> cases;
    for (const CFront& front : fronts) {
        bool console = front.Front == FRONT_TD || front.Front == FRONT_TP;
        size_t listed = CatalogueDialogList(front.Family).size();
        for (const CCatalogueEntry& entry : Catalogue()) {
            uint8_t code = entry.Steps[0].Codes[front.Family];
            if (code == CATALOGUE_NO_CODE || code == 0) continue;
            if (console ? !entry.ConsoleWord : code >= listed) continue;
            std::vector<CTarget> targets = TargetsOf(front.Front, front.Family);
            if (front.Front == FRONT_TP || front.Front == FRONT_SS) {
                bool compliance = entry.Steps[0].Action == ACTION_TX_COMPLIANCE;
                targets = compliance ? std::vector<CTarget>{kSuperSpeedRootPort, kSuperSpeedHubPort}
                                     : std::vector<CTarget>{kRootPort, kHubPort};
            }
            for (const CTarget& target : targets)
                cases.push_back({front.Front, front.Family, &entry, code, target,
                                 std::string(front.Name) + " " +
                                     (entry.ConsoleWord ? entry.ConsoleWord : entry.DialogText) + " on " +
                                     target.Name});
        }
    }
    return cases;
}

TEST_P(CFaultMatrix, EveryFailedRequestAndEveryUnpluggedTargetIsShownAsAFailure) {
    std::vector<CCase> cases = AllCases();
    ASSERT_GT(cases.size(), 60u);
    size_t faultRuns = 0;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CRun good = Run(c, [] {});
        ASSERT_FALSE(good.ShownFailure) << c.Name << " fails on a healthy bench: " << good.Shown;
        ASSERT_GT(good.Trace.size(), good.ActionStart) << c.Name << " sent nothing";
        ExpectOnlyChosenController(good, c.Name);

        for (const BLSimFault& fault : FailableRequests(good)) {
            CRun run = Run(c, [&] { ASSERT_TRUE(BLSimAddFault(m_backend, fault)); });
            ++faultRuns;
            EXPECT_TRUE(run.ShownFailure) << c.Name << " with " << fault.Request << " " << fault.Target << " "
                                          << fault.Args << " refused showed: " << run.Shown;
            ExpectOnlyChosenController(run, c.Name);
        }
        for (const char* path : c.Target.Unplug) {
            CRun run = Run(c, [&] {
                std::string error;
                ASSERT_TRUE(BLSimUnplug(m_backend, Chosen(), path, error)) << error;
            });
            EXPECT_TRUE(run.ShownFailure) << c.Name << " with " << path << " unplugged showed: " << run.Shown;
            ExpectOnlyChosenController(run, c.Name);
        }
    }
    EXPECT_GT(faultRuns, cases.size());
}

INSTANTIATE_TEST_SUITE_P(Controllers, CFaultMatrix, ::testing::Values(1u, 3u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             return info.param == 1 ? std::string("OneController") : std::string("ThreeControllers");
                         });

}  // namespace
