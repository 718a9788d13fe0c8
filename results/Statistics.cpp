#include "results/Statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "platform/Files.h"
#include "platform/Gbk.h"
#include "platform/PromptsCore.h"
#include "results/Desktop.h"
#include "platform/NumberFormat.h"
#include "results/Spreadsheet.h"

namespace {

constexpr std::size_t MaxRangeNumbers = 10000;  // "1-200" repeated: a typing slip, not a request
constexpr int HistogramBins = 10;

int Clamp(int v, int hi) { return std::clamp(v, 0, hi); }

// Digits only; a number of more than nine digits is taken as 999999999,
// beyond every question count, so that it is said to be too large.
bool ParseNumber(std::string_view text, long long& value)
{
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = std::min(value * 10 + (c - '0'), 999999999LL);
    }
    return true;
}

ScoreSummary Summarise(std::vector<double> values)
{
    ScoreSummary s;
    s.count = static_cast<int>(values.size());
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values)
        sum += v;
    s.mean = sum / values.size();
    s.lowest = values.front();
    s.highest = values.back();
    const std::size_t mid = values.size() / 2;
    s.median = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    double squares = 0;
    for (double v : values)
        squares += (v - s.mean) * (v - s.mean);
    s.standardDeviation = std::sqrt(squares / values.size());
    return s;
}

// Shares compared as total * 100 >= full * percent, so 85 of 100 is excellent
// although 0.85 * 100 is not exactly 85 in binary.
double RateAtLeast(const std::vector<double>& values, double full, double share)
{
    if (values.empty() || full <= 0)
        return -1;
    const double percent = std::round(share * 100);
    int n = 0;
    for (double v : values)
        if (v * 100 >= full * percent)
            ++n;
    return static_cast<double>(n) / values.size();
}

std::string Utf8(std::string_view gbkBytes) { return gbk::ToUtf8(gbkBytes); }

// A bin bound with at most two decimals: 7.5, 15, 13.33.
std::string FormatBound(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", std::round(v * 100) / 100);
    std::string s = text;
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
        const bool dot = s.back() == '.';
        s.pop_back();
        if (dot)
            break;
    }
    return s;
}

} // namespace

RangeParse ParseStatisticsRange(std::string_view text, int questionCount, std::string_view rangeLabel)
{
    RangeParse r;
    const std::string label(rangeLabel);
    auto fail = [&](std::string message) {
        r.ok = false;
        r.numbers.clear();
        r.error = std::move(message);
        return r;
    };
    if (text.empty())
        return r;
    // Pasted from a chat or a document, "1-5，11" carries the full-width
    // comma an input method types; "不是题号范围" alone would not say why.
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return fail(label + "里“" + std::string(text) +
                        "”有全角符号或汉字，请用英文输入状态下的半角逗号“,”和“-”，如1-5,11。");
    for (;;) {
        std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        std::size_t dash = item.find('-');
        long long first = 0;
        long long last = 0;
        if (dash == std::string_view::npos) {
            if (!ParseNumber(item, first))
                return fail(item.empty() ? label + "里题号之间不能有空项。"
                                         : label + "里“" + std::string(item) + "”不是题号。");
            last = first;
        } else if (!ParseNumber(item.substr(0, dash), first) || !ParseNumber(item.substr(dash + 1), last)) {
            return fail(label + "里“" + std::string(item) + "”不是题号范围，应写成如1-5。");
        }
        if (first == 0 || last == 0)
            return fail(label + "里题号不能为0。");
        // "9-5" named no question and was dropped without a word, so that the
        // list silently lacked questions the teacher asked for.
        if (last < first)
            return fail(label + "里“" + std::string(item) + "”的起始题号大于终止题号，应写成如" +
                        std::to_string(last) + "-" + std::to_string(first) + "。");
        if (last > questionCount)
            return fail(label + "里有题号超出总题数（" + std::to_string(questionCount) + "）！");
        if (r.numbers.size() + static_cast<std::size_t>(last - first + 1) > MaxRangeNumbers)
            return fail(label + "里题号太多。");
        for (long long n = first; n <= last; ++n)
            r.numbers.push_back(static_cast<int>(n));
        if (comma == std::string_view::npos)
            break;
        text = text.substr(comma + 1);
    }
    return r;
}

