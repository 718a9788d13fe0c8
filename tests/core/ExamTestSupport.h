#pragma once
// Small fixtures shared by the exam, marking and raw-file tests.

#include <string>
#include <vector>

#include "exam/ExamSetup.h"
#include "recognition/CardTemplate.h"

namespace exam_test {

// A valid 85-question card with two subjects and a subjective-score area.
inline CardTemplate MakeTemplate(int questionCount = 85, bool subjective = true)
{
    CardTemplate t;
    t.Clear();
    t.LineLength = 20;
    t.LineDistance = 30;
    t.CellWidth = 1;
    t.CellHeight = 1;
    t.QuestionCount = questionCount;
    t.DefaultOptions = 4;
    t.Sec1Columns = 4;
    t.Sec1Rows = 10;
    t.SubjectCount = 3;
    (void)t.Subjects[0].code.Set("01");
    (void)t.Subjects[0].name.SetUtf8("语文");
    (void)t.Subjects[1].code.Set("02");
    (void)t.Subjects[1].name.SetUtf8("数学");
    (void)t.Subjects[2].code.Set("03");
    (void)t.Subjects[2].name.SetUtf8("英语");
    t.ScoreColumns = subjective ? 3 : 0;
    return t;
}

using Rows = std::vector<std::vector<std::string>>;

inline ExamPageContent MakePage(Rows scoreRows, Rows ruleRows = {})
{
    ExamPageContent page;
    page.cardName = "DY标准85题自动AB卷.dat";
    page.examName = "期中考试";
    page.subjectIndex = 1;
    page.subjectiveIndex = 1;
    page.scoreRows = std::move(scoreRows);
    page.ruleRows = std::move(ruleRows);
    return page;
}

} // namespace exam_test
