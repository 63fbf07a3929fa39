// XML Vendor Info Files: the mapping onto fields, components, the same
// results as the text format, and hostile files.
#include "child_process.h"
#include "temp_files.h"

#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* XML_HEAD =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<vif:VIF xmlns:vif=\"http://usb.org/VendorInfoFile.xsd\">\r\n";

// A hub with two downstream-facing ports: the first a USB 3 Type-A port,
// the second a USB 2 Type-B port numbered 7.
const std::string HUB_XML = std::string(XML_HEAD) +
    "  <vif:Vendor_Name>Example &amp; Sons</vif:Vendor_Name>\r\n"
    "  <vif:VIF_Product_Type value=\"1\">Hub</vif:VIF_Product_Type>\r\n"
    "  <vif:Component>\r\n"
    "    <!--Component 0: Port 0-->\r\n"
    "    <vif:Port_Label>0</vif:Port_Label>\r\n"
    "    <vif:Connector_Type value=\"0\">Type-A</vif:Connector_Type>\r\n"
    "    <vif:Host_Speed value=\"1\">USB 3.2 Gen 1x1</vif:Host_Speed>\r\n"
    "    <vif:Hub_Port_Number value=\"1\" />\r\n"
    "  </vif:Component>\r\n"
    "  <vif:Component>\r\n"
    "    <vif:Port_Label>1</vif:Port_Label>\r\n"
    "    <vif:Connector_Type value=\"1\">Type-B</vif:Connector_Type>\r\n"
    "    <vif:Host_Speed value=\"0\">USB 2</vif:Host_Speed>\r\n"
    "    <vif:Hub_Port_Number value=\"7\" />\r\n"
    "  </vif:Component>\r\n"
    "</vif:VIF>";

// A Type-C device that can act as a device, in one component, without prefixes.
const std::string DEVICE_XML =
    "<VIF>\n"
    "  <Vendor_Name>  Widgets  </Vendor_Name>\n"
    "  <Component>\n"
    "    <Connector_Type value=\"2\">Type-C&#xAE;</Connector_Type>\n"
    "    <Device_Speed value=\"0x2\">USB 3.2 Gen 2x1</Device_Speed>\n"
    "    <Type_C_Can_Act_As_Device value=\"true\" />\n"
    "    <Type_C_Can_Act_As_Host value=\"false\" />\n"
    "  </Component>\n"
    "</VIF>\n";

class VifXml : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes, const std::string& name = "vif.xml") {
        return m_Files.Write(name, bytes);
    }
    Fields Parse(const std::string& bytes) { return Read(CVendorInfoFile(Write(bytes).c_str())); }

    CTempFiles m_Files;
};

TEST_F(VifXml, MapsElementsOntoFieldsInDocumentOrder) {
    EXPECT_EQ(Parse(HUB_XML),
              (Fields{{"$Vendor_Name", "Example & Sons"},
                      {"VIF_Product_Type", "1"},
                      {"$Port_Label", "0"},
                      {"Connector_Type", "0"},
                      {"Host_Speed", "1"},
                      {"Hub_Port_Number", "1"},
                      {"$Port_Label", "1"},
                      {"Connector_Type", "1"},
                      {"Host_Speed", "0"},
                      {"Hub_Port_Number", "7"}}));
    EXPECT_EQ(Parse(DEVICE_XML),
              (Fields{{"$Vendor_Name", "Widgets"},
                      {"Connector_Type", "2"},
                      {"Device_Speed", "0x2"},
                      {"Type_C_Can_Act_As_Device", "YES"},
                      {"Type_C_Can_Act_As_Host", "NO"}}));
}

