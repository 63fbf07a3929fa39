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

bool Pending(uint8_t kinds) { return (PendingEnumeration() & kinds) != 0; }

// Rescans the bus before a command that follows a test mode, into records of
// its own: the records LD, LB and the index checks use stay as the user last
// listed them, and the index the user typed is found again by identity. A
// rescan that fails is said, and the command then sends nothing: nobody
// knows what state the bus is in.
bool ReEnumerate(CConsoleSession& session) {
    std::vector<DeviceRecord> devices;
    std::vector<HubRecord> hubs;
    if (EnumerateAll(devices, hubs) >= 0) return true;
    session.Write(" Enumeration Failed\n");
    return false;
}

EConsoleResult ReportResult(CConsoleSession& session, EConsoleResult result) {
    session.Write(result < 0 ? " Failed\n" : " Successful\n");
    for (const std::string& note : TakeRequestNotes()) session.WriteLine(" %s\n", note.c_str());
    return result;
}

EConsoleResult ReportResult(CConsoleSession& session, EBenchResult result) {
    return ReportResult(session, ConsoleResult(result));
}

uint8_t ParseMode(ECommandFamily family, const std::string& word, std::string& name) {
    name = word;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ParseConsoleWord(family, name);
}

// The listing row a word names, or -1 when it is no whole number below count.
int ListedIndex(const std::string& word, size_t count) {
    int32_t index = 0;
    if (!ParseWholeDecimal(word, index) || index < 0 || static_cast<uint32_t>(index) >= count) return -1;
    return index;
}

// Transmitter compliance runs without the re-enumeration, as on the dialogs'
// SuperSpeed side; it leaves one pending like a test mode.
EConsoleResult ExecuteHostPortTest(CConsoleSession& session, uint8_t code, uint8_t port) {
    bool compliance = code == PORT_TEST_SS_TX_COMPLIANCE_MODE;
    if (!compliance && Pending(PENDING_ROOT_PORT) && !ReEnumerate(session)) return CONSOLE_E_FAILED;
    MarkTestModeLeft(FAMILY_PORT, code, PENDING_ROOT_PORT);
    return ReportResult(
        session, compliance ? RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, port) : RunHostPortTest(code, port));
}

// A hub-port RESET runs without the re-enumeration, which would undo what
// it is meant to reset.
EConsoleResult ExecuteHubPortTest(CConsoleSession& session, uint8_t code, uint8_t port, const HubRecord& listed) {
    bool compliance = code == PORT_TEST_SS_TX_COMPLIANCE_MODE;
    if (!compliance && code != PORT_TEST_RESET && Pending(PENDING_HUB_PORT) && !ReEnumerate(session))
        return CONSOLE_E_FAILED;
    uint8_t hub = FindListedHub(listed.Listed);
    if (hub == NO_SELECTION) {
        session.Write("\n Invalid Hub Index\n");
        return CONSOLE_E_FAILED;
    }
    // A hub that cannot be selected (not answering) gets nothing, and neither
    // does the hub selected before it.
    if (EBenchResult selected = SelectHubByIndex(hub); selected < 0) return ReportResult(session, selected);
    MarkTestModeLeft(FAMILY_PORT, code, PENDING_HUB_PORT);
    return ReportResult(
        session, compliance ? RunHubPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, port) : RunHubPortTest(code, port));
}

// The stages of a single-step command, with a prompt between two stages. A
// failed stage does not stop the sequence, but the sequence then failed; what
// is typed at a prompt is ignored. A signal or the end of the input at a
// prompt ends the sequence where it stands: no further stage is sent.
EConsoleResult RunSingleSteps(CConsoleSession& session, const std::vector<uint8_t>& codes, uint8_t* buffer,
                              uint32_t length, bool& stopped) {
    EBenchResult result = BENCH_OK, firstFailure = BENCH_OK;
    std::vector<std::string> ignored;
    int count = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (i > 0 &&
            session.ReadCommandLine("Press Enter to go to next step...", ignored, count, ConsoleResult(result)) ==
                CONSOLE_READ_END) {
            session.Write(" Stopped: no further step sent\n");
            stopped = true;
            return CONSOLE_E_FAILED;
        }
        result = RunDeviceCommand(codes[i], buffer, length);
        session.Write(result < 0 ? " Step Failed\n" : " Step Successful\n");
        if (result < 0 && firstFailure == BENCH_OK) firstFailure = result;
    }
    session.Write(" Done\n");
    // The transfer as a whole failed when any of its stages did.
    return ConsoleResult(firstFailure < 0 ? firstFailure : result);
}

