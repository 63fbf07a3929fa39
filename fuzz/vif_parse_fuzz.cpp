// Parses the input as a Vendor Info File (text or XML) and runs every query
// on it. Also
// checks each short line against the regular expressions whose lines the
// parser's own recogniser must accept, with the same groups.
#include "vif_fuzz_input.h"
#include "vif_line.h"

#include <scrivlet/scrivlet.h>

#include <algorithm>
#include <regex>
#include <stdexcept>
#include <string_view>

namespace {

constexpr std::size_t VIF_FUZZ_REGEX_LINE_LIMIT = 200;  // keeps std::regex off deep recursion

void CheckAgainstRegex(std::string_view raw) {
    static const std::regex text(R"re(^(\$[[:alnum:]_']+)\s*:\s*"(.*)"$)re",
                                 std::regex::ECMAScript | std::regex::icase);
    static const std::regex numeric(R"re(^([[:alnum:]_']+)\s*:\s*(0x[[:xdigit:]]+|[[:digit:]]+|YES|NO)$)re",
                                    std::regex::ECMAScript | std::regex::icase);
    const std::string line(CleanLine(raw));
    if (line.empty() || line.size() > VIF_FUZZ_REGEX_LINE_LIMIT) return;
    std::smatch groups;
    const bool expected = std::regex_match(line, groups, line[0] == '$' ? text : numeric);
    std::string_view name;
    std::string_view value;
    if (RecognizeLine(line, name, value) != expected ||
        (expected && (name != groups[1].str() || value != groups[2].str())))
        std::abort();
}

void Query(const CVendorInfoFile& file) {
    const FieldListPtr fields = file.GetFields();
    if (fields->size() != file.Count() || file.Count(".*") != file.Count()) std::abort();
    for (const CVIFField& field : *fields) {
        field.MakeOutputString();
        try {
            field.GetULongNumericValue();
        } catch (const std::invalid_argument&) {
        } catch (const std::out_of_range&) {
        } catch (const CQXRunTimeException&) {
            if (field.IsNumeric()) std::abort();
        }
    }
    // Every field has its line, in file order; warnings are kept within bounds.
    const LineListPtr lines = GetFieldLines(file, nullptr);
    if (lines->size() != file.Count() || !std::is_sorted(lines->begin(), lines->end())) std::abort();
    const WarningListPtr warnings = GetWarnings(file);
    if (warnings->size() > SCRIVLET_MAX_WARNINGS || warnings->size() > CountWarnings(file)) std::abort();
    for (const CVIFWarning& warning : *warnings)
        if (warning.m_Line == 0 || warning.m_Text.size() > SCRIVLET_WARNING_TEXT_LENGTH + 3) std::abort();
    file.Count(u"^device_speed$");
    file.GetFields(L"^\\$.*_Name$");
    try {
        file.GetUniqueField("^Connector_Type$");
    } catch (const CQXRunTimeException&) {}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        CheckAgainstRegex(input.substr(start, end - start));
        start = end + 1;
    }
    try {
        Query(CVendorInfoFile(WriteVifInput(data, size).c_str()));
    } catch (const CQXRunTimeException&) {
        // Malformed XML; a text file never fails to parse.
        if (input.find('<') == std::string_view::npos) std::abort();
    }
    return 0;
}
