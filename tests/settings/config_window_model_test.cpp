// The settings window as its model runs it: a control start-up leaves empty or shown when it
// should be hidden, an OK that ends the window over a refused check, or a hidden box's text
// reaching the checks puts the wrong settings into the unit or refuses good ones.

#include "settings/config_window_model.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "package/carrier_profiles.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/settings_blocks.h"

namespace kivrel {
namespace {

using test::ScriptedPrompts;

// The controls as the model left them; a test types into `texts` and ticks `checks` as a user
// would.
struct RecordedView : ConfigView {
    std::wstring title;
    std::map<int, std::wstring> texts;
    std::map<int, bool> checks;
    std::map<int, bool> shown;
    std::map<int, bool> enabled;
    std::vector<std::wstring> carriers;
    std::vector<BandBox> bandBoxes;
    std::optional<bool> ended;  // accepted or not; nothing while the window is open

    void SetTitle(std::wstring_view text) override { title = text; }
    void SetText(int id, std::wstring_view text) override { texts[id] = text; }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    void Show(int id, bool show) override { shown[id] = show; }
    void Enable(int id, bool enable) override { enabled[id] = enable; }
    void AddCarrier(std::wstring_view name) override { carriers.emplace_back(name); }
    void AddBandBox(const BandBox& box) override {
        bandBoxes.push_back(box);
        checks[box.id] = box.checked;
    }
    std::wstring Text(int id) const override {
        const auto found = texts.find(id);
        return found != texts.end() ? found->second : std::wstring();
    }
    bool Checked(int id) const override {
        const auto found = checks.find(id);
        return found != checks.end() && found->second;
    }
    void EndWindow(bool accepted) override { ended = accepted; }
};

ConfigInputs WindowInputs(int layout) {
    ConfigInputs inputs;
    inputs.title = L"Setting";
    inputs.bootVersion = 1011;
    inputs.layout = layout;
    inputs.fiveBandTag = "KIVRL";
    return inputs;
}

// A layout-3 block with ten sub-bands (X on), a carrier's APN, the frequency display offered
// and on, and a time zone of 8.
SettingsBlock Layout3Block() {
    SettingsBlock block = test::SampleSettingsBlock(3, {2, 2, 2, 2, 2});
    block.bytes[16] = 0xC0;
    EXPECT_TRUE(block.SetApn("kvnet"));
    block.StoreSum(3);
    return block;
}

class SettingsWindowModel : public ::testing::Test {
protected:
    ScriptedPrompts prompts;
    RecordedView view;
};

TEST_F(SettingsWindowModel, StartPutsWhatTheRulesDecideIntoEveryControl) {
    constexpr int kManaged[] = {
        kIdTimeZoneLabel, kIdTimeZone,         kIdDaytimeLabel, kIdDaytime,     kIdNighttimeLabel,
        kIdNighttime,     kIdFrequencyDisplay, kIdTwelveHour,   kIdBandAnchor1, kIdBandAnchor2};
    for (int layout = 1; layout <= 4; ++layout) {
        SCOPED_TRACE(layout);
        SettingsBlock block = layout == 3 ? Layout3Block() : test::SampleSettingsBlock(layout);
        RecordedView shown;
        ConfigWindowModel model(shown, prompts, WindowInputs(layout), block);
        model.Start();
        const ConfigModel& rules = model.Rules();
        const ConfigEntries& initial = rules.Initial();

        EXPECT_EQ(shown.title, rules.Title());
        ASSERT_EQ(shown.bandBoxes.size(), rules.Bands().size());
        for (std::size_t i = 0; i < rules.Bands().size(); ++i) {
            EXPECT_EQ(shown.bandBoxes[i].id, rules.Bands()[i].id);
            EXPECT_EQ(shown.bandBoxes[i].label, rules.Bands()[i].label);
            EXPECT_EQ(shown.bandBoxes[i].checked, rules.Bands()[i].checked);
        }
        for (const auto& [id, text] : rules.Texts()) EXPECT_EQ(shown.texts[id], text) << id;
        EXPECT_EQ(shown.texts[kIdTimeZone], initial.timeZone);
        EXPECT_EQ(shown.texts[kIdDaytime], initial.daytime);
        EXPECT_EQ(shown.texts[kIdNighttime], initial.nighttime);
        EXPECT_EQ(shown.checks[kIdFrequencyDisplay], initial.frequencyDisplay);
        for (int id : kManaged) EXPECT_EQ(shown.shown.at(id), rules.Shown(id)) << id;
        for (int id : kNetworkControlIds) EXPECT_EQ(shown.shown.at(id), layout == 3) << id;
        EXPECT_FALSE(shown.shown.at(kIdTwelveHour));
        EXPECT_FALSE(shown.ended);

        if (layout != 3) {
            EXPECT_TRUE(shown.carriers.empty());
            EXPECT_EQ(shown.texts.count(kIdApn), 0u);
            continue;
        }
        ASSERT_EQ(shown.carriers.size(), CarrierProfiles().size());
        EXPECT_EQ(shown.carriers.back(), CarrierProfiles().back().name);
        EXPECT_EQ(shown.texts[kIdCompany], L"Kivrel Mobile M2M");  // the last that matches
        EXPECT_EQ(shown.texts[kIdApn], L"kvnet");
        EXPECT_EQ(shown.texts[kIdUser], L"m2m");
        EXPECT_EQ(shown.texts[kIdServer], initial.server);
        EXPECT_EQ(shown.texts[kIdPort], initial.port);
        EXPECT_FALSE(shown.enabled.at(kIdApn));
    }
}

TEST_F(SettingsWindowModel, PickingACarrierFillsItsCredentialsAndOnlyTheLastUnlocksThem) {
    SettingsBlock block = Layout3Block();
    ConfigWindowModel model(view, prompts, WindowInputs(3), block);
    model.Start();
    model.OnCarrierPicked(kEditableCarrierProfile);
    EXPECT_EQ(view.texts[kIdApn], L"internet");
    EXPECT_EQ(view.texts[kIdUser], L"");
    for (int id : {kIdApn, kIdUser, kIdPassword}) EXPECT_TRUE(view.enabled.at(id)) << id;
    model.OnCarrierPicked(2);
    EXPECT_EQ(view.texts[kIdApn], L"hxdata");
    EXPECT_EQ(view.texts[kIdPassword], L"card");
    for (int id : {kIdApn, kIdUser, kIdPassword}) EXPECT_FALSE(view.enabled.at(id)) << id;
}

TEST_F(SettingsWindowModel, ARefusedOkShowsItsTextAndKeepsTheWindowOpenAGoodOneStoresAndEnds) {
    SettingsBlock block = Layout3Block();
    ConfigWindowModel model(view, prompts, WindowInputs(3), block);
    model.Start();

    view.texts[kIdTimeZone] = L"20";
    model.OnOk();
    view.texts[kIdTimeZone] = L"-5";
    view.texts[kIdPort] = L"80x";  // pasted past the digits-only box
    model.OnOk();
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::wstring>{L"Time Zone error!", L"Port must hold digits only!"}));
    for (const auto& s : prompts.shown) {
        EXPECT_EQ(s.kind, ScriptedPrompts::Kind::kMessage);
        EXPECT_EQ(s.caption, L"Update Tool");
    }
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(block, Layout3Block());

