// Bench files: every class of fault is refused with the file, the right line
// and a clear message; what loads becomes the bench it describes.
#include "sim_test_util.h"

#include <fstream>
#include <sstream>

namespace {

const std::string kController = "[[controller]]\nid = \"host\"\nports = [\"usb2\", \"ss\"]\n";  // lines 1-3
const std::string kHub =
    "[[controller.device]]\nat = \"1\"\nvid = 1\npid = 2\nspeed = \"high\"\nhub_ports = 2\n";  // 4-9

std::string Device(const std::string& at, const std::string& speed, const std::string& extra = "",
                   const std::string& vid = "1") {
    return "[[controller.device]]\nat = \"" + at + "\"\nvid = " + vid + "\npid = 2\nspeed = \"" + speed + "\"\n" +
        extra;
}

struct CErrorCase {
    const char* What;
    std::string Text;
    std::string Expect;  // the error line from the line number on
};

}  // namespace

TEST(BenchFile, EveryFaultNamesFileLineAndProblem) {
    const CErrorCase cases[] = {
        {"syntax", "[[controller]\nid = \"x\"\n", "1: "},
        {"syntax on a later line", kController + "ports = \n", "4: "},
        {"unknown top-level key", "\n\nbogus = 1\n", "3: unknown key \"bogus\" in the bench file"},
        {"unknown controller key", "[[controller]]\nid = \"x\"\nnot_a_key = 1\n",
         "3: unknown key \"not_a_key\" in [[controller]]"},
        {"unknown device key", kController + Device("1", "high", "colour = \"red\"\n"),
         "9: unknown key \"colour\" in [[controller.device]]"},
        {"unknown fault key", "[[fault]]\nrequest = \"Enumerate\"\nstatus = 0\nwhen = 1\n",
         "4: unknown key \"when\" in [[fault]]"},
        {"controller not an array of tables", "[controller]\nid = \"x\"\n",
         "1: \"controller\" in the bench file must be an array of tables"},
        {"id of the wrong type", "[[controller]]\nid = 5\n",
         "2: \"id\" in [[controller]] must be a string, not an integer"},
        {"vid of the wrong type", kController + Device("1", "high", "", "\"0x1\""),
         "6: \"vid\" in [[controller.device]] must be an integer, not a string"},
        {"missing id", "\n[[controller]]\nports = [\"usb2\"]\n", "2: [[controller]] needs the key \"id\""},
        {"missing at", kController + "[[controller.device]]\nvid = 1\npid = 2\nspeed = \"high\"\n",
         "4: [[controller.device]] needs the key \"at\""},
        {"missing fault status", "[[fault]]\nrequest = \"Enumerate\"\n", "1: [[fault]] needs the key \"status\""},
        {"repeated at", kController + Device("1", "high") + Device("1", "full"),
         "10: a device at \"1\" is already listed"},
        {"below a non-hub", kController + Device("1", "high") + Device("1.1", "high"),
         "10: the device at \"1\" is not a hub"},
        {"below a hub port that does not exist", kController + kHub + Device("1.3", "high"),
         "11: the hub at \"1\" has 2 ports, no port 3"},
        {"root port out of range", kController + Device("3", "high"), "5: root port 3 does not exist"},
        {"parent path missing", kController + kHub + Device("1.2.1", "high"),
         "11: no device is listed at \"1.2\" for the device at \"1.2.1\""},
        {"vid out of range", kController + Device("1", "high", "", "0x10000"),
         "6: \"vid\" = 0x10000 is out of range (0x0 to 0xFFFF)"},
        {"hub_ports out of range", kController + Device("1", "high", "hub_ports = 0\n"),
         "9: \"hub_ports\" = 0 is out of range"},
        {"tag out of range", kController + Device("1", "high", "tag = -1\n"), "9: \"tag\" = -1 is out of range"},
        {"speed unknown", kController + Device("1", "warp"), "8: \"speed\" = \"warp\" is not one of"},
        {"at not a path", kController + Device("1..2", "high"), "5: \"at\" = \"1..2\" is not a port path"},
        {"control characters escaped", kController + Device("1\\n2", "high"),
         "5: \"at\" = \"1\\n2\" is not a port path"},
        {"at with port 0", kController + Device("0", "high"), "5: \"at\" = \"0\" is not a port path"},
        {"SuperSpeed device on a USB 2.0 root port", kController + Device("1", "super"),
         "5: a SuperSpeed device cannot hang on USB 2.0 root port 1"},
        {"USB 2.0 device on a SuperSpeed root port", kController + Device("2", "high"),
         "5: a USB 2.0 (high-speed) device cannot hang on SuperSpeed root port 2"},
        {"USB 2.0 speed below a SuperSpeed hub",
         kController + Device("2", "super", "hub_ports = 4\n") + Device("2.1", "full"),
         "11: a USB 2.0 (full-speed) device cannot hang on the SuperSpeed hub at \"2\""},
        {"SuperSpeed device below a USB 2.0 hub", kController + kHub + Device("1.1", "super+"),
         "11: a SuperSpeed device cannot hang on the USB 2.0 hub at \"1\""},
        {"too many root ports",
         "[[controller]]\nid = \"x\"\nports = [" +
             [] {
                 std::string ports;
                 for (int i = 0; i < 256; ++i) ports += "\"usb2\",";
                 return ports;
             }() +
             "]\n",
         "3: \"ports\" lists 256 root ports; a controller has at most 255"},
        {"bad root port kind", "[[controller]]\nid = \"x\"\nports = [\"usb2\", \"usb3\"]\n",
         "3: a root port in \"ports\" must be \"usb2\" or \"ss\""},
        {"bad driver_version", "[[controller]]\nid = \"x\"\ndriver_version = \"1.0.3\"\n",
         "3: \"driver_version\" = \"1.0.3\" is not a version"},
        {"driver_version part above 255", "[[controller]]\nid = \"x\"\ndriver_version = \"1.0.256.0\"\n",
         "3: \"driver_version\" = \"1.0.256.0\" is not a version"},
        {"descriptor too short", kController + Device("1", "high", "descriptor = \"12 01 00 02\"\n"),
         "9: \"descriptor\" must be 18 bytes"},
        {"descriptor not hex",
         kController + Device("1", "high", "descriptor = \"" + std::string(17 * 3, ' ') + "zz\"\n"),
         "9: \"descriptor\" must be 18 bytes"},
        {"repeated controller id", kController + kController, "5: controller id \"host\" is repeated"},
        {"empty controller id", "[[controller]]\nid = \"\"\n", "2: \"id\" must have 1 to 243 characters"},
        {"controller id without room for the mark", "[[controller]]\nid = \"" + std::string(244, 'x') + "\"\n",
         "2: \"id\" must have 1 to 243 characters"},
        {"unknown fault request", "[[fault]]\nrequest = \"Frobnicate\"\nstatus = 0\n",
         "2: unknown request \"Frobnicate\" in [[fault]]"},
        {"fault status out of range", "[[fault]]\nrequest = \"Enumerate\"\nstatus = 0x100000000\n",
         "3: \"status\" = 0x100000000 is out of range"},
        {"fault status below int32", "[[fault]]\nrequest = \"Enumerate\"\nstatus = -2147483649\n",
         "3: \"status\" = -2147483649 is out of range"},
    };
    for (const auto& c : cases) {
        std::string error = BenchError(c.Text);
        EXPECT_EQ(error.rfind("bench file test.toml:" + c.Expect, 0), 0u) << c.What << ": " << error;
    }
}

