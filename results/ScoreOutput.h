#pragma once
// Score output of the last page: which students (the output filter), in
// which row order, with which item values; the unmarked-student list; the
// score table written to a spreadsheet or to "成绩输出/Result.csv".
//
// Record and roster texts stay GBK bytes here; the messages, headers and
// everything handed to the spreadsheet layer are UTF-8.

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "exam/ExamSetup.h"
#include "marking/MarkingSession.h"
#include "platform/PromptsCore.h"
#include "students/Roster.h"

class Desktop;
namespace sheet {
class Application;
class Worksheet;
} // namespace sheet

// The twelve items of LBAll, in list order.
enum class OutputItem {
    AdmissionNumber,  // 准考证号
    Name,             // 姓名
    Total,            // 总得分
    Subjective,       // 主观题分
    Choice,           // 选择题分
    GroupScores,      // 大题得分情况
    Extra,            // 多选
    Missing,          // 少选
    Wrong,            // 错选
    ExtraList,        // 多选题号
    MissingList,      // 少选题号
    WrongList,        // 错选题号
};
inline constexpr int kOutputItemCount = 12;

// The items' texts (UTF-8), in LBAll order.
const std::array<const char*, kOutputItemCount>& OutputItemTexts();
const char* OutputItemText(OutputItem item);
// The item of an LBAll text; nullopt for any other text.
std::optional<OutputItem> OutputItemFromText(std::string_view utf8);

namespace output_texts {
inline constexpr const char* AllClasses = roster_texts::AllClasses;
inline constexpr const char* ChooseGrade = roster_texts::ChooseGrade;
inline constexpr const char* ChooseClass = roster_texts::ChooseClass;
inline constexpr const char* ChooseItems = "请选择要输出的各个项";
inline constexpr const char* ProgressCaption = "成绩输出进度";
inline constexpr const char* CsvFolder = "成绩输出";
inline constexpr const char* CsvName = "Result.csv";
inline constexpr const char* CsvCreateFailed = "成绩输出出错，请先关闭打开的Result.csv文件";
inline constexpr const char* InstallSpreadsheet =
    "如需正常显示输出结果，请安装Excel软件或WPS表格软件（WPS表格有免费的个人版，可以到网上下载安装）";
inline constexpr const char* StudentCount = "学生人数：";
inline constexpr const char* UnmarkedCount = "未阅卷学生人数：";
inline constexpr const char* UnmarkedNames = "未阅卷学生名单：";
} // namespace output_texts

// The grade and class chosen in a grade list and a class list (NJSC/BJSC,
// or NJTJ/BJTJ).
struct GradeClassChoice {
    enum class Class { NotChosen, All, One };
    int gradeIndex = -1;  // index into roster.grades of the selected grade; -1 nothing selected
    Class classChoice = Class::NotChosen;
    std::string classCode;  // GBK, when classChoice is One
};

// Items of the grade lists (NJSC, NJTJ): the grade names in roster order (UTF-8).
std::vector<std::string> GradeListItems(const StudentRoster& roster);
// Items of the class lists (BJSC, BJTJ): "所有班级", then every non-empty
// class code of the students once, in roster order (UTF-8).
std::vector<std::string> ClassListItems(const StudentRoster& roster);
// The choice from the selected items of those lists (-1: nothing selected).
GradeClassChoice ChoiceFromLists(const StudentRoster& roster, int gradeItem, int classItem);

// Roster indices of the students the choice selects, in roster order.
std::vector<int> FilterStudents(const StudentRoster& roster, const GradeClassChoice& choice);

// Message of the first check of 输出 that fails (UTF-8), empty when all pass:
// grade chosen (when grades are used), class chosen (when classes are used),
// at least one item.
std::string CheckScoreOutput(const StudentRoster& roster, const GradeClassChoice& choice,
                             const std::vector<OutputItem>& items);

// Record index (from 1) of each admission number, first occurrence; built
// once so that 5000 rows do not each scan 5000 records.
class RecordIndex {
public:
    explicit RecordIndex(const MarkingSession& session);
    // FindRecord(number, 1): -1 when the student has no record.
    int Find(std::string_view admissionNumber) const;

private:
    std::unordered_map<std::string_view, int> index_;
};

