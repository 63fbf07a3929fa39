#include "bench/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

TEST(Catalogue, DialogListsShowTheirEntriesAtTheirCodes) {
    EXPECT_EQ(CatalogueDialogList(FAMILY_DEVICE),
              (Texts{"NONE", "TEST_J", "TEST_K", "TEST_SE0_NAK", "TEST_PACKET", "SUSPEND", "RESUME", "RESET",
                     "DEVICE DESCRIPTOR", "LOOP DEVICE DESCRIPTOR", "SET ADDRESS", "ENABLE WAKEUP", "DISABLE WAKEUP",
                     "SINGLE STEP SET FEATURE", "SINGLE STEP GET DEV DESC"}));
    EXPECT_EQ(CatalogueDialogList(FAMILY_HUB),
              (Texts{"NONE", "TEST_J", "TEST_K", "TEST_SE0_NAK", "TEST_PACKET", "SUSPEND", "RESUME", "RESET",
                     "PARENT TEST_PACKET", "DEVICE DESCRIPTOR", "SET ADDRESS", "ENABLE WAKEUP", "DISABLE WAKEUP",
                     "SINGLE STEP SET FEATURE", "SINGLE STEP GET DEV DESC"}));
    EXPECT_EQ(CatalogueDialogList(FAMILY_PORT),
              (Texts{"NONE", "TEST_J", "TEST_K", "TEST_SE0_NAK", "TEST_PACKET", "TEST_FORCE_ENABLE", "SUSPEND",
                     "RESUME", "RESET"}));
    EXPECT_EQ(CatalogueDialogList(FAMILY_HOST_DEVICE),
              (Texts{"NONE", "DEVICE DESCRIPTOR", "SET_ADDRESS", "ENABLE WAKEUP", "DISABLE WAKEUP",
                     "SINGLE STEP SET FEATURE", "SINGLE STEP GET DEV DESC"}));
    EXPECT_EQ(CatalogueDialogList(FAMILY_HUB_DEVICE),
              (Texts{"NONE", "DEVICE DESCRIPTOR", "SET ADDRESS", "ENABLE WAKEUP", "DISABLE WAKEUP", "TEST_PACKET",
                     "SINGLE STEP SET FEATURE", "SINGLE STEP GET DEV DESC"}));
    EXPECT_EQ(CatalogueDialogList(FAMILY_COMPLIANCE), (Texts{"NONE", "TX_COMPLIANCE_MODE"}));
}

TEST(Catalogue, ConsoleWordsMatchExactlyPerCommand) {
    const std::vector<std::pair<std::string, int>> td = {{"TEST_J", 1},
                                                         {"TEST_K", 2},
                                                         {"TEST_SE0_NAK", 3},
                                                         {"TEST_PACKET", 4},
                                                         {"SUSPEND", 5},
                                                         {"RESUME", 6},
                                                         {"RESET", 7},
                                                         {"DEVICE_DESCRIPTOR", 8},
                                                         {"LOOP_DEVICE_DESCRIPTOR", 9},
                                                         {"ENABLE_WAKEUP", 11},
                                                         {"DISABLE_WAKEUP", 12},
                                                         {"SINGLE_STEP_SET_FEATURE", 13},
                                                         {"SINGLE_STEP_GET_DEV_DESC", 14},
                                                         {"PARENT_TEST_PACKET", 18}};
    for (const auto& [word, code] : td) EXPECT_EQ(ParseConsoleWord(FAMILY_DEVICE, word), code) << word;
    const std::vector<std::pair<std::string, int>> tp = {
        {"TEST_J", 1},  {"TEST_K", 2}, {"TEST_SE0_NAK", 3}, {"TEST_PACKET", 4},          {"TEST_FORCE_ENABLE", 5},
        {"SUSPEND", 6}, {"RESUME", 7}, {"RESET", 8},        {"SS_TX_COMPLIANCE_MODE", 9}};
    for (const auto& [word, code] : tp) EXPECT_EQ(ParseConsoleWord(FAMILY_PORT, word), code) << word;

    // Words of one table are not codes of the other, and nothing is offered
    // that the console lacks.
    for (const char* word : {"TEST_FORCE_ENABLE", "SS_TX_COMPLIANCE_MODE", "SET_ADDRESS", "SET ADDRESS", "NONE"})
        EXPECT_EQ(ParseConsoleWord(FAMILY_DEVICE, word), 0) << word;
    for (const char* word : {"DEVICE_DESCRIPTOR", "PARENT_TEST_PACKET", "LOOP_DEVICE_DESCRIPTOR"})
        EXPECT_EQ(ParseConsoleWord(FAMILY_PORT, word), 0) << word;
    // The console upper-cases before it asks; the comparison itself is exact.
    for (const std::string& word : Texts{"test_j", "TEST_J ", "TEST_", "", std::string("TEST_J\0X", 8)})
        EXPECT_EQ(ParseConsoleWord(FAMILY_DEVICE, word), 0) << word;
    EXPECT_EQ(ParseConsoleWord(FAMILY_HUB, "TEST_J"), 0);
}

TEST(Catalogue, SingleStepEntriesListTheirFollowUpStages) {
    EXPECT_EQ(CatalogueStepCodes(FAMILY_DEVICE, 13), (std::vector<uint8_t>{13, 15}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_DEVICE, 14), (std::vector<uint8_t>{14, 16, 17}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_HUB, 14), (std::vector<uint8_t>{14, 16, 17}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_HOST_DEVICE, 5), (std::vector<uint8_t>{5, 7}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_HOST_DEVICE, 6), (std::vector<uint8_t>{6, 8, 9}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_HUB_DEVICE, 6), (std::vector<uint8_t>{6, 8}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_HUB_DEVICE, 7), (std::vector<uint8_t>{7, 9, 10}));
    EXPECT_EQ(CatalogueStepCodes(FAMILY_DEVICE, 4), (std::vector<uint8_t>{4}));
    // A follow-up stage is no entry of its own.
    EXPECT_TRUE(CatalogueStepCodes(FAMILY_DEVICE, 15).empty());
    EXPECT_TRUE(CatalogueStepCodes(FAMILY_DEVICE, 19).empty());
}

TEST(Catalogue, EveryCodeOfAFamilyNamesOneStepAndCodesAreDense) {
    for (int family = 0; family < FAMILY_COUNT; ++family) {
        std::set<int> codes;
        for (const CCatalogueEntry& entry : Catalogue())
            for (size_t s = 0; s < entry.StepCount; ++s) {
                uint8_t code = entry.Steps[s].Codes[family];
                if (code == CATALOGUE_NO_CODE) continue;
                EXPECT_TRUE(codes.insert(code).second) << "family " << family << " code " << int(code);
                EXPECT_EQ(FindCatalogueStep(static_cast<ECommandFamily>(family), code), &entry.Steps[s]);
            }
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(*codes.rbegin() + 1, static_cast<int>(codes.size())) << "family " << family << " has a gap";
    }
}

}  // namespace
