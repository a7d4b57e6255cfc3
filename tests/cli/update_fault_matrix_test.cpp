// Every fault the simulated unit can be told to make, at the start, middle and end of every
// phase of a whole `kivrel update`: the run fails (status 1, never the success text), or, when
// only the closing steps after every write was acknowledged went wrong, it keeps its success
// and tells the user to check the unit. Either way one clean retry on the same unit leaves both
// banks byte for byte as a clean update leaves a unit that never met the fault.
//
// Where each phase lies is found in a trace of a clean run, not written down here, so the
// table keeps its meaning when the order or the size of the writes changes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/byte_sum.h"
#include "device/command_frame.h"
#include "device/gps_unit.h"
#include "package/package_writer.h"
#include "package/sample_package.h"
#include "package/update_package.h"
#include "tests/support/cli_runner.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

// Room for the fixed layout's database region (0x2DE000 on).
constexpr std::uint32_t kCapacity = 0x300000;
constexpr std::uint32_t kTimeoutMs = 20;
// Past every wait of the tool, an erase's included (the bound plus 500 ms a sector).
constexpr std::uint32_t kLateMs = 700;
constexpr std::uint32_t kSlowEraseMs = 300;     // within an erase's wait
constexpr std::uint32_t kTooSlowEraseMs = 900;  // past it
constexpr std::string_view kSuccessLine = "Update Successfully!\n";
constexpr std::string_view kWarningLine =
    "The unit stopped answering at the end of the update: replug it and check it with `kivrel "
    "info`.\n";

// A blank unit given an update file with an extended model table: planning stores a layout
// and erases the area the model leaves empty; then a unit so laid out given a file with a
// compact table goes back to the fixed layout (identity block to its fixed place, layout
// sector erased); and a blank unit given a file without a model table keeps the fixed layout,
// so its only erase is the settings sector's.
enum class Scenario { kLaidOut, kBackToFixed, kFixed };

enum class Phase {
    kReading,
    kLayoutBlockRead,  // within the reading: the reads that decide where data goes
    kSettingsBlockRead,
    kLayoutBlock,
    kPlacedAreaErase,
    kIdentity,
    kLayoutSectorErase,
    kModelImage,
    kResource,
    kAuxiliary,
    kDatabase,
    kMain,
    kBase,
    kModelHeader,
    kModelData,
    kReadingAgain,
    kSettingsErase,
    kFinishUpdate,
};

enum class Fault {
    kRefuseBlock,
    kDropReport,
    kCorruptReport,
    kLateReport,
    kStop,
    kDisconnect,
    kSlowErase,
    kTooSlowErase
};
enum class At { kStart, kMiddle, kEnd, kWholeRun };
enum class Outcome {
    kFails,     // status 1, no success text
    kWarned,    // status 0, the success text and the warning; the unit holds the update
    kSucceeds,  // status 0, the success text, no warning; the unit holds the update
};

struct Case {
    Scenario scenario;
    Phase phase;
    Fault fault;
    At at;
    Outcome expected;
    const char* why = "";  // for an outcome other than the phase's own
};

// Names in the order of each enum, for the tests' names and messages.
const char* Name(Scenario s) {
    constexpr const char* kNames[] = {"LaidOut", "BackToFixed", "Fixed"};
    return kNames[static_cast<int>(s)];
}

const char* Name(Phase p) {
    constexpr const char* kNames[] = {"Reading",
                                      "LayoutBlockRead",
                                      "SettingsBlockRead",
                                      "LayoutBlock",
                                      "PlacedAreaErase",
                                      "Identity",
                                      "LayoutSectorErase",
                                      "ModelImage",
                                      "Resource",
                                      "Auxiliary",
                                      "Database",
                                      "Main",
                                      "Base",
                                      "ModelHeader",
                                      "ModelData",
                                      "ReadingAgain",
                                      "SettingsErase",
                                      "FinishUpdate"};
    return kNames[static_cast<int>(p)];
}

const char* Name(Fault f) {
    constexpr const char* kNames[] = {"RefuseBlock", "DropReport", "CorruptReport", "LateReport",
                                      "Stop",        "Disconnect", "SlowErase",     "TooSlowErase"};
    return kNames[static_cast<int>(f)];
}

const char* Name(At at) {
    constexpr const char* kNames[] = {"Start", "Middle", "End", "WholeRun"};
    return kNames[static_cast<int>(at)];
}

