#include "bench/executors.h"

#include "benchline/backend.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t kDeviceDescriptorLength = 18;
constexpr uint8_t kDescriptorTypeDevice = 1;
constexpr uint32_t kUsbCmdRunStop = 1u;
constexpr uint32_t kUsbStsHalted = 1u;
constexpr uint32_t kPortConnected = 1u;

RemoveDevicePrompt g_prompt;
ConfirmPrompt g_confirm;

bool AskConfirmPrompt(const std::string& text, void*) { return g_confirm && g_confirm(text) == PROMPT_OK; }

bool IsTestMode(ECatalogueAction action) { return action >= ACTION_TEST_J && action <= ACTION_TEST_FORCE_ENABLE; }

// The set address text: a decimal number as "%d" reads it, 0 when there is
// none. The buffer need not be NUL-terminated.
uint8_t AddressFromText(const uint8_t* buffer, uint32_t length) {
    if (!buffer) return 0;
    std::string text(reinterpret_cast<const char*>(buffer), strnlen(reinterpret_cast<const char*>(buffer), length));
    return static_cast<uint8_t>(std::strtol(text.c_str(), nullptr, 10));
}

BLSTATUS ControlStage(CDevice* device, uint8_t* data, uint32_t length, tagSINGLE_STEP stage) {
    return device->DoControlTransferSingleStep(data, length, stage, nullptr, nullptr);
}

BLSTATUS SetupStage(CDevice* device, const uint8_t (&packet)[8]) {
    uint8_t copy[8];
    std::memcpy(copy, packet, sizeof copy);
    return ControlStage(device, copy, sizeof copy, BL_SETUP_STAGE);
}

// SET_FEATURE with wValue 0x3200, and GET_DESCRIPTOR of the device descriptor.
constexpr uint8_t kSetFeaturePacket[8] = {0x00, 0x03, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kGetDeviceDescriptorPacket[8] = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};

// Carries out one device-side step. upstream is the device's upstream port;
// the downstream device commands pass null and have no port steps.
EBenchResult RunDeviceStep(const CCatalogueStep* step, CDevice* device, CBLPort* upstream, uint8_t* buffer,
                           uint32_t length) {
    if (!step) return BENCH_E_INDEX;
    switch (step->Action) {
    case ACTION_NONE: return BENCH_OK;
    case ACTION_TEST_J:
    case ACTION_TEST_K:
    case ACTION_TEST_SE0_NAK:
    case ACTION_TEST_PACKET:
        return FoldStatus(device->SetTestMode(static_cast<tagBL_TEST_MODE_SELECTOR>(step->Action)));
    case ACTION_SUSPEND: return upstream ? FoldStatus(upstream->SetPortFeature(BL_PORT_SUSPEND, 0, 0)) : BENCH_E_INDEX;
    case ACTION_RESUME: return upstream ? FoldStatus(upstream->ResumePort()) : BENCH_E_INDEX;
    case ACTION_RESET: return upstream ? FoldStatus(upstream->SetPortFeature(BL_PORT_RESET, 0, 0)) : BENCH_E_INDEX;
    case ACTION_DEVICE_DESCRIPTOR:
        return FoldStatus(device->GetDescriptor(kDescriptorTypeDevice, 0, 0, buffer, length));
    case ACTION_SET_ADDRESS: return FoldStatus(device->SetAddress(AddressFromText(buffer, length)));
    case ACTION_ENABLE_WAKEUP: return FoldStatus(device->EnableRemoteWakeup());
    case ACTION_DISABLE_WAKEUP: return FoldStatus(device->DisableRemoteWakeup());
    case ACTION_SET_FEATURE_SETUP: return FoldStatus(SetupStage(device, kSetFeaturePacket));
    case ACTION_SET_FEATURE_STATUS: {
        BLSTATUS status = ControlStage(device, nullptr, 0, BL_STATUS_STAGE);
        return status == BL_S_SINGLE_STEP_STATUS ? BENCH_OK : FoldStatus(status);
    }
    case ACTION_GET_DEV_DESC_SETUP: return FoldStatus(SetupStage(device, kGetDeviceDescriptorPacket));
    case ACTION_GET_DEV_DESC_DATA:
        // The data stage writes a whole device descriptor into the buffer.
        if (!buffer || length < kDeviceDescriptorLength) return BENCH_E_FAILED;
        return FoldStatus(ControlStage(device, buffer, kDeviceDescriptorLength, BL_DATA_STAGE));
    case ACTION_GET_DEV_DESC_STATUS: return FoldStatus(ControlStage(device, nullptr, 0, BL_STATUS_STAGE));
    case ACTION_PARENT_TEST_PACKET: {
        // A failed climb leaves port 0, which names no root port.
        uint8_t rootPort = 0;
        GetRootPort(device, &rootPort);
        return RunHostPortTest(PORT_TEST_TEST_PACKET, rootPort);
    }
    default: return BENCH_E_INDEX;  // the loop code belongs to the front end
    }
}

