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
using FieldListPtr =
    std::unique_ptr<std::vector<CVIFField>, std::function<void(std::vector<CVIFField>*)>>;

struct CVendorInfoFileData;

// Patterns are ECMAScript regular expressions matched case-insensitively
// against whole field names; a null or empty pattern selects every field.
// Each query compiles its pattern once, at the first field it tests. An
// invalid pattern throws std::regex_error. The wide overloads convert the
// pattern to UTF-8 (wchar_t is UTF-32 on Linux, char16_t is UTF-16).
class SCRIVLET_API CVendorInfoFile {
public:
    // Reads a text file of Name: value lines (UTF-8, or UTF-16 with a
    // byte-order mark) or an XML Vendor Info File, told apart by content.
    // Throws CQXRunTimeException when the path is null or empty, names no
    // regular file, or the file cannot be read or is malformed XML. Lines
    // that are not fields are skipped.
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
    // One line of the file's text, which it may change: the field's texts are
    // ended in place.
    void ParseLine(char* begin, char* end);
    static void TheDeleter(std::vector<CVIFField>* list);

    CVendorInfoFileData* m_pData;
};
