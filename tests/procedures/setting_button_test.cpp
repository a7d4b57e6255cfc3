// The Setting button writes into the unit: it must refuse what it cannot edit, write only after
// OK to the unit the window was opened for, and say "Configuration success!" only when the unit
// took the block.

#include "procedures/setting_button.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/le_bytes.h"
#include "device/layout_record.h"
#include "package/vendor_config.h"
#include "tests/device/device_test_support.h"
#include "tests/support/scripted_prompts.h"

namespace kivrel {
namespace {

using test::ScriptedPrompts;

constexpr std::uint32_t kCapacity = 0x400000;

SettingsBlock Layout3Block(int radarType = 5) {
    SettingsBlock block;
    std::memcpy(block.bytes.data() + 4, "KV3A", 4);
    block.bytes[18] = 8;
    block.bytes[19] = 1;
    block.bytes[21] = 2;
    block.bytes[48] = static_cast<std::uint8_t>(radarType);
    block.bytes[50] = 7;
    block.bytes[51] = 19;
    EXPECT_TRUE(block.SetApn("hxdata"));
    block.StoreSum(3);
    return block;
}

// A window that edits the copy it is given, or closes, and may do something to the unit
// meanwhile (as the main window may while it is open).
struct FakeConfigWindow : ConfigWindow {
    bool ok = true;
    std::function<void(SettingsBlock&)> edit = [](SettingsBlock& b) { b.bytes[18] = 9; };
    std::function<void()> meanwhile;
    std::vector<ConfigInputs> runs;
    bool Run(const ConfigInputs& inputs, SettingsBlock& block) override {
        runs.push_back(inputs);
        if (meanwhile) meanwhile();
        if (!ok) return false;
        edit(block);
        return true;
    }
};

class SettingButton : public ::testing::Test {
public:
    void SetUp() override { Prepare(Layout3Block(), 200); }

    // The unit's settings block, and a layout record carrying the settings revision.
    void Prepare(const SettingsBlock& block, std::uint32_t revision) {
        sim.Put(kBank0, kSettingsAddress, {block.bytes.begin(), block.bytes.end()});
        LayoutRecord record;
        record.SetWord(LayoutRecord::kModelId, 0x41335654);
        record.SetWord(LayoutRecord::kSettingsRevision, revision);
        record.SetWord(LayoutRecord::kMarker, kLayoutMarker);
        const auto layoutBlock = WriteLayoutBlock(record);
        sim.Put(kBank0, kLayoutAddress, {layoutBlock.begin(), layoutBlock.end()});
    }
    SettingOutcome Press() {
        return RunSettingButton(sim.unit, prompts, window, DefaultVendorConfig());
    }
    SettingsBlock Stored() {
        const auto bytes = sim.Bytes(kBank0, kSettingsAddress, kSettingsBlockBytes);
        return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockBytes>(bytes.data(), 256));
    }
    std::vector<std::uint8_t> Codes() {
        std::vector<std::uint8_t> codes;
        for (const CommandFrame& frame : sim.NewCommands()) codes.push_back(frame.code);
        return codes;
    }

    test::SimUnit sim{1011, kCapacity};
    ScriptedPrompts prompts;
    FakeConfigWindow window;
};

TEST_F(SettingButton, OkWritesTheEditedBlockWithItsSumThenCommitsAndSaysSo) {
    ASSERT_TRUE(sim.ConnectAndRead());
    ASSERT_EQ(sim.unit.settingsFormat, 3);
    EXPECT_EQ(Press(), SettingOutcome::kWritten);

    ASSERT_EQ(window.runs.size(), 1u);
    EXPECT_EQ(window.runs[0].title, L"Setting");
    EXPECT_EQ(window.runs[0].layout, 3);
    EXPECT_EQ(window.runs[0].bootVersion, 1011);
    EXPECT_EQ(window.runs[0].recordModelId, 0x41335654u);
    EXPECT_EQ(window.runs[0].fiveBandTag, "KIVRL");

    const SettingsBlock stored = Stored();
    EXPECT_EQ(stored.bytes[18], 9);
    EXPECT_EQ(stored.StoredSum(), stored.ComputeSum(3));
    EXPECT_EQ(sim.unit.settingsBlock, stored);
    EXPECT_EQ(Codes(),
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(CommandCode::kWriteBlocks),
                                         static_cast<std::uint8_t>(CommandCode::kSettingsDone)}));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::kInformation);
    EXPECT_EQ(prompts.shown[0].text, L"Configuration success!");
    EXPECT_EQ(prompts.shown[0].caption, L"Update Tool");
}

