#include "temp_files.h"

#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

class VendorInfoFile : public ::testing::Test {
protected:
    Fields Parse(const std::string& bytes) { return Read(CVendorInfoFile(Write(bytes).c_str())); }
    std::string Write(const std::string& bytes) { return m_Files.Write("test.txt", bytes); }

    CTempFiles m_Files;
};

TEST_F(VendorInfoFile, ReadsFieldsInFileOrder) {
    const CVendorInfoFile file(Write("$Example_Name : \"abc\"\nDevice_Speed: 1\nHub_Port_Number:0x0A\n").c_str());
    EXPECT_EQ(Read(file), (Fields{{"$Example_Name", "abc"}, {"Device_Speed", "1"}, {"Hub_Port_Number", "0x0A"}}));
    EXPECT_EQ(file.Count(), 3u);
}

TEST_F(VendorInfoFile, CutsCommentsOutsideTheQuotedText) {
    EXPECT_EQ(Parse("  $Example_Name : \"a;b\" ; note\n"), (Fields{{"$Example_Name", "a;b"}}));
    EXPECT_EQ(Parse("$Example_Name : \"abc\";note\n"), (Fields{{"$Example_Name", "abc"}}));
    EXPECT_EQ(Parse("Device_Speed : 1 ; comment\n; Device_Speed : 1\n"), (Fields{{"Device_Speed", "1"}}));
    EXPECT_EQ(Parse("$Example_Name : \"say \"hi\"\"\n"), (Fields{{"$Example_Name", "say \"hi\""}}));
    EXPECT_EQ(Parse("$A : \"x;\n\tB: 1\v\n"), Fields{});  // one quote; only space, tab, CR, LF trim
}

TEST_F(VendorInfoFile, KeepsNumericLiteralsAsWrittenAndSkipsOtherLines) {
    EXPECT_EQ(Parse("Device_Speed : yes\ndevice_speed : 0X1f\r\n\tX'y_1:\t42"),
              (Fields{{"Device_Speed", "yes"}, {"device_speed", "0X1f"}, {"X'y_1", "42"}}));
    const CVendorInfoFile skipped(Write("Device_Speed : -1\nDevice_Speed : 1.5\nDevice_Speed : \"1\"\n"
                                        "$Example_Name : abc\nDevice Speed : 1\nSVID1_SOP: 18d1\n"
                                        "\xEF\xBB\xBF"
                                        "Device_Speed: 1\nno colon\n$: \"x\"\nA:\n")
                                      .c_str());
    EXPECT_EQ(Read(skipped), Fields{});
    // Each line that looks like a field is a warning, with its line and why.
    const std::vector<std::pair<std::size_t, std::string>> why = {
        {1, "the value is not 0x-hexadecimal, decimal, YES or NO"},
        {2, "the value is not 0x-hexadecimal, decimal, YES or NO"},
        {3, "a quoted value belongs to a name that starts with $"},
        {4, "a text value stands in double quotes"},
        {5, "the name holds a character other than a letter, digit, _ or '"},
        {6, "hexadecimal without 0x"},
        {7, "the name holds a character other than a letter, digit, _ or '"},
        {9, "no name before the colon"},
        {10, "no value after the colon"}};
    std::vector<std::pair<std::size_t, std::string>> got;
    const WarningListPtr warnings = GetWarnings(skipped);
    for (const CVIFWarning& warning : *warnings) got.emplace_back(warning.m_Line, warning.m_Reason);
    EXPECT_EQ(got, why);
    EXPECT_EQ(GetWarnings(skipped)->at(5).m_Text, "SVID1_SOP: 18d1");
}

// Old files end lines in a bare CR; some write LF CR.
TEST_F(VendorInfoFile, EndsLinesAtLfCrLfOrABareCrAndNumbersThem) {
    const CVendorInfoFile file(
        Write("A: 1\rB: 2\r\nC: 3\n\rD: 4\n\nSVID1_SOP: 18d1\r$Port_Label: %s\rNot a field\rE: 5").c_str());
    EXPECT_EQ(Read(file), (Fields{{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}}));
    EXPECT_EQ(*GetFieldLines(file, nullptr), (std::vector<std::size_t>{1, 2, 3, 4, 9}));
    EXPECT_EQ(*GetFieldLines(file, "[bd]"), (std::vector<std::size_t>{2, 4}));
    ASSERT_EQ(CountWarnings(file), 2u);
    EXPECT_EQ(GetWarnings(file)->at(1).m_Line, 7u);
    EXPECT_EQ(GetWarnings(file)->at(1).m_Text, "$Port_Label: %s");
}