TEST_F(VifXml, ReadsTextAndValuesAsTheTextFormatWould) {
    EXPECT_EQ(Parse("<?xml version=\"1.0\"?><a:VIF xmlns:a=\"u\">"
                    "<a:T>x &lt;&#65;&gt; <![CDATA[<b>;]]>\n line</a:T>"
                    "<a:Empty/><a:Blank> \t\r\n</a:Blank><a:Remark><!-- only a comment --></a:Remark>"
                    "<a:N value=\" 12 \"/><a:Hex value=\"0X1f\"/><a:Yes value=\"yes\"/>"
                    "<a:Unit value=\"5 mA\"/><a:Signed value=\"-1\"/><a:True value=\"True\"/>"
                    "<a:Both value=\"3\">three<a:Inner>i</a:Inner></a:Both>"
                    "<?pi ignored?></a:VIF>"),
              (Fields{{"$T", "x <A> <b>;\n line"},
                      {"N", "12"},
                      {"Hex", "0X1f"},
                      {"Yes", "yes"},
                      {"Both", "3"},
                      {"$Inner", "i"}}));
    // UTF-16 with a byte-order mark, as some editors save it.
    const std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><VIF><Name>Gr\u00FC\u00DFe</Name></VIF>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) (bytes += static_cast<char>(c & 0xFF)) += static_cast<char>(c >> 8);
    EXPECT_EQ(Parse(bytes), (Fields{{"$Name", "Gr\u00FC\u00DFe"}}));
    // Latin-1, as its declaration says.
    EXPECT_EQ(Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><VIF><N>\xE9</N></VIF>"),
              (Fields{{"$N", "\u00E9"}}));
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes;
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        (bytes += bigEndian ? high : low) += bigEndian ? low : high;
    }
    return bytes;
}

// Encodings as real files spell them, UTF-16 without a mark, and a
// declaration after comments all read the same field.
TEST_F(VifXml, ReadsTheEncodingsFilesDeclare) {
    auto declared = [](const char* encoding, const char* name) {
        return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n<VIF><N>" + name +
            "</N><A value=\"1\"/></VIF>";
    };
    const std::pair<std::string, std::size_t> cases[] = {
        // bytes, warnings
        {declared("utf8", "\xC3\xA9"), 0},
        {declared("UTF8", "\xC3\xA9"), 0},
        {declared("us-ascii", "&#233;"), 0},
        {declared("latin1", "\xE9"), 0},
        {declared("ISO_8859-1", "\xE9"), 0},
        {declared("windows-1252", "\xE9"), 0},
        {declared("CP1252", "\xE9"), 0},
        {declared("ISO-8859-15", "\xE9"), 0},  // through iconv
        {declared("UTF-16", "\xC3\xA9"), 1},   // says UTF-16, is not
        {Utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><VIF><N>\u00E9</N><A value=\"1\"/></VIF>", false), 0},
        {Utf16(u"<?xml version=\"1.0\"?><VIF><N>\u00E9</N><A value=\"1\"/></VIF>", true), 0},
        {"<!-- override -->\r\n\r\n" + declared("utf-8", "\xC3\xA9"), 1},
        {Utf16(u"\n<!-- x -->\n<?xml version=\"1.0\"?><VIF><N>\u00E9</N><A value=\"1\"/></VIF>", false), 1},
    };
    for (const auto& [bytes, warnings] : cases) {
        const CVendorInfoFile file(Write(bytes).c_str());
        EXPECT_EQ(Read(file), (Fields{{"$N", "\u00E9"}, {"A", "1"}})) << bytes;
        EXPECT_EQ(CountWarnings(file), warnings) << bytes;
    }
    const CVendorInfoFile late(Write("\n<!-- a -->\n<?xml version=\"1.0\"?>\n<VIF><A value=\"1\"/></VIF>").c_str());
    ASSERT_EQ(GetWarnings(late)->size(), 1u);
    EXPECT_EQ(GetWarnings(late)->at(0).m_Line, 3u);
    EXPECT_EQ(GetWarnings(late)->at(0).m_Reason, "the XML declaration follows blank lines or comments; read as XML");
    EXPECT_EQ(*GetFieldLines(late, nullptr), std::vector<std::size_t>{4});
}

