// `kivrel sign-version` on Windows: signing is the vendor's job, done with the Linux or macOS
// tool; this one checks signatures only, and says so.

#include <cstdio>

#include "cli/commands.h"

namespace kivrel::cli {

int RunSignVersion(const SignArgs&) {
    std::fprintf(stderr,
                 "kivrel sign-version: signing is done with the Linux or macOS kivrel; "
                 "kivrel.exe checks signatures only.\n");
    return kExitFailure;
}

}  // namespace kivrel::cli
