// The province window decides which provinces' data go into the unit: a wrong flag, a
// thirteenth province or a lost national choice loads the wrong database.

#include "settings/province_selection.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

#include "tests/support/scripted_prompts.h"

namespace kivrel {
namespace {

using test::ScriptedPrompts;

struct RecordedBoxes : ProvinceView {
    std::map<int, bool> checks;  // the last state the model set, by id
    std::vector<int> changed;
    std::wstring counter;
    int counterWrites = 0;
    std::optional<bool> ended;  // accepted or not; nothing while the window is open
    void SetChecked(int id, bool checked) override {
        checks[id] = checked;
        changed.push_back(id);
    }
    void SetText(int id, std::wstring_view text) override {
        ASSERT_EQ(id, kIdProvinceCounter);
        counter = text;
        ++counterWrites;
    }
    void EndWindow(bool accepted) override { ended = accepted; }
};

class ProvinceWindowModel : public ::testing::Test {
protected:
    ScriptedPrompts prompts;
    RecordedBoxes boxes;
    ProvinceSelectionModel model{prompts, boxes};

    // A click as the box sees it: it toggles itself, then the model hears of it.
    void Click(std::size_t entry) { model.OnProvinceClicked(entry, !model.Checked(entry)); }
    void ClickNational() { model.OnNationalClicked(!model.NationalChecked()); }
    void Tick(std::size_t count) {
        for (std::size_t entry = 0; entry < count; ++entry) Click(entry);
    }
};

TEST(ProvinceBoxes, EachEntryHasItsBoxWithMacauAndTaiwanSwapped) {
    std::set<int> ids;
    for (std::size_t entry = 0; entry < kProvinceCount; ++entry) {
        const int id = ProvinceBoxId(entry);
        ids.insert(id);
        EXPECT_EQ(ProvinceEntryOfBox(id), static_cast<int>(entry));
        const bool wide = entry == 4 || entry == 7;  // 黑龙江, 内蒙古
        EXPECT_EQ(ProvinceBoxRect(entry).width, wide ? 40 : 32) << entry;
        EXPECT_EQ(ProvinceBoxRect(entry).height, 10);
    }
    EXPECT_EQ(ids.size(), kProvinceCount);
    EXPECT_EQ(*ids.begin(), 2000);
    EXPECT_EQ(*ids.rbegin(), 2033);
    EXPECT_EQ(ProvinceBoxId(32), 2033);  // 澳门
    EXPECT_EQ(ProvinceBoxId(33), 2032);  // 台湾
    EXPECT_EQ(ProvinceBoxRect(33), (DialogUnitRect{542, 274, 32, 10}));
    EXPECT_EQ(ProvinceBoxRect(0), (DialogUnitRect{461, 125, 32, 10}));
    EXPECT_EQ(ProvinceEntryOfBox(1042), -1);
    EXPECT_EQ(ProvinceEntryOfBox(2034), -1);
}

TEST(ProvinceTexts, CounterAndQuestionCarryTheirNumbers) {
    EXPECT_EQ(ProvinceCounterText(3),
              L"分省全部类型数据包，最多可自行勾选(12)个省数据，超过无法升级，请在地图上勾选。"
              L"已勾选(3)省份。");
    EXPECT_EQ(FewProvincesQuestion(3),
              L"只选择了3个省份，最多可以选择12个省份，更好的体验建议选满12个省份，"
              L"确定不选择直接更新？");
}

TEST_F(ProvinceWindowModel, AThirteenthProvinceIsUncheckedAgainAndTheCounterStaysAt12) {
    EXPECT_EQ(model.CounterText(), ProvinceCounterText(0));
    Tick(12);
    EXPECT_EQ(boxes.counter, ProvinceCounterText(12));
    const int writes = boxes.counterWrites;

    Click(20);
    EXPECT_FALSE(model.Checked(20));
    EXPECT_EQ(boxes.checks.at(ProvinceBoxId(20)), false);
    EXPECT_EQ(model.CheckedCount(), 12);
    EXPECT_EQ(boxes.counterWrites, writes);
    EXPECT_EQ(model.CounterText(), ProvinceCounterText(12));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::kMessage);
    EXPECT_EQ(prompts.shown[0].text, kTextThirteenthProvince);
    EXPECT_EQ(prompts.shown[0].caption, L"省份选择");