// Values a reader skips are warnings with their lines; lines of fields are kept.
TEST_F(VifXml, WarnsOfValuesThatGiveNoField) {
    const CVendorInfoFile file(Write("<VIF>\n<A value=\"18d1\"/>\n<B value=\"5 mA\"/><C value=\"\"/>\n"
                                     "<T>t</T><D value=\"0x18d1\"/></VIF>")
                                   .c_str());
    EXPECT_EQ(Read(file), (Fields{{"$T", "t"}, {"D", "0x18d1"}}));
    EXPECT_EQ(*GetFieldLines(file, nullptr), (std::vector<std::size_t>{4, 4}));
    const WarningListPtr warnings = GetWarnings(file);
    ASSERT_EQ(warnings->size(), 3u);
    EXPECT_EQ((*warnings)[0].m_Line, 2u);
    EXPECT_EQ((*warnings)[0].m_Text, "<A value=\"18d1\">");
    EXPECT_EQ((*warnings)[0].m_Reason, "hexadecimal without 0x");
    EXPECT_EQ((*warnings)[1].m_Reason, "the value is not 0x-hexadecimal, decimal, true or false");
    EXPECT_EQ((*warnings)[2].m_Reason, "the value is empty");
}

TEST_F(VifXml, TellsXmlFromTextByContent) {
    EXPECT_EQ(Parse("\xEF\xBB\xBF<!-- made by hand -->\n<VIF><A value=\"1\"/></VIF>"), (Fields{{"A", "1"}}));
    EXPECT_EQ(Parse("<x:VIF><A value=\"1\"/></x:VIF>"), (Fields{{"A", "1"}}));
    // Neither a declaration nor a VIF root: read as text, in which no line is a field.
    EXPECT_EQ(Parse("<html>\nA: 1\n</html>\n"), (Fields{{"A", "1"}}));
    EXPECT_EQ(MessageOf([&] { CVendorInfoFile file(Write("<?xml version=\"1.0\"?><html/>").c_str()); }),
              "XML error in Vendor Info File " + m_Files.Dir() +
                  "/vif.xml at line 1, column 29: the root element is <html>, not VIF.");
}

TEST_F(VifXml, ReadsOneComponentWithTheProductFields) {
    const std::string path = Write(HUB_XML);
    const CVendorInfoFile whole(path.c_str());
    EXPECT_EQ(whole.ComponentCount(), 2u);
    EXPECT_EQ(whole.Count("^Connector_Type$"), 2u);
    const CVendorInfoFile second(path.c_str(), 1);
    EXPECT_EQ(second.ComponentCount(), 2u);
    EXPECT_EQ(Read(second),
              (Fields{{"$Vendor_Name", "Example & Sons"},
                      {"VIF_Product_Type", "1"},
                      {"$Port_Label", "1"},
                      {"Connector_Type", "1"},
                      {"Host_Speed", "0"},
                      {"Hub_Port_Number", "7"}}));
    EXPECT_EQ(MessageOf([&] { CVendorInfoFile file(path.c_str(), 2); }),
              "Vendor Info File " + path + " has no component 2 (it has 2).");
    const std::string text = m_Files.Write("Dev1.txt", "A: 1\n");
    EXPECT_EQ(CVendorInfoFile(text.c_str()).ComponentCount(), 0u);
    EXPECT_EQ(MessageOf([&] { CVendorInfoFile file(text.c_str(), 0); }),
              "Vendor Info File " + text + " has no component 0 (it has 0).");
}

