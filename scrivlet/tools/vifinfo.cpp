// vifinfo: shows what libscrivlet reads from a Vendor Info File: its fields,
// the fields whose names match a pattern, or its device or hub summary.
#include "voltaris_version.h"

#include <scrivlet/scrivlet.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

constexpr int VIFINFO_OK = 0;
constexpr int VIFINFO_FAILED = 1;      // the file cannot be read, or the library failed
constexpr int VIFINFO_USAGE = 2;       // bad command line or pattern
constexpr int VIFINFO_NOT_VALID = 3;   // --summary: the file does not fit the role

constexpr const char* VIFINFO_USAGE_TEXT =
    "usage: vifinfo FILE                       list the fields of a Vendor Info File\n"
    "       vifinfo --match REGEX FILE         list the fields whose names match REGEX\n"
    "       vifinfo --summary device|hub FILE  print the summary and whether it is valid\n";

int UsageError(const char* message) {
    std::fprintf(stderr, "vifinfo: %s\n%s", message, VIFINFO_USAGE_TEXT);
    return VIFINFO_USAGE;
}

// Whether the file's first visible character opens an XML element.
bool LooksLikeXml(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(256, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.rfind("\xEF\xBB\xBF", 0) == 0) head.erase(0, 3);
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    return first != std::string::npos && head[first] == '<';
}

void NoteNoField(const char* path) {
    if (LooksLikeXml(path))
        std::fprintf(stderr,
                     "vifinfo: note: %s yields no field: it looks like an XML Vendor Info File, "
                     "and this reader reads only the text format of Name: value lines\n",
                     path);
    else
        std::fprintf(stderr, "vifinfo: note: %s yields no field: no line has the form Name: value\n",
                     path);
}

void PrintFields(const std::vector<CVIFField>& fields) {
    for (const CVIFField& field : fields) std::printf("%s\n", field.MakeOutputString().get());
}

int PrintSummary(EUsbType role, const char* path) {
    const CVIFSummary summary(role, path);
    std::printf("role: %s\nvalid: %s\npath: %s\ndisplay: %s\nconnector: %s\nspeed: %s\nport: %u\n",
                role == UsbHub ? "hub" : "device", summary.IsValid() ? "yes" : "no",
                summary.Path().get(), summary.Display().get(), summary.ConnectType().get(),
                summary.Speed().get(), summary.PortNumber());
    return summary.IsValid() ? VIFINFO_OK : VIFINFO_NOT_VALID;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::puts("vifinfo " VOLTARIS_VERSION);
        return VIFINFO_OK;
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(VIFINFO_USAGE_TEXT, stdout);
        return VIFINFO_OK;
    }

    const char* pattern = nullptr;
    const char* roleName = nullptr;
    if (args.size() == 3 && args[0] == "--match") {
        pattern = argv[2];
    } else if (args.size() == 3 && args[0] == "--summary") {
        roleName = argv[2];
        if (args[1] != "device" && args[1] != "hub")
            return UsageError("--summary takes device or hub");
    } else if (args.size() != 1) {
        return UsageError(args.empty() ? "no file given" : "wrong arguments");
    } else if (args[0].size() > 1 && args[0][0] == '-') {
        return UsageError("unknown option");
    }
    const char* path = argv[argc - 1];

    try {
        const CVendorInfoFile file(path);
        if (file.Count() == 0) NoteNoField(path);
        if (roleName != nullptr)
            return PrintSummary(std::string_view(roleName) == "hub" ? UsbHub : UsbDevice, path);
        const FieldListPtr fields = file.GetFields(pattern);
        PrintFields(*fields);
        if (fields->empty() && file.Count() != 0)
            std::fprintf(stderr, "vifinfo: note: no field of %s matches \"%s\"\n", path, pattern);
        return VIFINFO_OK;
    } catch (const std::regex_error& error) {
        std::fprintf(stderr, "vifinfo: invalid pattern \"%s\": %s\n", pattern ? pattern : "",
                     error.what());
        return VIFINFO_USAGE;
    } catch (const CQXRunTimeException& error) {
        std::fprintf(stderr, "vifinfo: %s\n", error.what());
        return VIFINFO_FAILED;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vifinfo: %s: %s\n", path, error.what());
        return VIFINFO_FAILED;
    }
}
