// Reads a bench file (TOML) into a simulated world. Every fault in the file
// is refused with one line that names the file, the line and the fault.
#include "sim_world.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <set>

namespace {

struct CBenchError {
    uint32_t Line;
    std::string Message;
};

[[noreturn]] void Fail(const toml::node& node, const std::string& message) {
    throw CBenchError{node.source().begin.line, message};
}

std::string Hex(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

const char* TypeName(const toml::node& node) {
    switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number with a fraction";
    case toml::node_type::boolean: return "a boolean";
    default: return "a date or time";
    }
}

// One table of the file ("[[controller]]" and so on) with the keys it allows.
class CTableReader {
public:
    CTableReader(const toml::table& table, const char* name, std::initializer_list<const char*> keys)
        : m_table(table), m_name(name) {
        for (auto&& [key, node] : table) {
            if (std::find(keys.begin(), keys.end(), key.str()) == keys.end())
                throw CBenchError{key.source().begin.line,
                                  "unknown key \"" + std::string(key.str()) + "\" in " + m_name};
        }
    }

    const toml::node* Find(const char* key) const { return m_table.get(key); }

    const toml::node& Need(const char* key) const {
        const toml::node* node = Find(key);
        if (!node) Fail(m_table, m_name + " needs the key \"" + key + "\"");
        return *node;
    }

    std::string Text(const toml::node& node, const char* key) const {
        if (!node.is_string()) Fail(node, Wrong(node, key, "a string"));
        return node.as_string()->get();
    }

    int64_t Integer(const toml::node& node, const char* key, int64_t min, int64_t max) const {
        if (!node.is_integer()) Fail(node, Wrong(node, key, "an integer"));
        int64_t value = node.as_integer()->get();
        if (value < min || value > max) {
            bool hex = max > 255;
            std::string shown = hex && value >= 0 ? Hex(value) : std::to_string(value);
            Fail(node,
                 "\"" + std::string(key) + "\" = " + shown + " is out of range (" +
                     (hex && min >= 0 ? Hex(min) : std::to_string(min)) + " to " + Hex(max) + ")");
        }
        return value;
    }

    const toml::array* Tables(const char* key) const {
        const toml::node* node = Find(key);
        if (!node) return nullptr;
        const toml::array* array = node->as_array();
        if (!array || !array->is_array_of_tables())
            Fail(*node, Wrong(*node, key, "an array of tables (write [[" + Path(key) + "]])"));
        return array;
    }

private:
    std::string Wrong(const toml::node& node, const char* key, const std::string& expected) const {
        return "\"" + std::string(key) + "\" in " + m_name + " must be " + expected + ", not " + TypeName(node);
    }
    std::string Path(const char* key) const {
        std::string path = m_name.substr(2, m_name.size() - 4);  // "[[controller]]" -> "controller"
        return path.empty() ? key : path + "." + key;
    }

    const toml::table& m_table;
    std::string m_name;
};

// "1.3.2" -> {1, 3, 2}; empty when the text is no port path.
std::vector<uint8_t> ParsePath(const std::string& text) {
    std::vector<uint8_t> path;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('.', start);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(start, end - start);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos) return {};
        int number = std::stoi(part);
        if (number < 1 || number > 255) return {};
        path.push_back(static_cast<uint8_t>(number));
        start = end + 1;
    }
    return path;
}

std::string JoinPath(const std::vector<uint8_t>& path, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += (i ? "." : "") + std::to_string(path[i]);
    return text;
}

// "1.0.3.0" -> 0x01000300.
std::optional<uint32_t> ParseVersion(const std::string& text) {
    unsigned parts[4];
    char end;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) != 4 ||
        text.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    uint32_t version = 0;
    for (unsigned part : parts) {
        if (part > 255) return std::nullopt;
        version = version << 8 | part;
    }
    return version;
}

// Whitespace-separated groups of hex digit pairs: "12 01 00 02" or "12010002".
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string digits;
    auto flush = [&] {
        if (digits.size() % 2) return false;
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
        digits.clear();
        return true;
    };
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (!flush()) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!flush()) return std::nullopt;
    return bytes;
}

constexpr const char* kSpeedNames[] = {"low", "full", "high", "super", "super+"};

