#include "cli/cli_prompts.h"

#include <iostream>
#include <string>

#include "base/text.h"
#include "cli/terminal.h"

namespace kivrel::cli {

void PrintLine(std::FILE* out, std::wstring_view text) {
    std::fprintf(out, "%s\n", WideToUtf8(text).c_str());
    std::fflush(out);
}

void CliPrompts::ShowError(std::wstring_view text) {
    PrintLine(stderr, text);
}

void CliPrompts::ShowInformation(std::wstring_view text, std::wstring_view) {
    PrintLine(stdout, text);
}

bool CliPrompts::AskYesNo(std::wstring_view text, std::wstring_view) {
    if (yes) return true;
    if (!StdinIsTerminal()) {
        std::fprintf(stderr, "%s (no answer without a terminal: give --yes)\n",
                     WideToUtf8(text).c_str());
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", WideToUtf8(text).c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace kivrel::cli
