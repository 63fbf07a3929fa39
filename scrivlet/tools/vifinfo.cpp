// vifinfo: shows what libscrivlet reads from a Vendor Info File: its fields,
// the fields whose names match a pattern, or its device or hub summary.
#include "voltaris_version.h"

#include <scrivlet/scrivlet.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int VIFINFO_OK = 0;
constexpr int VIFINFO_FAILED = 1;      // the file cannot be read, or the library failed
constexpr int VIFINFO_USAGE = 2;       // bad command line, or a pattern invalid or refused
constexpr int VIFINFO_NOT_VALID = 3;   // --summary: the file does not fit the role

constexpr const char* VIFINFO_USAGE_TEXT =
    "usage: vifinfo [--component N] FILE                       list the fields of a Vendor Info File\n"
    "       vifinfo [--component N] --match REGEX FILE         list the fields whose names match REGEX\n"
    "       vifinfo [--component N] --summary device|hub FILE  print the summary and whether it is valid\n"
    "FILE is a text file of Name: value lines or an XML Vendor Info File; --component N reads\n"
    "the fields outside Component blocks and those of the Nth Component block (from 0) only.\n";

int UsageError(const char* message) {
    std::fprintf(stderr, "vifinfo: %s\n%s", message, VIFINFO_USAGE_TEXT);
    return VIFINFO_USAGE;
}

void NoteNoField(const char* path) {
    std::fprintf(stderr, "vifinfo: note: %s yields no field: no line has the form Name: value\n", path);
}

// A component index: decimal digits only.
bool ParseComponent(std::string_view text, std::size_t& component) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    component = std::stoul(std::string(text));
    return true;
}

void PrintFields(const std::vector<CVIFField>& fields) {
    for (const CVIFField& field : fields) std::printf("%s\n", field.MakeOutputString().get());
}

int PrintSummary(EUsbType role, const char* path, const std::size_t* component) {
    const CVIFSummary summary = component ? CVIFSummary(role, path, *component) : CVIFSummary(role, path);
    std::printf("role: %s\nvalid: %s\npath: %s\ndisplay: %s\nconnector: %s\nspeed: %s\nport: %u\n",
                role == UsbHub ? "hub" : "device", summary.IsValid() ? "yes" : "no",
                summary.Path().get(), summary.Display().get(), summary.ConnectType().get(),
                summary.Speed().get(), summary.PortNumber());
    return summary.IsValid() ? VIFINFO_OK : VIFINFO_NOT_VALID;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::puts("vifinfo " VOLTARIS_VERSION);
        return VIFINFO_OK;
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(VIFINFO_USAGE_TEXT, stdout);
        return VIFINFO_OK;
    }

    std::size_t componentIndex = 0;
    const std::size_t* component = nullptr;
    int first = 1;
    if (!args.empty() && args[0] == "--component") {
        if (args.size() < 2 || !ParseComponent(args[1], componentIndex))
            return UsageError("--component takes a number");
        component = &componentIndex;
        args.erase(args.begin(), args.begin() + 2);
        first = 3;
    }
    const char* pattern = nullptr;
    const char* roleName = nullptr;
    if (args.size() == 3 && args[0] == "--match") {
        pattern = argv[first + 1];
    } else if (args.size() == 3 && args[0] == "--summary") {
        roleName = argv[first + 1];
        if (args[1] != "device" && args[1] != "hub")
            return UsageError("--summary takes device or hub");
    } else if (args.size() != 1) {
        return UsageError(args.empty() ? "no file given" : "wrong arguments");
    } else if (args[0].size() > 1 && args[0][0] == '-') {
        return UsageError("unknown option");
    }
    const char* path = argv[argc - 1];

    try {
        auto file = std::make_unique<CVendorInfoFile>(path);
        if (component && *component >= file->ComponentCount()) {
            std::fprintf(stderr, "vifinfo: %s has no component %zu (it has %zu)\n", path, *component,
                         file->ComponentCount());
            return VIFINFO_USAGE;
        }
        if (component) file = std::make_unique<CVendorInfoFile>(path, *component);
        if (file->Count() == 0) NoteNoField(path);

        if (roleName != nullptr)
            return PrintSummary(std::string_view(roleName) == "hub" ? UsbHub : UsbDevice, path, component);
        FieldListPtr fields;
        try {
            fields = file->GetFields(pattern);
        } catch (const std::regex_error& error) {
            std::fprintf(stderr, "vifinfo: invalid pattern \"%s\": %s\n", pattern, error.what());
            return VIFINFO_USAGE;
        } catch (const CQXRunTimeException& error) {
            // Only the pattern can make a query fail: too long, too deep, too costly.
            std::fprintf(stderr, "vifinfo: pattern refused: %s\n", error.what());
            return VIFINFO_USAGE;
        }
        PrintFields(*fields);
        if (fields->empty() && file->Count() != 0)
            std::fprintf(stderr, "vifinfo: note: no field of %s matches \"%s\"\n", path, pattern);
        return VIFINFO_OK;
    } catch (const CQXRunTimeException& error) {
        std::fprintf(stderr, "vifinfo: %s\n", error.what());
        return VIFINFO_FAILED;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vifinfo: %s: %s\n", path, error.what());
        return VIFINFO_FAILED;
    }
}
