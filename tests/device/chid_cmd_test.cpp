// The command layer is the only thing between the tool and the unit's flash: a wrong byte in a
// frame, a miscounted data phase or a reply taken for success writes garbage or hides a failure.

#include "device/chid_cmd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <thread>

#include "device/unit_ids.h"
#include "tests/device/device_test_support.h"

namespace kivrel {
namespace {

// A transport whose input reports are scripted and whose output reports are kept.
class ScriptedTransport : public HidTransport {
public:
    std::vector<Report> written;
    std::deque<Report> waiting;                // already queued when the next command goes
    std::deque<std::optional<Report>> inputs;  // nullopt: that read fails
    std::vector<std::uint32_t> readWaits;
    std::size_t failWriteAt = SIZE_MAX;  // 0-based write that fails
    std::size_t inputCount = kReportBytes;
    std::size_t discarded = 0;

    std::size_t DiscardInput() override {
        discarded += waiting.size();
        waiting.clear();
        return discarded;
    }

    bool WriteReport(ReportView report, std::uint32_t) override {
        if (written.size() == failWriteAt) return false;
        written.emplace_back();
        std::copy(report.begin(), report.end(), written.back().begin());
        return true;
    }
    bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                    std::uint32_t timeoutMs) override {
        readWaits.push_back(timeoutMs);
        count = 0;
        if (!waiting.empty()) {
            std::copy(waiting.front().begin(), waiting.front().end(), report.begin());
            waiting.pop_front();
            count = kReportBytes;
            return true;
        }
        if (inputs.empty() || !inputs.front()) {
            if (!inputs.empty()) inputs.pop_front();
            return false;
        }
        std::copy(inputs.front()->begin(), inputs.front()->end(), report.begin());
        inputs.pop_front();
        count = inputCount;
        return true;
    }
    void Close() override {}
};

Report ReplyReport(std::uint32_t status, std::uint32_t value = 0, std::uint8_t code = 0xF7) {
    CommandFrame frame{code, kFrameLength, status, value, 0, 0, 0, kFrameSignature, 0};
    frame.frameSum = FrameSumOf(frame);
    Report report{};
    const auto bytes = EncodeFrame(frame);
    std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
    return report;
}

Report DataReport(std::uint8_t fill) {
    Report report;
    report.fill(fill);
    report[0] = 0;
    return report;
}

struct Link {
    ScriptedTransport* transport = nullptr;
    test::RecordingSink sink;
    CHidCmd cmd;
    Link() {
        auto owned = std::make_unique<ScriptedTransport>();
        transport = owned.get();
        cmd.Attach(std::move(owned), &sink);
        cmd.SetTimeoutMs(1000);
    }
};

TEST(CommandFrame, QueryVersionFrameHasItsExactBytes) {
    const auto bytes =
        EncodeFrame(MakeCommandFrame(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
    const std::array<std::uint8_t, kFrameBytes> expected = {
        0xF7, 0x17, 0x78, 0x56, 0x34, 0x12, 0x01, 0xEF, 0xCD, 0xAB, 0,    0, 0, 0,
        0,    0,    0,    0,    0,    0x48, 0x49, 0x44, 0x43, 0xA2, 0x05, 0, 0};
    EXPECT_EQ(bytes, expected);
}

TEST(CommandFrame, CommandReportIsZeroThenTheFrameThen37BytesOfFiller) {
    Link link;
    ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kWriteBlocks, 1, 2, 3, 1, 0x1234));
    ASSERT_EQ(link.transport->written.size(), 1u);
    const Report& report = link.transport->written[0];
    EXPECT_EQ(report[0], 0x00);
    const auto frame = EncodeFrame(MakeCommandFrame(CommandCode::kWriteBlocks, 1, 2, 3, 1, 0x1234));
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), report.begin() + 1));
    EXPECT_TRUE(std::all_of(report.begin() + 28, report.end(), [](auto b) { return b == 0xCC; }));
    CommandFrame parsed;
    EXPECT_TRUE(ParseCommandReport(report, parsed));
}

