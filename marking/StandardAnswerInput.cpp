#include "marking/StandardAnswerInput.h"

#include <algorithm>
#include <iterator>

#include "exam/ExamSetup.h"
#include "marking/MarkingRecord.h"
#include "platform/Gbk.h"
#include "recognition/CardTemplate.h"

static bool IsSeparator(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

std::vector<std::string> SplitStandardAnswer(std::string_view text)
{
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i]))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !IsSeparator(text[i]))
            ++i;
        if (i > start)
            tokens.emplace_back(text.substr(start, i - start));
    }
    return tokens;
}

static bool StrictlyAscending(std::string_view token)
{
    for (std::size_t i = 0; i + 1 < token.size(); ++i)
        if (static_cast<unsigned char>(token[i]) >= static_cast<unsigned char>(token[i + 1]))
            return false;
    return true;
}

std::string CheckStandardAnswerInput(std::string_view text, const ExamSetup& exam)
{
    const int questionCount = std::clamp(exam.questionCount, 0, exam_limits::MaxQuestions);
    const std::vector<std::string> tokens = SplitStandardAnswer(text);
    int n = 0;
    for (const std::string& token : tokens) {
        if (n < questionCount) {
            const std::string number = std::to_string(n + 1);
            if (exam.questions[n].kind == 0 && token.size() > 1)
                return "第" + number + "题是单选题,只能有一个正确选项";
            if (exam.questions[n].kind == 1 && !StrictlyAscending(token))
                return "第" + number + "题答案\"" + gbk::ToUtf8(token) + "\"格式不对,请检查";
            // A pasted answer can be longer than a record holds.
            if (token.size() > decltype(QuestionResult::answer)::Capacity)
                return "第" + number + "题答案\"" + gbk::ToUtf8(token) + "\"太长，每题答案最多只能有9个字母,请检查";
        }
        ++n;
    }
    if (n != questionCount)
        return "输入的答案数(共" + std::to_string(n) + "题)和题分设置里(共" + std::to_string(questionCount) +
               "题)不符，请检查";
    return {};
}

int LargestOptionCount(const CardTemplate& t)
{
    int largest = t.DefaultOptions;
    const int overrides = std::clamp(t.OverrideCount, 0, static_cast<int>(std::size(t.BlockOverrides)));
    for (int i = 0; i < overrides; ++i)
        largest = std::max(largest, t.BlockOverrides[i].options);
    return std::clamp(largest, 1, 10);
}

bool StandardAnswerKeyFits(std::string_view text, int selectionStart, int selectionLength, int caret, char letter,
                           bool multipleChoice)
{
    const int size = static_cast<int>(text.size());
    int before = caret;  // letters kept in front of the new one
    int after = caret;   // first letter kept behind it
    if (selectionLength > 0) {
        before = std::clamp(selectionStart, 0, size);
        after = std::clamp(selectionStart + selectionLength, before, size);
    } else {
        if (text.empty())
            return true;
        if (!multipleChoice)
            return false;
        before = after = std::clamp(caret, 0, size);
    }
    if (!multipleChoice)
        return true;
    // Replacing a selection keeps the order too: a letter over "B" of "ABC"
    // must still lie between A and C.
    if (before > 0 && static_cast<unsigned char>(text[before - 1]) >= static_cast<unsigned char>(letter))
        return false;
    if (after < size && static_cast<unsigned char>(text[after]) <= static_cast<unsigned char>(letter))
        return false;
    return true;
}
