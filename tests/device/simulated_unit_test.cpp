// The simulated unit stands in for the hardware in every device and CLI test: if it accepted a
// bad frame, a wrong data_sum or lost data on disk, those tests would pass over real faults.

#include "device/sim/simulated_unit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "base/byte_sum.h"
#include "device/sim/sim_directory.h"
#include "device/trace_transport.h"
#include "package/scrambler.h"
#include "tests/device/device_test_support.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        path = fs::temp_directory_path() /
               ("kivrel-sim-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

std::vector<std::uint8_t> FileBytes(const fs::path& path, std::size_t offset, std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    return bytes;
}

// Sends one WriteBlocks exchange straight to the simulator; returns the reply's status.
std::uint32_t WriteThrough(SimulatedUnit& sim, std::uint32_t block, std::uint8_t bank,
                           const std::vector<std::uint8_t>& data, std::uint32_t wordC,
                           std::uint32_t dataSum) {
    CHidCmd link;
    link.Attach(std::make_unique<BorrowedTransport>(sim), nullptr);
    link.SetTimeoutMs(10);
    const auto blocks = static_cast<std::uint32_t>(data.size() / 256);
    EXPECT_TRUE(link.SendCommand(CommandCode::kWriteBlocks, block, blocks, wordC, bank, dataSum));
    const int sent = link.WriteBlockData(blocks, data);
    return sent == static_cast<int>(data.size()) ? 0 : 1;
}

TEST(SimulatedUnit, StoresABlockWriteOnlyWhenItsDataSumHolds) {
    const std::vector<std::uint8_t> plain = test::Pattern(700, 1);
    std::vector<std::uint8_t> stored = plain;
    ScrambleBuffer(stored);
    stored.resize(768, 0xFF);
    const std::uint32_t plainSum = ByteSum(plain) + 68u * 255u;
    struct Case {
        const char* name;
        std::uint32_t wordC;
        std::uint32_t dataSum;
        std::uint32_t block;
        bool stores;
    };
    const Case cases[] = {
        {"scrambled part unscrambled, 255 per byte after it", 700, plainSum, 0x10, true},
        {"sum one off", 700, plainSum + 1, 0x10, false},
        {"word_c 0: the sum of the bytes as sent", 0, ByteSum(stored), 0x10, true},
        {"word_c larger than the data", 769, plainSum, 0x10, false},
        {"past the end of the bank", 700, plainSum, 0xFFFF, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto store = std::make_unique<MemoryBankStore>(0x100000);
        MemoryBankStore* banks = store.get();
        SimulatedUnit sim({}, std::move(store));
        EXPECT_EQ(WriteThrough(sim, c.block, 1, stored, c.wordC, c.dataSum), c.stores ? 0u : 1u);
        std::vector<std::uint8_t> expected(768, 0xFF);
        if (c.stores) {
            expected = stored;
            if (c.wordC != 0) std::copy(plain.begin(), plain.end(), expected.begin());
        }
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), banks->Bank(1).begin() + 0x1000));
        EXPECT_TRUE(sim.Violations().empty());
    }
}

TEST(SimulatedUnit, APacedUnitTakesAFramePerReport) {
    // A block read is 6 reports: the command, 4 data reports and the reply. At 2 ms a frame
    // it cannot take less than 12 ms, however fast the machine.
    SimulatedUnit sim(SimSettings{1011, {}, 2000}, std::make_unique<MemoryBankStore>(0x100000));
    CHidCmd link;
    link.Attach(std::make_unique<BorrowedTransport>(sim), nullptr);
    link.SetTimeoutMs(50);
    std::array<std::uint8_t, 256> block{};
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(link.ReadOneBlock(0, 0, block), 256);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(12));
    EXPECT_EQ(sim.ReportsExchanged(), 6u);

    // Nor after the wire stood idle while the tool waited for a reply that never came.
    EXPECT_FALSE(link.ReceiveReply());
    start = std::chrono::steady_clock::now();
    ASSERT_EQ(link.ReadOneBlock(0, 0, block), 256);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(12));
}

TEST(SimulatedUnit, RecordsFramesThatBreakTheProtocol) {
    SimulatedUnit sim({}, std::make_unique<MemoryBankStore>(0x10000));
    Report report{};
    WriteFrame(MakeCommandFrame(CommandCode::kQueryVersion, 1, 2, 0, 0, 0), report);
    ASSERT_TRUE(sim.WriteReport(report, 0));  // no magic pair
    report[40] = 0;                           // filler spoilt
    ASSERT_TRUE(sim.WriteReport(report, 0));
    EXPECT_EQ(sim.Violations().size(), 2u);
    std::size_t count = 0;
    ASSERT_TRUE(sim.ReadReport(report, count, 0));  // the first is refused, the second unread
    EXPECT_EQ(report[3], 1);
    EXPECT_FALSE(sim.ReadReport(report, count, 0));
}

