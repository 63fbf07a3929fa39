// vifinfo: shows what libscrivlet reads from Vendor Info Files: their fields,
// the fields a pattern or a name picks, a device or hub summary with why it
// is not valid, the components, and what the reader skipped; as text or JSON.
#include "voltaris_version.h"

#include <scrivlet/scrivlet.h>

#include <nlohmann/json.hpp>

#include <strings.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

constexpr int VIFINFO_OK = 0;
constexpr int VIFINFO_FAILED = 1;     // the file cannot be read, or the library failed
constexpr int VIFINFO_USAGE = 2;      // bad command line, a pattern invalid or refused, no such component
constexpr int VIFINFO_NOT_VALID = 3;  // --summary: the file does not fit the role

constexpr const char* VIFINFO_USAGE_TEXT =
    "usage: vifinfo [OPTION]... FILE...\n"
    "  (no option)            list the fields of each Vendor Info File\n"
    "  --match REGEX          list the fields whose whole names match REGEX (any letter case)\n"
    "  --name NAME            list the fields named NAME (any letter case; $ needs no escaping)\n"
    "  --summary device|hub   print the summary, whether it is valid, and why not\n"
    "  --components           print how many components a file has and each one's port label\n"
    "  --component N          read the fields outside Component blocks and those of the Nth\n"
    "                         Component block (from 0) only\n"
    "  --warnings             print what the reader skipped although it looks like a field\n"
    "  --json                 print JSON: an array with one object per file\n"
    "  --version, --help\n"
    "FILE is a text file of Name: value lines or an XML Vendor Info File. Options may stand\n"
    "in any order; -- ends them.\n";

enum class EMode { Fields, Match, Name, Summary, Components };

struct SOptions {
    EMode mode = EMode::Fields;
    const char* argument = nullptr;  // the pattern or the name
    EUsbType role = UsbDevice;
    std::optional<std::size_t> component;
    bool json = false;
    bool warnings = false;
    std::vector<const char*> files;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "vifinfo: %s\n%s", message.c_str(), VIFINFO_USAGE_TEXT);
    return VIFINFO_USAGE;
}

// A component index: decimal digits only.
bool ParseComponent(std::string_view text, std::size_t& component) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
    component = std::stoul(std::string(text));
    return true;
}

// Fills the options; returns an exit status when the command line is wrong
// or asked for help or the version.
std::optional<int> ParseOptions(int argc, char** argv, SOptions& options) {
    bool modeGiven = false;
    auto setMode = [&](EMode mode) {
        if (modeGiven) return false;
        modeGiven = true;
        options.mode = mode;
        return true;
    };
    const char* const modeClash = "choose one of --match, --name, --summary and --components";
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-') {
            options.files.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--version" || arg == "--help" || arg == "-h") {
            if (argc != 2) return UsageError(std::string(arg) + " stands alone");
            std::fputs(arg == "--version" ? "vifinfo " VOLTARIS_VERSION "\n" : VIFINFO_USAGE_TEXT, stdout);
            return VIFINFO_OK;
        } else if (arg == "--match" || arg == "--name") {
            if (!hasValue) return UsageError(std::string(arg) + " takes a text");
            if (!setMode(arg == "--match" ? EMode::Match : EMode::Name)) return UsageError(modeClash);
            options.argument = argv[++i];
        } else if (arg == "--summary") {
            if (!hasValue || (std::string_view(argv[i + 1]) != "device" && std::string_view(argv[i + 1]) != "hub"))
                return UsageError("--summary takes device or hub");
            if (!setMode(EMode::Summary)) return UsageError(modeClash);
            options.role = std::string_view(argv[++i]) == "hub" ? UsbHub : UsbDevice;
        } else if (arg == "--components") {
            if (!setMode(EMode::Components)) return UsageError(modeClash);
        } else if (arg == "--component") {
            std::size_t component = 0;
            if (!hasValue || !ParseComponent(argv[i + 1], component)) return UsageError("--component takes a number");
            options.component = component;
            ++i;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--warnings") {
            options.warnings = true;
        } else {
            return UsageError("unknown option " + std::string(arg));
        }
    }
    if (options.files.empty()) return UsageError("no file given");
    if (options.mode == EMode::Components && options.component)
        return UsageError("--components lists every component; --component reads one");
    return std::nullopt;
}