TEST_F(VendorInfoFile, KeepsTheFirstWarningsAndCountsAll) {
    std::string junk;
    for (int i = 0; i < 1500; ++i) junk += "x:\n";
    const CVendorInfoFile file(Write(junk + "$L: " + std::string(300, 'v') + "\n").c_str());
    EXPECT_EQ(CountWarnings(file), 1501u);
    EXPECT_EQ(GetWarnings(file)->size(), SCRIVLET_MAX_WARNINGS);
    const CVendorInfoFile one(Write("$L: " + std::string(300, 'v') + "\n").c_str());
    EXPECT_EQ(GetWarnings(one)->at(0).m_Text, "$L: " + std::string(196, 'v') + "...");
    EXPECT_EQ(CountWarnings(CVendorInfoFile(std::vector<CVIFField>{{"A", "x"}})), 0u);
}

TEST_F(VendorInfoFile, SkipsAByteOrderMarkAndReadsUtf16) {
    EXPECT_EQ(Parse("\xEF\xBB\xBF"
                    "Connector_Type: 1\n$N: \"x\""),
              (Fields{{"Connector_Type", "1"}, {"$N", "x"}}));
    const std::u16string text = u"Connector_Type: 2\r\n$Vendor_Name: \"Gr\u00FC\u00DFe \U0001F600\"\r\n";
    std::string little = "\xFF\xFE";
    std::string big = "\xFE\xFF";
    for (char16_t c : text) {
        little += static_cast<char>(c & 0xFF);
        little += static_cast<char>(c >> 8);
        big += static_cast<char>(c >> 8);
        big += static_cast<char>(c & 0xFF);
    }
    const Fields expected{{"Connector_Type", "2"}, {"$Vendor_Name", "Gr\u00FC\u00DFe \U0001F600"}};
    EXPECT_EQ(Parse(little), expected);
    EXPECT_EQ(Parse(big), expected);
    // An unpaired surrogate and a lone last byte become U+FFFD.
    const std::string odd = std::string(
                                "\xFF\xFE$\0N\0:\0\"\0\x00\xD8\"\0\n\0A\0:\0"
                                "1\0\n\0B\0:\0"
                                "2\0",
                                30) +
        "x";
    EXPECT_EQ(Parse(odd), (Fields{{"$N", "\uFFFD"}, {"A", "1"}}));
    // Without a mark, only text that starts as XML does is taken for UTF-16.
    EXPECT_EQ(Parse(std::string("A\0:\0"
                                "1\0",
                                6)),
              Fields{});
}

TEST_F(VendorInfoFile, RefusesFilesThatAreNotRegularAtOnce) {
    const std::string fifo = m_Files.Dir() + "/fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { CVendorInfoFile file(fifo.c_str()); }),
              "Couldn't open Vendor Info File: " + fifo + ". It is a FIFO, not a regular file.");
    EXPECT_EQ(MessageOf([] { CVendorInfoFile file("/dev/null"); }),
              "Couldn't open Vendor Info File: /dev/null. It is a character device, not a regular file.");
    const std::string link = m_Files.Dir() + "/link.txt";
    ASSERT_EQ(::symlink(Write("A: 1\n").c_str(), link.c_str()), 0);
    EXPECT_EQ(CVendorInfoFile(link.c_str()).Count(), 1u);
    EXPECT_FALSE(CVIFSummary(UsbDevice, fifo.c_str()).IsValid());
}

TEST_F(VendorInfoFile, EmptyAndCommentOnlyFilesGiveNoField) {
    EXPECT_EQ(CVendorInfoFile(Write("").c_str()).Count(), 0u);
    EXPECT_EQ(CVendorInfoFile(Write("; only\r\n\r\n   \n;x: 1\n").c_str()).Count(), 0u);
}

// The standard regex engine recurses once per character and would overflow
// the stack on such lines.
TEST_F(VendorInfoFile, ReadsMebibyteLongLines) {
    const std::string text(4 << 20, 'x');
    const std::string name(1 << 20, 'N');
    const CVendorInfoFile file(Write("$Long: \"" + text + "\"\n" + name + ": 7\n").c_str());
    ASSERT_EQ(file.Count(), 2u);
    EXPECT_EQ(file.GetUniqueField("^\\$long$").Value(), text);
    EXPECT_EQ(file.Count("n+"), 1u);
    EXPECT_EQ(file.GetUniqueField("^n.*").GetNumericValue(), 7u);
}

