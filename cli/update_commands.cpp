#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace kivrel::cli {

void RegisterUpdateCommands(CLI::App& /*app*/, GlobalOptions& /*options*/,
                             CommandTable& /*commands*/) {}

}  // namespace kivrel::cli
