#include <scrivlet/vif_field.h>

#include "name_matcher.h"
#include "run_time_error.h"

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace {

// std::stoull, with the messages that callers of this library expect.
std::uint64_t ConvertUnsigned(const std::string& text, int base) {
    try {
        return std::stoull(text, nullptr, base);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stoull argument");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stoull argument out of range");
    }
}

}  // namespace

CVIFField::CVIFField() : m_Name(nullptr), m_Value(nullptr) {}
CVIFField::CVIFField(const std::string& name, const std::string& value)
    : m_Name(name.c_str()), m_Value(value.c_str()) {}
CVIFField::CVIFField(const CVIFField& other) = default;
CVIFField::CVIFField(CVIFField&& other) : CVIFField(other) {}
CVIFField::~CVIFField() = default;

CVIFField& CVIFField::operator=(const CVIFField& other) = default;
CVIFField& CVIFField::operator=(CVIFField&& other) { return *this = other; }

const char* CVIFField::Name() const { return m_Name.get(); }
void CVIFField::Name(const std::string& name) { m_Name.set(name.c_str()); }
void CVIFField::Name(const char* name) { m_Name.set(name); }
const char* CVIFField::Value() const { return m_Value.get(); }
void CVIFField::Value(const std::string& value) { m_Value.set(value.c_str()); }
void CVIFField::Value(const char* value) { m_Value.set(value); }

bool CVIFField::IsNumeric() const { return m_Name.get()[0] != '$'; }

std::uint64_t CVIFField::GetULongNumericValue() const {
    if (!IsNumeric()) ThrowRunTimeError("Field '%s' is not Numeric.", m_Name.get());
    std::string text = m_Value.get();
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (text == "NO") return 0;
    if (text == "YES") return 1;
    return ConvertUnsigned(text, text.size() > 2 && text[1] == 'X' ? 16 : 10);
}

std::uint32_t CVIFField::GetNumericValue() const { return static_cast<std::uint32_t>(GetULongNumericValue()); }

bool CVIFField::Match(const char* const pattern) const {
    return CNameMatcher(pattern).Matches({m_Name.get(), m_Name.size()});
}

CSafeString CVIFField::MakeOutputString() const {
    std::string line = m_Name.get();
    line += '=';
    if (IsNumeric()) {
        line += m_Value.get();
    } else {
        line += '"';
        line += m_Value.get();
        line += '"';
    }
    return CSafeString(line.c_str());
}