TEST_F(VendorInfoFile, ReportsPathFaults) {
    EXPECT_EQ(MessageOf([] { CVendorInfoFile file(static_cast<const char*>(nullptr)); }),
              "Internal Error: NULL file name.");
    EXPECT_EQ(MessageOf([] { CVendorInfoFile file(""); }), "Internal Error: NULL file name.");
    const std::string missing = m_Files.Dir() + "/missing.txt";
    EXPECT_EQ(MessageOf([&] { CVendorInfoFile file(missing.c_str()); }),
              "Couldn't open Vendor Info File: " + missing + ".");
    const std::string folder = m_Files.Dir();
    EXPECT_EQ(MessageOf([&] {
                  CVendorInfoFile file(folder.c_str());
              }).rfind("I/O read failure on Vendor Info File " + folder + ": ", 0),
              0u);
}

TEST_F(VendorInfoFile, UniqueFieldNamesTheFileInItsMessages) {
    const std::string path = Write("Device_Speed: 1\nDevice_Speed: 2\n");
    const CVendorInfoFile file(path.c_str());
    EXPECT_EQ(MessageOf([&] { file.GetUniqueField("^Device_Speed$"); }),
              "2 fields in \"" + path + "\" matched with \"^Device_Speed$\".");
    EXPECT_EQ(MessageOf([&] { file.GetUniqueField("^Host_Speed$"); }),
              "Couldn't find field in \"" + path + "\" that matched with \"^Host_Speed$\".");
    EXPECT_EQ(file.Count("^device_speed$"), 2u);
    EXPECT_EQ(file.GetFields("^device_speed$")->at(1).GetNumericValue(), 2u);
}

TEST(VendorInfoFileFromList, CopiesTheFieldsAndHasNoFile) {
    std::vector<CVIFField> fields{{"B", "1"}, {"a", "2"}};
    const CVendorInfoFile file(fields);
    fields[0].Value("9");
    EXPECT_STREQ(file.FileName(), "<no-file>");
    EXPECT_EQ(file.GetUniqueField("b").GetNumericValue(), 1u);
    EXPECT_EQ(MessageOf([&] { file.GetUniqueField("c"); }),
              "Couldn't find field in \"<no-file>\" that matched with \"c\".");
    EXPECT_EQ(MessageOf([&] { file.GetUniqueField(static_cast<const char*>(nullptr)); }),
              "2 fields in \"<no-file>\" matched with \"\".");
}

TEST(VendorInfoFileFromList, CompilesAPatternOnlyWhenAFieldIsTested) {
    const CVendorInfoFile none(std::vector<CVIFField>{});
    EXPECT_EQ(none.Count("("), 0u);
    EXPECT_TRUE(none.GetFields("(")->empty());
    EXPECT_NE(MessageOf([&] { none.GetUniqueField("("); }).find("Couldn't find"), std::string::npos);
    const CVendorInfoFile one(std::vector<CVIFField>{{"A", "1"}});
    EXPECT_THROW(one.Count("("), std::regex_error);
    EXPECT_THROW(one.GetFields("("), std::regex_error);
}

TEST(VendorInfoFileFromList, WidePatternsAreConvertedToUtf8) {
    const CVendorInfoFile file(std::vector<CVIFField>{{"Grüße_\xF0\x9F\x98\x80", "1"}, {"Device_Speed", "2"}});
    EXPECT_EQ(file.Count(L"^device_speed$"), 1u);
    EXPECT_EQ(file.Count(u"^device_speed$"), 1u);
    EXPECT_EQ(file.GetFields(L"Grüße_\U0001F600")->size(), 1u);
    EXPECT_EQ(file.GetUniqueField(u"Grüße_\U0001F600").GetNumericValue(), 1u);
    EXPECT_EQ(file.GetUniqueField(L"dev.*").GetNumericValue(), 2u);
    EXPECT_EQ(MessageOf([&] { file.GetUniqueField(u"ü"); }),
              "Couldn't find field in \"<no-file>\" that matched with \"ü\".");
}

TEST(VendorInfoFileFromList, CopyAssignmentOwnsItsCopy) {
    CVendorInfoFile target(std::vector<CVIFField>{{"Old", "1"}});
    {
        const CVendorInfoFile source(std::vector<CVIFField>{{"New", "2"}, {"Other", "3"}});
        target = source;
    }
    const CVendorInfoFile& self = target;
    target = self;
    EXPECT_EQ(Read(target), (Fields{{"New", "2"}, {"Other", "3"}}));
    EXPECT_STREQ(target.FileName(), "<no-file>");
}

}  // namespace
