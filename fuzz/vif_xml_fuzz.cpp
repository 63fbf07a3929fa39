// Reads the input as an XML Vendor Info File (an XML declaration is put in
// front when the input has none), whole and component by component: each
// must end in fields or a CQXRunTimeException, and a component's fields must
// be fields of the whole file in the same order.
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
        while (at < whole->size() && (std::string_view((*whole)[at].Name()) != field.Name() ||
                                      std::string_view((*whole)[at].Value()) != field.Value()))
            ++at;
        if (at++ == whole->size()) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    if (input.rfind("<?xml", 0) != 0 && input.rfind("\xEF\xBB\xBF", 0) != 0 &&
        input.rfind("\xFF\xFE", 0) != 0 && input.rfind("\xFE\xFF", 0) != 0)
        input.insert(0, "<?xml version=\"1.0\"?>");
    const std::string path =
        WriteVifInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    try {
        const CVendorInfoFile file(path.c_str());
        const FieldListPtr all = file.GetFields();
        if (all->size() != file.Count()) std::abort();
        for (std::size_t c = 0; c < std::min(file.ComponentCount(), XML_FUZZ_COMPONENTS); ++c) {
            const CVendorInfoFile one(path.c_str(), c);
            if (one.ComponentCount() != file.ComponentCount() || !IsSubsequence(one.GetFields(), all))
                std::abort();
        }
        try {
            CVendorInfoFile none(path.c_str(), file.ComponentCount());
            std::abort();
        } catch (const CQXRunTimeException&) {
        }
        CVIFSummary(UsbHub, path.c_str(), 0);
    } catch (const CQXRunTimeException&) {
    }
    return 0;
}