TEST(BenchFile, MoreThan254DevicesOnOneControllerAreRefusedAtThe255th) {
    std::string text =
        "[[controller]]\nid = \"x\"\nports = [\"usb2\"]\n" + Device("1", "high", "hub_ports = 255\n");  // lines 1-9
    for (int port = 1; port <= 254; ++port) text += Device("1." + std::to_string(port), "full");        // 5 lines each
    std::string error = BenchError(text);
    EXPECT_EQ(error,
              "bench file test.toml:" + std::to_string(10 + 253 * 5) + ": more than 254 devices on controller \"x\"");

    text.resize(text.rfind("[[controller.device]]"));
    EXPECT_TRUE(LoadBench(text)) << "254 devices fit";
}

TEST(BenchFile, AFileWithoutControllersIsAPcWithoutXhci) {
    auto backend = LoadBench("# nothing here\n");
    ASSERT_TRUE(backend);
    EXPECT_TRUE(backend->HostIds().empty());
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_LIST, ""), -1);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_STACK, ""), 0);
    CBenchHolder bench(backend->CreateBenchline());
    EXPECT_EQ(bench->FindFirstHC(), nullptr);
    EXPECT_TRUE(BLFailed(bench->Enumerate()));
}

TEST(BenchFile, UnreadableFileIsNamedInTheErrorAndAnEmptyOneIsABenchWithoutControllers) {
    for (const char* path : {"/nonexistent/bench.toml", "/"}) {
        std::string error;
        EXPECT_FALSE(BLSimCreateFromFile(path, error));
        EXPECT_EQ(error.rfind(std::string("bench file ") + path + ": cannot read it: ", 0), 0u) << error;
        EXPECT_EQ(error.find("Success"), std::string::npos) << error;
    }
    std::string error;
    auto empty = BLSimCreateFromFile("/dev/null", error);
    ASSERT_TRUE(empty) << error;
    EXPECT_TRUE(empty->HostIds().empty());
}