std::array<uint8_t, 18> DefaultDescriptor(uint16_t vid, uint16_t pid, uint8_t speed, bool hub) {
    uint16_t bcdUsb = speed == UsbSuperSpeedPlus ? 0x0320
        : speed == UsbSuperSpeed                 ? 0x0300
        : speed == UsbHighSpeed                  ? 0x0200
                                                 : 0x0110;
    uint8_t protocol = !hub ? 0 : speed >= UsbSuperSpeed ? 3 : speed == UsbHighSpeed ? 1 : 0;
    uint8_t maxPacket = speed >= UsbSuperSpeed ? 9 : speed == UsbLowSpeed ? 8 : 64;  // SuperSpeed: 2^9
    return {18,
            1,  // device descriptor
            static_cast<uint8_t>(bcdUsb),
            static_cast<uint8_t>(bcdUsb >> 8),
            static_cast<uint8_t>(hub ? 9 : 0),  // hub class, or class per interface
            0,
            protocol,
            maxPacket,
            static_cast<uint8_t>(vid),
            static_cast<uint8_t>(vid >> 8),
            static_cast<uint8_t>(pid),
            static_cast<uint8_t>(pid >> 8),
            0x00,
            0x01,  // bcdDevice 1.00
            1,
            2,
            3,  // manufacturer, product and serial number strings
            1};
}

// A stable tag from the controller index and the port path (FNV-1a), moved on
// past 0 and past tags already taken.
uint32_t DefaultTag(unsigned controller, const std::string& at, std::set<uint32_t>& taken) {
    uint32_t hash = 2166136261u;
    for (char c : std::to_string(controller) + "/" + at) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    while (hash == 0 || taken.count(hash)) ++hash;
    taken.insert(hash);
    return hash;
}

// A device entry as read, before the tree is built.
struct CDeviceEntry {
    const toml::table* Table;
    std::vector<uint8_t> Path;
    std::unique_ptr<CSimDevice> Device;
    uint8_t HubPorts = 0;
    bool TagGiven = false;
};

class CBenchReader {
public:
    explicit CBenchReader(CSimWorld& world) : m_world(world) {}

    void Read(const toml::table& root) {
        CTableReader file(root, "the bench file", {"controller", "fault"});
        if (const toml::array* controllers = file.Tables("controller"))
            for (const toml::node& node : *controllers) ReadController(*node.as_table());
        if (const toml::array* faults = file.Tables("fault"))
            for (const toml::node& node : *faults) ReadFault(*node.as_table());
        AssignTags();
    }

private:
    void ReadController(const toml::table& table) {
        CTableReader reader(table, "[[controller]]", {"id", "driver_version", "ports", "device"});
        auto controller = std::make_unique<CSimController>();
        controller->Index = static_cast<unsigned>(m_world.Controllers.size());

        const toml::node& idNode = reader.Need("id");
        controller->Id = reader.Text(idNode, "id");
        if (controller->Id.empty() || controller->Id.size() > BL_SIM_MAX_ID)
            Fail(idNode, "\"id\" must have 1 to " + std::to_string(BL_SIM_MAX_ID) + " characters");
        controller->HostId = BL_SIM_HOST_MARK + controller->Id;
        for (const auto& other : m_world.Controllers)
            if (other->Id == controller->Id) Fail(idNode, "controller id \"" + controller->Id + "\" is repeated");

        if (const toml::node* node = reader.Find("driver_version")) {
            auto version = ParseVersion(reader.Text(*node, "driver_version"));
            if (!version)
                Fail(*node,
                     "\"driver_version\" = \"" + node->as_string()->get() +
                         "\" is not a version like \"1.0.3.0\" (four numbers 0 to 255)");
            controller->DriverVersion = *version;
        }

        std::vector<bool> superSpeed = {false, false, false, false, true, true, true, true};
        if (const toml::node* node = reader.Find("ports")) {
            const toml::array* ports = node->as_array();
            if (!ports)
                Fail(*node,
                     "\"ports\" in [[controller]] must be an array of \"usb2\" or \"ss\", not " +
                         std::string(TypeName(*node)));
            if (ports->size() > 255)
                Fail(*node,
                     "\"ports\" lists " + std::to_string(ports->size()) + " root ports; a controller has at most 255");
            superSpeed.clear();
            for (const toml::node& port : *ports) {
                std::string kind = port.is_string() ? port.as_string()->get() : "";
                if (kind != "usb2" && kind != "ss") Fail(port, "a root port in \"ports\" must be \"usb2\" or \"ss\"");
                superSpeed.push_back(kind == "ss");
            }
        }
        for (size_t i = 0; i < superSpeed.size(); ++i) {
            auto port = std::make_unique<CSimPort>();
            port->Controller = controller.get();
            port->Number = static_cast<uint8_t>(i + 1);
            port->SuperSpeed = superSpeed[i];
            controller->Ports.push_back(std::move(port));
        }

        std::vector<CDeviceEntry> entries;
        if (const toml::array* devices = reader.Tables("device"))
            for (const toml::node& node : *devices) entries.push_back(ReadDevice(*node.as_table()));
        BuildTree(*controller, entries);
        m_world.Controllers.push_back(std::move(controller));
    }

