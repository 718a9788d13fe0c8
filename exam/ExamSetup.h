#pragma once
// The exam record: name, subject, subjective-score option, question groups,
// partial-credit rules and the per-question scoring table derived from them.
// Stored as its 4588-byte memory image inside the marking raw file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Gbk.h"

struct CardTemplate;

namespace exam_limits {
inline constexpr int MaxGroups = 10;
inline constexpr int MaxRules = 10;
inline constexpr int MaxQuestions = 200;
inline constexpr int MaxRuleQuestions = 100;  // numbers in one rule once ranges are expanded
inline constexpr float MaxQuestionScore = 10.0f;
} // namespace exam_limits

// One row of the question score table; the group's number is its position, from 1.
struct QuestionGroup {
    int32_t firstQuestion;
    int32_t lastQuestion;  // inclusive
    float score;           // points of each question of the group
    int32_t kind;          // 0 single choice, 1 multiple choice
};
static_assert(sizeof(QuestionGroup) == 16);
static_assert(offsetof(QuestionGroup, firstQuestion) == 0);
static_assert(offsetof(QuestionGroup, lastQuestion) == 4);
static_assert(offsetof(QuestionGroup, score) == 8);
static_assert(offsetof(QuestionGroup, kind) == 12);

// One row of the special rules table, kept as the texts the user typed.
struct PartialCreditRule {
    GbkText<100> questionList;  // "1-5,11"
    GbkText<5> partialScore;    // "1" once, or "0.5/" per chosen option
};
static_assert(sizeof(PartialCreditRule) == 105);
static_assert(offsetof(PartialCreditRule, partialScore) == 100);

// Derived scoring of one question; record n-1 describes question n.
struct QuestionScore {
    float score;         // full points, 0 for a question in no group
    int32_t kind;        // 0 single choice, 1 multiple choice
    float partialScore;  // points for a multiple-choice answer with too few options
    int32_t perOption;   // 1: partialScore is given per chosen option
};
static_assert(sizeof(QuestionScore) == 16);
static_assert(offsetof(QuestionScore, score) == 0);
static_assert(offsetof(QuestionScore, kind) == 4);
static_assert(offsetof(QuestionScore, partialScore) == 8);
static_assert(offsetof(QuestionScore, perOption) == 12);

struct ExamSetup {
    GbkText<100> cardName;
    GbkText<50> examName;
    GbkText<3> subjectCode;
    GbkText<10> subjectName;
    uint8_t hasSubjectiveScore;  // 0 "无主观题分", 1 "有主观题分"
    QuestionGroup groups[exam_limits::MaxGroups];
    int32_t groupCount;
    PartialCreditRule rules[exam_limits::MaxRules];
    uint8_t pad0[2];
    int32_t ruleCount;
    QuestionScore questions[exam_limits::MaxQuestions];
    int32_t questionCount;

    void Clear();
};
static_assert(sizeof(ExamSetup) == 4588);
static_assert(offsetof(ExamSetup, cardName) == 0);
static_assert(offsetof(ExamSetup, examName) == 100);
static_assert(offsetof(ExamSetup, subjectCode) == 150);
static_assert(offsetof(ExamSetup, subjectName) == 153);
static_assert(offsetof(ExamSetup, hasSubjectiveScore) == 163);
static_assert(offsetof(ExamSetup, groups) == 164);
static_assert(offsetof(ExamSetup, groupCount) == 324);
static_assert(offsetof(ExamSetup, rules) == 328);
static_assert(offsetof(ExamSetup, pad0) == 1378);
static_assert(offsetof(ExamSetup, ruleCount) == 1380);
static_assert(offsetof(ExamSetup, questions) == 1384);
static_assert(offsetof(ExamSetup, questionCount) == 4584);

// Empty when counts, kinds, scores and texts of `e` are within the record's
// capacities; otherwise why not (UTF-8). Readers refuse such records.
std::string ValidateExamSetup(const ExamSetup& e);

// ---------------------------------------------------------------------------
// The exam page as plain data: what the page shows and what the check reads.
// Texts are UTF-8. Table rows hold the data columns only; in grid coordinates
// (header row 0, row numbers in column 0) row i of `scoreRows` is grid row i+1
// and its entry j is grid column j+1.

inline constexpr const char* kSingleChoiceText = "单选题";
inline constexpr const char* kMultipleChoiceText = "多选题";
inline constexpr const char* kNoSubjectiveText = "无主观题分";
inline constexpr const char* kWithSubjectiveText = "有主观题分";
// The marking raw file is named exam name + subject name: a "/" would make
// that name a path. The exam page refuses it before marking begins, the save
// again for files made elsewhere.
inline constexpr const char* kSlashInFileNameText =
    "考试名称或科目名称中含有不能用于文件名的字符“/”，无法保存阅卷原始文件。";

// Grid columns of the question score table (SGridTF) and the rules table (SGridDX).
namespace exam_columns {
inline constexpr int First = 1;    // 起始题号
inline constexpr int Last = 2;     // 终止题号
inline constexpr int Score = 3;    // 分数
inline constexpr int Kind = 4;     // 单选或多选
inline constexpr int Questions = 1;  // 题号
inline constexpr int Partial = 2;    // 少选分
} // namespace exam_columns

struct ExamPageContent {
    std::string cardName;                  // chosen card's file name (LblCardName)
    std::string examName;                  // EdtKSName
    std::vector<std::string> subjectNames;  // CBSelectedKeMu items, template order
    int subjectIndex = -1;                 // selected subject, -1 none
    bool subjectiveEnabled = false;        // CBSelectedZG and LblZG enabled
    int subjectiveIndex = -1;              // 0 "无主观题分", 1 "有主观题分", -1 none
    std::vector<std::vector<std::string>> scoreRows;  // 起始题号, 终止题号, 分数, 单选或多选
    std::vector<std::vector<std::string>> ruleRows;   // 题号, 少选分
};

// The page content for a template and a record (`ShowExamPage`).
ExamPageContent ShowExamPage(const CardTemplate& t, std::string_view cardNameUtf8, const ExamSetup& e);

enum class ExamPageControl { None, ExamName, Subject, SubjectiveOption, ScoreTable, RuleTable };

struct ExamPageCheck {
    bool passed = false;
    std::string message;  // UTF-8, shown in a plain message box
    ExamPageControl focus = ExamPageControl::None;
    int row = 0;     // grid row of the cell to focus (1 = first data row)
    int column = 0;  // grid column (exam_columns)
    bool openEditor = false;
    bool appendFirstRow = false;  // the empty score table gets its first row as by 增加
};

// Checks the page; on pass writes it into `e` and rebuilds `questions`. A
// failing check leaves `e` exactly as it was.
ExamPageCheck CheckExamPage(const CardTemplate& t, const ExamPageContent& page, ExamSetup& e);

struct QuestionList {
    bool ok = true;
    std::vector<int> numbers;  // item order; a range "a-b" ascending, none when b < a
    std::string error;         // UTF-8, when !ok
};

// "1-5,11" -> 1 2 3 4 5 11 (UTF-8 text; items are quoted in the errors). Refuses empty items, items that are not a number
// or a range, the number 0, and more than 100 numbers in all.
QuestionList ParseQuestionList(std::string_view text);

// "1" -> 1 given once; "0.5/" -> 0.5 per chosen option. False when the text is
// not a decimal number optionally followed by one "/".
bool ParsePartialScore(std::string_view text, float& value, bool& perOption);
