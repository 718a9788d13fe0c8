#include "marking/MarkingSession.h"

#include <algorithm>
#include <cstring>

bool MarkingRecord::TextsTerminated() const
{
    if (!admissionNumber.Terminated() || !studentName.Terminated() || !gradeCode.Terminated() ||
        !gradeName.Terminated() || !classCode.Terminated())
        return false;
    for (const QuestionResult& q : questionResults)
        if (!q.answer.Terminated())
            return false;
    return true;
}

static bool Refuse(std::string* error, const char* message)
{
    if (error)
        *error = message;
    return false;
}

// A record whose answer has no terminator holds ten letters or more.
static bool CheckRecord(const MarkingRecord& r, std::string* error)
{
    for (const QuestionResult& q : r.questionResults)
        if (!q.answer.Terminated())
            return Refuse(error, marking_messages::AnswerTooLong);
    if (!r.TextsTerminated())
        return Refuse(error, marking_messages::BadRecordText);
    return true;
}

int MarkingSession::FindRecord(std::string_view admissionNumber, int first) const
{
    for (int i = std::max(first, 0); i < recordCount && i < MaxRecords; ++i)
        if (records[i].admissionNumber.View() == admissionNumber)
            return i;
    return -1;
}

bool MarkingSession::AppendRecord(const MarkingRecord& r, std::string* error)
{
    if (recordCount < 0 || recordCount >= MaxRecords)
        return Refuse(error, marking_messages::StoreFull);
    if (!CheckRecord(r, error))
        return false;
    std::memcpy(&records[recordCount], &r, sizeof r);
    ++recordCount;
    return true;
}

bool MarkingSession::ReplaceRecord(int index, const MarkingRecord& r, std::string* error)
{
    if (index < 0 || index >= recordCount)
        return Refuse(error, "没有这条阅卷记录。");
    if (!CheckRecord(r, error))
        return false;
    std::memmove(&records[index], &r, sizeof r);  // r may be the stored record itself
    return true;
}

bool MarkingSession::DeleteRecord(int index)
{
    if (index < 0 || index >= recordCount)
        return false;
    std::memmove(&records[index], &records[index + 1],
                 sizeof(MarkingRecord) * static_cast<std::size_t>(recordCount - index - 1));
    --recordCount;
    // A later append then starts from a clean slot.
    std::memset(&records[recordCount], 0, sizeof(MarkingRecord));
    return true;
}

int MarkingSession::DeleteFilteredRecords(std::optional<std::string_view> gradeCode,
                                          std::optional<std::string_view> classCode)
{
    int deleted = 0;
    for (int i = recordCount - 1; i >= 1; --i) {
        const MarkingRecord& r = records[i];
        if (gradeCode && r.gradeCode.View() != *gradeCode)
            continue;
        if (classCode && r.classCode.View() != *classCode)
            continue;
        DeleteRecord(i);
        ++deleted;
    }
    return deleted;
}

void MarkingSession::ClearSession()
{
    // The slots beyond recordCount are always zero: appending fills the next
    // one, and deleting and opening a file zero what they leave unused. So
    // only the slots in use need clearing, not all 17.5 MB.
    const int used = std::clamp(recordCount, 0, MaxRecords);
    std::memset(records, 0, sizeof(MarkingRecord) * static_cast<std::size_t>(used));
    gradeFilter.Clear();
    classFilter.Clear();
    recordCount = 0;
    rescorePending = false;
}

bool MarkingSession::SetStandardAnswer(const std::vector<std::string>& answers, int admissionLength,
                                       std::string* error)
{
    if (recordCount != 0)
        return Refuse(error, "已有阅卷记录，不能再输入标准答案。");
    if (answers.size() > static_cast<std::size_t>(MarkingRecord::MaxQuestions))
        return Refuse(error, "标准答案最多只能有200题。");
    for (const std::string& a : answers)
        if (a.size() > decltype(QuestionResult::answer)::Capacity || a.find('\0') != std::string::npos)
            return Refuse(error, marking_messages::AnswerTooLong);
    MarkingRecord& r = records[0];
    std::memset(&r, 0, sizeof r);
    int spaces = std::clamp(admissionLength, 0, static_cast<int>(decltype(r.admissionNumber)::Capacity));
    (void)r.admissionNumber.Set(std::string(static_cast<std::size_t>(spaces), ' '));
    for (std::size_t i = 0; i < answers.size(); ++i)
        (void)r.questionResults[i].answer.Set(answers[i]);
    recordCount = 1;
    return true;
}

bool MarkingSession::SetStandardAnswerCell(int questionIndex, std::string_view text, std::string* error)
{
    if (recordCount < 1)
        return Refuse(error, "还没有标准答案。");
    if (questionIndex < 0 || questionIndex >= MarkingRecord::MaxQuestions)
        return Refuse(error, "题号超出范围。");
    if (!records[0].questionResults[questionIndex].answer.Set(text))
        return Refuse(error, marking_messages::AnswerTooLong);
    return true;
}