TEST(SimDirectory, CreatesABlankUnitAndRefusesToOverwriteIt) {
    TempDir dir;
    ASSERT_EQ(CreateSimDirectory(dir.path, 1012, 0x20000), "");
    EXPECT_EQ(fs::file_size(dir.path / "bank0.bin"), 0x20000u);
    EXPECT_EQ(FileBytes(dir.path / "bank1.bin", 0x1FF00, 256),
              std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_NE(CreateSimDirectory(dir.path, 1012, 0x20000), "");

    std::string error;
    auto sim = OpenSimDirectory(dir.path, error);
    ASSERT_NE(sim, nullptr) << error;
    CGpsUnit unit;
    unit.link.Attach(std::move(sim), nullptr);
    unit.ResetUnitInfo();
    ASSERT_TRUE(unit.ReadUnitInfo());
    EXPECT_EQ(unit.bootVersion, 1012);
    EXPECT_EQ(unit.capacity, 0x20000u);
    EXPECT_FALSE(unit.HasLayoutRecord());
}

TEST(SimDirectory, AcceptedWritesAreOnDiskBeforeTheLinkCloses) {
    TempDir dir;
    ASSERT_EQ(CreateSimDirectory(dir.path, 1011, 0x20000), "");
    std::string error;
    CGpsUnit unit;
    unit.link.Attach(OpenSimDirectory(dir.path, error), nullptr);
    unit.ResetUnitInfo();
    ASSERT_TRUE(unit.ReadUnitInfo());
    SettingsBlock block;
    block.bytes.fill(7);
    ASSERT_TRUE(unit.WriteSettings(&block));
    // Still open: a crash now must leave the files as the unit took the write.
    const auto onDisk = FileBytes(dir.path / "bank0.bin", 0x11004, 252);
    EXPECT_EQ(onDisk, std::vector<std::uint8_t>(252, 7));
    unit.link.CloseHandles();
    EXPECT_EQ(FileBytes(dir.path / "bank0.bin", 0x11004, 252), onDisk);
}

TEST(SimDirectory, RefusesBrokenUnitFilesWithAReason) {
    struct Case {
        const char* name;
        const char* json;
        const char* reason;
    };
    const Case cases[] = {
        {"not JSON", "{boot", "not a JSON object"},
        {"an array", "[1011, 65536]", "not a JSON object"},
        {"no capacity", R"({"boot_version": 1011})", "needs"},
        {"ragged capacity", R"({"boot_version": 1011, "capacity": 5000})", "multiple of 4096"},
        {"huge capacity", R"({"boot_version": 1011, "capacity": 4294967296})", "out of range"},
        {"text fault", R"({"boot_version": 1, "capacity": 4096, "drop_report": "5"})",
         "whole number"},
        {"negative count", R"({"boot_version": 1, "capacity": 4096, "stop_after_reports": -1})",
         "out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnitFile unit;
        const std::string error = ParseSimUnitJson(c.json, unit);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    SimUnitFile unit;
    ASSERT_EQ(ParseSimUnitJson(R"({"boot_version": -2, "capacity": 8192, "refuse_block": 22,
        "drop_report": 3, "corrupt_report": 4, "stop_after_reports": 5,
        "disconnect_after_reports": 6, "erase_ms_per_sector": 7, "late_report": 8,
        "late_ms": 9, "frame_us": 1000, "note": "more keys are fine"})",
                               unit),
              "");
    EXPECT_EQ(unit.bootVersion, -2);
    EXPECT_EQ(unit.faults.refuseBlock, 22);
    EXPECT_EQ(unit.faults.disconnectAfterReports, 6u);
    EXPECT_EQ(unit.faults.eraseMsPerSector, 7u);
    EXPECT_EQ(unit.faults.lateReport, 8u);
    EXPECT_EQ(unit.faults.lateMs, 9u);
    EXPECT_EQ(unit.frameUs, 1000u);

    TempDir dir;
    ASSERT_EQ(CreateSimDirectory(dir.path, 1011, 0x20000), "");
    fs::resize_file(dir.path / "bank1.bin", 0x10000);
    std::string error;
    EXPECT_EQ(OpenSimDirectory(dir.path, error), nullptr);
    EXPECT_NE(error.find("bank1.bin"), std::string::npos) << error;
    EXPECT_EQ(OpenSimDirectory(dir.path / "missing", error), nullptr);
    EXPECT_NE(error.find("no simulated unit"), std::string::npos) << error;
}

TEST(TraceTransport, AppendsOneLinePerReportInTheExchangeOrder) {
    TempDir dir;
    fs::create_directories(dir.path);
    const fs::path tracePath = dir.path / "trace.txt";
    for (int run = 0; run < 2; ++run) {
        test::SimUnit u;
        std::string error;
        auto traced = std::make_unique<TracingTransport>(
            std::make_unique<BorrowedTransport>(*u.sim), tracePath, error);
        ASSERT_TRUE(traced->Valid()) << error;
        u.unit.link.Attach(std::move(traced), nullptr);
        u.unit.ResetUnitInfo();
        ASSERT_TRUE(u.unit.ReadUnitInfo());
        u.unit.link.CloseHandles();
    }
    std::ifstream in(tracePath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    // Per reading: 2 queries (2 reports each) and 6 block reads (6 reports each).
    ASSERT_EQ(lines.size(), 2u * (2 * 2 + 6 * 6));
    const std::regex format("[<>] [0-9a-f]{130}");
    for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, format)) << line;
    EXPECT_EQ(lines[0].substr(0, 2 + 2 * 29),
              "> 00f7177856341201efcdab00000000000000000048494443a2050000cc");  // QueryVersion
    EXPECT_EQ(lines[1].substr(0, 6), "< 00f7");
}

}  // namespace
}  // namespace kivrel