TEST(BenchFile, KeysBecomeTheBench) {
    auto backend = LoadBench(R"(
[[controller]]
id = "first"
[[controller]]
id = "second"
driver_version = "2.1.4.255"
ports = ["ss", "usb2"]
[[controller.device]]
at = "2"
vid = 0x1234
pid = 0xABCD
serial = 77
speed = "full"
tag = 0xDEADBEEF
descriptor = "12 01 10 01 00 00 00 40 34 12 CD AB 00 01 01 02 03 01"
[[controller.device]]
at = "1"
vid = 0xFFFF
pid = 0
speed = "super+"
)");
    ASSERT_TRUE(backend);
    // Every host ID the bench reports says that it is simulated.
    EXPECT_EQ(backend->HostIds(), (std::vector<std::string>{"(simulated) first", "(simulated) second"}));
    CBenchHolder bench(backend->CreateBenchline());
    CHostController* first = bench->FindFirstHC();
    CHostController* second = bench->FindNextHC();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(bench->FindNextHC(), nullptr);
    EXPECT_STREQ(second->GetHostID(), "(simulated) second");
    EXPECT_EQ(first->GetNumberHostPorts(), 8) << "default: 4 USB 2.0 and 4 SuperSpeed root ports";
    EXPECT_FALSE(first->GetHostPort(4)->IsSuperSpeedPort());
    EXPECT_TRUE(first->GetHostPort(5)->IsSuperSpeedPort());
    ASSERT_EQ(second->GetNumberHostPorts(), 2);
    EXPECT_TRUE(second->GetHostPort(1)->IsSuperSpeedPort());
    EXPECT_EQ(second->GetHostPort(3), nullptr);
    EXPECT_EQ(second->GetHostPort(0), nullptr);

    ASSERT_EQ(bench->SelectHostController(second, true, false), 0);
    uint32_t version = 0;
    EXPECT_EQ(bench->GetBLInterface()->GetDriverVersion(&version), 0);
    EXPECT_EQ(version, 0x020104FFu);

    // Addresses follow root port order, not file order.
    CDevice* onPort1 = bench->GetDeviceByDeviceAddress(1);
    CDevice* onPort2 = bench->GetDeviceByDeviceAddress(2);
    ASSERT_TRUE(onPort1 && onPort2);
    uint16_t vid, pid, serial;
    ASSERT_EQ(onPort2->GetVidPidSerialNumber(&vid, &pid, &serial), 0);
    EXPECT_EQ(vid, 0x1234);
    EXPECT_EQ(pid, 0xABCD);
    EXPECT_EQ(serial, 77);
    EXPECT_EQ(onPort2->DeviceTag, 0xDEADBEEFu);
    EXPECT_EQ(onPort2->ParentPort, 2);
    uint8_t descriptor[18];
    ASSERT_EQ(onPort2->GetDescriptor(1, 0, 0, descriptor, sizeof descriptor), 0);
    EXPECT_EQ(descriptor[2], 0x10);
    EXPECT_EQ(descriptor[17], 0x01);
    uint8_t speed = 0;
    ASSERT_EQ(onPort1->GetDeviceSpeed(&speed), 0);
    EXPECT_EQ(speed, UsbSuperSpeedPlus);
    EXPECT_NE(onPort1->DeviceTag, 0u);
    EXPECT_NE(onPort1->DeviceTag, onPort2->DeviceTag);
}