TEST_F(VifXml, SummariesOfAComponentAreValidWhereTheWholeFileIsAmbiguous) {
    const std::string hub = Write(HUB_XML, "hub.xml");
    EXPECT_FALSE(CVIFSummary(UsbHub, hub.c_str()).IsValid());  // each field twice
    const CVIFSummary first(UsbHub, hub.c_str(), 0);
    EXPECT_TRUE(first.IsValid());
    EXPECT_STREQ(first.ConnectType().get(), "Type-A");
    EXPECT_STREQ(first.Speed().get(), "USB 3 gen 1x1");
    EXPECT_EQ(first.PortNumber(), 1u);
    const CVIFSummary second(UsbHub, hub.c_str(), 1);
    EXPECT_TRUE(second.IsValid());
    EXPECT_STREQ(second.ConnectType().get(), "Type-B");
    EXPECT_EQ(second.PortNumber(), 7u);
    EXPECT_FALSE(CVIFSummary(UsbHub, hub.c_str(), 2).IsValid());
    EXPECT_FALSE(CVIFSummary(UsbDevice, hub.c_str(), 0).IsValid());

    const std::string device = Write(DEVICE_XML, "device.xml");
    const CVIFSummary whole(UsbDevice, device.c_str());
    EXPECT_TRUE(whole.IsValid());
    EXPECT_STREQ(whole.ConnectType().get(), "Type-C");
    EXPECT_STREQ(whole.Speed().get(), "USB 3 gen 2x1");
    EXPECT_TRUE(CVIFSummary(UsbDevice, device.c_str(), 0).IsValid());
}

// One product written in both formats reads the same.
TEST_F(VifXml, TextAndXmlOfOneProductGiveTheSameResults) {
    const std::string text =
        m_Files.Write("Hub1.txt",
                      "$Vendor_Name: \"Example & Sons\"\r\nConnector_Type: 2\r\nHost_Speed: 0x3\r\n"
                      "Type_C_Can_Act_As_Host: YES\r\nType_C_Port_On_Hub: YES\r\nHub_Port_Number: 4\r\n"
                      "Type_C_Can_Act_As_Device: NO\r\n");
    const std::string xml = Write(std::string(XML_HEAD) +
                                      "<vif:Vendor_Name>Example &amp; Sons</vif:Vendor_Name><vif:Component>"
                                      "<vif:Connector_Type value=\"2\">Type-C</vif:Connector_Type>"
                                      "<vif:Host_Speed value=\"0x3\"/><vif:Type_C_Can_Act_As_Host value=\"true\"/>"
                                      "<vif:Type_C_Port_On_Hub value=\"true\"/><vif:Hub_Port_Number value=\"4\"/>"
                                      "<vif:Type_C_Can_Act_As_Device value=\"false\"/></vif:Component></vif:VIF>",
                                  "Hub1.xml");
    EXPECT_EQ(Read(CVendorInfoFile(text.c_str())), Read(CVendorInfoFile(xml.c_str())));
    for (EUsbType role : {UsbHub, UsbDevice}) {
        const CVIFSummary fromText(role, text.c_str());
        const CVIFSummary fromXml(role, xml.c_str());
        EXPECT_EQ(fromText.IsValid(), fromXml.IsValid()) << role;
        EXPECT_STREQ(fromText.ConnectType().get(), fromXml.ConnectType().get());
        EXPECT_STREQ(fromText.Speed().get(), fromXml.Speed().get());
        EXPECT_EQ(fromText.PortNumber(), fromXml.PortNumber());
    }
    EXPECT_TRUE(CVIFSummary(UsbHub, xml.c_str()).IsValid());
    for (const char* name : {"^Connector_Type$", "^Host_Speed$", "^Type_C_Can_Act_As_Host$", "^Type_C_Port_On_Hub$",
                             "^Hub_Port_Number$", "^\\$Vendor_Name$"}) {
        EXPECT_EQ(CVendorInfoFile(text.c_str()).GetUniqueField(name).MakeOutputString().get(),
                  std::string(CVendorInfoFile(xml.c_str()).GetUniqueField(name).MakeOutputString().get()));
    }
}

struct SHostileXml {
    const char* label;
    std::string bytes;
    const char* expected;  // part of the message
};

