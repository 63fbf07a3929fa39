// The test mode catalogue: every test mode and command the program can send
// to the bus, with its code in each command family, its console word and its
// dialog text. The console, every dialog and the executors read this one
// table, so an entry means the same thing whichever front end chose it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Command codes. In every dialog list the position of an entry is its code,
// and 0 sends nothing.
enum DeviceCommandCode : uint8_t {
    DEVICE_CMD_NONE = 0,
    DEVICE_CMD_TEST_J = 1,
    DEVICE_CMD_TEST_K = 2,
    DEVICE_CMD_TEST_SE0_NAK = 3,
    DEVICE_CMD_TEST_PACKET = 4,
    DEVICE_CMD_SUSPEND = 5,
    DEVICE_CMD_RESUME = 6,
    DEVICE_CMD_RESET = 7,
    DEVICE_CMD_DEVICE_DESCRIPTOR = 8,
    DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR = 9,
    DEVICE_CMD_SET_ADDRESS = 10,
    DEVICE_CMD_ENABLE_WAKEUP = 11,
    DEVICE_CMD_DISABLE_WAKEUP = 12,
    DEVICE_CMD_SINGLE_STEP_SET_FEATURE = 13,
    DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC = 14,
    DEVICE_CMD_SET_FEATURE_STEP_2 = 15,
    DEVICE_CMD_GET_DEV_DESC_STEP_2 = 16,
    DEVICE_CMD_GET_DEV_DESC_STEP_3 = 17,
    DEVICE_CMD_PARENT_TEST_PACKET = 18,
};

enum HubCommandCode : uint8_t {
    HUB_CMD_NONE = 0,
    HUB_CMD_TEST_J = 1,
    HUB_CMD_TEST_K = 2,
    HUB_CMD_TEST_SE0_NAK = 3,
    HUB_CMD_TEST_PACKET = 4,
    HUB_CMD_SUSPEND = 5,
    HUB_CMD_RESUME = 6,
    HUB_CMD_RESET = 7,
    HUB_CMD_PARENT_TEST_PACKET = 8,
    HUB_CMD_DEVICE_DESCRIPTOR = 9,
    HUB_CMD_SET_ADDRESS = 10,
    HUB_CMD_ENABLE_WAKEUP = 11,
    HUB_CMD_DISABLE_WAKEUP = 12,
    HUB_CMD_SINGLE_STEP_SET_FEATURE = 13,
    HUB_CMD_SINGLE_STEP_GET_DEV_DESC = 14,
    HUB_CMD_SET_FEATURE_STEP_2 = 15,
    HUB_CMD_GET_DEV_DESC_STEP_2 = 16,
    HUB_CMD_GET_DEV_DESC_STEP_3 = 17,
};

// The host dialog's downstream device commands.
enum HostDeviceCommandCode : uint8_t {
    HOST_DEVICE_CMD_NONE = 0,
    HOST_DEVICE_CMD_DEVICE_DESCRIPTOR = 1,
    HOST_DEVICE_CMD_SET_ADDRESS = 2,
    HOST_DEVICE_CMD_ENABLE_WAKEUP = 3,
    HOST_DEVICE_CMD_DISABLE_WAKEUP = 4,
    HOST_DEVICE_CMD_SINGLE_STEP_SET_FEATURE = 5,
    HOST_DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC = 6,
    HOST_DEVICE_CMD_SET_FEATURE_STEP_2 = 7,
    HOST_DEVICE_CMD_GET_DEV_DESC_STEP_2 = 8,
    HOST_DEVICE_CMD_GET_DEV_DESC_STEP_3 = 9,
};

// The hub dialog's downstream device commands.
enum HubDeviceCommandCode : uint8_t {
    HUB_DEVICE_CMD_NONE = 0,
    HUB_DEVICE_CMD_DEVICE_DESCRIPTOR = 1,
    HUB_DEVICE_CMD_SET_ADDRESS = 2,
    HUB_DEVICE_CMD_ENABLE_WAKEUP = 3,
    HUB_DEVICE_CMD_DISABLE_WAKEUP = 4,
    HUB_DEVICE_CMD_TEST_PACKET = 5,
    HUB_DEVICE_CMD_SINGLE_STEP_SET_FEATURE = 6,
    HUB_DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC = 7,
    HUB_DEVICE_CMD_SET_FEATURE_STEP_2 = 8,
    HUB_DEVICE_CMD_GET_DEV_DESC_STEP_2 = 9,
    HUB_DEVICE_CMD_GET_DEV_DESC_STEP_3 = 10,
};