static constexpr const char* kWrongLabel = "统计小题做错名单的小题范围";
static constexpr const char* kRightLabel = "统计小题做对名单的小题范围";

std::string CheckStatistics(const StudentRoster& roster, const ExamSetup& exam, const GradeClassChoice& choice,
                            const StatisticsOptions& options)
{
    if (roster.gradeEnabled && (choice.gradeIndex < 0 || choice.gradeIndex >= Clamp(roster.gradeCount, 50)))
        return statistics_texts::ChooseGrade;
    if (roster.classEnabled && choice.classChoice == GradeClassChoice::Class::NotChosen)
        return statistics_texts::ChooseClass;
    if (!options.average && !options.questionRates && !options.groupRates && !options.wrongList &&
        !options.rightList)
        return statistics_texts::ChooseOption;
    const int questionCount = Clamp(exam.questionCount, exam_limits::MaxQuestions);
    if (questionCount == 0 && (options.questionRates || options.groupRates || options.wrongList || options.rightList))
        return statistics_texts::NoQuestions;
    auto checkRange = [&](bool ticked, const std::string& text, const char* label) -> std::string {
        if (!ticked)
            return {};
        if (text.empty())
            return std::string("请输入") + label + "！";
        RangeParse parsed = ParseStatisticsRange(text, questionCount, label);
        if (!parsed.ok)
            return parsed.error;
        if (parsed.numbers.empty())
            return std::string(label) + "里没有题号。";
        return {};
    };
    if (auto m = checkRange(options.wrongList, options.wrongRange, kWrongLabel); !m.empty())
        return m;
    return checkRange(options.rightList, options.rightRange, kRightLabel);
}

