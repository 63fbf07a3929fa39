#include "console/test_commands.h"

#include "bench/bus_model.h"
#include "bench/catalogue.h"
#include "bench/executors.h"
#include "console/command_line.h"
#include "console/descriptor_loop.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace {

// What the last test commands left on the bus. It lives for the whole
// process: the next command of the same kind re-enumerates first.
struct CConsoleTestState {
    uint8_t LastDeviceIndex = NO_SELECTION;
    bool DeviceInTestMode = false;    // the last TD set a device test mode
    bool RootPortInTestMode = false;  // the last root-port TP set a port test mode
    bool HubPortInTestMode = false;   // a hub-port TP set one and no re-enumeration followed
    uint8_t LastHubIndex = 0;
};

CConsoleTestState g_testState;

bool IsTestMode(uint8_t code, uint8_t last) { return code >= 1 && code <= last; }

// Rescans the bus into records of its own, so that the records LD, LB and
// the index checks use stay as the user last listed them. Returns the number
// of devices found.
size_t ReEnumerate() {
    std::vector<DeviceRecord> devices;
    std::vector<HubRecord> hubs;
    EnumerateAll(devices, hubs);
    return devices.size();
}

int32_t ReportResult(CConsoleSession& session, int32_t result) {
    session.Write(result < 0 ? " Failed\n" : " Successful\n");
    for (const std::string& note : TakeRequestNotes()) session.WriteLine(" %s\n", note.c_str());
    return result;
}

uint8_t ParseMode(ECommandFamily family, const std::string& word, std::string& name) {
    name = word;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ParseConsoleWord(family, name);
}

bool IndexBelow(size_t count, int32_t index) { return count > 0 && count > static_cast<uint32_t>(index); }

int32_t ExecuteHostPortTest(CConsoleSession& session, uint8_t code, uint8_t port) {
    int32_t result;
    if (code == PORT_TEST_SS_TX_COMPLIANCE_MODE) {
        result = RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, port);
    } else {
        if (g_testState.RootPortInTestMode) ReEnumerate();
        g_testState.RootPortInTestMode = IsTestMode(code, PORT_TEST_TEST_FORCE_ENABLE);
        result = RunHostPortTest(code, port);
    }
    return ReportResult(session, result);
}

// A hub-port RESET runs without the re-enumeration, which would undo what
// it is meant to reset.
int32_t ExecuteHubPortTest(CConsoleSession& session, uint8_t code, uint8_t port, uint8_t hub) {
    if (hub != g_testState.LastHubIndex) {
        SelectHubByIndex(hub);
        g_testState.LastHubIndex = hub;
    }
    int32_t result;
    if (code == PORT_TEST_SS_TX_COMPLIANCE_MODE) {
        result = RunHubPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, port);
    } else {
        if (g_testState.HubPortInTestMode && code != PORT_TEST_RESET) {
            ReEnumerate();
            g_testState.HubPortInTestMode = false;
            // A hub that cannot be selected again after the rescan must not
            // leave the request to whatever hub was selected before.
            if (int32_t selected = SelectHubByIndex(hub); selected < 0) return ReportResult(session, selected);
        }
        if (IsTestMode(code, PORT_TEST_TEST_FORCE_ENABLE)) g_testState.HubPortInTestMode = true;
        result = RunHubPortTest(code, port);
    }
    return ReportResult(session, result);
}

// The stages of a single-step command, with a prompt between two stages. A
// failed stage does not stop the sequence, but the sequence then failed; what
// is typed at a prompt is ignored.
int32_t RunSingleSteps(CConsoleSession& session, const std::vector<uint8_t>& codes, uint8_t* buffer,
                       uint32_t length) {
    int32_t result = 0, firstFailure = 0;
    std::vector<std::string> ignored;
    int count = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (i > 0) session.ReadCommandLine("Press Enter to go to next step...", ignored, count, result);
        result = RunDeviceCommand(codes[i], buffer, length);
        session.Write(result < 0 ? " Step Failed\n" : " Step Successful\n");
        if (result < 0 && firstFailure == 0) firstFailure = result;
    }
    session.Write(" Done\n");
    // The transfer as a whole failed when any of its stages did.
    return firstFailure < 0 ? firstFailure : result;
}

