#pragma once
// Messages and questions on the command line: results on stdout, errors on stderr; --yes
// answers questions, a terminal can, anything else says no.

#include <cstdio>
#include <string_view>

#include "base/prompts.h"

namespace kivrel::cli {

// One line of text, as UTF-8, flushed at once.
void PrintLine(std::FILE* out, std::wstring_view text);

class CliPrompts : public Prompts {
public:
    explicit CliPrompts(bool yes) : yes(yes) {}

    void ShowError(std::wstring_view text) override;
    void ShowInformation(std::wstring_view text, std::wstring_view caption) override;
    [[nodiscard]] bool AskYesNo(std::wstring_view text, std::wstring_view caption) override;

private:
    bool yes;
};

}  // namespace kivrel::cli