void PrintTo(const Case& c, std::ostream* os) {
    static constexpr const char* kOutcomes[] = {"fails", "warned", "succeeds"};
    *os << Name(c.scenario) << " " << Name(c.phase) << " " << Name(c.fault) << " " << Name(c.at)
        << ": " << kOutcomes[static_cast<int>(c.expected)];
}

// After the last write's acknowledgement only the closing steps remain.
bool Closing(Phase p) {
    return p == Phase::kReadingAgain || p == Phase::kSettingsErase || p == Phase::kFinishUpdate;
}

// Cases whose outcome is not their phase's own, and why.
struct Exception {
    Scenario scenario;
    Phase phase;
    Fault fault;
    At at;
    Outcome expected;
    const char* why;
};

// Dates are only shown, and the identity block only decides the vendor check, which this
// build's vendor-neutral tag passes for every unit; neither decides where data goes.
constexpr const char* kDateRead = "a date block's read: dates are only shown";
constexpr const char* kIdentityRead =
    "a garbled identity block: the neutral vendor check takes any unit and nothing writes it back";
constexpr Exception kExceptions[] = {
    {Scenario::kLaidOut, Phase::kReading, Fault::kRefuseBlock, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    {Scenario::kLaidOut, Phase::kReading, Fault::kDropReport, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    {Scenario::kLaidOut, Phase::kReading, Fault::kCorruptReport, At::kMiddle, Outcome::kSucceeds,
     kIdentityRead},
    {Scenario::kLaidOut, Phase::kReading, Fault::kCorruptReport, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    {Scenario::kBackToFixed, Phase::kReading, Fault::kRefuseBlock, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    {Scenario::kBackToFixed, Phase::kReading, Fault::kDropReport, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    {Scenario::kBackToFixed, Phase::kReading, Fault::kCorruptReport, At::kMiddle,
     Outcome::kSucceeds, kIdentityRead},
    {Scenario::kBackToFixed, Phase::kReading, Fault::kCorruptReport, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    // After the writes the unit answered the closing commands: it did not stop answering.
    {Scenario::kLaidOut, Phase::kReadingAgain, Fault::kDropReport, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    {Scenario::kLaidOut, Phase::kReadingAgain, Fault::kCorruptReport, At::kMiddle,
     Outcome::kSucceeds, kIdentityRead},
    {Scenario::kLaidOut, Phase::kReadingAgain, Fault::kCorruptReport, At::kEnd, Outcome::kSucceeds,
     kDateRead},
    // A refused block is refused to every command: these are met before the closing steps.
    {Scenario::kLaidOut, Phase::kReadingAgain, Fault::kRefuseBlock, At::kStart, Outcome::kFails,
     "the layout block is read before the writes too"},
    {Scenario::kLaidOut, Phase::kReadingAgain, Fault::kRefuseBlock, At::kEnd, Outcome::kFails,
     "the database date's block is the database region's first, written before"},
    {Scenario::kLaidOut, Phase::kSettingsErase, Fault::kRefuseBlock, At::kStart, Outcome::kFails,
     "the settings block is read before the writes"},
};

std::vector<Case> MakeCases() {
    constexpr Fault kFaults[] = {Fault::kRefuseBlock, Fault::kDropReport, Fault::kCorruptReport,
                                 Fault::kLateReport,  Fault::kStop,       Fault::kDisconnect};
    constexpr At kPlaces[] = {At::kStart, At::kMiddle, At::kEnd};
    const std::vector<std::pair<Scenario, std::vector<Phase>>> phases = {
        {Scenario::kLaidOut,
         {Phase::kReading, Phase::kLayoutBlock, Phase::kPlacedAreaErase, Phase::kModelImage,
          Phase::kResource, Phase::kAuxiliary, Phase::kDatabase, Phase::kMain, Phase::kBase,
          Phase::kModelHeader, Phase::kModelData, Phase::kReadingAgain, Phase::kSettingsErase,
          Phase::kFinishUpdate}},
        // The same writes as above, to other places: only what differs, and the reading of a
        // unit whose layout record decides where the update goes.
        {Scenario::kBackToFixed,
         {Phase::kReading, Phase::kLayoutBlockRead, Phase::kSettingsBlockRead, Phase::kIdentity,
          Phase::kLayoutSectorErase}},
    };
    std::vector<Case> cases;
    for (const auto& [scenario, list] : phases) {
        for (Phase phase : list) {
            for (Fault fault : kFaults) {
                for (At at : kPlaces) {
                    Case c{scenario, phase, fault, at,
                           Closing(phase) ? Outcome::kWarned : Outcome::kFails};
                    for (const Exception& e : kExceptions) {
                        if (e.scenario == scenario && e.phase == phase && e.fault == fault &&
                            e.at == at) {
                            c.expected = e.expected;
                            c.why = e.why;
                        }
                    }
                    cases.push_back(c);
                }
            }
        }
    }
    // A slow erase is slow everywhere: within the tool's wait it is no fault; past it, the
    // first erase of the run fails.
    cases.push_back({Scenario::kLaidOut, Phase::kPlacedAreaErase, Fault::kSlowErase, At::kWholeRun,
                     Outcome::kSucceeds, "within the erase's wait"});
    cases.push_back({Scenario::kLaidOut, Phase::kPlacedAreaErase, Fault::kTooSlowErase,
                     At::kWholeRun, Outcome::kFails});
    cases.push_back({Scenario::kBackToFixed, Phase::kLayoutSectorErase, Fault::kTooSlowErase,
                     At::kWholeRun, Outcome::kFails});
    cases.push_back({Scenario::kFixed, Phase::kSettingsErase, Fault::kTooSlowErase, At::kWholeRun,
                     Outcome::kWarned});
    return cases;
}

// ---- The clean run, as a trace shows it -------------------------------------------------

struct Exchange {
    CommandFrame command;
    std::uint64_t first = 0;  // report numbers, from 1, as the simulated unit counts them
    std::uint64_t last = 0;
    Phase phase = Phase::kReading;
    std::optional<Phase> part;  // a read of the first reading that has a phase of its own
};

struct PhaseReports {
    std::vector<std::uint64_t> all;       // every report of the phase, in order
    std::vector<std::uint64_t> incoming;  // those the unit sent
    std::vector<std::uint64_t> blocks;    // the 256-byte blocks its commands touch, in order
};

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Each update write is known by what it carries: the data_sum (and word_c) of one of the
// package's sections, or the layout block's address.
std::optional<Phase> WritePhase(const CommandFrame& c, const UpdatePackage& package) {
    const auto section = [&c](const SectionBuffer& s) {
        return s.Loaded() && c.wordC == s.recordedSize && c.dataSum == s.checksum;
    };
    const auto small = [&c](std::span<const std::uint8_t> bytes) {
        return c.wordC == 0 && c.dataSum == ByteSum(bytes);
    };
    if (c.bank == kBank0 && c.wordA * kBlockBytes == kLayoutAddress) return Phase::kLayoutBlock;
    if (c.bank == kBank0 && small(package.identity)) return Phase::kIdentity;
    if (c.bank == kBank0 && section(package.base)) return Phase::kBase;
    if (c.bank == kBank0 && section(package.auxiliary)) return Phase::kAuxiliary;
    if (c.bank == kBank1 && section(package.resource)) return Phase::kResource;
    if (c.bank == kBank1 && section(package.database)) return Phase::kDatabase;
    if (c.bank == kBank1 && section(package.main)) return Phase::kMain;
    for (const ModelEntry& entry : package.models) {
        if (c.bank == kBank1 && small(entry.flashImage)) return Phase::kModelImage;
        if (c.bank == kBank1 && small(entry.blockHeader)) return Phase::kModelHeader;
        if (c.bank == kBank1 && section(entry.data)) return Phase::kModelData;
    }
    return std::nullopt;
}

// Splits a clean run's trace into exchanges and names the phase of each. Empty `error` on
// success.
std::vector<Exchange> ReadTrace(const fs::path& trace, const UpdatePackage& package,
                                std::string& error) {
    std::vector<Report> reports;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);) {
        Report report{};
        for (std::size_t i = 0; i < report.size(); ++i) {
            report[i] =
                static_cast<std::uint8_t>(std::stoul(line.substr(2 + 2 * i, 2), nullptr, 16));
        }
        reports.push_back(report);
    }
    std::vector<Exchange> exchanges;
    enum { kBefore, kWriting, kAfter } stage = kBefore;
    for (std::size_t at = 0; at < reports.size();) {
        Exchange e;
        if (!ParseCommandReport(reports[at], e.command)) {
            error = "report " + std::to_string(at + 1) + " should start an exchange";
            return {};
        }
        const auto code = static_cast<CommandCode>(e.command.code);
        std::size_t count = 2;
        if (code == CommandCode::kReadBlock) count = 6;
        if (code == CommandCode::kWriteBlocks) count = 2 + 4 * std::size_t{e.command.wordB};
        e.first = at + 1;
        e.last = at + count;
        at += count;
        const bool changes =
            code == CommandCode::kWriteBlocks || code == CommandCode::kEraseSectors;
        if (stage == kBefore && changes) stage = kWriting;
        if (stage == kWriting && !changes) stage = kAfter;
        if (stage == kBefore) {
            e.phase = Phase::kReading;
            const std::uint32_t address = e.command.wordA * kBlockBytes;
            if (code == CommandCode::kReadBlock && e.command.bank == kBank0) {
                if (address == kLayoutAddress) e.part = Phase::kLayoutBlockRead;
                if (address == kSettingsAddress) e.part = Phase::kSettingsBlockRead;
            }
        } else if (stage == kWriting && code == CommandCode::kEraseSectors) {
            e.phase = e.command.wordA * kSectorBytes == kPlacedBase ? Phase::kPlacedAreaErase
                                                                    : Phase::kLayoutSectorErase;
        } else if (stage == kWriting) {
            const auto phase = WritePhase(e.command, package);
            if (!phase) {
                error = "the write at report " + std::to_string(e.first) + " carries no section";
                return {};
            }
            e.phase = *phase;
        } else if (code == CommandCode::kEraseSectors) {
            e.phase = Phase::kSettingsErase;
        } else if (code == CommandCode::kFinishUpdate) {
            e.phase = Phase::kFinishUpdate;
        } else {
            e.phase = Phase::kReadingAgain;
        }
        exchanges.push_back(e);
    }
    return exchanges;
}

PhaseReports ReportsOf(const std::vector<Exchange>& exchanges, Phase phase) {
    PhaseReports out;
    for (const Exchange& e : exchanges) {
        if (e.phase != phase && e.part != phase) continue;
        const auto code = static_cast<CommandCode>(e.command.code);
        for (std::uint64_t r = e.first; r <= e.last; ++r) out.all.push_back(r);
        // The unit's reports: the reply, and before it a read's four data reports.
        if (code == CommandCode::kReadBlock) {
            for (std::uint64_t r = e.first + 1; r <= e.last; ++r) out.incoming.push_back(r);
        } else {
            out.incoming.push_back(e.last);
        }
        std::uint64_t first = e.command.wordA, count = 0;
        if (code == CommandCode::kReadBlock) count = 1;
        if (code == CommandCode::kWriteBlocks) count = e.command.wordB;
        if (code == CommandCode::kEraseSectors) {
            first = std::uint64_t{e.command.wordA} * (kSectorBytes / kBlockBytes);
            count = std::uint64_t{e.command.wordB} * (kSectorBytes / kBlockBytes);
        }
        for (std::uint64_t b = first; b < first + count; ++b) out.blocks.push_back(b);
    }
    return out;
}

// ---- The units ------------------------------------------------------------------------------

using Result = test::CliResult;

Result Update(const fs::path& unit, const fs::path& file, const fs::path& trace = {}) {
    std::vector<std::string> args = {"--device", "sim:" + unit.string(), "--timeout-ms",
                                     std::to_string(kTimeoutMs)};
    if (!trace.empty()) args.insert(args.end(), {"--trace", trace.string()});
    args.insert(args.end(), {"update", file.string(), "--yes"});
    return test::RunCli(args);
}

struct Banks {
    std::vector<std::uint8_t> bank0, bank1;
};

Banks BanksOf(const fs::path& unit) {
    return {ReadFile(unit / "bank0.bin"), ReadFile(unit / "bank1.bin")};
}

// Empty when equal; else where they first differ.
std::string Difference(const Banks& got, const Banks& want) {
    const std::pair<const std::vector<std::uint8_t>*, const std::vector<std::uint8_t>*> pairs[] = {
        {&got.bank0, &want.bank0}, {&got.bank1, &want.bank1}};
    for (int bank = 0; bank < 2; ++bank) {
        const auto& [a, b] = pairs[bank];
        if (a->size() != b->size()) return "bank " + std::to_string(bank) + " has another size";
        const auto diff = std::mismatch(a->begin(), a->end(), b->begin());
        if (diff.first != a->end()) {
            std::ostringstream text;
            text << "bank " << bank << " differs first at 0x" << std::hex
                 << (diff.first - a->begin());
            return text.str();
        }
    }
    return {};
}

void PutUnitFile(const fs::path& unit, const std::string& faults) {
    std::ofstream(unit / "unit.json")
        << "{\"boot_version\": 1011, \"capacity\": " << kCapacity << faults << "}";
}

// A unit in `to` holding what the unit in `from` holds, with no fault.
void CopyUnit(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const char* bank : {"bank0.bin", "bank1.bin"}) fs::copy_file(from / bank, to / bank);
    PutUnitFile(to, "");
}

PackageContents Sample(std::uint32_t models, bool extended) {
    SampleOptions options;
    options.sizes.modelCount = models;
    options.sizes.recordsPerProvince = 0;
    PackageContents contents = MakeSamplePackage(options);
    contents.extendedModelTable = extended;
    // The model leaves a sector empty at the base, so planning also erases.
    for (ModelEntrySource& model : contents.models) model.firstLayoutWord = kSectorBytes;
    return contents;
}

// Everything the cases compare against, made once per process.
struct World {
    fs::path dir;
    struct Run {
        fs::path file;
        fs::path start;   // the unit before the update
        Banks reference;  // what a clean update leaves
        std::vector<Exchange> exchanges;
    };
    std::map<Scenario, Run> runs;
    std::string error;

    World() {
        dir = fs::temp_directory_path() / ("kivrel-fault-matrix-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path blank = dir / "blank";
        if (test::RunCli({"sim", "create", blank.string(), "--capacity", std::to_string(kCapacity)})
                .status != 0) {
            error = "cannot make a simulated unit";
            return;
        }
        const PackageContents contents[] = {Sample(1, true), Sample(1, false), Sample(0, true)};
        const Scenario scenarios[] = {Scenario::kLaidOut, Scenario::kBackToFixed, Scenario::kFixed};
        for (int i = 0; i < 3 && error.empty(); ++i) {
            Run& run = runs[scenarios[i]];
            run.file = dir / (std::string(Name(scenarios[i])) + ".qdx");
            WriteFile(run.file, WritePackage(contents[i]).bytes);
            UpdatePackage package;
            if (!LoadPackageBytes(package, ReadFile(run.file))) {
                error = "the sample file does not load";
                return;
            }
            // A unit laid out by the first scenario's update is where the second starts.
            run.start = scenarios[i] == Scenario::kBackToFixed ? dir / "reference-LaidOut" : blank;
            const fs::path unit = dir / ("reference-" + std::string(Name(scenarios[i])));
            const fs::path trace = dir / ("trace-" + std::string(Name(scenarios[i])) + ".txt");
            CopyUnit(run.start, unit);
            const Result clean = Update(unit, run.file, trace);
            if (clean.status != 0) {
                error =
                    std::string("the clean ") + Name(scenarios[i]) + " update failed: " + clean.err;
                return;
            }
            run.reference = BanksOf(unit);
            run.exchanges = ReadTrace(trace, package, error);
        }
    }
    ~World() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const World& TheWorld() {
    static World world;
    return world;
}

// The fault as unit.json keys, aimed at report (or block) `target`.
std::string FaultKeys(Fault fault, std::uint64_t target) {
    const std::string n = std::to_string(target);
    // Report `target` is the first one the unit does not answer, or that fails.
    const std::string before = std::to_string(std::max<std::uint64_t>(target, 2) - 1);
    switch (fault) {
        case Fault::kRefuseBlock:
            return ", \"refuse_block\": " + n;
        case Fault::kDropReport:
            return ", \"drop_report\": " + n;
        case Fault::kCorruptReport:
            return ", \"corrupt_report\": " + n;
        case Fault::kLateReport:
            return ", \"late_report\": " + n + ", \"late_ms\": " + std::to_string(kLateMs);
        case Fault::kStop:
            return ", \"stop_after_reports\": " + before;
        case Fault::kDisconnect:
            return ", \"disconnect_after_reports\": " + before;
        case Fault::kSlowErase:
            return ", \"erase_ms_per_sector\": " + std::to_string(kSlowEraseMs);
        case Fault::kTooSlowErase:
            return ", \"erase_ms_per_sector\": " + std::to_string(kTooSlowEraseMs);
    }
    return {};
}

std::string CaseName(const Case& c) {
    return std::string(Name(c.scenario)) + "_" + Name(c.phase) + "_" + Name(c.fault) + "_" +
           Name(c.at);
}

// Where the fault strikes, from the clean run: a report (or block) number, or none when the
// phase has no such place (a command with no block) or the place is another case's.
std::optional<std::uint64_t> Target(const Case& c, const World::Run& run) {
    if (c.at == At::kWholeRun) return 0;
    const PhaseReports reports = ReportsOf(run.exchanges, c.phase);
    const std::vector<std::uint64_t>& places = c.fault == Fault::kRefuseBlock  ? reports.blocks
                                               : c.fault == Fault::kLateReport ? reports.incoming
                                                                               : reports.all;
    if (places.empty()) return std::nullopt;
    const std::uint64_t start = places.front(), end = places.back();
    const std::uint64_t middle = places[(places.size() - 1) / 2];
    if (c.at == At::kStart) return start;
    if (c.at == At::kMiddle) {
        return middle == start || middle == end ? std::nullopt : std::optional(middle);
    }
    return end == start ? std::nullopt : std::optional(end);
}

void RunCase(const Case& c, const World& world) {
    const World::Run& run = world.runs.at(c.scenario);
    const auto target = Target(c, run);
    if (!target) return;
    const std::string faults = FaultKeys(c.fault, *target);
    std::ostringstream title;
    PrintTo(c, &title);
    SCOPED_TRACE(title.str() + "; unit.json faults:" + faults +
                 (*c.why != 0 ? std::string("; ") + c.why : ""));

    const fs::path unit = world.dir / CaseName(c);
    CopyUnit(run.start, unit);
    PutUnitFile(unit, faults);
    const Result faulty = Update(unit, run.file);
    switch (c.expected) {
        case Outcome::kFails:
            EXPECT_EQ(faulty.status, 1) << faulty.err;
            EXPECT_EQ(faulty.out.find("Successfully"), std::string::npos) << faulty.out;
            EXPECT_EQ(faulty.err.find("Successfully"), std::string::npos) << faulty.err;
            break;
        case Outcome::kWarned:
        case Outcome::kSucceeds: {
            EXPECT_EQ(faulty.status, 0) << faulty.err;
            EXPECT_EQ(faulty.out, kSuccessLine);
            const bool warned = faulty.err.find(kWarningLine) != std::string::npos;
            EXPECT_EQ(warned, c.expected == Outcome::kWarned) << faulty.err;
            // A success means the unit holds the update.
            EXPECT_EQ(Difference(BanksOf(unit), run.reference), "");
            break;
        }
    }

    PutUnitFile(unit, "");
    const Result retry = Update(unit, run.file);
    EXPECT_EQ(retry.status, 0) << retry.err;
    EXPECT_EQ(retry.out, kSuccessLine);
    EXPECT_EQ(Difference(BanksOf(unit), run.reference), "");
    std::error_code ec;
    fs::remove_all(unit, ec);
}

// One test per phase, each running that phase's cases: a process per phase lets ctest run
// phases side by side without making every case set up the clean runs again.
struct PhaseOfScenario {
    Scenario scenario;
    Phase phase;
};

void PrintTo(const PhaseOfScenario& p, std::ostream* os) {
    *os << Name(p.scenario) << " " << Name(p.phase);
}

std::vector<PhaseOfScenario> PhasesWithCases() {
    std::vector<PhaseOfScenario> phases;
    for (const Case& c : MakeCases()) {
        if (std::none_of(phases.begin(), phases.end(), [&c](const PhaseOfScenario& p) {
                return p.scenario == c.scenario && p.phase == c.phase;
            })) {
            phases.push_back({c.scenario, c.phase});
        }
    }
    return phases;
}

class UpdateFaultMatrix : public ::testing::TestWithParam<PhaseOfScenario> {};

TEST_P(UpdateFaultMatrix, FailsOrWarnsAndOneRetryRepairs) {
    const World& world = TheWorld();
    ASSERT_TRUE(world.error.empty()) << world.error;
    const PhaseOfScenario& p = GetParam();
    ASSERT_FALSE(ReportsOf(world.runs.at(p.scenario).exchanges, p.phase).all.empty())
        << Name(p.phase) << " is not in the clean run";
    for (const Case& c : MakeCases()) {
        if (c.scenario == p.scenario && c.phase == p.phase) RunCase(c, world);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, UpdateFaultMatrix, ::testing::ValuesIn(PhasesWithCases()),
                         [](const ::testing::TestParamInfo<PhaseOfScenario>& info) {
                             return std::string(Name(info.param.scenario)) + "_" +
                                    Name(info.param.phase);
                         });

}  // namespace
}  // namespace kivrel