// The gravest of two exit statuses: a usage fault, then a failure, then an
// invalid summary.
int Graver(int a, int b) {
    auto rank = [](int status) {
        return status == VIFINFO_USAGE ? 3 : status == VIFINFO_FAILED ? 2 : status == VIFINFO_NOT_VALID ? 1 : 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

Json FieldJson(const CVIFField& field, std::size_t line) {
    Json numeric = nullptr;
    if (field.IsNumeric()) {
        try {
            numeric = field.GetULongNumericValue();
        } catch (const std::logic_error&) {  // beyond 64 bits
        }
    }
    return {{"name", field.Name()}, {"value", field.Value()}, {"numeric", numeric}, {"line", line}};
}

// Why a summary of the file is not valid: each field it reads, missing,
// repeated or out of its table, or else the rule the values fail.
std::vector<std::string> WhyNotValid(const CVendorInfoFile& file, EUsbType role, const SOptions& options) {
    std::vector<std::string> reasons;
    // The value of a field read once, or nothing with the reason why not.
    auto read = [&](const char* name, std::uint64_t limit) -> std::optional<std::uint64_t> {
        const FieldListPtr fields = file.GetFields(("^" + std::string(name) + "$").c_str());
        if (fields->size() != 1) {
            reasons.push_back(
                std::string(name) +
                (fields->empty() ? " is missing" : " occurs " + std::to_string(fields->size()) + " times"));
            return std::nullopt;
        }
        const CVIFField& field = fields->front();
        try {
            const std::uint64_t value = field.GetULongNumericValue();
            if (value <= limit) return value;
        } catch (const std::logic_error&) {}
        reasons.push_back(std::string(name) + " is " + field.Value() + ", not one of 0 to " + std::to_string(limit));
        return std::nullopt;
    };
    constexpr std::uint64_t anyValue = 0xFFFFFFFFu;
    const auto connector = read("Connector_Type", 2);
    const auto speed = read(role == UsbHub ? "Host_Speed" : "Device_Speed", 4);
    if (role == UsbDevice) {
        const auto device = connector == 2u ? read("Type_C_Can_Act_As_Device", anyValue) : std::nullopt;
        if (device && *device != 1)
            reasons.push_back("Type_C_Can_Act_As_Device is " + std::to_string(*device) + ", not 1");
        if (connector == 0u) reasons.push_back("Connector_Type is 0 (Type-A), which a device does not have");
    } else {
        const bool host = connector == 2u && read("Type_C_Can_Act_As_Host", anyValue) == 1u;
        const bool onHub = host && read("Type_C_Port_On_Hub", anyValue) == 1u;
        const auto port = read("Hub_Port_Number", anyValue);
        if (reasons.empty() && !onHub)
            reasons.push_back("the connector is neither Type-A nor a Type-C port on a hub, and Hub_Port_Number " +
                              std::to_string(port.value_or(0)) + " is not 1 to " + (speed == 0u ? "255" : "15"));
    }
    if (reasons.empty()) reasons.push_back("the values do not fit the role");
    if (file.ComponentCount() > 1 && !options.component)
        reasons.push_back("the file has " + std::to_string(file.ComponentCount()) +
                          " components; --component N reads one of them");
    return reasons;
}

Json Summary(const CVendorInfoFile& file, const char* path, const SOptions& options, int& status) {
    const CVIFSummary summary =
        options.component ? CVIFSummary(options.role, path, *options.component) : CVIFSummary(options.role, path);
    status = summary.IsValid() ? VIFINFO_OK : VIFINFO_NOT_VALID;
    Json reasons = Json::array();
    if (!summary.IsValid())
        for (const std::string& reason : WhyNotValid(file, options.role, options)) reasons.push_back(reason);
    return {{"role", options.role == UsbHub ? "hub" : "device"},
            {"valid", summary.IsValid()},
            {"path", summary.Path().get()},
            {"display", summary.Display().get()},
            {"connector", summary.ConnectType().get()},
            {"speed", summary.Speed().get()},
            {"port", summary.PortNumber()},
            {"reasons", reasons}};
}

Json Components(const char* path, std::size_t count) {
    Json components = Json::array();
    for (std::size_t c = 0; c < count; ++c) {
        const CVendorInfoFile one(path, c);
        const FieldListPtr labels = one.GetFields("^\\$Port_Label$");
        Json label = nullptr;
        if (!labels->empty()) label = labels->back().Value();  // the component's own comes last
        components.push_back({{"index", c}, {"port_label", label}});
    }
    return components;
}

// The fields the mode picks, each with its line.
Json PickFields(const CVendorInfoFile& file, const SOptions& options) {
    const char* pattern = options.mode == EMode::Match ? options.argument : nullptr;
    const FieldListPtr fields = file.GetFields(pattern);
    const LineListPtr lines = GetFieldLines(file, pattern);
    Json picked = Json::array();
    for (std::size_t i = 0; i < fields->size(); ++i) {
        const CVIFField& field = (*fields)[i];
        if (options.mode == EMode::Name && strcasecmp(field.Name(), options.argument) != 0) continue;
        picked.push_back(FieldJson(field, (*lines)[i]));
    }
    return picked;
}

void PrintText(const Json& entry) {
    if (entry.contains("summary")) {
        const Json& summary = entry["summary"];
        std::printf("role: %s\nvalid: %s\npath: %s\ndisplay: %s\nconnector: %s\nspeed: %s\nport: %u\n",
                    summary["role"].get<std::string>().c_str(), summary["valid"].get<bool>() ? "yes" : "no",
                    summary["path"].get<std::string>().c_str(), summary["display"].get<std::string>().c_str(),
                    summary["connector"].get<std::string>().c_str(), summary["speed"].get<std::string>().c_str(),
                    summary["port"].get<unsigned>());
        for (const Json& reason : summary["reasons"]) std::printf("why: %s\n", reason.get<std::string>().c_str());
    } else if (entry.contains("component_list")) {
        std::printf("components: %zu\n", entry["components"].get<std::size_t>());
        for (const Json& component : entry["component_list"])
            std::printf(
                "%zu: port label %s\n", component["index"].get<std::size_t>(),
                component["port_label"].is_null() ? "(none)" : component["port_label"].get<std::string>().c_str());
    } else if (entry.contains("fields")) {
        for (const Json& field : entry["fields"]) {
            const std::string name = field["name"], value = field["value"];
            std::printf(name[0] == '$' ? "%s=\"%s\"\n" : "%s=%s\n", name.c_str(), value.c_str());
        }
    }
}

void NoteNothingPicked(const char* path, const SOptions& options) {
    if (options.mode == EMode::Name) {
        std::fprintf(stderr, "vifinfo: note: no field of %s is named \"%s\"\n", path, options.argument);
    } else if (options.argument[0] == '$') {
        std::fprintf(stderr,
                     "vifinfo: note: no field of %s matches \"%s\"; in a pattern $ ends the name: write "
                     "\\%s, or --name '%s'\n",
                     path, options.argument, options.argument, options.argument);
    } else {
        std::fprintf(stderr, "vifinfo: note: no field of %s matches \"%s\"\n", path, options.argument);
    }
}

void PrintWarnings(const char* path, const Json& warnings, std::size_t total) {
    for (const Json& warning : warnings)
        std::fprintf(stderr, "vifinfo: warning: %s:%zu: %s: %s\n", path, warning["line"].get<std::size_t>(),
                     warning["text"].get<std::string>().c_str(), warning["reason"].get<std::string>().c_str());
    if (total > warnings.size())
        std::fprintf(stderr, "vifinfo: warning: %s: %zu more not kept\n", path, total - warnings.size());
}

// Reads one file and fills its entry; returns its exit status.
int ReadOne(const char* path, const SOptions& options, Json& entry) {
    try {
        auto file = std::make_unique<CVendorInfoFile>(path);
        const std::size_t components = file->ComponentCount();
        entry["components"] = components;
        if (options.component) {
            if (*options.component >= components) {
                entry["error"] = std::string(path) + " has no component " + std::to_string(*options.component) +
                    " (it has " + std::to_string(components) + ")";
                return VIFINFO_USAGE;
            }
            entry["component"] = *options.component;
            file = std::make_unique<CVendorInfoFile>(path, *options.component);
        }
        if (file->Count() == 0)
            std::fprintf(stderr, "vifinfo: note: %s yields no field: no line has the form Name: value\n", path);
        const std::size_t warningCount = CountWarnings(*file);
        entry["warning_count"] = warningCount;
        if (options.warnings) {
            Json warnings = Json::array();
            const WarningListPtr list = GetWarnings(*file);
            for (const CVIFWarning& warning : *list)
                warnings.push_back({{"line", warning.m_Line}, {"text", warning.m_Text}, {"reason", warning.m_Reason}});
            entry["warnings"] = warnings;
        } else if (warningCount > 0 && !options.json) {
            std::fprintf(stderr, "vifinfo: note: %s has %zu warning%s; --warnings lists them\n", path, warningCount,
                         warningCount == 1 ? "" : "s");
        }

        int status = VIFINFO_OK;
        switch (options.mode) {
        case EMode::Summary: entry["summary"] = Summary(*file, path, options, status); return status;
        case EMode::Components: entry["component_list"] = Components(path, components); return status;
        default: break;
        }
        try {
            entry["fields"] = PickFields(*file, options);
        } catch (const std::regex_error& error) {
            entry["error"] = "invalid pattern \"" + std::string(options.argument) + "\": " + error.what();
            return VIFINFO_USAGE;
        } catch (const CQXRunTimeException& error) {
            // Only the pattern can make a query fail: too long, too deep, too costly.
            entry["error"] = std::string("pattern refused: ") + error.what();
            return VIFINFO_USAGE;
        }
        if (entry["fields"].empty() && file->Count() != 0 && options.argument) NoteNothingPicked(path, options);
        return status;
    } catch (const CQXRunTimeException& error) {
        entry["error"] = error.what();
    } catch (const std::exception& error) {
        entry["error"] = std::string(path) + ": " + error.what();
    }
    return VIFINFO_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
    SOptions options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options)) return *status;

    int status = VIFINFO_OK;
    Json all = Json::array();
    for (const char* path : options.files) {
        Json entry = {{"file", path}};
        const int fileStatus = ReadOne(path, options, entry);
        status = Graver(status, fileStatus);
        if (entry.contains("error")) std::fprintf(stderr, "vifinfo: %s\n", entry["error"].get<std::string>().c_str());
        if (options.warnings && entry.contains("warnings") && !options.json)
            PrintWarnings(path, entry["warnings"], entry["warning_count"]);
        if (options.json) {
            all.push_back(std::move(entry));
            continue;
        }
        if (options.files.size() > 1) std::printf("%s==> %s <==\n", path == options.files.front() ? "" : "\n", path);
        PrintText(entry);
    }
    if (options.json) std::puts(all.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    return status;
}
