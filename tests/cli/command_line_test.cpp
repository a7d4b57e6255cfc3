// The command line as a whole: --version, and arguments starting with "/", which CLI11 reads
// as options on Windows, so "kivrel inspect /tmp/x.qdx" would lose its file there; every
// command must take such arguments as paths.

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include "cli/main.h"
#include "kivrel_version.h"
#include "tests/support/cli_runner.h"

namespace kivrel {
namespace {

TEST(CommandLine, VersionNeedsNoCommandAndPrintsTheProductVersion) {
    // help2man and package checks read this line; a command is otherwise required.
    const test::CliResult result = test::RunCli({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "kivrel " KIVREL_VERSION "\n");
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, ALeadingSlashIsAPathEvenWhereCli11ReadsItAsAnOption) {
    struct Case {
        std::vector<std::string> args;
        const char* command;
        const char* option;
        const char* value;
    };
    const Case cases[] = {
        {{"inspect", "/tmp/x.qdx"}, "inspect", "FILE", "/tmp/x.qdx"},
        {{"--trace", "/t", "update", "/x.qdx", "--provinces", "0"}, "update", "FILE", "/x.qdx"},
        {{"pack", "/out.qdx", "--base", "/b:in"}, "pack", "--base", "/b:in"},
        {{"sim", "create", "/unit"}, "create", "DIR", "/unit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        CLI::App app;
        app.allow_windows_style_options(true);  // as CLI11 starts out on Windows
        cli::GlobalOptions options;
        cli::CommandTable commands;
        cli::BuildCommandLine(app, options, commands);
        std::vector<std::string> reversed(c.args.rbegin(), c.args.rend());
        ASSERT_NO_THROW(app.parse(reversed));
        const CLI::App* command = nullptr;
        for (const auto& [sub, run] : commands) {
            if (sub->parsed() && sub->get_name() == c.command) command = sub;
        }
        ASSERT_NE(command, nullptr);
        EXPECT_EQ(command->get_option(c.option)->as<std::string>(), c.value);
    }
}

}  // namespace
}  // namespace kivrel
