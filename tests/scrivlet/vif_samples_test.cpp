// What the library reads from real Vendor Info Files written by another
// vendor's generator.
#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class VifSamples : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(SCRIVLET_SAMPLES_DIR))
            GTEST_SKIP() << "no sample folder at " << SCRIVLET_SAMPLES_DIR;
    }
    static std::string Sample(const char* name) { return std::string(SCRIVLET_SAMPLES_DIR) + "/" + name; }
};

TEST_F(VifSamples, EveryTextFileParsesCompletely) {
    // Field lines counted by hand in each file.
    const std::pair<const char*, std::size_t> expected[] = {{"FM_2_446_vif.txt", 87},
                                                            {"coffeecake_vif.txt", 87},
                                                            {"hoho_vif.txt", 71},
                                                            {"pdeval-stm32f072_vif.txt", 87},
                                                            {"scarlet_vif.txt", 91}};
    for (const auto& [name, count] : expected) {
        const CVendorInfoFile file(Sample(name).c_str());
        EXPECT_EQ(file.Count(), count) << name;
        EXPECT_EQ(file.Count("^\\$.*"), 4u) << name;
        EXPECT_EQ(CountWarnings(file), 0u) << name;
        const FieldListPtr fields = file.GetFields();
        for (const CVIFField& field : *fields) {
            if (!field.IsNumeric()) continue;
            EXPECT_NO_THROW(field.GetULongNumericValue()) << field.Name();
        }
    }
}

// Editor output, generator output without a namespace prefix, and a
// hand-written override whose prefix is never declared: each component has
// the Host_Speed of its own block, on the line it stands on.
TEST_F(VifSamples, ReadsEveryXmlFileComponentByComponent) {
    struct SXmlSample {
        const char* name;
        std::size_t fields;
        std::vector<std::size_t> componentFields;
        std::vector<std::size_t> hostSpeedLines;
        std::vector<unsigned> hostSpeeds;
        std::vector<std::string> portLabels;
    };
    const SXmlSample samples[] = {
        {"pujjoga_vif.xml", 238, {124, 124}, {95, 260}, {4, 4}, {"0", "1"}},
        {"genvif_exp_test_vif_unprefixed.xml", 77, {77}, {68}, {1}, {"0"}},
        {"brya_vif_override.xml", 74, {40, 30, 40}, {34, 78, 109}, {4, 2, 4}, {}},
        {"yaviks_vif.xml", 234, {122, 122}, {}, {1, 1}, {"0", "1"}},
    };
    for (const SXmlSample& sample : samples) {
        const std::string path = Sample(sample.name);
        const CVendorInfoFile file(path.c_str());
        EXPECT_EQ(file.Count(), sample.fields) << sample.name;
        EXPECT_EQ(CountWarnings(file), 0u) << sample.name;
        ASSERT_EQ(file.ComponentCount(), sample.componentFields.size()) << sample.name;
        if (!sample.hostSpeedLines.empty()) {
            EXPECT_EQ(*GetFieldLines(file, "^Host_Speed$"), sample.hostSpeedLines) << sample.name;
        }
        for (std::size_t c = 0; c < file.ComponentCount(); ++c) {
            const CVendorInfoFile one(path.c_str(), c);
            EXPECT_EQ(one.Count(), sample.componentFields[c]) << sample.name << c;
            EXPECT_EQ(one.GetUniqueField("^Host_Speed$").GetNumericValue(), sample.hostSpeeds[c]) << sample.name << c;
            if (!sample.portLabels.empty()) {
                EXPECT_EQ(one.GetUniqueField("^\\$Port_Label$").Value(), sample.portLabels[c]) << sample.name;
            }
        }
    }
}

TEST_F(VifSamples, ReadsTheLinesOfOneFileAsWritten) {
    const CVendorInfoFile file(Sample("hoho_vif.txt").c_str());
    const FieldListPtr fields = file.GetFields();
    EXPECT_STREQ(fields->front().Name(), "$VIF_Specification");
    EXPECT_STREQ(fields->front().Value(), "Revision 1.22, Version 1.0");
    EXPECT_STREQ(file.GetUniqueField("^UUT_Device_Type$").Value(), "0");     // "0 ; SNK"
    EXPECT_STREQ(file.GetUniqueField("^snk_pdo_voltage1$").Value(), "100");  // after a tab
    EXPECT_EQ(file.GetUniqueField("^USB_VID_SOP$").GetNumericValue(), 0x18d1u);
    // Both follow a blank line that ends in a bare LF.
    EXPECT_EQ(file.GetUniqueField("^SVID1_SOP$").GetNumericValue(), 0x18d1u);
    EXPECT_EQ(file.GetUniqueField("^SVID2_SOP$").GetNumericValue(), 0xff01u);
    EXPECT_STREQ(fields->back().Name(), "SVID2_mode2_enter_SOP");
}

