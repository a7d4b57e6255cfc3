#pragma once
// The commands of `kivrel`, each run with what its command line gave. The command line itself
// (every option, its checks and its help) is read in main.cpp, the one file that knows the
// parser; the commands know only these plain values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/trust_options.h"
#include "device/sim/sim_directory.h"

namespace kivrel::cli {

// kivrel inspect FILE
int RunInspect(const std::string& file, const GlobalOptions& options);

// kivrel pack OUT ...
struct PackOptions {
    std::string out;
    std::string form = "full";
    std::optional<std::uint32_t> formatVersion;
    bool sample = false;
    std::optional<std::string> sampleDate;
    std::uint32_t seed = 1;
    std::optional<std::uint32_t> sampleModels;
    std::vector<std::string> omit;
    std::string vendor;
    std::string identityFile;
    std::string base, resource, database, main, altMain, auxiliary, regionalMain, regionalAltMain;
    std::vector<std::string> models;
    std::vector<std::string> modelLayouts;
    bool compactModels = false;
    std::vector<std::string> provinces;
    std::optional<std::uint32_t> provinceTag;
    std::vector<std::string> order;
    std::optional<std::uint32_t> shuffle;
    std::uint32_t gap = 0;
};
int RunPack(const PackOptions& options);

// kivrel info
int RunInfo(const GlobalOptions& options);

// kivrel sim create DIR
struct SimCreateOptions {
    std::string directory;
    std::int32_t bootVersion = kSimDefaultBoot;
    std::uint32_t capacity = kSimDefaultCapacity;
};
int RunSimCreate(const SimCreateOptions& create);

// kivrel settings show|set|save|load
int RunSettingsShow(const GlobalOptions& options);
int RunSettingsSet(const GlobalOptions& options, const std::vector<std::string>& assignments);
int RunSettingsSave(const GlobalOptions& options, const std::string& file);
int RunSettingsLoad(const GlobalOptions& options, const std::string& file);

// kivrel update FILE | --online
struct UpdateArgs {
    std::string file;
    bool national = false;
    std::string provinces;
    bool provincesGiven = false;
    bool online = false;
    std::string versionUrl;
    bool dryRun = false;
    TrustOptions trust;
};
int RunUpdate(const GlobalOptions& options, const UpdateArgs& args);

// kivrel check
struct CheckArgs {
    std::string versionUrl;
    TrustOptions trust;
};
int RunCheck(const GlobalOptions& options, const CheckArgs& args);

// kivrel sign-version (Linux and macOS; kivrel.exe says where signing is done)
struct SignArgs {
    std::string key;
    std::string version;
    std::string url;
    std::string archive;
};
int RunSignVersion(const SignArgs& args);

// kivrel report [OUT]
int RunReport(const GlobalOptions& options, const std::string& out);

}  // namespace kivrel::cli
