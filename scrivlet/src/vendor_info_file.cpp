#include <scrivlet/vendor_info_file.h>

#include "field_store.h"
#include "name_matcher.h"
#include "run_time_error.h"
#include "vif_file.h"
#include "vif_line.h"
#include "vif_xml.h"

#include <cstring>
#include <string>

namespace {

constexpr const char* VIF_NO_FILE = "<no-file>";

}  // namespace

struct CVendorInfoFileData {
    explicit CVendorInfoFileData(const char* fileName) : m_FileName(fileName) {}

    CFieldStore m_Fields;
    std::string m_FileName;
    std::size_t m_Components = 0;
    CWarningList m_Warnings;
    std::size_t m_Line = 0;  // of the text line being parsed
};

CVendorInfoFile::CVendorInfoFile(const char* const path) : CVendorInfoFile(path, VIF_ALL_COMPONENTS) {}

CVendorInfoFile::CVendorInfoFile(const char* const path, std::size_t component)
    : m_pData(new CVendorInfoFileData(path ? path : VIF_NO_FILE)) {
    try {
        CByteBuffer text = ReadFileBytes(path);
        const bool wasUtf16 = DecodeText(text);
        if (IsXmlText({text.Data(), text.Size()})) {
            m_pData->m_Components =
                ReadXmlFields(path, text, wasUtf16, component, m_pData->m_Fields, m_pData->m_Warnings);
            m_pData->m_Fields.Shrink();
            return;
        }
        if (component != VIF_ALL_COMPONENTS)
            ThrowRunTimeError("Vendor Info File %s has no component %zu (it has 0).", path, component);
        // The fields are packed into the buffer that holds the text, each in
        // front of the line it came from. A line ends at LF, CR LF or a bare
        // CR; a CR just after a LF belongs to that line end (LF CR).
        char* line = text.Data();
        char* const end = line + text.Size();
        m_pData->m_Fields.TakeText(std::move(text));
        for (std::size_t& number = m_pData->m_Line;;) {
            char* const lineEnd = const_cast<char*>(FindLineBreak(line, end));
            ++number;
            ParseLine(line, lineEnd);
            if (lineEnd == end) break;
            line = lineEnd + 1;
            if (line < end && *line != *lineEnd && (*line == '\n' || *line == '\r')) ++line;
        }
        m_pData->m_Fields.Shrink();
    } catch (...) {
        delete m_pData;
        throw;
    }
}

CVendorInfoFile::CVendorInfoFile(const std::vector<CVIFField>& fields) : m_pData(new CVendorInfoFileData(VIF_NO_FILE)) {
    try {
        for (const CVIFField& field : fields) m_pData->m_Fields.Append(field.Name(), field.Value());
    } catch (...) {
        delete m_pData;
        throw;
    }
}

CVendorInfoFile::~CVendorInfoFile() { delete m_pData; }

CVendorInfoFile& CVendorInfoFile::operator=(const CVendorInfoFile& other) {
    CVendorInfoFileData* copy = new CVendorInfoFileData(*other.m_pData);
    delete m_pData;
    m_pData = copy;
    return *this;
}

void CVendorInfoFile::ParseLine(char* begin, char* end) {
    std::string_view name;
    std::string_view value;
    const std::string_view line = CleanLine({begin, static_cast<std::size_t>(end - begin)});
    if (line.empty()) return;
    if (RecognizeLine(line, name, value)) {
        if (name[0] == '$') value = value.substr(0, value.find('\0'));  // a text ends at a NUL
        m_pData->m_Fields.AppendFromText(name, value, m_pData->m_Line);
    } else if (const char* reason = WhyNotAField(line)) {
        m_pData->m_Warnings.Add(m_pData->m_Line, line, reason);
    }
}

void CVendorInfoFile::TheDeleter(std::vector<CVIFField>* list) { delete list; }