TEST_F(VifSamples, KeepsRepeatedNamesInFileOrder) {
    const CVendorInfoFile file(Sample("scarlet_vif.txt").c_str());
    const FieldListPtr repeated = file.GetFields("USB_Suspend_May_Be_Cleared");
    ASSERT_EQ(repeated->size(), 2u);
    EXPECT_EQ((*repeated)[0].GetNumericValue(), 1u);
    EXPECT_EQ((*repeated)[1].GetNumericValue(), 0u);
    EXPECT_THROW(file.GetUniqueField("USB_Suspend_May_Be_Cleared"), CQXRunTimeException);
}

TEST_F(VifSamples, SummariesLackTheirFieldsAndAreInvalid) {
    for (const char* name : {"hoho_vif.txt", "scarlet_vif.txt"}) {
        EXPECT_FALSE(CVIFSummary(UsbDevice, Sample(name).c_str()).IsValid()) << name;
        EXPECT_FALSE(CVIFSummary(UsbHub, Sample(name).c_str()).IsValid()) << name;
    }
}

// The XML file a VIF editor wrote: ten product fields, then two Component
// blocks of 112 fields each.
TEST_F(VifSamples, ReadsTheXmlFileWithItsComponents) {
    const std::string path = Sample("yaviks_vif.xml");
    const CVendorInfoFile file(path.c_str());
    EXPECT_EQ(file.Count(), 234u);
    EXPECT_EQ(file.ComponentCount(), 2u);
    EXPECT_EQ(file.Count("^\\$.*"), 10u);
    const FieldListPtr fields = file.GetFields();
    EXPECT_STREQ(fields->front().Name(), "$VIF_Specification");
    EXPECT_STREQ(fields->front().Value(), "3.19");
    EXPECT_STREQ(file.GetUniqueField("^\\$Vendor_Name$").Value(), "Google");
    EXPECT_STREQ(file.GetUniqueField("^\\$Name$").Value(), "VIF Editor");  // inside VIF_App
    EXPECT_EQ(file.GetUniqueField("^VIF_Product_Type$").GetNumericValue(), 0u);
    EXPECT_EQ(file.GetUniqueField("^Certification_Type$").GetNumericValue(), 1u);
    EXPECT_STREQ(fields->back().Name(), "bcdDevice_SOP");

    // Each per-port field once per component, in order; PDO lists repeat
    // their elements within a component too.
    const FieldListPtr ports = file.GetFields("^\\$Port_Label$");
    ASSERT_EQ(ports->size(), 2u);
    EXPECT_STREQ((*ports)[1].Value(), "1");
    const FieldListPtr retimer = file.GetFields("^Host_Contains_Captive_Retimer$");
    ASSERT_EQ(retimer->size(), 2u);
    EXPECT_EQ((*retimer)[0].GetNumericValue(), 0u);  // false
    EXPECT_EQ((*retimer)[1].GetNumericValue(), 1u);  // true
    EXPECT_EQ(file.Count("^Connector_Type$"), 2u);
    EXPECT_EQ(file.Count("^Snk_PDO_Min_Voltage$"), 4u);
    EXPECT_EQ(file.GetFields("^Manufacturer_Info_VID_Port$")->at(0).GetNumericValue(), 0x18D1u);
    EXPECT_THROW(file.GetUniqueField("^Connector_Type$"), CQXRunTimeException);

    const CVendorInfoFile second(path.c_str(), 1);
    EXPECT_EQ(second.Count(), 122u);
    EXPECT_EQ(second.GetUniqueField("^DFP_VDO_Port_Number$").GetNumericValue(), 1u);
    EXPECT_EQ(second.GetUniqueField("^Connector_Type$").GetNumericValue(), 2u);
    EXPECT_STREQ(second.GetUniqueField("^\\$Vendor_Name$").Value(), "Google");
}

// A dual-role port that is neither a device nor a port on a hub, and has no
// Hub_Port_Number: no summary of it is valid.
TEST_F(VifSamples, TheXmlFileDescribesNeitherADeviceNorAHub) {
    const std::string path = Sample("yaviks_vif.xml");
    for (EUsbType role : {UsbDevice, UsbHub}) {
        EXPECT_FALSE(CVIFSummary(role, path.c_str()).IsValid());
        EXPECT_FALSE(CVIFSummary(role, path.c_str(), 0).IsValid());
    }
}

}  // namespace
