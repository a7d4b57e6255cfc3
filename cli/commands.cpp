#include "cli/commands.h"

#include <CLI/CLI.hpp>

namespace kivrel::cli {

void RegisterCommands(CLI::App& /*app*/, GlobalOptions& /*options*/, CommandTable& /*commands*/) {}

}  // namespace kivrel::cli