// Runs a family's code on a device that hangs on an upstream port; nothing
// is sent when it hangs on none. A device whose port cannot be looked up
// (unplugged, or below a hub that no longer answers) is a failure.
EBenchResult RunOnUpstreamDevice(ECommandFamily family, CDevice* device, uint8_t code, uint8_t* buffer,
                                 uint32_t length) {
    CBLPort* upstream = nullptr;
    if (EBenchResult found = FindUpstreamPort(device, &upstream); found != BENCH_OK) return found;
    if (!upstream) return BENCH_OK;
    return RunDeviceStep(FindCatalogueStep(family, code), device, upstream, buffer, length);
}

EBenchResult RunDownstreamDevice(ECommandFamily family, uint8_t code, uint8_t* buffer, uint32_t length) {
    CDevice* device = SelectedDeviceObject();
    if (!device) return BENCH_E_INDEX;
    return RunDeviceStep(FindCatalogueStep(family, code), device, nullptr, buffer, length);
}

ECatalogueAction PortAction(uint8_t code) {
    const CCatalogueStep* step = FindCatalogueStep(FAMILY_PORT, code);
    return step ? step->Action : ACTION_NONE;
}

EBenchResult RunCompliance(uint8_t code, CBLPort* port) {
    if (!port) return BENCH_E_FAILED;
    const CCatalogueStep* step = FindCatalogueStep(FAMILY_COMPLIANCE, code);
    if (!step) return BENCH_E_INDEX;
    if (step->Action != ACTION_TX_COMPLIANCE) return BENCH_OK;
    // Whether a device is still attached decides everything that follows,
    // so a status that cannot be read stops the test.
    uint32_t status = 0;
    if (BLFailed(port->GetPortStatus(&status))) return BENCH_E_FAILED;
    // The status is read before each box, so the box that follows the unplug
    // is still shown once; its OK then proceeds.
    while (status & kPortConnected) {
        if (BLFailed(port->GetPortStatus(&status))) return BENCH_E_FAILED;
        if (!g_prompt || g_prompt("Remove Downstream Device", "") == PROMPT_CANCEL) return BENCH_E_SELECT;
    }
    BLSTATUS result = port->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr);
    return BLFailed(result) ? BENCH_E_SELECT : BENCH_OK;
}

}  // namespace

EBenchResult RunDeviceCommand(uint8_t code, uint8_t* buffer, uint32_t length) {
    if (BusModel().SelectedDevice == NO_SELECTION) return BENCH_OK;
    // A selection left over from a longer list names no device: nothing can
    // be sent, and that is no success.
    CDevice* device = SelectedDeviceObject();
    if (!device) return BENCH_E_INDEX;
    return RunOnUpstreamDevice(FAMILY_DEVICE, device, code, buffer, length);
}

EBenchResult RunHubCommand(uint8_t code, uint8_t* buffer, uint32_t length) {
    CHubDevice* hub = SelectedHubDevice();
    if (!hub) return BENCH_E_INDEX;
    return RunOnUpstreamDevice(FAMILY_HUB, hub, code, buffer, length);
}

EBenchResult RunHostDeviceCommand(uint8_t code, uint8_t* buffer, uint32_t length) {
    return RunDownstreamDevice(FAMILY_HOST_DEVICE, code, buffer, length);
}

EBenchResult RunHubDeviceCommand(uint8_t code, uint8_t* buffer, uint32_t length) {
    return RunDownstreamDevice(FAMILY_HUB_DEVICE, code, buffer, length);
}

EBenchResult RunHostPortTest(uint8_t code, uint8_t port) {
    CHostController* host = SelectedHostController();
    CHostPort* object = host ? host->GetHostPort(port) : nullptr;
    if (!object) return BENCH_E_FAILED;
    ECatalogueAction action = PortAction(code);
    if (IsTestMode(action)) {
        // Every port quiesced and the controller halted, or the port would
        // not take the test mode.
        bool halted = false;
        bool quiesced = PrepareRootPortsForTest(&halted) == BENCH_OK;
        bool sent = quiesced && halted && !BLFailed(object->SetPortFeature(BL_PORT_TEST, action, 0));
        // Once a halt was asked for, the controller is started again in any
        // case, so the bus is not left stopped.
        if (action == ACTION_TEST_FORCE_ENABLE && quiesced) sent = SetControllerRunState(true) == BENCH_OK && sent;
        return sent ? BENCH_OK : BENCH_E_FAILED;
    }
    BLSTATUS status;
    switch (action) {
    case ACTION_SUSPEND: status = object->SetPortFeature(BL_PORT_SUSPEND, 0, 0); break;
    case ACTION_RESUME: status = object->ResumePort(); break;
    case ACTION_RESET: status = object->SetPortFeature(BL_PORT_RESET, 0, 0); break;
    default: return BENCH_E_INDEX;
    }
    return FoldStatus(status);
}

