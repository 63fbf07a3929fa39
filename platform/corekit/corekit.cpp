#include "corekit/corekit.h"

#include <cstring>

CSafeString::CSafeString() = default;
CSafeString::CSafeString(const char* text) : m_text(text ? text : "") {}
CSafeString::CSafeString(const CSafeString& other) = default;
CSafeString& CSafeString::operator=(const CSafeString& other) = default;
CSafeString::~CSafeString() = default;

const char* CSafeString::get() const { return m_text.c_str(); }
void CSafeString::set(const char* text) { m_text = text ? text : ""; }
void CSafeString::clear() { m_text.clear(); }
size_t CSafeString::size() const { return m_text.size(); }

void CUtf8Deleter::operator()(char* text) const { delete[] text; }

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <typename Unit>
void AppendUtf16(std::string& out, const Unit* text) {
    for (size_t i = 0; text[i] != 0; ++i) {
        char32_t unit = static_cast<char16_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t next = static_cast<char16_t>(text[i + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
            AppendUtf8(out, kReplacement);  // high surrogate without its pair
        } else {
            AppendUtf8(out, unit);  // a lone low surrogate is replaced there
        }
    }
}

Utf8Ptr ToOwned(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return Utf8Ptr(copy);
}

}  // namespace

Utf8Ptr Utf16ToUtf8(const char16_t* text) {
    std::string out;
    if (text) AppendUtf16(out, text);
    return ToOwned(out);
}

Utf8Ptr Utf16ToUtf8(const wchar_t* text) {
    std::string out;
    if (text) {
        if constexpr (sizeof(wchar_t) == 2) {
            AppendUtf16(out, text);
        } else {
            for (size_t i = 0; text[i] != 0; ++i)
                AppendUtf8(out, static_cast<char32_t>(static_cast<unsigned int>(text[i])));
        }
    }
    return ToOwned(out);
}

CQXException::CQXException() = default;
CQXException::CQXException(const char* message) : m_message(message ? message : "") {}
CQXException::CQXException(const CQXException& other) = default;
CQXException& CQXException::operator=(const CQXException& other) = default;
CQXException::~CQXException() = default;
const char* CQXException::what() const noexcept { return m_message.c_str(); }

CQXRunTimeException::CQXRunTimeException() = default;
CQXRunTimeException::CQXRunTimeException(const char* message) : CQXException(message) {}
CQXRunTimeException::CQXRunTimeException(const CQXRunTimeException& other) = default;
CQXRunTimeException& CQXRunTimeException::operator=(const CQXRunTimeException& other) = default;
CQXRunTimeException::~CQXRunTimeException() = default;
