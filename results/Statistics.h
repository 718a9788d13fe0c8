#pragma once
// Class statistics of the output page: a plain model computed from the
// roster, the exam record and the records (safe to run off the UI thread:
// it only reads its inputs and reports progress through a callback), and a
// workbook written from it with one sheet per chosen option and charts.

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "exam/ExamSetup.h"
#include "marking/MarkingSession.h"
#include "results/ScoreOutput.h"
#include "students/Roster.h"

class Desktop;
class PromptsCore;
namespace sheet {
class Workbook;
}

// The ticked options of the 统计 group.
struct StatisticsOptions {
    bool average = false;        // TJAverage 统计平均分: summary, histogram, class comparison
    bool questionRates = false;  // TJXiaoTiRate 统计每小题得分率: item analysis, rate bars
    bool groupRates = false;     // TJDaTiRate 统计每大题得分率
    bool wrongList = false;      // TJXiaoTiWrong 统计小题做错名单
    bool rightList = false;      // TJXiaoTiRight 统计小题做对名单
    std::string wrongRange;      // TJWrongRange, "1-5,11"
    std::string rightRange;      // TJRightRange
    // Full score of the total for the pass and excellent rates; 0: the sum of
    // the question scores when the exam has no subjective score (with one,
    // the total's rates are then left out: its full score is not known).
    double fullScore = 0;
};

namespace statistics_texts {
inline constexpr const char* ChooseGrade = "请选择要统计的年级！";
inline constexpr const char* ChooseClass = "请选择要统计的班级！";
inline constexpr const char* ChooseOption = "请至少选择一个统计项目！";
inline constexpr const char* NoQuestions = "考试信息里还没有设置题目，无法统计。";
inline constexpr const char* BusyCaption = "正在输出。。。";
inline constexpr const char* FileSuffix = "统计";
} // namespace statistics_texts

// A statistics question range, read as ParseQuestionList reads question
// lists: numbers separated by ",", "a-b" for a to b (none when b < a). Each
// number must lie in 1..questionCount.
struct RangeParse {
    bool ok = true;
    std::vector<int> numbers;
    std::string error;  // UTF-8
};
RangeParse ParseStatisticsRange(std::string_view text, int questionCount, std::string_view rangeLabel);

// Message of the first check before the statistics that fails (UTF-8),
// empty when all pass: grade and class chosen, at least one option, the
// exam has questions, the ranges of the ticked name lists are valid and not
// empty.
std::string CheckStatistics(const StudentRoster& roster, const ExamSetup& exam, const GradeClassChoice& choice,
                            const StatisticsOptions& options);

struct ScoreSummary {
    int count = 0;  // values summarised (marked students)
    double mean = 0;
    double highest = 0;
    double lowest = 0;
    double median = 0;
    double standardDeviation = 0;  // population (divided by count)
};

struct HistogramBin {
    double lower = 0;  // inclusive
    double upper = 0;  // exclusive, inclusive for the last bin
    int count = 0;
    std::string label;  // UTF-8, "0-10"
};

struct QuestionStatistics {
    int number = 0;  // 1-based
    std::string key;  // standard answer letters
    double fullScore = 0;
    double meanScore = 0;
    double scoreRate = 0;  // meanScore / fullScore, 0..1; 0 when fullScore is 0
    int correct = 0;       // status '0'
    int extra = 0;         // '1'
    int missing = 0;       // '2'
    int wrong = 0;         // '3'
    int blank = 0;         // nothing marked
    std::vector<double> optionShares;  // share of the marked students choosing A, B, ... (0..1)
};

struct GroupStatistics {
    std::string header;  // "11到20题"
    double fullScore = 0;  // group score x questions
    double meanScore = 0;
    double scoreRate = 0;
};

struct ClassStatistics {
    std::string classCode;  // UTF-8
    int students = 0;
    int marked = 0;
    ScoreSummary total;
    double passRate = -1;  // -1: not known
    double excellentRate = -1;
};

struct NameList {
    int question = 0;
    std::vector<std::string> names;  // UTF-8, roster order
};

struct StatisticsModel {
    std::string title;  // examName + subjectName, UTF-8
    int students = 0;
    int marked = 0;
    int absent = 0;
    ScoreSummary total;
    ScoreSummary subjective;
    ScoreSummary choice;
    double fullScore = 0;        // of the total; 0 when not known
    double choiceFullScore = 0;  // sum of the question scores
    double passRate = -1;        // share of marked students with total >= 60 % of fullScore; -1 not known
    double excellentRate = -1;   // >= 85 %
    double choicePassRate = 0;   // the same for the choice score against choiceFullScore
    double choiceExcellentRate = 0;
    std::vector<HistogramBin> histogram;  // of the total
    int optionCount = 4;                  // letters A.. in optionShares
    std::vector<QuestionStatistics> questions;
    std::vector<GroupStatistics> groups;  // groups with a score above 0
    std::vector<ClassStatistics> classes;  // when all classes of a grade are chosen
    std::vector<NameList> wrongNames;
    std::vector<NameList> rightNames;
};

inline constexpr double kPassShare = 0.60;
inline constexpr double kExcellentShare = 0.85;

// Pure function of its inputs. `progress` gets 0..100.
StatisticsModel ComputeStatistics(const StudentRoster& roster, const ExamSetup& exam, const MarkingSession& session,
                                  const GradeClassChoice& choice, const StatisticsOptions& options,
                                  const ProgressFn& progress = {});

// One sheet per ticked option, in option order, with the charts: 成绩汇总
// (+ histogram, + 班级对比 when classes were compared), 小题分析 (+ rate
// bars), 大题得分率, 做错名单, 做对名单.
void BuildStatisticsWorkbook(sheet::Workbook& book, const StatisticsModel& model, const StatisticsOptions& options);

struct StatisticsOutputResult {
    bool written = false;
    bool opened = false;
    std::filesystem::path file;
};

// Writes the statistics workbook into programFolder + "成绩输出/" as exam +
// subject + "统计-yyyymmdd-hhmmss.xlsx" and opens it with the desktop's
// spreadsheet program. When no program can show it, says where it was saved;
// when it cannot be written, says why. Asks through `prompts`, so call it on
// the UI thread once ComputeStatistics (which may run elsewhere) is done.
StatisticsOutputResult OutputStatistics(const StatisticsModel& model, const StatisticsOptions& options,
                                        const std::filesystem::path& programFolder, Desktop& desktop,
                                        PromptsCore& prompts, std::function<std::time_t()> clock = {});

// OutputStatistics in two halves, for a window that writes the workbook
// beside its own thread while a busy window runs. The first builds and saves
// the workbook and neither opens nor asks anything, so it may run on any
// thread; `error` (UTF-8) says why it was not written. The second, on the UI
// thread, opens the saved workbook or says where it is, or why it was not
// written.
StatisticsOutputResult SaveStatisticsWorkbook(const StatisticsModel& model, const StatisticsOptions& options,
                                              const std::filesystem::path& programFolder, std::string& error,
                                              std::function<std::time_t()> clock = {});
void ShowStatisticsWorkbook(StatisticsOutputResult& result, const std::string& error, Desktop& desktop,
                            PromptsCore& prompts);