EConsoleResult ExecuteDeviceTest(CConsoleSession& session, uint8_t code, const DeviceRecord& listed) {
    // The parent test packet halts the controller like a root-port test mode,
    // so it follows one only after a rescan.
    uint8_t pending = PENDING_DEVICE | (code == DEVICE_CMD_PARENT_TEST_PACKET ? PENDING_ROOT_PORT : 0);
    if (Pending(pending) && !ReEnumerate(session)) return CONSOLE_E_FAILED;
    uint8_t index = FindListedDevice(listed.Listed);
    if (index == NO_SELECTION) {
        session.Write(" Device not found, power cycle device and try again.\n");
        // The next TD looks again, so a device power-cycled meanwhile is found.
        MarkPendingEnumeration(PENDING_DEVICE);
        return CONSOLE_E_FAILED;
    }
    // A device that cannot be selected gets nothing, nor does the one before it.
    EConsoleResult result = ConsoleResult(SelectDeviceByIndex(index));
    if (result < 0) return ReportResult(session, result);
    MarkTestModeLeft(FAMILY_DEVICE, code, PENDING_DEVICE);

    uint8_t buffer[256] = {};
    std::vector<uint8_t> steps = CatalogueStepCodes(FAMILY_DEVICE, code);
    if (code == DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR) {
        // A loop with a failed read failed.
        if (StartDescriptorLoop()) {
            std::vector<std::string> ignored;
            int count = 0;
            session.ReadCommandLine("Press Enter to stop looping...", ignored, count, result);
            result = ConsoleResult(StopDescriptorLoop());
        } else {
            result = CONSOLE_E_FAILED;
        }
    } else if (steps.size() > 1) {
        bool stopped = false;
        result = RunSingleSteps(session, steps, buffer, sizeof buffer, stopped);
        if (stopped) return result;
    } else {
        result = ConsoleResult(RunDeviceCommand(code, buffer, sizeof buffer));
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

uint8_t ParseDeviceTestMode(const std::string& word, std::string& name) { return ParseMode(FAMILY_DEVICE, word, name); }

uint8_t ParsePortTestMode(const std::string& word, std::string& name) { return ParseMode(FAMILY_PORT, word, name); }

uint8_t ParsePortNumber(const std::string& word) {
    int32_t value = 0;
    return ParseWholeDecimal(word, value) && value >= 0 && value <= 255 ? static_cast<uint8_t>(value) : 0;
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
    // A port word that names no port sends nothing, not even a rescan.
    uint8_t port = ParsePortNumber(tokens[2]);
    if (tokens.size() == 3) {
        session.WriteLine("\n Setting Host Port %s into %s mode \n", tokens[2].c_str(), mode.c_str());
        session.LastResult = port ? ExecuteHostPortTest(session, code, port) : ReportResult(session, BENCH_E_INDEX);
        return;
    }
    int hub = ListedIndex(tokens[3], session.Hubs.size());
    if (hub < 0) {
        session.Write("\n Invalid Hub Index\n");
        session.LastResult = CONSOLE_E_FAILED;
        return;
    }
    session.WriteLine("\n Setting Hub %s Port %s into %s mode \n", tokens[3].c_str(), tokens[2].c_str(), mode.c_str());
    session.LastResult =
        port ? ExecuteHubPortTest(session, code, port, session.Hubs[hub]) : ReportResult(session, BENCH_E_INDEX);
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
    int index = ListedIndex(tokens[2], session.Devices.size());
    if (index < 0) {
        session.Write("\n Invalid Device Index\n");
        session.LastResult = CONSOLE_E_FAILED;
        return;
    }
    session.WriteLine("\n Setting Device into %s mode \n", mode.c_str());
    session.LastResult = ExecuteDeviceTest(session, code, session.Devices[index]);
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