TEST(BenchFile, DefaultTagsAreStableAndUniqueAndDefaultDescriptorsFitTheDevice) {
    auto tags = [] {
        auto backend = LoadBench(kController + kHub + Device("1.1", "high") + Device("1.2", "full"));
        CBenchHolder bench(backend->CreateBenchline());
        std::vector<uint32_t> found;
        for (uint8_t a = 1; a <= 3; ++a) found.push_back(bench->GetDeviceByDeviceAddress(a)->DeviceTag);
        return found;
    };
    std::vector<uint32_t> first = tags();
    EXPECT_EQ(first, tags());
    EXPECT_NE(first[0], first[1]);
    EXPECT_NE(first[1], first[2]);
    EXPECT_NE(first[0], first[2]);

    auto backend = LoadBench(kController + kHub);
    CBenchHolder bench(backend->CreateBenchline());
    uint8_t d[18];
    ASSERT_EQ(bench->GetDeviceByDeviceAddress(1)->GetDescriptor(1, 0, 0, d, sizeof d), 0);
    const uint8_t expected[18] = {18, 1, 0x00, 0x02, 9, 0, 1, 64, 1, 0, 2, 0, 0x00, 0x01, 1, 2, 3, 1};
    EXPECT_EQ(std::vector<uint8_t>(d, d + 18), std::vector<uint8_t>(expected, expected + 18));
}

TEST(BenchFile, TheCommentedExampleLoads) {
    std::ifstream file(VOLTARIS_EXAMPLES "/bench-example.toml");
    std::stringstream text;
    text << file.rdbuf();
    ASSERT_FALSE(text.str().empty());
    auto backend = LoadBench(text.str());
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->HostIds().size(), 2u);
}

TEST(DefaultBench, HasTheRealisticShape) {
    auto backend = BLSimCreateDefault();
    ASSERT_TRUE(backend);
    ASSERT_EQ(backend->HostIds().size(), 1u);
    EXPECT_NE(backend->HostIds()[0].find("PCI"), std::string::npos);
    CBenchHolder bench(backend->CreateBenchline());
    CHostController* host = bench->FindFirstHC();
    ASSERT_EQ(host->GetNumberHostPorts(), 8);
    for (uint32_t p = 1; p <= 8; ++p) EXPECT_EQ(host->GetHostPort(p)->IsSuperSpeedPort(), p >= 5) << p;

    struct CExpect {
        uint8_t ParentAddress, ParentPort, Speed;
        bool Hub;
    } expected[] = {
        {0, 1, UsbHighSpeed, true},   {1, 1, UsbHighSpeed, false}, {1, 3, UsbFullSpeed, false},
        {0, 2, UsbHighSpeed, false},  {0, 5, UsbSuperSpeed, true}, {5, 2, UsbSuperSpeed, false},
        {0, 6, UsbSuperSpeed, false},
    };
    for (uint8_t a = 1; a <= 7; ++a) {
        CDevice* device = bench->GetDeviceByDeviceAddress(a);
        ASSERT_TRUE(device) << int(a);
        uint8_t parent = 99, port = 99, speed = 99;
        EXPECT_EQ(device->GetParentHubAddress(&parent), 0);
        EXPECT_EQ(device->GetPhysicalParentHubPort(&port), 0);
        EXPECT_EQ(device->GetDeviceSpeed(&speed), 0);
        EXPECT_EQ(parent, expected[a - 1].ParentAddress) << int(a);
        EXPECT_EQ(port, expected[a - 1].ParentPort) << int(a);
        EXPECT_EQ(device->ParentPort, expected[a - 1].ParentPort) << int(a);
        EXPECT_EQ(speed, expected[a - 1].Speed) << int(a);
        auto* hub = dynamic_cast<CHubDevice*>(device);
        EXPECT_EQ(hub != nullptr, expected[a - 1].Hub) << int(a);
        if (hub) {
            EXPECT_EQ(hub->PortCount, 4);
        }
    }
    EXPECT_EQ(bench->GetDeviceByDeviceAddress(8), nullptr);
    CHubDevice* hub1 = bench->FindFirstHub();
    CHubDevice* hub5 = bench->FindNextHub();
    EXPECT_EQ(hub1, bench->GetDeviceByDeviceAddress(1));
    EXPECT_EQ(hub5, bench->GetDeviceByDeviceAddress(5));
    EXPECT_EQ(bench->FindNextHub(), nullptr);
    uint32_t version = 0;
    EXPECT_EQ(bench->GetBLInterface()->GetDriverVersion(&version), 0);
    EXPECT_EQ(version, 0x01000300u);
}
