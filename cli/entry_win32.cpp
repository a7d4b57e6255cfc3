#include <windows.h>

#include <cstdio>
#include <new>

#include "base/text.h"
#include "cli/main.h"

// The tool works in UTF-8 inside; Windows hands it UTF-16 arguments and shows the console
// in UTF-8 once told so.
int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) args.push_back(kivrel::WideToUtf8(argv[i]));
        return kivrel::cli::RunKivrel(std::move(args));
    } catch (const std::bad_alloc&) {
        std::fputs("kivrel: out of memory\n", stderr);
        return 1;
    }
}
