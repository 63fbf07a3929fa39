// One field of a Vendor Info File: a name and the value text beside it.
#pragma once

#include <corekit/corekit.h>
#include <scrivlet/export.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Patterns longer than this are refused with CQXRunTimeException.
inline constexpr std::size_t SCRIVLET_MAX_PATTERN_LENGTH = 64 * 1024;

class SCRIVLET_API CVIFField {
public:
    CVIFField();
    CVIFField(const std::string& name, const std::string& value);
    CVIFField(const CVIFField& other);
    // Copies: the source keeps its texts.
    CVIFField(CVIFField&& other);
    ~CVIFField();

    CVIFField& operator=(const CVIFField& other);
    CVIFField& operator=(CVIFField&& other);

    const char* Name() const;
    void Name(const std::string& name);
    void Name(const char* name);  // null sets an empty name
    const char* Value() const;
    void Value(const std::string& value);
    void Value(const char* value);  // null sets an empty value

    // A field is a text field when its name begins with '$'.
    bool IsNumeric() const;
    // NO, YES (any case), 0x-prefixed hexadecimal or decimal. Throws
    // CQXRunTimeException for a text field, std::invalid_argument when no
    // digit converts, std::out_of_range beyond 64 bits.
    std::uint64_t GetULongNumericValue() const;
    std::uint32_t GetNumericValue() const;  // low 32 bits of the above
    // Whole-name, case-insensitive ECMAScript match; null or empty matches
    // everything. An invalid pattern throws std::regex_error; one that goes
    // past a limit of the matching engine (steps, memory, size) throws
    // CQXRunTimeException.
    bool Match(const char* const pattern) const;
    // Name=value, or $Name="value" for a text field; no line end.
    CSafeString MakeOutputString() const;

private:
    CSafeString m_Name;
    CSafeString m_Value;
};
