#include "cli/commands.h"

namespace kivrel::cli {

void RegisterCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    RegisterInspectCommand(app, options, commands);
    RegisterPackCommand(app, commands);
    RegisterUnitCommands(app, options, commands);
    RegisterSettingsCommands(app, options, commands);
    RegisterUpdateCommands(app, options, commands);
    RegisterReportCommand(app, options, commands);
    RegisterSignVersionCommand(app, commands);
}

}  // namespace kivrel::cli