enum class RowOrder { ByNumber, ByTotal };  // RBSCSort1, RBSCSort2

struct OutputStudent {
    int student = -1;  // roster index
    int record = -1;   // record index, -1 absent (缺考)
};

// Hands out the students of the output filter one by one in the row order:
// by admission number (byte order) or by total (highest first, absent
// students as 0); on ties the one earlier in the roster. Every student of the
// filter comes exactly once.
class StudentOrder {
public:
    StudentOrder(const StudentRoster& roster, const MarkingSession& session, const std::vector<int>& filtered,
                 RowOrder order);
    // The next student, or nullopt when all were handed out.
    std::optional<OutputStudent> NextStudentInOrder();
    std::size_t Count() const { return rows_.size(); }

private:
    std::vector<OutputStudent> rows_;
    std::size_t next_ = 0;
};

// One value of an item: GBK text, or a number already formatted (scores with
// up to 15 significant digits of the float32, counts as integers).
struct ItemValue {
    std::string gbk;
    bool numeric = false;
};

// "3.AB 7. ": each question of `r` (1..questionCount) whose status is `status`,
// as number + "." + answer + " ". GBK (answers are ASCII letters).
std::string StatusQuestionList(const MarkingRecord& r, int questionCount, char status);
// "11到20题" (UTF-8).
std::string GroupHeader(const QuestionGroup& g);
// Groups with a score above 0, in group order: the columns of 大题得分情况.
std::vector<int> ScoredGroups(const ExamSetup& exam);
// Header texts of the chosen items (UTF-8), one per column.
std::vector<std::string> HeaderTexts(const std::vector<OutputItem>& items, const ExamSetup& exam);
// The value(s) of an item for a student with a record, one per column.
void AppendItemValues(OutputItem item, const MarkingRecord& r, const ExamSetup& exam, std::vector<ItemValue>& out);

// What MNoReadName shows.
struct UnmarkedStudents {
    int studentCount = 0;
    int unmarkedCount = 0;
    std::string names;               // UTF-8, "张三，李四，王五" (no final "，")
    std::vector<std::string> lines;  // UTF-8, the memo's lines
};
UnmarkedStudents ListUnmarkedStudents(const StudentRoster& roster, const MarkingSession& session,
                                      const GradeClassChoice& choice);

// Everything one score output needs.
struct ScoreOutputRequest {
    const StudentRoster* roster = nullptr;
    const ExamSetup* exam = nullptr;
    const MarkingSession* session = nullptr;
    GradeClassChoice choice;
    std::vector<OutputItem> items;  // LBSelected, in order
    RowOrder order = RowOrder::ByNumber;
    bool includeAbsent = true;  // CBQueKao
};

// Progress in percent, 0..100.
using ProgressFn = std::function<void(int percent)>;

// The CSV text: GBK, "," after every value, "'" before admission numbers,
// no quoting, CR LF after every line.
std::string ScoreCsvText(const ScoreOutputRequest& request, const ProgressFn& progress = {});

// Fills `sheet` as the spreadsheet output does through automation: title,
// subtitle, header row, widths, alignments, the text format of column A,
// then one row per student. Progress never goes above 100.
void WriteScoreSheet(sheet::Worksheet& sheet, const ScoreOutputRequest& request, const ProgressFn& progress = {});

// Writes ProgramFolder + "成绩输出/Result.csv" and opens it with the desktop's
// spreadsheet program, or after the install notice with a text editor.
// False (after the 成绩输出出错 message) when the file cannot be written.
bool WriteScoreCsv(const ScoreOutputRequest& request, const std::filesystem::path& programFolder, Desktop& desktop,
                   PromptsCore& prompts, const ProgressFn& progress = {});

// 输出 (BtnSCClick) without the widgets: checks, then the workbook saved in
// "成绩输出/" and opened, or the CSV when the desktop cannot show an .xlsx or
// the workbook cannot be written.
struct ScoreOutputResult {
    bool written = false;
    bool csv = false;  // the CSV path ran
    std::filesystem::path file;
};
ScoreOutputResult OutputScores(const ScoreOutputRequest& request, const std::filesystem::path& programFolder,
                               Desktop& desktop, PromptsCore& prompts, const ProgressFn& progress = {},
                               std::function<std::time_t()> clock = {});
