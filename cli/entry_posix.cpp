#include <cstdio>
#include <exception>
#include <new>

#include "cli/main.h"

int main(int argc, char** argv) {
    try {
        return kivrel::cli::RunKivrel({argv + 1, argv + argc});
    } catch (const std::bad_alloc&) {
        std::fputs("kivrel: out of memory\n", stderr);
        return 1;
    }
}
