#pragma once
// The session's record store: one preallocated array of 5000 records, record 0
// the standard answer, students after it in the order of first acceptance.
// About 17 MB: allocate it once on the heap, never on the stack.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marking/MarkingRecord.h"
#include "platform/Gbk.h"

struct MarkingSession {
    static constexpr int MaxRecords = 5000;

    GbkText<11> gradeFilter;  // grade code of the marking page's grade box, empty when none
    GbkText<4> classFilter;   // "ALL" for 所有班级, otherwise the class text; empty when none
    int32_t recordCount;
    MarkingRecord records[MaxRecords];
    // The standard answer was edited while students exist and the records
    // still carry the old scores. Not stored in the marking raw file.
    bool rescorePending;

    // Index of the first record from `first` on with exactly this admission number; -1 when none.
    int FindRecord(std::string_view admissionNumber, int first = 0) const;

    // Stores a copy behind the last record. Refused (false, `error` in UTF-8,
    // nothing changed) when the store is full or a text of `r` lacks its
    // terminator (an answer of more than 9 letters).
    [[nodiscard]] bool AppendRecord(const MarkingRecord& r, std::string* error = nullptr);
    // Overwrites record `index` with a copy; refused as AppendRecord, or when
    // `index` is not in use.
    [[nodiscard]] bool ReplaceRecord(int index, const MarkingRecord& r, std::string* error = nullptr);
    // Moves later records down and zero-fills the slot that was last in use.
    // False when `index` is not in use.
    bool DeleteRecord(int index);
    // Deletes, from the last record down to record 1, every record whose grade
    // code equals `gradeCode` (when given) and whose class equals `classCode`
    // (when given). Record 0 is never deleted. Returns how many were deleted.
    int DeleteFilteredRecords(std::optional<std::string_view> gradeCode, std::optional<std::string_view> classCode);
    // Zero-fills every record and both filters; no records, nothing pending.
    void ClearSession();

    // Typed standard answer: record 0 := zero, `admissionLength` spaces as its
    // admission number, answers[i] into question i+1; one record in the store.
    // Refused when records exist, with more than 200 answers or an answer of
    // more than 9 letters.
    [[nodiscard]] bool SetStandardAnswer(const std::vector<std::string>& answers, int admissionLength,
                                         std::string* error = nullptr);
    // Copies `text` into the answer of question `questionIndex` (0-based) of
    // record 0. Refused without a standard answer, for an index outside
    // 0..199 or a text of more than 9 letters.
    [[nodiscard]] bool SetStandardAnswerCell(int questionIndex, std::string_view text, std::string* error = nullptr);
};

// Messages of the refusals above (UTF-8).
namespace marking_messages {
inline constexpr const char* StoreFull = "阅卷记录已达5000条的上限，不能再保存更多的答题卡。";
inline constexpr const char* AnswerTooLong = "答案最多只能有9个字母。";
inline constexpr const char* BadRecordText = "阅卷记录中有没有结束符的文字。";
} // namespace marking_messages