// Selects device index unless it is selected already. A device that cannot
// be selected is forgotten, so the next command tries again rather than
// running on the device selected before.
int32_t SelectTestDevice(uint8_t index) {
    if (index == g_testState.LastDeviceIndex && BusModel().SelectedDevice == index) return BENCH_OK;
    int32_t result = SelectDeviceByIndex(index);
    g_testState.LastDeviceIndex = result < 0 ? NO_SELECTION : index;
    return result;
}

int32_t ExecuteDeviceTest(CConsoleSession& session, uint8_t code, uint8_t index) {
    int32_t result = SelectTestDevice(index);
    if (result < 0) return ReportResult(session, result);
    if (g_testState.DeviceInTestMode) {
        if (ReEnumerate() < static_cast<size_t>(index) + 1) {
            session.Write(" Device not found, power cycle device and try again.\n");
            return CONSOLE_E_FAILED;
        }
    }
    g_testState.DeviceInTestMode = IsTestMode(code, DEVICE_CMD_TEST_PACKET);
    // The parent test packet halts the controller like any root-port test
    // mode: the next one, and the next TP, re-enumerate first.
    if (code == DEVICE_CMD_PARENT_TEST_PACKET) {
        if (g_testState.RootPortInTestMode) ReEnumerate();
        g_testState.RootPortInTestMode = true;
    }
    // A rescan above may have dropped the selection or left fewer devices.
    if (int32_t selected = SelectTestDevice(index); selected < 0) return ReportResult(session, selected);

    uint8_t buffer[256] = {};
    std::vector<uint8_t> steps = CatalogueStepCodes(FAMILY_DEVICE, code);
    if (code == DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR) {
        // A loop with a failed read failed.
        if (StartDescriptorLoop()) {
            std::vector<std::string> ignored;
            int count = 0;
            session.ReadCommandLine("Press Enter to stop looping...", ignored, count, result);
            result = StopDescriptorLoop();
        } else {
            result = CONSOLE_E_FAILED;
        }
    } else if (steps.size() > 1) {
        result = RunSingleSteps(session, steps, buffer, sizeof buffer);
    } else {
        result = RunDeviceCommand(code, buffer, sizeof buffer);
    }
    return ReportResult(session, result);
}

// The console's "Remove Downstream Device" box, and its question before a
// request that would stop what the machine runs on: OK (or Enter alone,
// where enterIsOk) goes on, CANCEL stops; the end of the input counts as CANCEL.
// The status file stays BUSY meanwhile, since the command has not finished.
EPromptAnswer AskOnConsole(CConsoleSession& session, const std::string& text, bool enterIsOk = true) {
    session.WriteLine("\n %s\n", text.c_str());
    while (true) {
        std::vector<std::string> answer;
        EConsoleRead read = session.ReadAnswer(" OK or CANCEL: ", answer);
        if (read == CONSOLE_READ_END) return PROMPT_CANCEL;
        if (read != CONSOLE_READ_LINE) continue;
        if ((answer.empty() && enterIsOk) || (!answer.empty() && SameWord(answer[0], "OK"))) return PROMPT_OK;
        if (!answer.empty() && SameWord(answer[0], "CANCEL")) return PROMPT_CANCEL;
    }
}

}  // namespace

void ResetConsoleTestState() { g_testState = CConsoleTestState{}; }

uint8_t ParseDeviceTestMode(const std::string& word, std::string& name) { return ParseMode(FAMILY_DEVICE, word, name); }

uint8_t ParsePortTestMode(const std::string& word, std::string& name) { return ParseMode(FAMILY_PORT, word, name); }

uint8_t ParsePortNumber(const std::string& word) {
    int32_t value = ParseDecimal(word);
    return value >= 0 && value <= 255 ? static_cast<uint8_t>(value) : 0;
}

