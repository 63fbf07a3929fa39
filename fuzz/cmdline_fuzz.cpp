// Fuzzes the command-line splitter. Besides not crashing, every split must
// survive a round trip: the words, quoted again by the splitter's rules and
// joined, split back into the same words.
#include "os/cmdline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Quotes word so that it splits back as one word after the program name.
std::wstring Quote(const std::wstring& word) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Each byte is one character, so blanks, quotes and backslashes are
    // common; a 0 byte ends the line as it would end a C text.
    std::wstring line;
    for (size_t i = 0; i < size && data[i] != 0; ++i) line += static_cast<wchar_t>(data[i]);

    std::vector<std::wstring> words;
    int count = 0;
    if (!OSCommandLineToArgv(line.c_str(), words, count, L"program") || count < 1 ||
        count != static_cast<int>(words.size()))
        std::abort();

    // The program name can be given quoted unless it holds a quote itself.
    std::wstring first = words[0].find(L'"') == std::wstring::npos ? L"\"" + words[0] + L"\"" : L"p";
    std::wstring again = first;
    for (size_t i = 1; i < words.size(); ++i) again += L" " + Quote(words[i]);
    std::vector<std::wstring> split;
    OSCommandLineToArgv(again.c_str(), split, count, L"program");
    if (split.size() != words.size()) std::abort();
    if (first != L"p" && split[0] != words[0]) std::abort();
    for (size_t i = 1; i < words.size(); ++i) {
        if (split[i] != words[i]) std::abort();
    }
    return 0;
}
