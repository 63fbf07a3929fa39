// A Vendor Info File read into an ordered list of fields, with queries that
// select fields by a regular expression over their names.
#pragma once

#include <scrivlet/export.h>
#include <scrivlet/vif_field.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Lists returned by GetFields are released by the library's own deleter.
using FieldListPtr = std::unique_ptr<std::vector<CVIFField>, std::function<void(std::vector<CVIFField>*)>>;

struct CVendorInfoFileData;
class CVendorInfoFile;

// Something a reader noticed in a file: a line (text format) or an element
// (XML) that looks like a field but gave none, or a form of the file that it
// read leniently.
struct CVIFWarning {
    std::size_t m_Line;    // counted from 1
    std::string m_Text;    // what the file holds there, cut after SCRIVLET_WARNING_TEXT_LENGTH bytes
    std::string m_Reason;  // why it gave no field, or what was lenient
};

// A reader keeps the first SCRIVLET_MAX_WARNINGS warnings and counts the rest.
inline constexpr std::size_t SCRIVLET_MAX_WARNINGS = 1000;
inline constexpr std::size_t SCRIVLET_WARNING_TEXT_LENGTH = 200;

using WarningListPtr = std::unique_ptr<std::vector<CVIFWarning>, std::function<void(std::vector<CVIFWarning>*)>>;
using LineListPtr = std::unique_ptr<std::vector<std::size_t>, std::function<void(std::vector<std::size_t>*)>>;

// The warnings of a file in file order (at most SCRIVLET_MAX_WARNINGS), and
// how many there were in all. An object built from a list of fields has none.
SCRIVLET_API WarningListPtr GetWarnings(const CVendorInfoFile& file);
SCRIVLET_API std::size_t CountWarnings(const CVendorInfoFile& file);
// The line of each field that GetFields(pattern) returns, in the same order;
// 0 for fields of an object built from a list.
SCRIVLET_API LineListPtr GetFieldLines(const CVendorInfoFile& file, const char* const pattern);

// Patterns are ECMAScript regular expressions matched case-insensitively
// against whole field names; a null or empty pattern selects every field.
// Each query compiles its pattern once, at the first field it tests. An
// invalid pattern throws std::regex_error. The wide overloads convert the
// pattern to UTF-8 (wchar_t is UTF-32 on Linux, char16_t is UTF-16).
class SCRIVLET_API CVendorInfoFile {
public:
    // Reads a text file of Name: value lines (UTF-8, or UTF-16 with a
    // byte-order mark) or an XML Vendor Info File, told apart by content.
    // Lines end at LF, CR LF or a bare CR.
    // Throws CQXRunTimeException when the path is null or empty, names no
    // regular file, or the file cannot be read, is malformed XML or declares an
    // encoding that iconv does not know. Lines that are not fields are
    // skipped; GetWarnings tells which of them looked like one.
    explicit CVendorInfoFile(const char* const path);
    // The fields outside Component blocks and those of one Component block,
    // counted from 0, of an XML file. Throws CQXRunTimeException when the
    // file has no such component (a text file has none).
    CVendorInfoFile(const char* const path, std::size_t component);
    // Copies of the given fields; FileName() is "<no-file>".
    explicit CVendorInfoFile(const std::vector<CVIFField>& fields);
    CVendorInfoFile(const CVendorInfoFile&) = delete;
    ~CVendorInfoFile();

    // Gives this object its own copy of the other's fields and file name.
    CVendorInfoFile& operator=(const CVendorInfoFile& other);

    std::size_t Count() const;
    // How many Component blocks an XML file holds; 0 for a text file.
    std::size_t ComponentCount() const;
    std::size_t Count(const char* const pattern) const;
    std::size_t Count(const wchar_t* const pattern) const;
    std::size_t Count(const char16_t* const pattern) const;

    const char* FileName() const;

    FieldListPtr GetFields() const;
    FieldListPtr GetFields(const char* const pattern) const;
    FieldListPtr GetFields(const wchar_t* const pattern) const;
    FieldListPtr GetFields(const char16_t* const pattern) const;

    // The one field that matches; throws CQXRunTimeException when none or
    // several do.
    CVIFField GetUniqueField(const char* const pattern) const;
    CVIFField GetUniqueField(const wchar_t* const pattern) const;
    CVIFField GetUniqueField(const char16_t* const pattern) const;

private:
    friend WarningListPtr GetWarnings(const CVendorInfoFile& file);
    friend std::size_t CountWarnings(const CVendorInfoFile& file);
    friend LineListPtr GetFieldLines(const CVendorInfoFile& file, const char* const pattern);

    // One line of the file's text, which it may change: the field's texts are
    // ended in place.
    void ParseLine(char* begin, char* end);
    static void TheDeleter(std::vector<CVIFField>* list);

    CVendorInfoFileData* m_pData;
};