    Click(3);  // unticking one makes room again
    Click(20);
    EXPECT_TRUE(model.Checked(20));
    EXPECT_EQ(boxes.counter, ProvinceCounterText(12));
}

TEST_F(ProvinceWindowModel, TheNationalBoxClearsTheProvincesAndAProvinceClearsIt) {
    Tick(5);
    ClickNational();
    EXPECT_TRUE(model.NationalChecked());
    EXPECT_EQ(model.CheckedCount(), 0);
    for (std::size_t entry = 0; entry < 5; ++entry) {
        EXPECT_EQ(boxes.checks.at(ProvinceBoxId(entry)), false) << entry;
    }
    EXPECT_EQ(boxes.counter, ProvinceCounterText(0));

    Click(27);
    EXPECT_FALSE(model.NationalChecked());
    EXPECT_EQ(boxes.checks.at(kIdNationalBox), false);
    EXPECT_EQ(boxes.counter, ProvinceCounterText(1));

    // Unticking the national box changes nothing else.
    ClickNational();
    boxes.changed.clear();
    const int writes = boxes.counterWrites;
    ClickNational();
    EXPECT_FALSE(model.NationalChecked());
    EXPECT_TRUE(boxes.changed.empty());
    EXPECT_EQ(boxes.counterWrites, writes);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ProvinceWindowModel, OkAcceptsTwelveAsksBelowAndRefusesNone) {
    struct Case {
        const char* name;
        std::size_t ticked;
        bool national;
        std::deque<bool> answers;
        bool ends;
        std::vector<std::wstring> shown;
    };
    const Case cases[] = {
        {"no box", 0, false, {}, false, {std::wstring(kTextNothingChosen)}},
        {"five, No", 5, false, {false}, false, {FewProvincesQuestion(5)}},
        {"five, Yes", 5, false, {true}, true, {FewProvincesQuestion(5)}},
        {"twelve", 12, false, {}, true, {}},
        {"national", 0, true, {}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPrompts prompts;
        prompts.answers = c.answers;
        RecordedBoxes boxes;
        ProvinceSelectionModel model(prompts, boxes);
        for (std::size_t entry = 0; entry < c.ticked; ++entry) model.OnProvinceClicked(entry, true);
        if (c.national) model.OnNationalClicked(true);
        prompts.shown.clear();

        model.OnOk();
        EXPECT_EQ(boxes.ended.value_or(false), c.ends);
        EXPECT_EQ(prompts.Texts(), c.shown);
        for (const auto& s : prompts.shown) EXPECT_EQ(s.caption, L"省份选择");
        EXPECT_EQ(model.CheckedCount(), static_cast<int>(c.ticked));  // OK unticks nothing
        if (!c.ends) continue;
        const ProvinceSelection& chosen = model.Selection();
        EXPECT_EQ(chosen.mode, c.national ? 0 : 1);
        for (std::size_t entry = 0; entry < kProvinceCount; ++entry) {
            EXPECT_EQ(chosen.flags[entry], !c.national && entry < c.ticked ? 1 : 0) << entry;
        }
    }
}

TEST_F(ProvinceWindowModel, TaiwanAndMacauSetTheirOwnFlags) {
    prompts.answers = {true};
    model.OnProvinceClicked(static_cast<std::size_t>(ProvinceEntryOfBox(2032)), true);
    model.OnProvinceClicked(static_cast<std::size_t>(ProvinceEntryOfBox(2033)), true);
    model.OnOk();
    ASSERT_EQ(boxes.ended, true);
    EXPECT_EQ(model.Selection().flags[33], 1);  // 台湾, box 2032
    EXPECT_EQ(model.Selection().flags[32], 1);  // 澳门, box 2033
    EXPECT_EQ(model.Selection().flags[31], 0);
}

TEST_F(ProvinceWindowModel, StartShowsTheCounterAtZeroAndCancelEndsWithNothingChosen) {
    model.Start();
    EXPECT_EQ(boxes.counter, ProvinceCounterText(0));
    EXPECT_FALSE(boxes.ended);
    Tick(3);
    model.OnCancel();
    EXPECT_EQ(boxes.ended, false);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(model.Selection(), ProvinceSelection{});
}

struct FakeWindow : ProvinceWindow {
    std::optional<ProvinceSelection> result;  // nothing: closed with the close box
    int runs = 0;
    bool Run(ProvinceSelection& chosen) override {
        ++runs;
        if (!result) return false;
        chosen = *result;
        return true;
    }
};

TEST(AskForProvinces, NoChoosesTheNationalPackageYesRunsTheWindowAndClosingAbandons) {
    ProvinceSelection earlier;
    earlier.mode = 1;
    earlier.flags[5] = 1;

    {
        ScriptedPrompts prompts;
        prompts.answers = {false};
        FakeWindow window;
        ProvinceSelection stored = earlier;
        EXPECT_EQ(AskForProvinces(prompts, window, stored), 0);
        EXPECT_EQ(window.runs, 0);
        EXPECT_EQ(stored.mode, 0);
        EXPECT_EQ(stored.flags, earlier.flags);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text, kProvinceQuestion);
        EXPECT_EQ(prompts.shown[0].caption, L"Update Tool");
    }
    {
        ScriptedPrompts prompts;
        FakeWindow window;
        window.result = ProvinceSelection{1, {}};
        window.result->flags[27] = 1;
        ProvinceSelection stored = earlier;
        EXPECT_EQ(AskForProvinces(prompts, window, stored), 0);
        EXPECT_EQ(stored, *window.result);
    }
    {
        ScriptedPrompts prompts;
        FakeWindow window;
        ProvinceSelection stored = earlier;
        EXPECT_EQ(AskForProvinces(prompts, window, stored), 1);
        EXPECT_EQ(window.runs, 1);
        EXPECT_EQ(stored, earlier);
    }
}

}  // namespace
}  // namespace kivrel
