#pragma once
// A scripted stand-in for the user in tests: records every notice and
// question in order and answers questions from a queue. An unscripted
// question is counted in `unanswered` and gets the cautious answer (Cancel,
// No), so a test that forgot one fails on that count instead of hanging.

#include <deque>
#include <string>
#include <vector>

#include "platform/PromptsCore.h"

enum class PromptKind { Message, StartupWarning, OkCancel, YesNo, YesNoCancel, OpenFile, SaveFile };

struct ShownPrompt {
    PromptKind kind;
    std::string text;
};

template <class Base>
class ScriptedPromptsOf : public Base {
public:
    std::vector<ShownPrompt> shown;
    std::deque<PromptAnswer> answers;
    int unanswered = 0;

    void Answer(PromptAnswer a) { answers.push_back(a); }

    void ShowMessage(const std::string& text) override { shown.push_back({PromptKind::Message, text}); }
    bool AskOkCancel(const std::string& text) override
    {
        shown.push_back({PromptKind::OkCancel, text});
        return Next(PromptAnswer::Cancel) == PromptAnswer::Ok;
    }
    bool AskYesNo(const std::string& text) override
    {
        shown.push_back({PromptKind::YesNo, text});
        return Next(PromptAnswer::No) == PromptAnswer::Yes;
    }
    PromptAnswer AskYesNoCancel(const std::string& text) override
    {
        shown.push_back({PromptKind::YesNoCancel, text});
        return Next(PromptAnswer::Cancel);
    }

    // Texts of everything shown, in order.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> t;
        for (const auto& s : shown)
            t.push_back(s.text);
        return t;
    }
    bool WasShown(const std::string& text) const
    {
        for (const auto& s : shown)
            if (s.text == text)
                return true;
        return false;
    }

protected:
    PromptAnswer Next(PromptAnswer fallback)
    {
        if (answers.empty()) {
            ++unanswered;
            return fallback;
        }
        PromptAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
};

using ScriptedPromptsCore = ScriptedPromptsOf<PromptsCore>;