TEST(CommandFrame, RepliesAreJudgedByCodeLengthSignatureAndSum) {
    struct Case {
        const char* name;
        std::size_t spoilAt;  // report byte to change; 0 = none
        std::uint8_t code;
        std::uint32_t status;
        bool ok;
        bool frameKept;
    };
    const Case cases[] = {
        {"success", 0, 0xF7, 0, true, true},
        {"status 1 is a refusal that keeps the reply", 0, 0xF7, 1, false, true},
        {"another command's code: an earlier command's late reply", 0, 0xF1, 0, false, false},
        {"no command's code: a unit that does not echo it", 0, 0x00, 0, true, true},
        {"no command's code, status 1", 0, 0x42, 1, false, true},
        {"wrong checksum byte", 24, 0xF7, 0, false, false},
        {"wrong length byte", 2, 0xF7, 0, false, false},
        {"wrong signature", 20, 0xF7, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
        Report reply = ReplyReport(c.status, 1011, c.code);
        if (c.spoilAt != 0) reply[c.spoilAt] ^= 0x40;
        link.transport->inputs.push_back(reply);
        CommandFrame frame;
        frame.wordB = 99;
        EXPECT_EQ(link.cmd.ReceiveReply(&frame), c.ok);
        if (c.frameKept) {
            EXPECT_EQ(frame.wordA, c.status);
            EXPECT_EQ(frame.wordB, 1011u);
            EXPECT_EQ(frame.code, c.code);
        } else {
            EXPECT_EQ(frame, CommandFrame{});
        }
    }
}

TEST(CommandFrame, BytesThatDidNotArriveReadAsZero) {
    Link link;
    ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
    link.transport->inputs.push_back(ReplyReport(0));
    link.transport->inputCount = 20;  // the signature and sum never came
    CommandFrame frame;
    EXPECT_FALSE(link.cmd.ReceiveReply(&frame));
    EXPECT_EQ(frame, CommandFrame{});
}

TEST(ChidCmd, WritingTwoBlocksSendsEightDataReportsAndPostsEightMessagesThenReadsOneReply) {
    Link link;
    ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kWriteBlocks, 0, 2, 0, 0, 0));
    link.transport->inputs.push_back(ReplyReport(0, 0, 0xF3));
    const auto data = test::Pattern(512, 9);
    EXPECT_EQ(link.cmd.WriteBlockData(2, data), 512);
    ASSERT_EQ(link.transport->written.size(), 9u);  // the command, then the data
    for (std::size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(link.transport->written[i + 1][0], 0);
        EXPECT_TRUE(std::equal(data.begin() + i * 64, data.begin() + (i + 1) * 64,
                               link.transport->written[i + 1].begin() + 1));
    }
    EXPECT_EQ(link.sink.writtenReports, 8u);
    EXPECT_EQ(link.sink.writtenBytes, 512u);
    EXPECT_EQ(link.transport->readWaits.size(), 1u);
    EXPECT_TRUE(link.transport->inputs.empty());
}

TEST(ChidCmd, DataPhasesReportHowFarTheyGot) {
    {
        SCOPED_TRACE("write fails on the third data report");
        Link link;
        link.transport->failWriteAt = 2;  // no command sent: the data reports are writes 0-7
        EXPECT_EQ(link.cmd.WriteBlockData(2, test::Pattern(512, 1)), 128);
        EXPECT_TRUE(link.transport->readWaits.empty());
    }
    {
        SCOPED_TRACE("write refused by the closing reply");
        Link link;
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kWriteBlocks, 0, 1, 0, 0, 0));
        link.transport->inputs.push_back(ReplyReport(1, 0, 0xF3));
        EXPECT_EQ(link.cmd.WriteBlockData(1, test::Pattern(256, 1)), -2);
    }
    {
        SCOPED_TRACE("write source shorter than the blocks");
        Link link;
        EXPECT_EQ(link.cmd.WriteBlockData(2, test::Pattern(300, 1)), 0);
        EXPECT_TRUE(link.transport->written.empty());
    }
    {
        SCOPED_TRACE("read fails on the third data report");
        Link link;
        link.transport->inputs = {DataReport(1), DataReport(2), std::nullopt};
        std::array<std::uint8_t, 256> block{};
        EXPECT_EQ(link.cmd.ReadOneBlock(5, 1, block), 128);
        EXPECT_EQ(block[64], 2);
        EXPECT_EQ(link.sink.readReports, 2u);
    }
    {
        SCOPED_TRACE("read refused by the closing reply");
        Link link;
        link.transport->inputs = {DataReport(1), DataReport(2), DataReport(3), DataReport(4),
                                  ReplyReport(1, 0, 0xF2)};
        std::array<std::uint8_t, 256> block{};
        EXPECT_EQ(link.cmd.ReadOneBlock(5, 1, block), -2);
    }
    {
        SCOPED_TRACE("read command cannot be sent");
        Link link;
        link.transport->failWriteAt = 0;
        std::array<std::uint8_t, 256> block{};
        EXPECT_EQ(link.cmd.ReadOneBlock(5, 1, block), -1);
    }
}

