#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "exam/ExamSetup.h"
#include "marking/MarkingSession.h"
#include "marking/Scoring.h"
#include "platform/NumberFormat.h"

namespace {

struct Expect {
    const char* answer;
    float score;
    char status;
};

ExamSetup OneQuestion(int kind, float score, float partial, int perOption)
{
    ExamSetup e;
    e.Clear();
    e.questionCount = 1;
    e.groupCount = 1;
    e.groups[0] = {1, 1, score, kind};
    e.questions[0] = {score, kind, partial, perOption};
    return e;
}

// Scores every case as a one-question record against `key`, checking the
// outcome flags, the status character and the counts together.
void ExpectCases(const ExamSetup& e, const char* key, std::initializer_list<Expect> cases)
{
    MarkingRecord standard{};
    ASSERT_TRUE(standard.questionResults[0].answer.Set(key));
    for (const Expect& c : cases) {
        MarkingRecord r{};
        ASSERT_TRUE(r.questionResults[0].answer.Set(c.answer));
        ScoreRecord(e, standard, r);
        SCOPED_TRACE(std::string("key ") + key + ", answer \"" + c.answer + "\"");
        EXPECT_EQ(r.questionResults[0].score, c.score);
        EXPECT_EQ(r.questionResults[0].status, c.status);
        EXPECT_EQ(r.choiceScore, c.score);
        EXPECT_EQ(r.extraCount, c.status == '1' ? 1 : 0);
        EXPECT_EQ(r.missingCount, c.status == '2' ? 1 : 0);
        EXPECT_EQ(r.wrongCount, c.status == '3' ? 1 : 0);
        QuestionOutcome o = ScoreQuestion(e, 0, c.answer, key);
        EXPECT_LE(int(o.extra) + int(o.missing) + int(o.wrong), 1);
    }
}

TEST(ScoreQuestion, MultipleChoiceWithPartialScoreOnce)
{
    ExpectCases(OneQuestion(1, 4, 2, 0), "AC",
                {{"AC", 4, '0'}, {"A", 2, '2'}, {"ABC", 0, '1'}, {"AB", 0, '3'}, {"", 0, '3'}});
}

TEST(ScoreQuestion, MultipleChoiceWithPartialScorePerOption)
{
    ExpectCases(OneQuestion(1, 4, 1.5f, 1), "AC", {{"C", 1.5f, '2'}, {"A", 1.5f, '2'}});
    ExpectCases(OneQuestion(1, 4, 1.5f, 1), "ACD", {{"AC", 3, '2'}, {"ACD", 4, '0'}});
    ExpectCases(OneQuestion(1, 4, 0, 0), "AC", {{"A", 0, '2'}});
}

TEST(ScoreQuestion, SingleChoiceAndEmptyKey)
{
    ExpectCases(OneQuestion(0, 3, 0, 0), "B", {{"B", 3, '0'}, {"AB", 0, '3'}, {"", 0, '3'}, {"A", 0, '3'}});
    ExpectCases(OneQuestion(0, 3, 0, 0), "", {{"B", 3, '0'}, {"", 3, '0'}});
    ExpectCases(OneQuestion(1, 4, 2, 0), "", {{"ABCD", 4, '0'}, {"", 4, '0'}});
}

TEST(ScoreRecord, GroupsTotalsAndCounts)
{
    ExamSetup e;
    e.Clear();
    e.groupCount = 2;
    e.groups[0] = {1, 10, 1, 0};
    e.groups[1] = {11, 20, 2, 0};
    e.questionCount = 20;
    for (int q = 0; q < 20; ++q)
        e.questions[q] = {q < 10 ? 1.0f : 2.0f, 0, 0, 0};
    MarkingRecord standard{};
    for (int q = 0; q < 20; ++q)
        (void)standard.questionResults[q].answer.Set("A");
    MarkingRecord r{};
    (void)r.questionResults[10].answer.Set("A");  // only question 11 right
    r.subjectiveScore = 35.5f;
    r.groupScores[5] = 9;  // stale values are cleared
    r.questionResults[150].status = 'x';  // beyond questionCount: untouched
    ScoreRecord(e, standard, r);
    EXPECT_EQ(r.groupScores[0], 0.0f);
    EXPECT_EQ(r.groupScores[1], 2.0f);
    EXPECT_EQ(r.groupScores[5], 0.0f);
    EXPECT_EQ(r.choiceScore, 2.0f);
    EXPECT_EQ(r.wrongCount, 19);
    EXPECT_EQ(r.totalScore, 37.5f);
    EXPECT_EQ(r.subjectiveScore, 35.5f);
    EXPECT_EQ(r.questionResults[150].status, 'x');
}

TEST(ScoreRecord, TotalIsSubjectivePlusQuestionScores)
{
    ExamSetup e;
    e.Clear();
    e.questionCount = 3;
    e.groupCount = 1;
    e.groups[0] = {1, 3, 2, 0};
    for (int q = 0; q < 3; ++q)
        e.questions[q] = {2, 0, 0, 0};
    MarkingRecord standard{};
    MarkingRecord r{};
    for (int q = 0; q < 3; ++q)
        (void)standard.questionResults[q].answer.Set("C");
    (void)r.questionResults[0].answer.Set("C");
    (void)r.questionResults[1].answer.Set("C");
    (void)r.questionResults[2].answer.Set("D");
    r.subjectiveScore = 35.5f;
    ScoreRecord(e, standard, r);
    EXPECT_EQ(r.totalScore, 39.5f);
    EXPECT_EQ(FormatScore(r.totalScore), "39.5");
}

TEST(ScoreRecord, Float32AdditionInQuestionOrder)
{
    // 0.1f added ten times in float32 is not 1.0f; a double accumulator would give 1.
    ExamSetup e;
    e.Clear();
    e.questionCount = 10;
    for (int q = 0; q < 10; ++q)
        e.questions[q] = {0.1f, 0, 0, 0};
    MarkingRecord standard{};
    MarkingRecord r{};
    ScoreRecord(e, standard, r);
    float expected = 0;
    for (int q = 0; q < 10; ++q)
        expected += 0.1f;
    EXPECT_EQ(r.choiceScore, expected);
    EXPECT_NE(r.choiceScore, 1.0f);
}

TEST(RescoreAll, ScoresEveryStudentAgainstRecordZero)
{
    auto session = std::make_unique<MarkingSession>();
    session->ClearSession();
    ExamSetup e = OneQuestion(0, 5, 0, 0);
    ASSERT_TRUE(session->SetStandardAnswer({"B"}, 9));
    MarkingRecord student{};
    (void)student.admissionNumber.Set("001");
    (void)student.questionResults[0].answer.Set("B");
    ASSERT_TRUE(session->AppendRecord(student));
    (void)student.admissionNumber.Set("002");
    (void)student.questionResults[0].answer.Set("C");
    ASSERT_TRUE(session->AppendRecord(student));
    RescoreAll(e, *session);
    EXPECT_EQ(session->records[1].totalScore, 5.0f);
    EXPECT_EQ(session->records[2].totalScore, 0.0f);
    EXPECT_EQ(session->records[0].totalScore, 0.0f);  // the standard answer is never scored here
    ASSERT_TRUE(session->SetStandardAnswerCell(0, "C"));
    RescoreAll(e, *session);
    EXPECT_EQ(session->records[1].totalScore, 0.0f);
    EXPECT_EQ(session->records[2].totalScore, 5.0f);
}

TEST(FormatScore, GeneralFormat)
{
    EXPECT_EQ(FormatScore(1.5f), "1.5");
    EXPECT_EQ(FormatScore(2.0f), "2");
    EXPECT_EQ(FormatScore(39.5f), "39.5");
    EXPECT_EQ(FormatScore(0.0f), "0");
    EXPECT_EQ(FormatScore(-0.0f), "0");
    EXPECT_EQ(FormatScore(100.0f), "100");
    EXPECT_EQ(FormatScore(1234.5f), "1234.5");
    // The float32 value shows as it is stored, 15 significant digits at most.
    EXPECT_EQ(FormatScore(0.1f), "0.100000001490116");
    EXPECT_EQ(FormatScore(1.0f / 3.0f), "0.333333343267441");
    EXPECT_EQ(FormatScore(-2.5f), "-2.5");
}

} // namespace