StatisticsModel ComputeStatistics(const StudentRoster& roster, const ExamSetup& exam, const MarkingSession& session,
                                  const GradeClassChoice& choice, const StatisticsOptions& options,
                                  const ProgressFn& progress)
{
    StatisticsModel m;
    m.title = Utf8(std::string(exam.examName.View()) + std::string(exam.subjectName.View()));
    const int questionCount = Clamp(exam.questionCount, exam_limits::MaxQuestions);
    const int recordCount = Clamp(session.recordCount, MarkingSession::MaxRecords);
    const MarkingRecord* standard = recordCount > 0 ? &session.records[0] : nullptr;

    const std::vector<int> filtered = FilterStudents(roster, choice);
    RecordIndex index(session);
    std::vector<int> studentOfMarked;  // roster index of each marked student
    std::vector<const MarkingRecord*> marked;
    for (int s : filtered) {
        int r = index.Find(roster.students[s].admissionNumber.View());
        if (r >= 0) {
            studentOfMarked.push_back(s);
            marked.push_back(&session.records[r]);
        }
    }
    m.students = static_cast<int>(filtered.size());
    m.marked = static_cast<int>(marked.size());
    m.absent = m.students - m.marked;

    std::vector<double> totals, subjective, choiceScores;
    for (const MarkingRecord* r : marked) {
        totals.push_back(r->totalScore);
        subjective.push_back(r->subjectiveScore);
        choiceScores.push_back(r->choiceScore);
    }
    m.total = Summarise(totals);
    m.subjective = Summarise(subjective);
    m.choice = Summarise(choiceScores);

    for (int q = 0; q < questionCount; ++q)
        m.choiceFullScore += exam.questions[q].score;
    if (options.fullScore > 0)
        m.fullScore = options.fullScore;
    else if (!exam.hasSubjectiveScore)
        m.fullScore = m.choiceFullScore;
    m.passRate = RateAtLeast(totals, m.fullScore, kPassShare);
    m.excellentRate = RateAtLeast(totals, m.fullScore, kExcellentShare);
    m.choicePassRate = std::max(0.0, RateAtLeast(choiceScores, m.choiceFullScore, kPassShare));
    m.choiceExcellentRate = std::max(0.0, RateAtLeast(choiceScores, m.choiceFullScore, kExcellentShare));

    // Histogram of the total over ten equal bins from 0 to the full score
    // (or the highest total when the full score is not known).
    // Without a full score the bins end at the highest total rounded up to
    // ten, so that they have whole-number bounds.
    double top = m.fullScore > 0 ? m.fullScore : std::ceil(m.total.highest / 10) * 10;
    if (!(top > 0))
        top = 10;
    const double width = top / HistogramBins;
    for (int b = 0; b < HistogramBins; ++b) {
        HistogramBin bin;
        bin.lower = width * b;
        bin.upper = b + 1 == HistogramBins ? top : width * (b + 1);
        bin.label = FormatBound(bin.lower) + "-" + FormatBound(bin.upper);
        m.histogram.push_back(bin);
    }
    for (double t : totals) {
        int b = t <= 0 ? 0 : static_cast<int>(t / width);
        m.histogram[std::clamp(b, 0, HistogramBins - 1)].count++;
    }
    if (progress)
        progress(20);

    // Item analysis in one pass over the records, record by record, so that
    // each record's 200 answers are read while in cache (question by question
    // over 5000 records of 3420 bytes took twice as long).
    struct Tally {
        double sum = 0;
        int status[4] = {};
        int blank = 0;
        int letters[26] = {};
    };
    std::vector<Tally> tally(static_cast<std::size_t>(questionCount));
    int letters = 4;  // options shown: at least A-D, more when the key or an answer uses them
    auto widen = [&](std::string_view answer) {
        for (char c : answer)
            if (c >= 'A' && c <= 'Z')
                letters = std::max(letters, c - 'A' + 1);
    };
    for (std::size_t i = 0; i < marked.size(); ++i) {
        const MarkingRecord& r = *marked[i];
        for (int q = 0; q < questionCount; ++q) {
            const QuestionResult& a = r.questionResults[q];
            Tally& t = tally[static_cast<std::size_t>(q)];
            t.sum += a.score;
            if (a.status >= '0' && a.status <= '3')
                ++t.status[a.status - '0'];
            if (a.answer.bytes[0] == 0)
                ++t.blank;
            for (std::size_t k = 0; k < sizeof a.answer.bytes && a.answer.bytes[k]; ++k) {
                const char c = a.answer.bytes[k];
                if (c >= 'A' && c <= 'Z') {
                    ++t.letters[c - 'A'];
                    letters = std::max(letters, c - 'A' + 1);
                }
            }
        }
        if (progress && i % 256 == 255)
            progress(20 + static_cast<int>(60 * (i + 1) / marked.size()));
    }
    if (standard)
        for (int q = 0; q < questionCount; ++q)
            widen(standard->questionResults[q].answer.View());
    m.optionCount = letters;

    const double markedCount = static_cast<double>(marked.size());
    m.questions.reserve(static_cast<std::size_t>(questionCount));
    for (int q = 0; q < questionCount; ++q) {
        const Tally& t = tally[static_cast<std::size_t>(q)];
        QuestionStatistics qs;
        qs.number = q + 1;
        qs.key = standard ? std::string(standard->questionResults[q].answer.View()) : std::string();
        qs.fullScore = exam.questions[q].score;
        qs.correct = t.status[0];
        qs.extra = t.status[1];
        qs.missing = t.status[2];
        qs.wrong = t.status[3];
        qs.blank = t.blank;
        qs.optionShares.assign(static_cast<std::size_t>(letters), 0.0);
        if (markedCount > 0) {
            qs.meanScore = t.sum / markedCount;
            for (int k = 0; k < letters; ++k)
                qs.optionShares[static_cast<std::size_t>(k)] = t.letters[k] / markedCount;
        }
        qs.scoreRate = qs.fullScore > 0 ? qs.meanScore / qs.fullScore : 0;
        m.questions.push_back(std::move(qs));
    }
    if (progress)
        progress(80);

    for (int g : ScoredGroups(exam)) {
        const QuestionGroup& group = exam.groups[g];
        GroupStatistics gs;
        gs.header = GroupHeader(group);
        gs.fullScore = static_cast<double>(group.score) * std::max(0, group.lastQuestion - group.firstQuestion + 1);
        double sum = 0;
        for (const MarkingRecord* r : marked)
            sum += r->groupScores[g];
        gs.meanScore = markedCount > 0 ? sum / markedCount : 0;
        gs.scoreRate = gs.fullScore > 0 ? gs.meanScore / gs.fullScore : 0;
        m.groups.push_back(std::move(gs));
    }

    if (roster.classEnabled && choice.classChoice == GradeClassChoice::Class::All) {
        std::vector<std::string> order;  // GBK, first appearance
        for (int s : filtered) {
            std::string code(roster.students[s].classCode.View());
            if (std::find(order.begin(), order.end(), code) == order.end())
                order.push_back(code);
        }
        for (const std::string& code : order) {
            ClassStatistics cs;
            cs.classCode = Utf8(code);
            std::vector<double> classTotals;
            for (int s : filtered)
                if (roster.students[s].classCode.View() == code)
                    ++cs.students;
            for (std::size_t i = 0; i < marked.size(); ++i)
                if (roster.students[studentOfMarked[i]].classCode.View() == code)
                    classTotals.push_back(marked[i]->totalScore);
            cs.marked = static_cast<int>(classTotals.size());
            cs.total = Summarise(classTotals);
            cs.passRate = RateAtLeast(classTotals, m.fullScore, kPassShare);
            cs.excellentRate = RateAtLeast(classTotals, m.fullScore, kExcellentShare);
            m.classes.push_back(std::move(cs));
        }
    }

    // Names converted once, not once per listed question.
    std::vector<std::string> markedNames;
    if (options.wrongList || options.rightList)
        for (int student : studentOfMarked)
            markedNames.push_back(Utf8(roster.students[student].name.View()));
    auto nameLists = [&](const std::string& range, bool right) {
        std::vector<NameList> lists;
        RangeParse parsed = ParseStatisticsRange(range, questionCount, right ? kRightLabel : kWrongLabel);
        std::set<int> seen;
        for (int q : parsed.numbers) {
            if (!seen.insert(q).second)
                continue;
            NameList list;
            list.question = q;
            for (std::size_t i = 0; i < marked.size(); ++i) {
                const bool correct = marked[i]->questionResults[q - 1].status == '0';
                if (correct == right)
                    list.names.push_back(markedNames[i]);
            }
            lists.push_back(std::move(list));
        }
        return lists;
    };
    if (options.wrongList)
        m.wrongNames = nameLists(options.wrongRange, false);
    if (options.rightList)
        m.rightNames = nameLists(options.rightRange, true);
    if (progress)
        progress(100);
    return m;
}

