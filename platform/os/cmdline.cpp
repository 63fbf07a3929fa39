#include "os/cmdline.h"

#include <cwchar>
#include <filesystem>
#include <system_error>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Reads the program name at p into word; returns where the next word may start.
const wchar_t* ReadProgramName(const wchar_t* p, std::wstring& word) {
    if (*p == L'"') {
        const wchar_t* end = p + 1;
        while (*end && *end != L'"') ++end;
        word.assign(p + 1, end);
        return *end ? end + 1 : end;
    }
    const wchar_t* end = p;
    while (*end && !IsBlank(*end)) ++end;
    word.assign(p, end);
    return end;
}

// Reads one word at p (which is not blank) into word; returns the position after it.
const wchar_t* ReadWord(const wchar_t* p, std::wstring& word) {
    bool quoted = false;
    while (*p && (quoted || !IsBlank(*p))) {
        if (*p == L'\\') {
            size_t n = 0;
            while (p[n] == L'\\') ++n;
            if (p[n] != L'"') {
                word.append(n, L'\\');
            } else {
                word.append(n / 2, L'\\');
                if (n % 2 == 1) {
                    word += L'"';
                    ++p;
                }
            }
            p += n;  // an even run leaves the quote to be read as one
        } else if (*p == L'"') {
            if (quoted && p[1] == L'"') {
                word += L'"';
                p += 2;
            } else {
                quoted = !quoted;
                ++p;
            }
        } else {
            word += *p++;
        }
    }
    return p;
}

}  // namespace

bool OSCommandLineToArgv(const wchar_t* line, std::vector<std::wstring>& words, int& count,
                         const wchar_t* programPath) {
    words.clear();
    count = 0;
    if (!line) return false;
    if (!*line) {
        words.push_back(programPath ? std::wstring(programPath) : OSModuleFileName());
    } else {
        words.emplace_back();
        const wchar_t* p = ReadProgramName(line, words.back());
        for (;;) {
            while (IsBlank(*p)) ++p;
            if (!*p) break;
            words.emplace_back();
            p = ReadWord(p, words.back());
        }
    }
    count = static_cast<int>(words.size());
    return true;
}

std::wstring OSModuleFileName() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::wstring() : OSUtf8ToWide(path.c_str());
}

std::wstring OSUtf8ToWide(const char* text) {
    static_assert(sizeof(wchar_t) == 4, "wide text holds whole code points");
    constexpr wchar_t kReplacement = 0xFFFD;
    std::wstring out;
    if (!text) return out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned lead = *p;
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            ++p;
            continue;
        }
        int extra;
        char32_t code, least;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, code = lead & 0x07, least = 0x10000;
        } else {
            out += kReplacement;
            ++p;
            continue;
        }
        int i = 1;
        for (; i <= extra && (p[i] & 0xC0) == 0x80; ++i) code = (code << 6) | (p[i] & 0x3F);
        if (i <= extra || code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out += kReplacement;  // truncated, overlong, out of range or a surrogate
            ++p;
            continue;
        }
        out += static_cast<wchar_t>(code);
        p += extra + 1;
    }
    return out;
}