// Root and hub port tests. SS_TX_COMPLIANCE_MODE is the console's; it runs
// as COMPLIANCE_TX_COMPLIANCE_MODE.
enum PortTestCode : uint8_t {
    PORT_TEST_NONE = 0,
    PORT_TEST_TEST_J = 1,
    PORT_TEST_TEST_K = 2,
    PORT_TEST_TEST_SE0_NAK = 3,
    PORT_TEST_TEST_PACKET = 4,
    PORT_TEST_TEST_FORCE_ENABLE = 5,
    PORT_TEST_SUSPEND = 6,
    PORT_TEST_RESUME = 7,
    PORT_TEST_RESET = 8,
    PORT_TEST_SS_TX_COMPLIANCE_MODE = 9,
};

enum ComplianceCode : uint8_t {
    COMPLIANCE_NONE = 0,
    COMPLIANCE_TX_COMPLIANCE_MODE = 1,
};

// The command families, one per executor kind and dialog list.
enum ECommandFamily : uint8_t {
    FAMILY_DEVICE,       // DeviceCommandCode: device dialog, console TD
    FAMILY_HUB,          // HubCommandCode: hub dialog "Hub Command"
    FAMILY_HOST_DEVICE,  // HostDeviceCommandCode: host dialog "Downstream Device Control"
    FAMILY_HUB_DEVICE,   // HubDeviceCommandCode: hub dialog "Downstream Device Control"
    FAMILY_PORT,         // PortTestCode: "Port Control" lists, console TP
    FAMILY_COMPLIANCE,   // ComplianceCode: SuperSpeed dialog "Test Mode"
    FAMILY_COUNT,
};

// What a step does on the bus. The executors carry it out on their target.
// The test modes have their USB 2.0 test selector as value.
enum ECatalogueAction : uint8_t {
    ACTION_NONE = 0,
    ACTION_TEST_J = 1,
    ACTION_TEST_K = 2,
    ACTION_TEST_SE0_NAK = 3,
    ACTION_TEST_PACKET = 4,
    ACTION_TEST_FORCE_ENABLE = 5,
    ACTION_SUSPEND,
    ACTION_RESUME,
    ACTION_RESET,
    ACTION_DEVICE_DESCRIPTOR,
    ACTION_LOOP_DEVICE_DESCRIPTOR,  // the front end repeats the descriptor read
    ACTION_SET_ADDRESS,
    ACTION_ENABLE_WAKEUP,
    ACTION_DISABLE_WAKEUP,
    ACTION_SET_FEATURE_SETUP,
    ACTION_SET_FEATURE_STATUS,
    ACTION_GET_DEV_DESC_SETUP,
    ACTION_GET_DEV_DESC_DATA,
    ACTION_GET_DEV_DESC_STATUS,
    ACTION_PARENT_TEST_PACKET,  // Test Packet on the root port above the target
    ACTION_TX_COMPLIANCE,
};

// A family that does not offer a step has this in place of a code.
constexpr uint8_t CATALOGUE_NO_CODE = 0xFF;
constexpr size_t CATALOGUE_MAX_STEPS = 3;

struct CCatalogueStep {
    ECatalogueAction Action = ACTION_NONE;
    uint8_t Codes[FAMILY_COUNT] = {CATALOGUE_NO_CODE, CATALOGUE_NO_CODE, CATALOGUE_NO_CODE,
                                   CATALOGUE_NO_CODE, CATALOGUE_NO_CODE, CATALOGUE_NO_CODE};
};

struct CCatalogueEntry {
    const char* ConsoleWord;     // upper case; null when the console does not offer it
    const char* DialogText;      // as the dialog lists show it
    const char* HostDialogText;  // the host dialog's spelling where it differs, else null
    size_t StepCount;            // more than one for the single-step sequences
    CCatalogueStep Steps[CATALOGUE_MAX_STEPS];
};

// The whole catalogue, NONE first.
std::span<const CCatalogueEntry> Catalogue();

// The step that a family's code stands for, or null for an unknown code.
const CCatalogueStep* FindCatalogueStep(ECommandFamily family, uint8_t code);
// The entry whose first step has this code in the family, or null.
const CCatalogueEntry* FindCatalogueEntry(ECommandFamily family, uint8_t code);

// The codes a front end sends one after another for the entry it chose:
// {code} for a plain command, all stages for a single-step sequence. Empty
// for an unknown code.
std::vector<uint8_t> CatalogueStepCodes(ECommandFamily family, uint8_t code);

// The texts of a family's dialog list, position = code.
std::vector<std::string> CatalogueDialogList(ECommandFamily family);

// The code of a console word: FAMILY_DEVICE for TD, FAMILY_PORT for TP. The
// word must already be upper case and match exactly; 0 when nothing matches.
uint8_t ParseConsoleWord(ECommandFamily family, const std::string& word);
