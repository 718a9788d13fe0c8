#pragma once
// One scored card, stored as its 3420-byte memory image in the marking raw file.

#include <cstddef>
#include <cstdint>

#include "platform/Gbk.h"

struct QuestionResult {
    GbkText<10> answer;  // option letters, upper case, ascending; at most 9
    char status;         // '0' none, '1' 多选, '2' 少选, '3' 错选; 0 when never scored
    uint8_t pad0;
    float score;
};
static_assert(sizeof(QuestionResult) == 16);
static_assert(offsetof(QuestionResult, answer) == 0);
static_assert(offsetof(QuestionResult, status) == 10);
static_assert(offsetof(QuestionResult, pad0) == 11);
static_assert(offsetof(QuestionResult, score) == 12);

struct MarkingRecord {
    static constexpr int MaxQuestions = 200;
    static constexpr int MaxGroups = 20;

    int32_t readCount;  // 0 for a standard answer typed in
    int32_t paperType;  // 0 A, 1 B
    GbkText<21> admissionNumber;  // spaces in the standard answer
    GbkText<20> studentName;
    GbkText<11> gradeCode;
    GbkText<50> gradeName;
    GbkText<4> classCode;
    uint8_t pad0[2];
    float totalScore;  // subjectiveScore + choiceScore
    float subjectiveScore;
    float choiceScore;
    float groupScores[MaxGroups];  // the first groupCount entries are used
    int32_t extraCount;    // 多选
    int32_t missingCount;  // 少选
    int32_t wrongCount;    // 错选
    QuestionResult questionResults[MaxQuestions];

    // True when every text field carries its terminator.
    bool TextsTerminated() const;
};
static_assert(sizeof(MarkingRecord) == 3420);
static_assert(offsetof(MarkingRecord, readCount) == 0);
static_assert(offsetof(MarkingRecord, paperType) == 4);
static_assert(offsetof(MarkingRecord, admissionNumber) == 8);
static_assert(offsetof(MarkingRecord, studentName) == 29);
static_assert(offsetof(MarkingRecord, gradeCode) == 49);
static_assert(offsetof(MarkingRecord, gradeName) == 60);
static_assert(offsetof(MarkingRecord, classCode) == 110);
static_assert(offsetof(MarkingRecord, pad0) == 114);
static_assert(offsetof(MarkingRecord, totalScore) == 116);
static_assert(offsetof(MarkingRecord, subjectiveScore) == 120);
static_assert(offsetof(MarkingRecord, choiceScore) == 124);
static_assert(offsetof(MarkingRecord, groupScores) == 128);
static_assert(offsetof(MarkingRecord, extraCount) == 208);
static_assert(offsetof(MarkingRecord, missingCount) == 212);
static_assert(offsetof(MarkingRecord, wrongCount) == 216);
static_assert(offsetof(MarkingRecord, questionResults) == 220);

// What recognition fills for one card: laid out as a MarkingRecord so that
// acceptance stores it by copying it whole.
using CardReading = MarkingRecord;
