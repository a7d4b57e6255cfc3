#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"

namespace CLI {
class App;
}

namespace kivrel::cli {

// Each command's parser with what runs it once parsed.
using CommandTable = std::vector<std::pair<CLI::App*, std::function<int()>>>;

// Runs one command line (without the program name) and returns the exit status:
// 0 success, 1 a failure the user must see, 2 wrong usage.
// `environment` is the build's own unless a test gives another.
int RunKivrel(std::vector<std::string> args, const CliEnvironment& environment = {});

// Sets `app` up to read a `kivrel` command line: the global options, every command, and how
// arguments are told apart. A leading "/" starts a path on every platform, never an option.
void BuildCommandLine(CLI::App& app, GlobalOptions& options, CommandTable& commands);

}  // namespace kivrel::cli
