#include "bench/catalogue.h"

namespace {

constexpr uint8_t X = CATALOGUE_NO_CODE;

// One step and its code in each family, in the order of ECommandFamily.
constexpr CCatalogueStep Step(ECatalogueAction action, uint8_t device, uint8_t hub, uint8_t hostDevice,
                              uint8_t hubDevice, uint8_t port, uint8_t compliance) {
    return {action, {device, hub, hostDevice, hubDevice, port, compliance}};
}

// clang-format off
// Console word, dialog text, host dialog spelling, then each step: its action
// and its codes for device, hub, host-dialog device, hub-dialog device, port
// and compliance.
constexpr CCatalogueEntry kCatalogue[] = {
    {nullptr, "NONE", nullptr, 1,
     {Step(ACTION_NONE, 0, 0, 0, 0, 0, 0)}},
    {"TEST_J", "TEST_J", nullptr, 1,
     {Step(ACTION_TEST_J, 1, 1, X, X, 1, X)}},
    {"TEST_K", "TEST_K", nullptr, 1,
     {Step(ACTION_TEST_K, 2, 2, X, X, 2, X)}},
    {"TEST_SE0_NAK", "TEST_SE0_NAK", nullptr, 1,
     {Step(ACTION_TEST_SE0_NAK, 3, 3, X, X, 3, X)}},
    {"TEST_PACKET", "TEST_PACKET", nullptr, 1,
     {Step(ACTION_TEST_PACKET, 4, 4, X, 5, 4, X)}},
    {"TEST_FORCE_ENABLE", "TEST_FORCE_ENABLE", nullptr, 1,
     {Step(ACTION_TEST_FORCE_ENABLE, X, X, X, X, 5, X)}},
    {"SUSPEND", "SUSPEND", nullptr, 1,
     {Step(ACTION_SUSPEND, 5, 5, X, X, 6, X)}},
    {"RESUME", "RESUME", nullptr, 1,
     {Step(ACTION_RESUME, 6, 6, X, X, 7, X)}},
    {"RESET", "RESET", nullptr, 1,
     {Step(ACTION_RESET, 7, 7, X, X, 8, X)}},
    {"DEVICE_DESCRIPTOR", "DEVICE DESCRIPTOR", nullptr, 1,
     {Step(ACTION_DEVICE_DESCRIPTOR, 8, 9, 1, 1, X, X)}},
    {"LOOP_DEVICE_DESCRIPTOR", "LOOP DEVICE DESCRIPTOR", nullptr, 1,
     {Step(ACTION_LOOP_DEVICE_DESCRIPTOR, 9, X, X, X, X, X)}},
    {nullptr, "SET ADDRESS", "SET_ADDRESS", 1,
     {Step(ACTION_SET_ADDRESS, 10, 10, 2, 2, X, X)}},
    {"ENABLE_WAKEUP", "ENABLE WAKEUP", nullptr, 1,
     {Step(ACTION_ENABLE_WAKEUP, 11, 11, 3, 3, X, X)}},
    {"DISABLE_WAKEUP", "DISABLE WAKEUP", nullptr, 1,
     {Step(ACTION_DISABLE_WAKEUP, 12, 12, 4, 4, X, X)}},
    {"SINGLE_STEP_SET_FEATURE", "SINGLE STEP SET FEATURE", nullptr, 2,
     {Step(ACTION_SET_FEATURE_SETUP, 13, 13, 5, 6, X, X),
      Step(ACTION_SET_FEATURE_STATUS, 15, 15, 7, 8, X, X)}},
    {"SINGLE_STEP_GET_DEV_DESC", "SINGLE STEP GET DEV DESC", nullptr, 3,
     {Step(ACTION_GET_DEV_DESC_SETUP, 14, 14, 6, 7, X, X),
      Step(ACTION_GET_DEV_DESC_DATA, 16, 16, 8, 9, X, X),
      Step(ACTION_GET_DEV_DESC_STATUS, 17, 17, 9, 10, X, X)}},
    {"PARENT_TEST_PACKET", "PARENT TEST_PACKET", nullptr, 1,
     {Step(ACTION_PARENT_TEST_PACKET, 18, 8, X, X, X, X)}},
    {"SS_TX_COMPLIANCE_MODE", "TX_COMPLIANCE_MODE", nullptr, 1,
     {Step(ACTION_TX_COMPLIANCE, X, X, X, X, 9, 1)}},
};
// clang-format on

// How many positions each family's dialog list shows. Codes past them are
// the console's own (device PARENT_TEST_PACKET, port SS_TX_COMPLIANCE_MODE)
// or follow-up stages that the front ends issue themselves.
constexpr uint8_t kDialogListLength[FAMILY_COUNT] = {15, 15, 7, 8, 9, 2};

}  // namespace

std::span<const CCatalogueEntry> Catalogue() { return kCatalogue; }

const CCatalogueStep* FindCatalogueStep(ECommandFamily family, uint8_t code) {
    if (family >= FAMILY_COUNT || code == CATALOGUE_NO_CODE) return nullptr;
    for (const CCatalogueEntry& entry : kCatalogue)
        for (size_t s = 0; s < entry.StepCount; ++s)
            if (entry.Steps[s].Codes[family] == code) return &entry.Steps[s];
    return nullptr;
}

const CCatalogueEntry* FindCatalogueEntry(ECommandFamily family, uint8_t code) {
    if (family >= FAMILY_COUNT || code == CATALOGUE_NO_CODE) return nullptr;
    for (const CCatalogueEntry& entry : kCatalogue)
        if (entry.Steps[0].Codes[family] == code) return &entry;
    return nullptr;
}

std::vector<uint8_t> CatalogueStepCodes(ECommandFamily family, uint8_t code) {
    std::vector<uint8_t> codes;
    if (const CCatalogueEntry* entry = FindCatalogueEntry(family, code))
        for (size_t s = 0; s < entry->StepCount; ++s) codes.push_back(entry->Steps[s].Codes[family]);
    return codes;
}

std::vector<std::string> CatalogueDialogList(ECommandFamily family) {
    std::vector<std::string> texts;
    if (family >= FAMILY_COUNT) return texts;
    for (uint8_t code = 0; code < kDialogListLength[family]; ++code) {
        const CCatalogueEntry* entry = FindCatalogueEntry(family, code);
        if (!entry) break;
        bool hostSpelling = family == FAMILY_HOST_DEVICE && entry->HostDialogText;
        texts.emplace_back(hostSpelling ? entry->HostDialogText : entry->DialogText);
    }
    return texts;
}

uint8_t ParseConsoleWord(ECommandFamily family, const std::string& word) {
    if (family != FAMILY_DEVICE && family != FAMILY_PORT) return 0;
    for (const CCatalogueEntry& entry : kCatalogue)
        if (entry.ConsoleWord && word == entry.ConsoleWord && entry.Steps[0].Codes[family] != CATALOGUE_NO_CODE)
            return entry.Steps[0].Codes[family];
    return 0;
}
