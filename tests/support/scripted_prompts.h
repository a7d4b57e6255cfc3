#pragma once
// A prompts seam for tests: records every box in order and answers questions from a script.

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/prompts.h"

namespace kivrel::test {

struct ScriptedPrompts : Prompts {
    enum class Kind { kError, kInformation, kMessage, kQuestion };
    struct Shown {
        Kind kind;
        std::wstring text;
        std::wstring caption;
    };
    std::vector<Shown> shown;
    std::deque<bool> answers;  // for the questions, in order; Yes once they run out
    bool defaultAnswer = true;
    std::function<void(std::wstring_view)> onQuestion;  // called as a question is asked

    void ShowError(std::wstring_view text) override {
        shown.push_back({Kind::kError, std::wstring(text), {}});
    }
    void ShowInformation(std::wstring_view text, std::wstring_view caption) override {
        shown.push_back({Kind::kInformation, std::wstring(text), std::wstring(caption)});
    }
    void ShowMessage(std::wstring_view text, std::wstring_view caption) override {
        shown.push_back({Kind::kMessage, std::wstring(text), std::wstring(caption)});
    }
    bool AskYesNo(std::wstring_view text, std::wstring_view caption) override {
        shown.push_back({Kind::kQuestion, std::wstring(text), std::wstring(caption)});
        if (onQuestion) onQuestion(text);
        if (answers.empty()) return defaultAnswer;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // The texts shown, in order.
    [[nodiscard]] std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const Shown& s : shown) texts.push_back(s.text);
        return texts;
    }
    // The texts of one kind of box, in order.
    [[nodiscard]] std::vector<std::wstring> Texts(Kind kind) const {
        std::vector<std::wstring> texts;
        for (const Shown& s : shown) {
            if (s.kind == kind) texts.push_back(s.text);
        }
        return texts;
    }
};

}  // namespace kivrel::test
