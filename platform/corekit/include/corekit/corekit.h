// Corekit: small string and exception types shared by the program and the
// Vendor Info File library. These types cross the library's interface, so
// they are marked visible even when linked into a shared object built with
// hidden visibility.
#pragma once

#include <exception>
#include <memory>
#include <string>

#define COREKIT_API __attribute__((visibility("default")))

// An owned, NUL-terminated byte text. Never holds a null pointer: built from
// a null pointer it is empty, and get() always returns a valid text.
class COREKIT_API CSafeString {
public:
    CSafeString();
    CSafeString(const char* text);  // NOLINT: implicit on purpose, like the C text it wraps
    CSafeString(const CSafeString& other);
    CSafeString& operator=(const CSafeString& other);
    ~CSafeString();

    const char* get() const;
    void set(const char* text);  // a null pointer empties the text
    void clear();
    size_t size() const;

private:
    std::string m_text;
};

// Deleter for the UTF-8 texts that Utf16ToUtf8 hands out.
struct COREKIT_API CUtf8Deleter {
    void operator()(char* text) const;
};
using Utf8Ptr = std::unique_ptr<char, CUtf8Deleter>;

// Converts wide text to an owned UTF-8 text. char16_t text is UTF-16 with
// surrogate pairs; wchar_t text is UTF-32 where wchar_t has 32 bits and UTF-16
// where it has 16. Unpaired surrogates and code points beyond U+10FFFF become
// U+FFFD. A null pointer gives an empty text, never a null result.
COREKIT_API Utf8Ptr Utf16ToUtf8(const char16_t* text);
COREKIT_API Utf8Ptr Utf16ToUtf8(const wchar_t* text);

class COREKIT_API CQXException : public std::exception {
public:
    CQXException();
    explicit CQXException(const char* message);
    CQXException(const CQXException& other);
    CQXException& operator=(const CQXException& other);
    ~CQXException() override;

    const char* what() const noexcept override;

private:
    std::string m_message;
};

class COREKIT_API CQXRunTimeException : public CQXException {
public:
    CQXRunTimeException();
    explicit CQXRunTimeException(const char* message);
    CQXRunTimeException(const CQXRunTimeException& other);
    CQXRunTimeException& operator=(const CQXRunTimeException& other);
    ~CQXRunTimeException() override;
};
