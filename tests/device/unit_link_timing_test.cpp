// A unit on a real bus answers a while after it is asked, and its first answer can take
// seconds: an exchange that does not wait for the end of the previous one reads one unit's
// reply as another command's, or as block data, and writes by a reading that went out of step.
// These run the unit on its own thread, late, as a real link is.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/gps_unit.h"
#include "device/sim/simulated_unit.h"
#include "device/trace_transport.h"
#include "tests/device/device_test_support.h"

namespace kivrel {
namespace {

struct TraceLines : TraceSink {
    std::vector<std::string> lines;
    void Line(std::string_view line) override { lines.emplace_back(line); }
};

// A blank unit with the given timing, every report it exchanges traced.
struct TimedUnit {
    explicit TimedUnit(SimTiming timing) {
        auto store = std::make_unique<MemoryBankStore>(0x1000000);
        banks = store.get();
        SimSettings settings;
        settings.timing = timing;
        sim = std::make_unique<SimulatedUnit>(settings, std::move(store));
        unit.link.Attach(
            std::make_unique<TracingTransport>(std::make_unique<BorrowedTransport>(*sim), trace),
            nullptr);
    }
    // As the window and the command line read a unit they have just opened.
    [[nodiscard]] bool Read(bool& silent) {
        unit.ResetUnitInfo();
        return unit.ReadUnitInfoBounded(silent);
    }

    TraceLines trace;
    MemoryBankStore* banks = nullptr;
    std::unique_ptr<SimulatedUnit> sim;
    CGpsUnit unit;
};

const UpdatePackage& Package() {
    static const UpdatePackage package = test::MakePackage(5000, 9000, 7000);
    return package;
}

// What a unit that answers at once ends with after a reading and the update.
struct Reference {
    std::vector<std::string> trace;
    std::vector<std::uint8_t> bank0, bank1;
};
const Reference& Clean() {
    static const Reference reference = [] {
        TimedUnit u{SimTiming{}};
        bool silent = false;
        EXPECT_TRUE(u.Read(silent));
        EXPECT_EQ(u.unit.WriteUpdate(Package()), WriteResult::kWritten);
        return Reference{u.trace.lines, u.banks->Bank(0), u.banks->Bank(1)};
    }();
    return reference;
}

TEST(UnitLink, ASlowFirstAnswerIsWaitedForAndTheExchangesAreAnIdleUnitsApartFromWaits) {
    // 1.5 s for the first answer, as a unit just plugged in may take; then 0.3 ms a report.
    TimedUnit u{SimTiming{.async = true, .answerLatencyUs = 300, .firstAnswerMs = 1500}};
    bool silent = false;
    ASSERT_TRUE(u.Read(silent));
    EXPECT_FALSE(silent);
    EXPECT_EQ(u.unit.ReadingFault(), "");
    EXPECT_EQ(u.unit.bootVersion, 1011);
    ASSERT_EQ(u.unit.WriteUpdate(Package()), WriteResult::kWritten);
    u.sim->WaitIdle();
    EXPECT_EQ(u.sim->CommandsOutOfStep(), 0u);
    EXPECT_TRUE(u.sim->Violations().empty());
    EXPECT_EQ(u.trace.lines, Clean().trace);
    EXPECT_EQ(u.banks->Bank(0), Clean().bank0);
    EXPECT_EQ(u.banks->Bank(1), Clean().bank1);
}

TEST(UnitLink, AnswersLaterThanTheBoundLeaveAReadingThatIsNeverWrittenBy) {
    // The first two answers come after the first-answer bound (here 200 ms): the version reply
    // lands while the capacity would be asked, the capacity reply while the layout block would
    // be read.
    TimedUnit u{
        SimTiming{.async = true, .answerLatencyUs = 200, .firstAnswerMs = 500, .slowAnswers = 2}};
    u.unit.link.SetTimeoutMs(3000);
    u.unit.ResetUnitInfo();
    u.unit.link.BoundWaitsUntilAnswered(200);
    ASSERT_TRUE(u.unit.ReadUnitInfo());
    u.unit.link.BoundWaitsUntilAnswered(0);
    EXPECT_EQ(u.unit.ReadingFault(), kReadingBootVersion);
    EXPECT_EQ(u.unit.WriteUpdate(Package()), WriteResult::kFailed);
    u.sim->WaitIdle();
    // No command went while an answer was on its way, so none was answered by another's reply
    // and no reply frame was taken for block data; nothing was written.
    EXPECT_EQ(u.sim->CommandsOutOfStep(), 0u);
    EXPECT_EQ(u.sim->Commands().size(), 1u);
    EXPECT_TRUE(u.sim->Violations().empty());

    // The late answer has come: the next reading is whole and the update is the clean one.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    bool silent = false;
    ASSERT_TRUE(u.Read(silent));
    EXPECT_EQ(u.unit.ReadingFault(), "");
    ASSERT_EQ(u.unit.WriteUpdate(Package()), WriteResult::kWritten);
    u.sim->WaitIdle();
    EXPECT_EQ(u.sim->CommandsOutOfStep(), 0u);
    EXPECT_EQ(u.banks->Bank(0), Clean().bank0);
    EXPECT_EQ(u.banks->Bank(1), Clean().bank1);
}

}  // namespace
}  // namespace kivrel