TEST(ChidCmd, ReadingABlockGathersFourReportsInOrderThenTheReply) {
    Link link;
    link.transport->inputs = {DataReport(1), DataReport(2), DataReport(3), DataReport(4),
                              ReplyReport(0, 0, 0xF2)};
    std::array<std::uint8_t, 256> block{};
    EXPECT_EQ(link.cmd.ReadOneBlock(0x160, 0, block), 256);
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[255], 4);
    CommandFrame sent;
    ASSERT_TRUE(ParseCommandReport(link.transport->written.at(0), sent));
    EXPECT_EQ(sent, MakeCommandFrame(CommandCode::kReadBlock, 0x160, 1, 0, 0, 0));
}

TEST(ChidCmd, TheAbortFlagEndsADataPhaseAfterTheCurrentReport) {
    Link link;
    link.sink.onWritten = [&] { link.cmd.abortFlag = 1; };
    EXPECT_EQ(link.cmd.WriteBlockData(2, test::Pattern(512, 1)), 0);
    EXPECT_EQ(link.transport->written.size(), 1u);
}

TEST(ChidCmd, AnEraseReplyWaitsTheBasePlus500MsPerSectorAndOtherRepliesTheBase) {
    Link link;
    link.cmd.SetTimeoutMs(700);
    for (std::uint8_t code : {0xF1, 0xF7, 0xF1}) {
        link.transport->inputs.push_back(ReplyReport(0, 0, code));
    }
    ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kEraseSectors, 34, 40, 0, 0, 0));
    EXPECT_TRUE(link.cmd.ReceiveReply());
    ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
    EXPECT_TRUE(link.cmd.ReceiveReply());
    ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kEraseSectors, 0, 0xFFFFFFFF, 0, 0, 0));
    EXPECT_TRUE(link.cmd.ReceiveReply());
    EXPECT_EQ(link.transport->readWaits,
              (std::vector<std::uint32_t>{700 + 40 * 500, 700, 0xFFFFFFFF}));
}

TEST(ChidCmd, ALateReplyIsNeverTakenForTheNextCommands) {
    const Report lateVersion = ReplyReport(0, 1011, 0xF7);
    const Report capacity = ReplyReport(0, 0x1000000, 0xFB);
    {
        SCOPED_TRACE("already waiting when the command goes: dropped");
        Link link;
        link.transport->waiting = {lateVersion, DataReport(7)};
        link.transport->inputs = {capacity};
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0));
        EXPECT_EQ(link.transport->discarded, 2u);
        CommandFrame reply;
        EXPECT_TRUE(link.cmd.ReceiveReply(&reply));
        EXPECT_EQ(reply.wordB, 0x1000000u);
    }
    {
        SCOPED_TRACE("coming while the reply is awaited: passed over");
        Link link;
        link.transport->inputs = {lateVersion, capacity};
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0));
        CommandFrame reply;
        EXPECT_TRUE(link.cmd.ReceiveReply(&reply));
        EXPECT_EQ(reply.wordB, 0x1000000u);
    }
    {
        SCOPED_TRACE("only the late reply comes: no reply");
        Link link;
        link.transport->inputs = {lateVersion};
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0));
        CommandFrame reply;
        EXPECT_FALSE(link.cmd.ReceiveReply(&reply));
        EXPECT_EQ(reply, CommandFrame{});
    }
}

TEST(ChidCmd, UntilTheUnitFirstAnswersNoWaitIsLongerThanTheGivenBound) {
    Link link;
    link.cmd.BoundWaitsUntilAnswered(50);
    // The first reply comes after the cut wait: it is found before the next command goes, and
    // from then on the whole bound holds.
    link.transport->inputs = {std::nullopt, ReplyReport(0, 1011, 0xF7), ReplyReport(0, 1011, 0xF7),
                              ReplyReport(0, 1011, 0xF7)};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
        EXPECT_EQ(link.cmd.ReceiveReply(), i != 0);
        EXPECT_EQ(link.cmd.Unanswered(), i == 0);
    }
    EXPECT_EQ(link.transport->readWaits, (std::vector<std::uint32_t>{50, 0, 1000, 1000}));
}