// --- the workbook ----------------------------------------------------------------

namespace {

using sheet::CellValue;
using sheet::Worksheet;

void Title(Worksheet& ws, const std::string& text, int lastColumn)
{
    sheet::Range r = ws.GetRange(sheet::Area{1, 1, 1, lastColumn});
    r.Merge(false);
    r.SetHorizontalAlignment(sheet::align::Center);
    r.GetFont().SetSize(16);
    r.GetFont().SetBold(true);
    r.SetValue(text);
}

void HeaderRow(Worksheet& ws, int row, const std::vector<std::string>& texts)
{
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ws.Cells(row, static_cast<int>(i) + 1).SetValue(texts[i]);
        ws.Cells(row, static_cast<int>(i) + 1).GetFont().SetBold(true);
    }
}

void Put(Worksheet& ws, int row, int column, double v, const char* format = nullptr)
{
    ws.Cells(row, column).SetValue(v);
    if (format)
        ws.Cells(row, column).SetNumberFormatLocal(format);
}

// A rate, or "—" when it cannot be known.
void PutRate(Worksheet& ws, int row, int column, double rate)
{
    if (rate < 0)
        ws.Cells(row, column).SetValue("—");
    else
        Put(ws, row, column, rate, "0.00%");
}

void SummarySheet(sheet::Workbook& book, const StatisticsModel& m)
{
    Worksheet& ws = book.AddSheet("成绩汇总");
    Title(ws, m.title + "成绩统计", 6);
    ws.Cells(3, 1).SetValue("学生人数");
    Put(ws, 3, 2, m.students);
    ws.Cells(4, 1).SetValue("已阅卷人数");
    Put(ws, 4, 2, m.marked);
    ws.Cells(5, 1).SetValue("缺考人数");
    Put(ws, 5, 2, m.absent);

    HeaderRow(ws, 7, {"项目", "总分", "主观题分", "选择题分"});
    const ScoreSummary* columns[] = {&m.total, &m.subjective, &m.choice};
    const char* rows[] = {"平均分", "最高分", "最低分", "中位数", "标准差"};
    for (int i = 0; i < 5; ++i) {
        ws.Cells(8 + i, 1).SetValue(rows[i]);
        for (int c = 0; c < 3; ++c) {
            const ScoreSummary& s = *columns[c];
            const double values[] = {s.mean, s.highest, s.lowest, s.median, s.standardDeviation};
            if (s.count == 0)
                ws.Cells(8 + i, 2 + c).SetValue("—");
            else
                Put(ws, 8 + i, 2 + c, values[i], "0.00");
        }
    }
    ws.Cells(13, 1).SetValue("满分");
    if (m.fullScore > 0)
        Put(ws, 13, 2, m.fullScore);
    else
        ws.Cells(13, 2).SetValue("—");
    ws.Cells(13, 3).SetValue("—");
    Put(ws, 13, 4, m.choiceFullScore);
    ws.Cells(14, 1).SetValue("及格率（60%）");
    PutRate(ws, 14, 2, m.passRate);
    ws.Cells(14, 3).SetValue("—");
    PutRate(ws, 14, 4, m.marked ? m.choicePassRate : -1);
    ws.Cells(15, 1).SetValue("优秀率（85%）");
    PutRate(ws, 15, 2, m.excellentRate);
    ws.Cells(15, 3).SetValue("—");
    PutRate(ws, 15, 4, m.marked ? m.choiceExcellentRate : -1);
    ws.Columns(1).SetColumnWidth(14);

    const int histRow = 17;
    HeaderRow(ws, histRow, {"总分分数段", "人数"});
    for (std::size_t b = 0; b < m.histogram.size(); ++b) {
        const int row = histRow + 1 + static_cast<int>(b);
        ws.Cells(row, 1).SetValue(m.histogram[b].label);
        Put(ws, row, 2, m.histogram[b].count);
    }
    sheet::ChartSpec chart;
    chart.type = sheet::ChartSpec::Type::Column;
    chart.title = "总分分布";
    chart.seriesName = "人数";
    chart.categories = {histRow + 1, 1, histRow + static_cast<int>(m.histogram.size()), 1};
    chart.values = {histRow + 1, 2, histRow + static_cast<int>(m.histogram.size()), 2};
    chart.xAxisTitle = "分数段";
    chart.yAxisTitle = "人数";
    chart.anchorRow = 3;
    chart.anchorColumn = 7;
    ws.AddChart(chart);

    if (m.classes.empty())
        return;
    Worksheet& cs = book.AddSheet("班级对比");
    Title(cs, m.title + "班级对比", 10);
    HeaderRow(cs, 3, {"班级", "学生人数", "已阅卷人数", "平均分", "最高分", "最低分", "中位数", "标准差", "及格率",
                      "优秀率"});
    int row = 4;
    for (const ClassStatistics& c : m.classes) {
        cs.Cells(row, 1).SetValue(CellValue::Text(c.classCode));
        Put(cs, row, 2, c.students);
        Put(cs, row, 3, c.marked);
        const double values[] = {c.total.mean, c.total.highest, c.total.lowest, c.total.median,
                                 c.total.standardDeviation};
        for (int i = 0; i < 5; ++i) {
            if (c.marked == 0)
                cs.Cells(row, 4 + i).SetValue("—");
            else
                Put(cs, row, 4 + i, values[i], "0.00");
        }
        PutRate(cs, row, 9, c.passRate);
        PutRate(cs, row, 10, c.excellentRate);
        ++row;
    }
    if (auto classColumn = cs.GetRange("A4:A" + std::to_string(std::max(4, row - 1))))
        classColumn->SetNumberFormatLocal("@");
    sheet::ChartSpec bars;
    bars.type = sheet::ChartSpec::Type::Column;
    bars.title = "各班平均分";
    bars.seriesName = "平均分";
    bars.categories = {4, 1, row - 1, 1};
    bars.values = {4, 4, row - 1, 4};
    bars.xAxisTitle = "班级";
    bars.yAxisTitle = "平均分";
    bars.anchorRow = row + 1;
    bars.anchorColumn = 1;
    cs.AddChart(bars);
}