TEST_F(SettingButton, ChecksComeInOrderAndStopBeforeTheWindow) {
    struct Case {
        const char* name;
        std::function<void(SettingButton&)> setUp;
        std::deque<bool> answers;
        SettingOutcome outcome;
        std::wstring text;
        bool windowRuns;
    };
    const Case cases[] = {
        {"no unit",
         [](SettingButton&) {},
         {},
         SettingOutcome::kNoUnit,
         L"   No hardware connected!",
         false},
        {"unusable block",
         [](SettingButton& t) {
             SettingsBlock broken = Layout3Block();
             broken.bytes[0] ^= 1;
             t.Prepare(broken, 200);
             ASSERT_TRUE(t.sim.ConnectAndRead());
         },
         {},
         SettingOutcome::kUnusable,
         L"Please start the machine to initialization parameter!!!!!",
         false},
        {"newer revision",
         [](SettingButton& t) {
             t.Prepare(Layout3Block(), 205);
             ASSERT_TRUE(t.sim.ConnectAndRead());
         },
         {},
         SettingOutcome::kToolTooOld,
         L"Please upgrade the current update tool!",
         false},
        {"unknown radar, No",
         [](SettingButton& t) {
             t.Prepare(Layout3Block(-1), 204);
             ASSERT_TRUE(t.sim.ConnectAndRead());
         },
         {false},
         SettingOutcome::kDeclined,
         L"Can not identify the radar type,will use the default configuration, are you sure "
         L"continue?",
         false},
        {"unknown radar, Yes, then Cancel",
         [](SettingButton& t) {
             t.Prepare(Layout3Block(-1), 204);
             ASSERT_TRUE(t.sim.ConnectAndRead());
             t.window.ok = false;
         },
         {true},
         SettingOutcome::kCancelled,
         L"Can not identify the radar type,will use the default configuration, are you sure "
         L"continue?",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingButton& t = *this;
        t.sim.unit.link.CloseHandles();
        t.prompts = {};
        t.window.runs.clear();
        t.window.ok = true;
        c.setUp(t);
        t.prompts.answers = c.answers;
        const SettingsBlock before = Stored();
        EXPECT_EQ(Press(), c.outcome);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text, c.text);
        EXPECT_EQ(window.runs.size(), c.windowRuns ? 1u : 0u);
        EXPECT_EQ(Stored(), before);
    }
}

TEST_F(SettingButton, ARefusedWriteIsReportedAndForgotten) {
    ASSERT_TRUE(sim.ConnectAndRead());
    const SettingsBlock before = sim.unit.settingsBlock;
    sim.sim->Faults().refuseBlock = kSettingsAddress / 256;
    EXPECT_EQ(Press(), SettingOutcome::kWriteFailed);
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::wstring>{
                  L"Configuration failed! The unit did not take the new settings."}));
    EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::kError);
    EXPECT_EQ(Stored(), before);
    // What the tool knows of the unit is still what the unit holds; nothing was committed.
    EXPECT_EQ(sim.unit.settingsBlock, before);
    for (const CommandFrame& frame : sim.NewCommands()) {
        EXPECT_NE(frame.code, static_cast<std::uint8_t>(CommandCode::kSettingsDone));
    }
}

TEST_F(SettingButton, NothingIsWrittenWhenTheUnitWentAwayOrAnotherCameMeanwhile) {
    ASSERT_TRUE(sim.ConnectAndRead());
    const SettingsBlock before = Stored();

    window.meanwhile = [&] { sim.unit.link.CloseHandles(); };
    EXPECT_EQ(Press(), SettingOutcome::kUnitGone);
    EXPECT_TRUE(prompts.shown.empty());

    // Unplugged and plugged back: the same unit, read again, takes the write.
    window.meanwhile = [&] { ASSERT_TRUE(sim.ConnectAndRead()); };
    sim.unit.link.CloseHandles();
    ASSERT_TRUE(sim.ConnectAndRead());
    EXPECT_EQ(Press(), SettingOutcome::kWritten);
    const SettingsBlock written = Stored();
    EXPECT_NE(written, before);
    prompts = {};

    // Another unit of the same model, told apart by its identity block.
    window.meanwhile = [&] {
        sim.unit.link.CloseHandles();
        sim.Put(kBank0, kRecordIdentityAddress, std::vector<std::uint8_t>(256, 0x42));
        ASSERT_TRUE(sim.ConnectAndRead());
    };
    window.edit = [](SettingsBlock& b) { b.bytes[18] = 3; };
    EXPECT_EQ(Press(), SettingOutcome::kOtherUnit);
    EXPECT_EQ(Stored(), written);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, kTextOtherUnit);

    // The same unit whose settings changed meanwhile counts as another one too.
    prompts = {};
    window.meanwhile = [&] {
        sim.unit.link.CloseHandles();
        SettingsBlock changed = Layout3Block();
        changed.bytes[50] = 6;
        changed.StoreSum(3);
        sim.Put(kBank0, kSettingsAddress, {changed.bytes.begin(), changed.bytes.end()});
        ASSERT_TRUE(sim.ConnectAndRead());
    };
    EXPECT_EQ(Press(), SettingOutcome::kOtherUnit);
    EXPECT_EQ(Stored().bytes[50], 6);
    EXPECT_EQ(Stored().bytes[18], 8);
}

}  // namespace
}  // namespace kivrel
