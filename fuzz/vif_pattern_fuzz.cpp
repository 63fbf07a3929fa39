// Runs a random pattern against random field names: the input's first line
// is the pattern, each further line a name. Every query must end in an
// answer, std::regex_error or CQXRunTimeException, and the queries must
// agree with each other.
#include <scrivlet/scrivlet.h>

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = std::min(input.find('\n'), input.size());
    const std::string pattern(input.substr(0, lineEnd));
    std::vector<CVIFField> fields;
    for (std::size_t start = lineEnd + 1; start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        // A name is a C text: it ends at a NUL.
        fields.emplace_back(std::string(input.substr(start, end - start)).c_str(), "1");
        start = end + 1;
    }
    const CVendorInfoFile file(fields);
    std::size_t matches = 0;
    try {
        for (const CVIFField& field : fields) matches += field.Match(pattern.c_str());
    } catch (const std::regex_error&) {
        return 0;
    } catch (const CQXRunTimeException&) {
        return 0;
    }
    try {
        if (file.Count(pattern.c_str()) != matches || file.GetFields(pattern.c_str())->size() != matches) std::abort();
    } catch (const CQXRunTimeException&) {
        // A query over all names may stop where single matches did not.
    }
    return 0;
}