TEST(ChidCmd, ACommandGoesOnlyOnceThePreviousExchangeHasEnded) {
    const Report version = ReplyReport(0, 1011, 0xF7);
    {
        SCOPED_TRACE("given up before its whole bound: held until its reply has come");
        Link link;
        link.cmd.BoundWaitsUntilAnswered(50);
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
        EXPECT_FALSE(link.cmd.ReceiveReply());
        EXPECT_FALSE(link.cmd.InStep());
        EXPECT_FALSE(link.cmd.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0));
        EXPECT_EQ(link.transport->written.size(), 1u);  // nothing went
        link.transport->waiting = {version};            // the late reply is there now
        EXPECT_TRUE(link.cmd.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0));
        EXPECT_EQ(link.transport->written.size(), 2u);
        link.transport->inputs = {ReplyReport(0, 0x1000000, 0xFB)};
        EXPECT_TRUE(link.cmd.ReceiveReply());
        EXPECT_TRUE(link.cmd.InStep());
        EXPECT_EQ(link.cmd.UnsettledExchanges(), 2u);
    }
    {
        SCOPED_TRACE("its whole bound passed: the next command goes");
        Link link;
        link.cmd.SetTimeoutMs(1);
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0));
        EXPECT_FALSE(link.cmd.ReceiveReply());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(link.cmd.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0));
    }
    {
        SCOPED_TRACE("a write's data phase cut short: the unit would take a command as data");
        Link link;
        link.transport->failWriteAt = 3;
        ASSERT_TRUE(link.cmd.SendCommand(CommandCode::kWriteBlocks, 0, 1, 0, 0, 0));
        EXPECT_EQ(link.cmd.WriteBlockData(1, test::Pattern(256, 1)), 128);
        link.transport->failWriteAt = SIZE_MAX;
        EXPECT_FALSE(link.cmd.SendCommand(CommandCode::kFinishUpdate, 0, 0, 0, 0, 0));
        EXPECT_EQ(link.transport->written.size(), 3u);
        link.cmd.Attach(std::make_unique<ScriptedTransport>(), nullptr);  // plugged in again
        EXPECT_TRUE(link.cmd.SendCommand(CommandCode::kFinishUpdate, 0, 0, 0, 0, 0));
    }
}

TEST(ChidCmd, AReplyFrameIsNeverTakenForBlockData) {
    struct Case {
        const char* name;
        std::vector<Report> inputs;
        int result;
        bool inStep;
    };
    const Report data = DataReport(0x5A);
    const Report own = ReplyReport(0, 0, 0xF2);
    const Report late = ReplyReport(0, 1011, 0xF7);
    const Case cases[] = {
        {"in order", {data, data, data, data, own}, 256, true},
        {"an earlier command's late reply among the data: passed over",
         {data, late, data, data, data, own},
         256,
         true},
        {"its own reply after three data reports (one lost): the block is short",
         {data, data, data, own},
         192,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        link.transport->inputs.assign(c.inputs.begin(), c.inputs.end());
        std::array<std::uint8_t, kBlockBytes> block{};
        EXPECT_EQ(link.cmd.ReadOneBlock(7, 0, block), c.result);
        EXPECT_EQ(link.cmd.InStep(), c.inStep);
        if (c.result == 256) {
            EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](auto b) { return b == 0x5A; }));
        }
        EXPECT_EQ(link.sink.readReports, static_cast<std::uint32_t>(c.result / 64));
    }
}

TEST(ChidCmd, ClosingTheHandlesClearsConnectedAndLaterExchangesFail) {
    Link link;
    EXPECT_TRUE(link.cmd.Connected());
    link.cmd.CloseHandles();
    EXPECT_FALSE(link.cmd.Connected());
    EXPECT_FALSE(link.cmd.SendCommand(CommandCode::kFinishUpdate, 0, 0, 0, 0, 0));
    EXPECT_FALSE(link.cmd.ReceiveReply());
}

TEST(UnitIds, RecognisesTheUnitByVendorAndProductAnywhereInThePath) {
    struct Case {
        std::wstring_view path;
        bool isUnit;
    };
    constexpr Case cases[] = {
        {L"\\\\?\\hid#vid_0416&pid_b500#7&1a2b&0&0000", true},
        {L"\\\\?\\HID#VID_0416&PID_B500#7&1A2B&0&0000", true},
        {L"vid_0416&pid_b500", true},
        {L"\\\\?\\hid#vid_0416&pid_b501#7&1a2b&0&0000", false},
        {L"\\\\?\\hid#vid_0417&pid_b500#7&1a2b&0&0000", false},
        {L"vid_0416&pid_b50", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        EXPECT_EQ(IsUnitPath(c.path), c.isUnit);
    }
}

TEST(UnitIds, ClassIndexIsTheOneBasedTablePositionOrZero) {
    EXPECT_EQ(ClassIndex(kNotificationClasses[3]), 4);  // HID
    EXPECT_EQ(ClassIndex(kNotificationClasses[1]), 2);  // volume
    EXPECT_EQ(ClassIndex(kNotificationClasses[0]), 1);
    EXPECT_EQ(ClassIndex(kNotificationClasses[4]), 5);
    InterfaceClass other = kNotificationClasses[3];
    other.data4[7] ^= 1;
    EXPECT_EQ(ClassIndex(other), 0);
    EXPECT_EQ(ClassIndex(InterfaceClass{}), 0);
}

}  // namespace
}  // namespace kivrel