// Each ends in a clear exception, in a child process and in bounded time;
// none reads another file.
TEST_F(VifXml, HostileFilesEndInAClearException) {
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE VIF [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 12; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
            [&] {
                std::string ten;
                for (int k = 0; k < 10; ++k) ten += "&l" + std::to_string(i - 1) + ";";
                return ten;
            }() +
            "\">\n";
    laughs += "]>\n<VIF><Name>&l12;</Name></VIF>";
    std::string deep = "<?xml version=\"1.0\"?><VIF>";
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    const std::string secret = m_Files.Write("secret.txt", "SECRET");
    const std::vector<SHostileXml> cases = {
        {"billion laughs", laughs, "amplification"},
        {"outside document type",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE VIF SYSTEM \"" + secret + "\">\n<VIF><A value=\"1\"/></VIF>",
         "the document type refers to an outside file"},
        {"outside entity",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE VIF [<!ENTITY s SYSTEM \"file://" + secret +
             "\">]>\n<VIF><A>&s;</A></VIF>",
         "the entity s refers to an outside file"},
        {"outside parameter entity",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE VIF [<!ENTITY % p SYSTEM \"" + secret + "\"> %p;]>\n<VIF/>",
         "refers to an outside file"},
        {"network document type",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE VIF PUBLIC \"-//x//y\" \"http://192.0.2.1/vif.dtd\">\n<VIF/>",
         "http://192.0.2.1/vif.dtd"},
        {"undefined entity", "<?xml version=\"1.0\"?><VIF><A>&nowhere;</A></VIF>", "undefined entity"},
        {"truncated", HUB_XML.substr(0, HUB_XML.size() / 2), "line"},
        {"malformed", "<?xml version=\"1.0\"?><VIF><A value=\"1\"></B></VIF>", "mismatched tag"},
        {"two roots", "<?xml version=\"1.0\"?><VIF/><VIF/>", "junk after document element"},
        {"bad character", std::string("<?xml version=\"1.0\"?><VIF><A>\x01</A></VIF>"), "not well-formed"},
        {"deeply nested and cut off", deep, "no element found"},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-nowhere\"?><VIF/>",
         "the encoding \"x-nowhere\" is not known"},
        {"encoding with a path", "<?xml version=\"1.0\" encoding=\"../" + secret + "\"?><VIF/>",
         "is not an encoding name"},
        {"iconv suffix", "<?xml version=\"1.0\" encoding=\"UTF-7//IGNORE\"?><VIF/>", "is not an encoding name"},
        {"bytes outside the encoding", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<VIF><A>x\x81\x20</A></VIF>",
         "line 2, column 10: the bytes there are not Shift_JIS text"},
        {"cut off in a multibyte character", "<?xml version=\"1.0\" encoding=\"GB18030\"?>\n<VIF>\x81",
         "line 2, column 6: the bytes there are not GB18030 text"},
        {"late declaration, then mismatched", "<!-- c -->\n<?xml version=\"1.0\"?>\n<VIF><A></B></VIF>",
         "line 3, column 11: mismatched tag"},
        {"late declaration cut off", "\n\n<?xml version=\"1.0\"", "line 3"},
        {"UTF-16 without a mark, cut off", Utf16(u"<?xml version=\"1.0\"?><VIF><A>", false) + "<", "line 1"},
    };
    for (const SHostileXml& c : cases) {
        const std::string path = Write(c.bytes);
        const std::string answer =
            InChild([&] { return "fields: " + std::to_string(CVendorInfoFile(path.c_str()).Count()); },
                    std::chrono::seconds(20));
        EXPECT_EQ(answer.rfind("CQXRunTimeException: XML error in Vendor Info File " + path + " at line ", 0), 0u)
            << c.label << ": " << answer.substr(0, 300);
        EXPECT_NE(answer.find(c.expected), std::string::npos) << c.label << ": " << answer.substr(0, 300);
        EXPECT_EQ(answer.find("SECRET"), std::string::npos) << c.label;
        EXPECT_FALSE(CVIFSummary(UsbHub, path.c_str()).IsValid()) << c.label;
    }
}

}  // namespace
