#pragma once

#include <string>
#include <vector>

namespace kivrel::cli {

// Runs one command line (without the program name) and returns the exit status:
// 0 success, 1 a failure the user must see, 2 wrong usage.
int RunKivrel(std::vector<std::string> args);

}  // namespace kivrel::cli