void QuestionSheet(sheet::Workbook& book, const StatisticsModel& m)
{
    Worksheet& ws = book.AddSheet("小题分析");
    std::vector<std::string> header = {"题号", "标准答案", "满分", "平均分", "得分率", "答对人数",
                                       "多选人数", "少选人数", "错选人数", "未答人数"};
    for (int k = 0; k < m.optionCount; ++k)
        header.push_back(std::string("选") + static_cast<char>('A' + k) + "比例");
    Title(ws, m.title + "每小题得分率", static_cast<int>(header.size()));
    HeaderRow(ws, 3, header);
    int row = 4;
    for (const QuestionStatistics& q : m.questions) {
        Put(ws, row, 1, q.number);
        ws.Cells(row, 2).SetValue(CellValue::Text(q.key));
        Put(ws, row, 3, q.fullScore);
        Put(ws, row, 4, q.meanScore, "0.00");
        Put(ws, row, 5, q.scoreRate, "0.00%");
        Put(ws, row, 6, q.correct);
        Put(ws, row, 7, q.extra);
        Put(ws, row, 8, q.missing);
        Put(ws, row, 9, q.wrong);
        Put(ws, row, 10, q.blank);
        for (int k = 0; k < m.optionCount; ++k)
            Put(ws, row, 11 + k, q.optionShares[static_cast<std::size_t>(k)], "0.00%");
        ++row;
    }
    if (m.questions.empty())
        return;
    sheet::ChartSpec chart;
    chart.type = sheet::ChartSpec::Type::Column;
    chart.title = "每小题得分率";
    chart.seriesName = "得分率";
    chart.categories = {4, 1, row - 1, 1};
    chart.values = {4, 5, row - 1, 5};
    chart.xAxisTitle = "题号";
    chart.yAxisTitle = "得分率";
    chart.valueMin = 0;
    chart.valueMax = 1;
    chart.anchorRow = 3;
    chart.anchorColumn = 12 + m.optionCount;
    chart.widthScale = std::clamp(m.questions.size() / 20.0, 1.5, 6.0);
    ws.AddChart(chart);
}

