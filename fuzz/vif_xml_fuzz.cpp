// Reads the input as an XML Vendor Info File, whole and component by
// component: each must end in fields or a CQXRunTimeException, and a
// component's fields must be fields of the whole file in the same order.
// The first byte chooses how the rest is dressed: with a declaration of one
// of several encodings, after a comment, or as UTF-16 without a mark.
#include "vif_fuzz_input.h"

#include <scrivlet/scrivlet.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t XML_FUZZ_COMPONENTS = 3;

bool IsSubsequence(const FieldListPtr& part, const FieldListPtr& whole) {
    std::size_t at = 0;
    for (const CVIFField& field : *part) {
        while (at < whole->size() &&
               (std::string_view((*whole)[at].Name()) != field.Name() ||
                std::string_view((*whole)[at].Value()) != field.Value()))
            ++at;
        if (at++ == whole->size()) return false;
    }
    return true;
}

constexpr const char* XML_FUZZ_ENCODINGS[] = {"utf8",  "latin1",  "windows-1252", "Shift_JIS",
                                              "UTF-7", "GB18030", "UTF-16",       "x-unknown"};

std::string Dress(unsigned char how, std::string body) {
    const std::size_t encodings = std::size(XML_FUZZ_ENCODINGS);
    if (how < encodings)
        return std::string("<?xml version=\"1.0\" encoding=\"") + XML_FUZZ_ENCODINGS[how] + "\"?>" + body;
    if (how == encodings) return "<!-- c -->\n\n<?xml version=\"1.0\"?>" + body;
    if (how == encodings + 1 || how == encodings + 2) {  // UTF-16 without a mark, either byte order
        std::string wide;
        for (char c : "<?xml version=\"1.0\"?>" + body) {
            if (how == encodings + 2) wide += '\0';
            wide += c;
            if (how == encodings + 1) wide += '\0';
        }
        return wide;
    }
    return body;  // as it is
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string input = Dress(data[0] % 16, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    const std::string path = WriteVifInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    try {
        const CVendorInfoFile file(path.c_str());
        const FieldListPtr all = file.GetFields();
        if (all->size() != file.Count() || GetFieldLines(file, nullptr)->size() != file.Count() ||
            GetWarnings(file)->size() > SCRIVLET_MAX_WARNINGS)
            std::abort();
        for (std::size_t c = 0; c < std::min(file.ComponentCount(), XML_FUZZ_COMPONENTS); ++c) {
            const CVendorInfoFile one(path.c_str(), c);
            if (one.ComponentCount() != file.ComponentCount() || !IsSubsequence(one.GetFields(), all)) std::abort();
        }
        try {
            CVendorInfoFile none(path.c_str(), file.ComponentCount());
            std::abort();
        } catch (const CQXRunTimeException&) {}
        CVIFSummary(UsbHub, path.c_str(), 0);
    } catch (const CQXRunTimeException&) {}
    return 0;
}
