#include "temp_files.h"

#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

class VifSummary : public ::testing::Test {
protected:
    CVIFSummary Make(EUsbType type, const std::string& bytes, const std::string& name = "Dev1.txt") {
        return CVIFSummary(type, m_Files.Write(name, bytes).c_str());
    }
    void ExpectInvalid(EUsbType type, const std::string& bytes) {
        const CVIFSummary summary = Make(type, bytes);
        EXPECT_FALSE(summary.IsValid()) << bytes;
        EXPECT_STREQ(summary.Path().get(), "");
        EXPECT_STREQ(summary.Display().get(), "");
        EXPECT_STREQ(summary.ConnectType().get(), "");
        EXPECT_STREQ(summary.Speed().get(), "");
    }

    CTempFiles m_Files;
};

TEST_F(VifSummary, DescribesADeviceWithATypeBConnector) {
    // A backslash separates the display name even though the file system
    // here takes it as part of the file name.
    const std::string path = m_Files.Write("lab\\Dev1.txt", "Connector_Type: 1\nDevice_Speed: 2\n");
    const CVIFSummary summary(UsbDevice, path.c_str());
    EXPECT_TRUE(summary.IsValid());
    EXPECT_STREQ(summary.Path().get(), path.c_str());
    EXPECT_STREQ(summary.Display().get(), "Dev1");
    EXPECT_STREQ(summary.ConnectType().get(), "Type-B");
    EXPECT_STREQ(summary.Speed().get(), "USB 3 gen 2x1");
    EXPECT_EQ(summary.PortNumber(), 0u);
    EXPECT_EQ(summary.UsbType(), UsbDevice);
}

TEST_F(VifSummary, AcceptsATypeCDeviceOnlyWithTheDeviceCapability) {
    const CVIFSummary typeC = Make(UsbDevice, "Connector_Type: 2\nDevice_Speed: 4\nType_C_Can_Act_As_Device: YES\n");
    EXPECT_TRUE(typeC.IsValid());
    EXPECT_STREQ(typeC.ConnectType().get(), "Type-C");
    EXPECT_STREQ(typeC.Speed().get(), "USB 3 gen 2x2");
    ExpectInvalid(UsbDevice, "Connector_Type: 2\nDevice_Speed: 1\nType_C_Can_Act_As_Device: 0\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 2\nDevice_Speed: 1\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 0\nDevice_Speed: 1\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 1\nHost_Speed: 1\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 1\nDevice_Speed: 5\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 3\nDevice_Speed: 1\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 1\nConnector_Type: 1\nDevice_Speed: 1\n");
}

TEST_F(VifSummary, AcceptsAHubByItsConnectorOrItsPortNumber) {
    const CVIFSummary typeA = Make(UsbHub, "Connector_Type: 0\nHost_Speed: 1\nHub_Port_Number: 0\n");
    EXPECT_TRUE(typeA.IsValid());
    EXPECT_EQ(typeA.PortNumber(), 0u);
    const CVIFSummary usb2 = Make(UsbHub, "Connector_Type: 1\nHost_Speed: 0\nHub_Port_Number: 200\n");
    EXPECT_TRUE(usb2.IsValid());
    EXPECT_EQ(usb2.PortNumber(), 200u);
    EXPECT_STREQ(usb2.Speed().get(), "USB 2");
    EXPECT_TRUE(Make(UsbHub, "Connector_Type: 1\nHost_Speed: 1\nHub_Port_Number: 15\n").IsValid());
    EXPECT_TRUE(Make(UsbHub,
                     "Connector_Type: 2\nHost_Speed: 3\nHub_Port_Number: 0\n"
                     "Type_C_Can_Act_As_Host: YES\nType_C_Port_On_Hub: YES\n")
                    .IsValid());
    ExpectInvalid(UsbHub, "Connector_Type: 1\nHost_Speed: 1\nHub_Port_Number: 200\n");
    ExpectInvalid(UsbHub,
                  "Connector_Type: 2\nHost_Speed: 1\nHub_Port_Number: 0\n"
                  "Type_C_Can_Act_As_Host: YES\nType_C_Port_On_Hub: NO\n");
    ExpectInvalid(UsbHub, "Connector_Type: 0\nHost_Speed: 1\n");
}