    CDeviceEntry ReadDevice(const toml::table& table) {
        CTableReader reader(table, "[[controller.device]]",
                            {"at", "vid", "pid", "serial", "speed", "hub_ports", "tag", "descriptor"});
        CDeviceEntry entry{&table, {}, std::make_unique<CSimDevice>()};
        CSimDevice& device = *entry.Device;

        const toml::node& at = reader.Need("at");
        device.At = reader.Text(at, "at");
        entry.Path = ParsePath(device.At);
        if (entry.Path.empty())
            Fail(at, "\"at\" = \"" + device.At + "\" is not a port path like \"1\", \"1.3\" or \"1.3.2\"");
        device.Vid = static_cast<uint16_t>(reader.Integer(reader.Need("vid"), "vid", 0, 0xFFFF));
        device.Pid = static_cast<uint16_t>(reader.Integer(reader.Need("pid"), "pid", 0, 0xFFFF));
        if (const toml::node* node = reader.Find("serial"))
            device.Serial = static_cast<uint16_t>(reader.Integer(*node, "serial", 0, 0xFFFF));

        const toml::node& speedNode = reader.Need("speed");
        std::string speed = reader.Text(speedNode, "speed");
        auto name = std::find(std::begin(kSpeedNames), std::end(kSpeedNames), speed);
        if (name == std::end(kSpeedNames))
            Fail(speedNode, "\"speed\" = \"" + speed + "\" is not one of low, full, high, super, super+");
        device.Speed = static_cast<uint8_t>(name - std::begin(kSpeedNames));

        if (const toml::node* node = reader.Find("hub_ports"))
            entry.HubPorts = static_cast<uint8_t>(reader.Integer(*node, "hub_ports", 1, 255));
        if (const toml::node* node = reader.Find("tag")) {
            device.Tag = static_cast<uint32_t>(reader.Integer(*node, "tag", 0, 0xFFFFFFFF));
            entry.TagGiven = true;
        }
        if (const toml::node* node = reader.Find("descriptor")) {
            auto bytes = ParseHexBytes(reader.Text(*node, "descriptor"));
            if (!bytes || bytes->size() != device.Descriptor.size())
                Fail(*node, "\"descriptor\" must be 18 bytes as hex digit pairs, like \"12 01 00 02 ...\"");
            std::copy(bytes->begin(), bytes->end(), device.Descriptor.begin());
        } else {
            device.Descriptor = DefaultDescriptor(device.Vid, device.Pid, device.Speed, entry.HubPorts > 0);
        }
        return entry;
    }

