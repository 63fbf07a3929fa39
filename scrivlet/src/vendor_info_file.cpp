#include <scrivlet/vendor_info_file.h>

#include "name_matcher.h"
#include "run_time_error.h"
#include "vif_line.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* VIF_NO_FILE = "<no-file>";
constexpr std::size_t VIF_READ_BLOCK = 1 << 16;

// The whole stream; a read error throws std::ios_base::failure.
std::string ReadAll(std::ifstream& in) {
    in.exceptions(std::ios_base::badbit);
    std::string text;
    std::vector<char> block(VIF_READ_BLOCK);
    do {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        text.append(block.data(), static_cast<std::size_t>(in.gcount()));
    } while (in);
    return text;
}

std::size_t CountByte(const std::string& text, char byte) {
    std::size_t count = 0;
    const char* const end = text.data() + text.size();
    for (const char* at = text.data();; ++at, ++count) {
        at = static_cast<const char*>(std::memchr(at, byte, static_cast<std::size_t>(end - at)));
        if (at == nullptr) return count;
    }
}

}  // namespace

struct CVendorInfoFileData {
    explicit CVendorInfoFileData(const char* fileName)
        : m_pFields(std::make_unique<std::vector<CVIFField>>()), m_FileName(fileName) {}
    CVendorInfoFileData(const CVendorInfoFileData& other)
        : m_pFields(std::make_unique<std::vector<CVIFField>>(*other.m_pFields)),
          m_FileName(other.m_FileName) {}

    std::unique_ptr<std::vector<CVIFField>> m_pFields;
    std::string m_FileName;
};

CVendorInfoFile::CVendorInfoFile(const char* const path)
    : m_pData(new CVendorInfoFileData(path ? path : VIF_NO_FILE)) {
    try {
        if (path == nullptr || *path == '\0') ThrowRunTimeError("Internal Error: NULL file name.");
        std::ifstream in(path);
        if (!in.is_open()) ThrowRunTimeError("Couldn't open Vendor Info File: %s.", path);
        std::string text;
        try {
            text = ReadAll(in);
        } catch (const std::ios_base::failure& error) {
            ThrowRunTimeError("I/O read failure on Vendor Info File %s: %s", path, error.what());
        }
        // Every field stands on a line of its own and holds a colon: reserving
        // for the smaller count spares copying the fields as the list grows.
        m_pData->m_pFields->reserve(std::min(CountByte(text, '\n') + 1, CountByte(text, ':')));
        char* const end = text.data() + text.size();
        for (char* line = text.data();;) {
            void* lineFeed = std::memchr(line, '\n', static_cast<std::size_t>(end - line));
            char* const lineEnd = lineFeed ? static_cast<char*>(lineFeed) : end;
            ParseLine(line, lineEnd);
            if (lineEnd == end) break;
            line = lineEnd + 1;
        }
    } catch (...) {
        delete m_pData;
        throw;
    }
}

CVendorInfoFile::CVendorInfoFile(const std::vector<CVIFField>& fields)
    : m_pData(new CVendorInfoFileData(VIF_NO_FILE)) {
    try {
        m_pData->m_pFields->assign(fields.begin(), fields.end());
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
    if (!RecognizeLine(CleanLine({begin, static_cast<std::size_t>(end - begin)}), name, value)) return;
    // What follows each text is a separator, the closing quote, the line feed
    // or the end of the file's text, where a terminator already stands.
    begin[name.end() - begin] = '\0';
    begin[value.end() - begin] = '\0';
    CVIFField& field = m_pData->m_pFields->emplace_back();
    field.Name(name.data());
    field.Value(value.data());
}

void CVendorInfoFile::TheDeleter(std::vector<CVIFField>* list) { delete list; }

std::size_t CVendorInfoFile::Count() const { return m_pData->m_pFields->size(); }

std::size_t CVendorInfoFile::Count(const char* const pattern) const {
    CNameMatcher matcher(pattern);
    std::size_t count = 0;
    for (const CVIFField& field : *m_pData->m_pFields)
        if (matcher.Matches(field.Name())) ++count;
    return count;
}

std::size_t CVendorInfoFile::Count(const wchar_t* const pattern) const {
    return Count(Utf16ToUtf8(pattern).get());
}

std::size_t CVendorInfoFile::Count(const char16_t* const pattern) const {
    return Count(Utf16ToUtf8(pattern).get());
}

const char* CVendorInfoFile::FileName() const { return m_pData->m_FileName.c_str(); }

FieldListPtr CVendorInfoFile::GetFields() const { return GetFields(static_cast<const char*>(nullptr)); }

FieldListPtr CVendorInfoFile::GetFields(const char* const pattern) const {
    FieldListPtr list(new std::vector<CVIFField>, &CVendorInfoFile::TheDeleter);
    CNameMatcher matcher(pattern);
    for (const CVIFField& field : *m_pData->m_pFields)
        if (matcher.Matches(field.Name())) list->push_back(field);
    return list;
}

FieldListPtr CVendorInfoFile::GetFields(const wchar_t* const pattern) const {
    return GetFields(Utf16ToUtf8(pattern).get());
}

FieldListPtr CVendorInfoFile::GetFields(const char16_t* const pattern) const {
    return GetFields(Utf16ToUtf8(pattern).get());
}

CVIFField CVendorInfoFile::GetUniqueField(const char* const pattern) const {
    const FieldListPtr matches = GetFields(pattern);
    if (matches->empty())
        ThrowRunTimeError("Couldn't find field in \"%s\" that matched with \"%s\".", FileName(),
                          pattern ? pattern : "");
    if (matches->size() > 1)
        ThrowRunTimeError("%u fields in \"%s\" matched with \"%s\".",
                          static_cast<unsigned int>(matches->size()), FileName(),
                          pattern ? pattern : "");
    return matches->front();
}

CVIFField CVendorInfoFile::GetUniqueField(const wchar_t* const pattern) const {
    return GetUniqueField(Utf16ToUtf8(pattern).get());
}

CVIFField CVendorInfoFile::GetUniqueField(const char16_t* const pattern) const {
    return GetUniqueField(Utf16ToUtf8(pattern).get());
}