TEST_F(VifSummary, ClearKeepsRoleAndPortNumber) {
    CVIFSummary summary = Make(UsbHub, "Connector_Type: 1\nHost_Speed: 0\nHub_Port_Number: 9\n");
    const CVIFSummary copy = summary;
    summary.Clear();
    EXPECT_FALSE(summary.IsValid());
    EXPECT_STREQ(summary.Display().get(), "");
    EXPECT_EQ(summary.PortNumber(), 9u);
    EXPECT_EQ(summary.UsbType(), UsbHub);
    EXPECT_TRUE(copy.IsValid());
    EXPECT_EQ(copy.Display().get(), m_Files.Dir() + "/Dev1");
}

TEST_F(VifSummary, UnreadableFilesAreInvalid) {
    EXPECT_FALSE(CVIFSummary(UsbDevice, static_cast<const char*>(nullptr)).IsValid());
    EXPECT_FALSE(CVIFSummary(UsbHub, "").IsValid());
    EXPECT_FALSE(CVIFSummary(UsbHub, (m_Files.Dir() + "/missing.txt").c_str()).IsValid());
}

TEST_F(VifSummary, WidePathsAreConverted) {
    const std::string path = m_Files.Write("Gerät.TXT", "Connector_Type: 1\nDevice_Speed: 0\n");
    const std::string dir = m_Files.Dir();  // ASCII
    const std::wstring wide = std::wstring(dir.begin(), dir.end()) + L"/Gerät.TXT";
    const CVIFSummary fromWide(UsbDevice, wide.c_str());
    EXPECT_TRUE(fromWide.IsValid());
    EXPECT_EQ(fromWide.Display().get(), dir + "/Gerät");  // only a backslash separates
    const std::u16string utf16 = std::u16string(dir.begin(), dir.end()) + u"/Gerät.TXT";
    EXPECT_STREQ(CVIFSummary(UsbDevice, utf16.c_str()).Path().get(), path.c_str());
}

TEST_F(VifSummary, HostAndUnknownRolesThrow) {
    try {
        CVIFSummary summary(UsbHost, "x.txt");
        FAIL();
    } catch (const CQXRunTimeException& error) {
        EXPECT_STREQ(error.what(), "CVIFSummary::InitializeHost: Not implemented yet: path = x.txt");
    }
    try {
        CVIFSummary summary(static_cast<EUsbType>(7), "x.txt");
        FAIL();
    } catch (const CQXRunTimeException& error) {
        EXPECT_STREQ(error.what(), "<Unknown USB Type: 7>");
    }
}

// A code is the field's whole value: one that does not fit its range makes
// the summary invalid, and nothing in a file makes the constructor throw.
TEST_F(VifSummary, CodesBeyondTheirRangeAreInvalid) {
    ExpectInvalid(UsbDevice, "Connector_Type: 0x100000001\nDevice_Speed: 0\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 1\nDevice_Speed: 4294967298\n");
    ExpectInvalid(UsbDevice, "Connector_Type: 2\nDevice_Speed: 0\nType_C_Can_Act_As_Device: 0x100000001\n");
    ExpectInvalid(UsbHub, "Connector_Type: 1\nHost_Speed: 1\nHub_Port_Number: 0x100000005\n");
    ExpectInvalid(UsbHub, "Connector_Type: 0x100000000\nHost_Speed: 1\nHub_Port_Number: 0\n");
    EXPECT_NO_THROW(ExpectInvalid(UsbDevice, "Connector_Type: 18446744073709551616\nDevice_Speed: 0\n"));
    EXPECT_NO_THROW(ExpectInvalid(UsbHub,
                                  "Connector_Type: 1\nHost_Speed: 0\n"
                                  "Hub_Port_Number: 99999999999999999999999\n"));
    // The largest value that fits still reads as itself.
    const CVIFSummary usb2 = Make(UsbHub, "Connector_Type: 0\nHost_Speed: 0\nHub_Port_Number: 0xFFFFFFFF\n");
    EXPECT_TRUE(usb2.IsValid());
    EXPECT_EQ(usb2.PortNumber(), 0xFFFFFFFFu);
}

TEST(VifSummaryDisplayText, StripsOnlyATrailingTxtAfterTheLastBackslash) {
    EXPECT_STREQ(CVIFSummary::MakeDisplayText("C:\\vif\\Dev1.TXT").get(), "Dev1");
    EXPECT_STREQ(CVIFSummary::MakeDisplayText("/home/lab/Dev1.txt").get(), "/home/lab/Dev1");
    EXPECT_STREQ(CVIFSummary::MakeDisplayText("a\\.txt").get(), ".txt");
    EXPECT_STREQ(CVIFSummary::MakeDisplayText("Dev1.text").get(), "Dev1.text");
    EXPECT_STREQ(CVIFSummary::MakeDisplayText("dir\\").get(), "");
}

}  // namespace