void GroupSheet(sheet::Workbook& book, const StatisticsModel& m)
{
    Worksheet& ws = book.AddSheet("大题得分率");
    Title(ws, m.title + "每大题得分率", 5);
    HeaderRow(ws, 3, {"大题", "题号范围", "满分", "平均分", "得分率"});
    int row = 4;
    for (std::size_t g = 0; g < m.groups.size(); ++g) {
        Put(ws, row, 1, static_cast<double>(g + 1));
        ws.Cells(row, 2).SetValue(m.groups[g].header);
        Put(ws, row, 3, m.groups[g].fullScore);
        Put(ws, row, 4, m.groups[g].meanScore, "0.00");
        Put(ws, row, 5, m.groups[g].scoreRate, "0.00%");
        ++row;
    }
    ws.Columns(2).SetColumnWidth(12);
}

void NameSheet(sheet::Workbook& book, const StatisticsModel& m, const std::vector<NameList>& lists, bool right)
{
    Worksheet& ws = book.AddSheet(right ? "做对名单" : "做错名单");
    Title(ws, m.title + (right ? "小题做对名单" : "小题做错名单"), 4);
    HeaderRow(ws, 3, {"题号", "标准答案", "人数", right ? "做对学生名单" : "做错学生名单"});
    int row = 4;
    for (const NameList& list : lists) {
        Put(ws, row, 1, list.question);
        if (list.question >= 1 && list.question <= static_cast<int>(m.questions.size()))
            ws.Cells(row, 2).SetValue(CellValue::Text(m.questions[static_cast<std::size_t>(list.question - 1)].key));
        Put(ws, row, 3, static_cast<double>(list.names.size()));
        std::string names;
        for (const std::string& n : list.names)
            names += (names.empty() ? "" : "、") + n;
        ws.Cells(row, 4).SetValue(CellValue::Text(names));
        ++row;
    }
    ws.Columns(4).SetColumnWidth(80);
}

} // namespace

