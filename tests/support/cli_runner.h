#pragma once
// Runs one `kivrel` command line in the test's process and keeps what it printed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/main.h"

namespace kivrel::test {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline CliResult RunCli(std::vector<std::string> args,
                        const cli::CliEnvironment& environment = {}) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = cli::RunKivrel(std::move(args), environment);
    std::string out = ::testing::internal::GetCapturedStdout();
    return {status, out, ::testing::internal::GetCapturedStderr()};
}

}  // namespace kivrel::test
