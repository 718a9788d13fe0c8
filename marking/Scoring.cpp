#include "marking/Scoring.h"

#include <algorithm>

#include "marking/MarkingSession.h"

QuestionOutcome ScoreQuestion(const ExamSetup& exam, int questionIndex, std::string_view answer, std::string_view key)
{
    QuestionOutcome out;
    if (questionIndex < 0 || questionIndex >= exam_limits::MaxQuestions)
        return out;
    const QuestionScore& q = exam.questions[questionIndex];
    // An empty key marks a flawed question: everyone gets the full score.
    if (answer == key || key.empty()) {
        out.score = q.score;
        return out;
    }
    if (q.kind == 0) {
        out.wrong = true;
        return out;
    }
    bool foreignLetter = std::any_of(answer.begin(), answer.end(),
                                     [&](char c) { return key.find(c) == std::string_view::npos; });
    if (foreignLetter) {
        bool keyLetterMissing = std::any_of(key.begin(), key.end(),
                                            [&](char c) { return answer.find(c) == std::string_view::npos; });
        out.wrong = keyLetterMissing;
        out.extra = !keyLetterMissing;
        return out;
    }
    if (answer.empty()) {
        out.wrong = true;
        return out;
    }
    out.missing = true;
    out.score = q.perOption == 1 ? static_cast<float>(answer.size()) * q.partialScore : q.partialScore;
    return out;
}

void ScoreRecord(const ExamSetup& exam, const MarkingRecord& standard, MarkingRecord& r)
{
    r.choiceScore = 0;
    r.totalScore = 0;
    std::fill(std::begin(r.groupScores), std::end(r.groupScores), 0.0f);
    r.extraCount = 0;
    r.missingCount = 0;
    r.wrongCount = 0;
    int questionCount = std::clamp(exam.questionCount, 0, exam_limits::MaxQuestions);
    int groupCount = std::clamp(exam.groupCount, 0, exam_limits::MaxGroups);
    for (int q = 0; q < questionCount; ++q) {
        QuestionResult& result = r.questionResults[q];
        QuestionOutcome o =
            ScoreQuestion(exam, q, result.answer.View(), standard.questionResults[q].answer.View());
        r.choiceScore += o.score;
        for (int g = 0; g < groupCount; ++g)
            if (exam.groups[g].firstQuestion - 1 <= q && q <= exam.groups[g].lastQuestion - 1)
                r.groupScores[g] += o.score;
        r.extraCount += o.extra ? 1 : 0;
        r.missingCount += o.missing ? 1 : 0;
        r.wrongCount += o.wrong ? 1 : 0;
        result.status = o.extra ? '1' : o.missing ? '2' : o.wrong ? '3' : '0';
        result.score = o.score;
    }
    r.totalScore = r.subjectiveScore + r.choiceScore;
}

void RescoreAll(const ExamSetup& exam, MarkingSession& session)
{
    int count = std::clamp(session.recordCount, 0, MarkingSession::MaxRecords);
    for (int i = 1; i < count; ++i)
        ScoreRecord(exam, session.records[0], session.records[i]);
}
