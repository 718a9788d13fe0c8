#pragma once
// The 600-byte layout record of one answer-card type, stored as its memory
// image in "模板文件/" (little-endian, no header).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Gbk.h"

struct SubjectEntry {
    GbkText<3> code;   // two digits at most
    GbkText<10> name;  // GBK display name
};
static_assert(sizeof(SubjectEntry) == 13);

struct BlockOverride {
    int32_t blockIndex;  // question index div 5
    float column;        // block's first cell, cells from the origin
    float row;
    int32_t options;
    int32_t orientation;  // 0 options across, 1 options down
};
static_assert(sizeof(BlockOverride) == 20);

struct CardTemplate {
    float LineLength;
    float LineDistance;
    float CellWidth;
    float CellHeight;
    float OriginOffset;
    int32_t AbMode;  // 0 detect, 1 always A, 2 always B
    float AbACol;
    float AbARow;
    float AbBCol;
    float AbBRow;
    float AdmCol;
    float AdmRow;
    int32_t AdmColumns;
    float SubjCol;
    float SubjRow;
    int32_t SubjColumns;
    int32_t SubjRows;
    SubjectEntry Subjects[20];
    int32_t SubjectCount;
    float ScoreCol;
    float ScoreRow;
    int32_t ScoreColumns;  // 0: no subjective-score area
    float UprightCol;
    int32_t QuestionCount;
    float AnswerRow;
    float BlockColPitch;
    float BlockRowPitch;
    int32_t DefaultOrientation;
    int32_t Sec1Columns;
    int32_t Sec1Rows;
    int32_t Sec1FirstCol;
    int32_t Sec2Columns;
    int32_t BExtraRows;
    int32_t Sec2FirstCol;
    int32_t DefaultOptions;
    BlockOverride BlockOverrides[10];
    int32_t OverrideCount;

    void Clear();
};

static_assert(sizeof(CardTemplate) == 600);
static_assert(offsetof(CardTemplate, LineLength) == 0);
static_assert(offsetof(CardTemplate, LineDistance) == 4);
static_assert(offsetof(CardTemplate, CellWidth) == 8);
static_assert(offsetof(CardTemplate, CellHeight) == 12);
static_assert(offsetof(CardTemplate, OriginOffset) == 16);
static_assert(offsetof(CardTemplate, AbMode) == 20);
static_assert(offsetof(CardTemplate, AbACol) == 24);
static_assert(offsetof(CardTemplate, AbARow) == 28);
static_assert(offsetof(CardTemplate, AbBCol) == 32);
static_assert(offsetof(CardTemplate, AbBRow) == 36);
static_assert(offsetof(CardTemplate, AdmCol) == 40);
static_assert(offsetof(CardTemplate, AdmRow) == 44);
static_assert(offsetof(CardTemplate, AdmColumns) == 48);
static_assert(offsetof(CardTemplate, SubjCol) == 52);
static_assert(offsetof(CardTemplate, SubjRow) == 56);
static_assert(offsetof(CardTemplate, SubjColumns) == 60);
static_assert(offsetof(CardTemplate, SubjRows) == 64);
static_assert(offsetof(CardTemplate, Subjects) == 68);
static_assert(offsetof(CardTemplate, SubjectCount) == 328);
static_assert(offsetof(CardTemplate, ScoreCol) == 332);
static_assert(offsetof(CardTemplate, ScoreRow) == 336);
static_assert(offsetof(CardTemplate, ScoreColumns) == 340);
static_assert(offsetof(CardTemplate, UprightCol) == 344);
static_assert(offsetof(CardTemplate, QuestionCount) == 348);
static_assert(offsetof(CardTemplate, AnswerRow) == 352);
static_assert(offsetof(CardTemplate, BlockColPitch) == 356);
static_assert(offsetof(CardTemplate, BlockRowPitch) == 360);
static_assert(offsetof(CardTemplate, DefaultOrientation) == 364);
static_assert(offsetof(CardTemplate, Sec1Columns) == 368);
static_assert(offsetof(CardTemplate, Sec1Rows) == 372);
static_assert(offsetof(CardTemplate, Sec1FirstCol) == 376);
static_assert(offsetof(CardTemplate, Sec2Columns) == 380);
static_assert(offsetof(CardTemplate, BExtraRows) == 384);
static_assert(offsetof(CardTemplate, Sec2FirstCol) == 388);
static_assert(offsetof(CardTemplate, DefaultOptions) == 392);
static_assert(offsetof(CardTemplate, BlockOverrides) == 396);
static_assert(offsetof(CardTemplate, OverrideCount) == 596);

// Capacities that every reader of a template relies on.
namespace card_limits {
inline constexpr int MaxQuestions = 200;
inline constexpr int MaxOptions = 10;
inline constexpr int MaxOverrides = 10;
inline constexpr int MaxSubjects = 20;
inline constexpr int MaxAdmColumns = 20;    // admission number buffer of 21 bytes
inline constexpr int MaxSubjColumns = 2;    // subject code buffer of 3 bytes
inline constexpr int MaxSubjRows = 10;      // a subject digit is its row index
inline constexpr int MaxScoreColumns = 5;
inline constexpr int MaxColumnRows = 15;
} // namespace card_limits

// Empty when the record can be laid out; otherwise why not (UTF-8).
std::string ValidateCardTemplate(const CardTemplate& t);

// Reads exactly 600 bytes of "模板文件/" + name from `programFolder` into `t`.
// On failure `t` keeps its previous contents and `message` (UTF-8) says why:
// "未发现模板文件：" + name when there is no such file, "模板文件不能读取："
// or "模板文件已损坏（文件太短）：" when it is there but unusable, or the
// reason a record that cannot be laid out is refused.
[[nodiscard]] bool LoadCardTemplate(const std::filesystem::path& programFolder, const std::string& nameUtf8,
                                    CardTemplate& t, std::string& message);

// Loads from an explicit path (tools and tests).
[[nodiscard]] bool LoadCardTemplateFile(const std::filesystem::path& path, CardTemplate& t, std::string& message);

// "DY" or "JD" behaviour is selected by the first two characters of the file name.
inline bool IsJdTemplate(const std::string& nameUtf8) { return nameUtf8.rfind("JD", 0) == 0; }