void BuildStatisticsWorkbook(sheet::Workbook& book, const StatisticsModel& model, const StatisticsOptions& options)
{
    if (options.average)
        SummarySheet(book, model);
    if (options.questionRates)
        QuestionSheet(book, model);
    if (options.groupRates)
        GroupSheet(book, model);
    if (options.wrongList)
        NameSheet(book, model, model.wrongNames, false);
    if (options.rightList)
        NameSheet(book, model, model.rightNames, true);
}

StatisticsOutputResult SaveStatisticsWorkbook(const StatisticsModel& model, const StatisticsOptions& options,
                                              const std::filesystem::path& programFolder, std::string& error,
                                              std::function<std::time_t()> clock)
{
    StatisticsOutputResult result;
    sheet::Workbook book;
    BuildStatisticsWorkbook(book, model, options);
    result.file = sheet::StampedWorkbookFile(programFolder / files::FromUtf8(output_texts::CsvFolder),
                                             model.title + statistics_texts::FileSuffix,
                                             clock ? clock() : std::time(nullptr));
    result.written = book.SaveAs(result.file, &error);
    return result;
}

void ShowStatisticsWorkbook(StatisticsOutputResult& result, const std::string& error, Desktop& desktop,
                            PromptsCore& prompts)
{
    if (!result.written) {
        prompts.ShowMessage("统计结果输出出错：" + error);
        return;
    }
    result.opened = desktop.CanOpenSpreadsheets() && desktop.OpenWithSpreadsheetProgram(result.file);
    if (!result.opened)
        prompts.ShowMessage("统计结果已保存到 " + files::ToUtf8(result.file) + "\n" + output_texts::InstallSpreadsheet);
}

StatisticsOutputResult OutputStatistics(const StatisticsModel& model, const StatisticsOptions& options,
                                        const std::filesystem::path& programFolder, Desktop& desktop,
                                        PromptsCore& prompts, std::function<std::time_t()> clock)
{
    std::string error;
    StatisticsOutputResult result = SaveStatisticsWorkbook(model, options, programFolder, error, std::move(clock));
    ShowStatisticsWorkbook(result, error, desktop, prompts);
    return result;
}