    // Checks where every device hangs, then links the devices below their
    // ports in depth-first port order (the order of their addresses).
    void BuildTree(CSimController& controller, std::vector<CDeviceEntry>& entries) {
        std::map<std::string, CDeviceEntry*> byPath;
        for (auto& entry : entries) {
            if (byPath.size() == 254)
                Fail(*entry.Table, "more than 254 devices on controller \"" + controller.Id + "\"");
            if (!byPath.emplace(entry.Device->At, &entry).second)
                Fail(*entry.Table->get("at"), "a device at \"" + entry.Device->At + "\" is already listed");
        }
        for (auto& entry : entries) {
            const toml::node& at = *entry.Table->get("at");
            CSimDevice& device = *entry.Device;
            unsigned root = entry.Path[0];
            if (root > controller.Ports.size())
                Fail(at,
                     "root port " + std::to_string(root) + " does not exist: controller \"" + controller.Id +
                         "\" has " + std::to_string(controller.Ports.size()) + " root ports");
            bool above = controller.Ports[root - 1]->SuperSpeed;
            std::string aboveName = above ? "SuperSpeed root port " : "USB 2.0 root port ";
            aboveName += std::to_string(root);
            if (entry.Path.size() > 1) {
                std::string parentAt = JoinPath(entry.Path, entry.Path.size() - 1);
                auto parent = byPath.find(parentAt);
                if (parent == byPath.end())
                    Fail(at, "no device is listed at \"" + parentAt + "\" for the device at \"" + device.At + "\"");
                CDeviceEntry& hub = *parent->second;
                if (hub.HubPorts == 0) Fail(at, "the device at \"" + parentAt + "\" is not a hub (no \"hub_ports\")");
                if (entry.Path.back() > hub.HubPorts)
                    Fail(at,
                         "the hub at \"" + parentAt + "\" has " + std::to_string(hub.HubPorts) + " ports, no port " +
                             std::to_string(entry.Path.back()));
                above = hub.Device->Speed >= UsbSuperSpeed;
                aboveName = (above ? "the SuperSpeed hub at \"" : "the USB 2.0 hub at \"") + parentAt + "\"";
            }
            bool super = device.Speed >= UsbSuperSpeed;
            if (super != above)
                Fail(at,
                     std::string(super ? "a SuperSpeed"
                                       : "a USB 2.0 (" + std::string(kSpeedNames[device.Speed]) + "-speed)") +
                         " device cannot hang on " + aboveName);
        }

        std::sort(entries.begin(), entries.end(),
                  [](const CDeviceEntry& a, const CDeviceEntry& b) { return a.Path < b.Path; });
        for (auto& entry : entries) {
            CSimDevice& device = *entry.Device;
            device.Controller = &controller;
            for (unsigned i = 1; i <= entry.HubPorts; ++i) {
                auto port = std::make_unique<CSimPort>();
                port->Controller = &controller;
                port->Hub = &device;
                port->Number = static_cast<uint8_t>(i);
                port->SuperSpeed = device.Speed >= UsbSuperSpeed;
                device.Ports.push_back(std::move(port));
            }
            CSimPort* upstream = controller.Ports[entry.Path[0] - 1].get();
            for (size_t level = 1; level < entry.Path.size(); ++level)
                upstream = upstream->Device->Ports[entry.Path[level] - 1].get();
            upstream->Device = &device;
            device.Upstream = upstream;
            if (entry.TagGiven) m_givenTags.insert(device.Tag);
            else m_tagless.push_back(&device);
            controller.Devices.push_back(std::move(entry.Device));
        }
    }

    void AssignTags() {
        for (CSimDevice* device : m_tagless)
            device->Tag = DefaultTag(device->Controller->Index, device->At, m_givenTags);
    }

    void ReadFault(const toml::table& table) {
        CTableReader reader(table, "[[fault]]", {"request", "target", "args", "status", "value", "count"});
        CSimFault fault;
        const toml::node& request = reader.Need("request");
        fault.Request = reader.Text(request, "request");
        if (!SimIsRequestName(fault.Request)) Fail(request, "unknown request \"" + fault.Request + "\" in [[fault]]");
        if (const toml::node* node = reader.Find("target")) fault.Target = reader.Text(*node, "target");
        if (const toml::node* node = reader.Find("args")) fault.Args = reader.Text(*node, "args");
        fault.Status = static_cast<BLSTATUS>(
            static_cast<uint32_t>(reader.Integer(reader.Need("status"), "status", INT32_MIN, 0xFFFFFFFF)));
        if (const toml::node* node = reader.Find("value"))
            fault.Value = static_cast<uint32_t>(reader.Integer(*node, "value", 0, 0xFFFFFFFF));
        if (const toml::node* node = reader.Find("count"))
            fault.Count = static_cast<uint64_t>(reader.Integer(*node, "count", 0, INT64_MAX));
        m_world.Faults.push_back(std::move(fault));
    }

    CSimWorld& m_world;
    std::set<uint32_t> m_givenTags;
    std::vector<CSimDevice*> m_tagless;
};

// Control characters (from the file's own text) escaped, so the error stays
// one printable line.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            out += static_cast<char>(c);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c == '\n' ? "\\n" : "\\x%02X", c);
        out += escaped;
    }
    return out;
}

}  // namespace

bool SimLoadBench(const std::string& text, const std::string& sourceName, CSimWorld& world, std::string& error) {
    try {
        toml::table root = toml::parse(text, sourceName);
        CBenchReader(world).Read(root);
        return true;
    } catch (const toml::parse_error& e) {
        error = Printable("bench file " + sourceName + ":" + std::to_string(e.source().begin.line) + ": " +
                          std::string(e.description()));
    } catch (const CBenchError& e) {
        error = Printable("bench file " + sourceName + ":" + std::to_string(e.Line) + ": " + e.Message);
    }
    world.Controllers.clear();
    world.Faults.clear();
    return false;
}
