// The default "Remove Downstream Device" prompt, used until a front end
// installs its own message box: it asks on the terminal.
#include "bench/executors.h"

#include <cctype>
#include <iostream>

namespace {

std::string Lowered(const std::string& line) {
    std::string word;
    for (char c : line)
        if (!std::isspace(static_cast<unsigned char>(c))) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

}  // namespace

EPromptAnswer AskOnTerminal(const std::string& text, const std::string& caption) {
    std::cout << '\n' << (caption.empty() ? "" : caption + ": ") << text << " [OK/Cancel]: " << std::flush;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::string word = Lowered(line);
        if (word == "ok") return PROMPT_OK;
        if (word == "cancel") return PROMPT_CANCEL;
        std::cout << "Type OK or Cancel: " << std::flush;
    }
    return PROMPT_CANCEL;  // no one left to answer
}