std::size_t CVendorInfoFile::Count() const { return m_pData->m_Fields.Count(); }

std::size_t CVendorInfoFile::ComponentCount() const { return m_pData->m_Components; }

std::size_t CVendorInfoFile::Count(const char* const pattern) const {
    CNameMatcher matcher(pattern, Count());
    std::size_t count = 0;
    m_pData->m_Fields.ForEach([&](std::string_view name, const char*, std::size_t) {
        if (matcher.Matches(name)) ++count;
    });
    return count;
}

std::size_t CVendorInfoFile::Count(const wchar_t* const pattern) const { return Count(Utf16ToUtf8(pattern).get()); }

std::size_t CVendorInfoFile::Count(const char16_t* const pattern) const { return Count(Utf16ToUtf8(pattern).get()); }

const char* CVendorInfoFile::FileName() const { return m_pData->m_FileName.c_str(); }

FieldListPtr CVendorInfoFile::GetFields() const { return GetFields(static_cast<const char*>(nullptr)); }

FieldListPtr CVendorInfoFile::GetFields(const char* const pattern) const {
    FieldListPtr list(new std::vector<CVIFField>, &CVendorInfoFile::TheDeleter);
    if (pattern == nullptr || *pattern == '\0') list->reserve(Count());
    CNameMatcher matcher(pattern, Count());
    m_pData->m_Fields.ForEach([&](std::string_view name, const char* value, std::size_t) {
        if (!matcher.Matches(name)) return;
        CVIFField& field = list->emplace_back();
        field.Name(name.data());
        field.Value(value);
    });
    return list;
}

FieldListPtr CVendorInfoFile::GetFields(const wchar_t* const pattern) const {
    return GetFields(Utf16ToUtf8(pattern).get());
}

FieldListPtr CVendorInfoFile::GetFields(const char16_t* const pattern) const {
    return GetFields(Utf16ToUtf8(pattern).get());
}

CVIFField CVendorInfoFile::GetUniqueField(const char* const pattern) const {
    CNameMatcher matcher(pattern, Count());
    std::size_t matches = 0;
    CVIFField found;
    m_pData->m_Fields.ForEach([&](std::string_view name, const char* value, std::size_t) {
        if (!matcher.Matches(name) || ++matches > 1) return;
        found.Name(name.data());
        found.Value(value);
    });
    if (matches == 0)
        ThrowRunTimeError("Couldn't find field in \"%s\" that matched with \"%s\".", FileName(),
                          pattern ? pattern : "");
    if (matches > 1)
        ThrowRunTimeError("%u fields in \"%s\" matched with \"%s\".", static_cast<unsigned int>(matches), FileName(),
                          pattern ? pattern : "");
    return found;
}

CVIFField CVendorInfoFile::GetUniqueField(const wchar_t* const pattern) const {
    return GetUniqueField(Utf16ToUtf8(pattern).get());
}

CVIFField CVendorInfoFile::GetUniqueField(const char16_t* const pattern) const {
    return GetUniqueField(Utf16ToUtf8(pattern).get());
}

WarningListPtr GetWarnings(const CVendorInfoFile& file) {
    const std::vector<CVIFWarning>& warnings = file.m_pData->m_Warnings.List();
    return WarningListPtr(new std::vector<CVIFWarning>(warnings), [](std::vector<CVIFWarning>* list) { delete list; });
}

std::size_t CountWarnings(const CVendorInfoFile& file) { return file.m_pData->m_Warnings.Count(); }

LineListPtr GetFieldLines(const CVendorInfoFile& file, const char* const pattern) {
    LineListPtr lines(new std::vector<std::size_t>, [](std::vector<std::size_t>* list) { delete list; });
    CNameMatcher matcher(pattern, file.Count());
    file.m_pData->m_Fields.ForEach([&](std::string_view name, const char*, std::size_t line) {
        if (matcher.Matches(name)) lines->push_back(line);
    });
    return lines;
}