EBenchResult RunHubPortTest(uint8_t code, uint8_t port) {
    CHubDevice* hub = SelectedHubDevice();
    if (!hub) return BENCH_E_INDEX;
    CHubPort* object = hub->GetHubPort(port);
    if (!object) return BENCH_E_FAILED;
    ECatalogueAction action = PortAction(code);
    BLSTATUS status;
    if (IsTestMode(action)) {
        // A port left active beside the one under test would disturb it.
        if (IdleOtherHubPorts(port) != BENCH_OK) return BENCH_E_FAILED;
        status = object->SetPortFeature(BL_PORT_TEST, action, 0);
    } else {
        switch (action) {
        case ACTION_SUSPEND: status = object->SetPortFeature(BL_PORT_SUSPEND, 0, 0); break;
        case ACTION_RESUME: status = object->ClearPortFeature(BL_PORT_SUSPEND, 0); break;
        case ACTION_RESET: status = object->SetPortFeature(BL_PORT_RESET, 0, 0); break;
        default: return BENCH_E_INDEX;
        }
    }
    return FoldStatus(status);
}

EBenchResult RunHostPortCompliance(uint8_t code, uint8_t port) {
    CHostController* host = SelectedHostController();
    return RunCompliance(code, host ? host->GetHostPort(port) : nullptr);
}

EBenchResult RunHubPortCompliance(uint8_t code, uint8_t port) {
    CHubDevice* hub = SelectedHubDevice();
    if (!hub) return BENCH_E_INDEX;
    return RunCompliance(code, hub->GetHubPort(port));
}

EBenchResult PrepareRootPortsForTest(bool* halted) {
    CHostController* host = SelectedHostController();
    if (halted) *halted = false;
    if (!host) return BENCH_E_FAILED;
    uint8_t count = host->GetNumberHostPorts();
    for (unsigned i = 1; i <= count; ++i) {
        // A port left running would keep traffic on the bus under test; the
        // controller is not halted then.
        CHostPort* port = host->GetHostPort(i);
        if (!port) return BENCH_E_FAILED;
        if (BLFailed(port->QuiescePort())) return BENCH_E_FAILED;
    }
    bool stopped = SetControllerRunState(false) == BENCH_OK;
    if (halted) *halted = stopped;
    return BENCH_OK;
}

EBenchResult SetControllerRunState(bool run) {
    CHostController* host = SelectedHostController();
    if (!host) return BENCH_E_FAILED;
    // Writing back a command word that was not read would clear every other
    // bit of it.
    uint32_t command = 0;
    if (BLFailed(host->ReadRegister(BL_REG_USBCMD, &command))) return BENCH_E_FAILED;
    command = (command & ~kUsbCmdRunStop) | (run ? kUsbCmdRunStop : 0);
    if (BLFailed(host->WriteRegister(BL_REG_USBCMD, command))) return BENCH_E_FAILED;
    // Halted follows Run/Stop inverted. A controller halts within 16 ms; the
    // bound only keeps a broken one from hanging the program.
    const uint32_t waitingFor = run ? 0 : kUsbStsHalted;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(SET_RUN_STATE_TIMEOUT_MS);
    for (;;) {
        uint32_t status = 0;
        if (BLFailed(host->ReadRegister(BL_REG_USBSTS, &status))) return BENCH_E_FAILED;
        if ((status & kUsbStsHalted) == waitingFor) return BENCH_OK;
        if (std::chrono::steady_clock::now() >= deadline) return BENCH_E_FAILED;
    }
}

EBenchResult IdleOtherHubPorts(uint8_t port) {
    CHubDevice* hub = SelectedHubDevice();
    if (!hub) return BENCH_E_INDEX;
    for (unsigned i = 1; i <= hub->PortCount; ++i) {
        if (i == port) continue;
        CHubPort* other = hub->GetHubPort(static_cast<uint8_t>(i));
        if (!other || BLFailed(other->IdlePort())) return BENCH_E_FAILED;
    }
    return BENCH_OK;
}

void MarkTestModeLeft(ECommandFamily family, uint8_t code, uint8_t targetKind) {
    const CCatalogueStep* step = FindCatalogueStep(family, code);
    if (!step) return;
    if (step->Action == ACTION_PARENT_TEST_PACKET) MarkPendingEnumeration(PENDING_ROOT_PORT);
    else if (IsTestMode(step->Action) || step->Action == ACTION_TX_COMPLIANCE) MarkPendingEnumeration(targetKind);
}

void SetRemoveDevicePrompt(RemoveDevicePrompt prompt) { g_prompt = std::move(prompt); }

void SetConfirmPrompt(ConfirmPrompt prompt) {
    g_confirm = std::move(prompt);
    BLSetConfirmSink(g_confirm ? AskConfirmPrompt : nullptr, nullptr);
}

std::vector<std::string> TakeRequestNotes() { return BLTakeNotes(); }