    view.texts[kIdPort] = L"8080";
    view.checks[100] = false;
    view.checks[109] = true;
    view.checks[kIdFrequencyDisplay] = false;
    model.OnOk();
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(block.bytes[18], 0xFB);  // -5
    EXPECT_EQ(block.bytes[24], 0);
    EXPECT_EQ(block.bytes[33], 1);
    EXPECT_EQ(block.bytes[16], 0x80);
    EXPECT_EQ(block.Port(), "8080");
    EXPECT_EQ(block.UserName(), "m2m");  // the matched profile's
}

TEST_F(SettingsWindowModel, HiddenBoxesAreEmptyToTheChecks) {
    // Layout 1 hides the network boxes: whatever they hold, OK must not refuse over them.
    SettingsBlock block = test::SampleSettingsBlock(1);
    ConfigWindowModel model(view, prompts, WindowInputs(1), block);
    model.Start();
    view.texts[kIdApn] = std::wstring(40, L'a');
    view.texts[kIdPort] = L"not a port";
    view.texts[kIdTimeZone] = L"3";
    model.OnOk();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(block.bytes[10], 3);
}

TEST_F(SettingsWindowModel, CancelEndsTheWindowAndLeavesTheBlock) {
    SettingsBlock block = Layout3Block();
    ConfigWindowModel model(view, prompts, WindowInputs(3), block);
    model.Start();
    view.texts[kIdTimeZone] = L"3";
    model.OnCancel();
    EXPECT_EQ(view.ended, false);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(block, Layout3Block());
}

}  // namespace
}  // namespace kivrel