void RunTestPortCommand(CConsoleSession& session) {
    const auto& tokens = session.Tokens;
    if (tokens.size() < 3) {
        session.LastResult = CONSOLE_E_FAILED;
        session.Write("\n Enter all fields, Correct Syntax:\n");
        session.Write("  TP <Test Mode> <Port Num> <Optional Hub Index>\n");
        return;
    }
    std::string mode;
    uint8_t code = ParsePortTestMode(tokens[1], mode);
    if (code == PORT_TEST_NONE) {
        session.Write("\n Invalid Test Mode\n");
        session.LastResult = CONSOLE_E_FAILED;
        return;
    }
    uint8_t port = ParsePortNumber(tokens[2]);
    if (tokens.size() == 3) {
        session.WriteLine("\n Setting Host Port %s into %s mode \n", tokens[2].c_str(), mode.c_str());
        session.LastResult = ExecuteHostPortTest(session, code, port);
        return;
    }
    int32_t hub = ParseDecimal(tokens[3]);
    if (!IndexBelow(session.Hubs.size(), hub)) {
        session.Write("\n Invalid Hub Index\n");
        session.LastResult = CONSOLE_E_FAILED;
        return;
    }
    session.WriteLine("\n Setting Hub %s Port %s into %s mode \n", tokens[3].c_str(), tokens[2].c_str(),
                      mode.c_str());
    // A hub that cannot be selected (gone, or not answering) gets nothing, and
    // neither does the hub selected before it.
    if (int32_t selected = SelectHubByIndex(static_cast<uint8_t>(hub)); selected < 0) {
        g_testState.LastHubIndex = NO_SELECTION;
        session.LastResult = ReportResult(session, selected);
        return;
    }
    session.LastResult = ExecuteHubPortTest(session, code, port, static_cast<uint8_t>(hub));
}

void RunTestDeviceCommand(CConsoleSession& session) {
    const auto& tokens = session.Tokens;
    if (tokens.size() < 3) {
        session.LastResult = CONSOLE_E_FAILED;
        session.Write("\n Enter all fields, Correct Syntax:\n");
        session.Write("  TD <Test Mode> <Device Index>\n");
        return;
    }
    std::string mode;
    uint8_t code = ParseDeviceTestMode(tokens[1], mode);
    if (code == DEVICE_CMD_NONE) {
        session.Write("\n Invalid Test Mode\n");
        session.LastResult = CONSOLE_E_FAILED;
        return;
    }
    int32_t index = ParseDecimal(tokens[2]);
    if (!IndexBelow(session.Devices.size(), index)) {
        session.Write("\n Invalid Device Index\n");
        session.LastResult = CONSOLE_E_FAILED;
        return;
    }
    session.WriteLine("\n Setting Device into %s mode \n", mode.c_str());
    session.LastResult = ExecuteDeviceTest(session, code, static_cast<uint8_t>(index));
}

CConsoleRemoveDevicePrompt::CConsoleRemoveDevicePrompt(CConsoleSession& session) {
    SetRemoveDevicePrompt(
        [&session](const std::string& text, const std::string&) { return AskOnConsole(session, text); });
}

CConsoleRemoveDevicePrompt::~CConsoleRemoveDevicePrompt() { SetRemoveDevicePrompt({}); }

bool ConfirmsAhead(const char* value) { return value && std::string(value) == "1"; }

CConsoleConfirmPrompt::CConsoleConfirmPrompt(CConsoleSession& session) {
    bool ahead = ConfirmsAhead(std::getenv(CONFIRM_AHEAD_VARIABLE));
    SetConfirmPrompt([&session, ahead](const std::string& text) {
        if (!ahead) return AskOnConsole(session, text, false);
        session.WriteLine("\n %s\n Confirmed ahead by %s=1\n", text.c_str(), CONFIRM_AHEAD_VARIABLE);
        return PROMPT_OK;
    });
}

CConsoleConfirmPrompt::~CConsoleConfirmPrompt() { SetConfirmPrompt({}); }
