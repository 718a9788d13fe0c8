#pragma once
// Scoring of answers against the standard answer: float32 throughout, added in
// question order, never rounded.

#include <string_view>

#include "exam/ExamSetup.h"
#include "marking/MarkingRecord.h"

struct MarkingSession;

struct QuestionOutcome {
    float score = 0;
    bool extra = false;    // 多选: all key letters plus others
    bool missing = false;  // 少选: a non-empty proper subset of the key
    bool wrong = false;    // 错选
};

// Scores answer `answer` of question `questionIndex` (0-based) against `key`.
QuestionOutcome ScoreQuestion(const ExamSetup& exam, int questionIndex, std::string_view answer, std::string_view key);

// Scores `r` against the standard answer `standard`: question scores and
// status characters, group subtotals, choiceScore, totalScore and the three
// counts. subjectiveScore is kept.
void ScoreRecord(const ExamSetup& exam, const MarkingRecord& standard, MarkingRecord& r);

// ScoreRecord on records 1 .. recordCount-1 against record 0.
void RescoreAll(const ExamSetup& exam, MarkingSession& session);
