#include "results/ScoreOutput.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/Files.h"
#include "platform/Gbk.h"
#include "platform/NumberFormat.h"
#include "results/Desktop.h"
#include "results/Spreadsheet.h"

namespace {

constexpr std::array<const char*, kOutputItemCount> kItemTexts = {
    "准考证号", "姓名", "总得分", "主观题分", "选择题分", "大题得分情况",
    "多选",     "少选", "错选",   "多选题号", "少选题号", "错选题号",
};

int StudentCount(const StudentRoster& roster) { return std::clamp(roster.studentCount, 0, StudentRoster::MaxStudents); }
int GradeCount(const StudentRoster& roster) { return std::clamp(roster.gradeCount, 0, StudentRoster::MaxGrades); }
int RecordCount(const MarkingSession& s) { return std::clamp(s.recordCount, 0, MarkingSession::MaxRecords); }
int GroupCount(const ExamSetup& e) { return std::clamp(e.groupCount, 0, exam_limits::MaxGroups); }

std::string ToGbk(std::string_view utf8)
{
    auto converted = gbk::FromUtf8(utf8);
    return converted ? *converted : std::string(utf8);
}

// Admission numbers, scores and question lists are ASCII: they need no
// converter (opening one per text made the 5000-row sheet a third slower).
std::string GbkToUtf8(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return gbk::ToUtf8(bytes);
    return std::string(bytes);
}

int ProgressPercent(std::size_t done, std::size_t total)
{
    if (total == 0)
        return 100;
    return static_cast<int>(std::min<std::size_t>(100, done * 100 / total));
}

} // namespace

const std::array<const char*, kOutputItemCount>& OutputItemTexts() { return kItemTexts; }

const char* OutputItemText(OutputItem item) { return kItemTexts[static_cast<std::size_t>(item)]; }

std::optional<OutputItem> OutputItemFromText(std::string_view utf8)
{
    for (std::size_t i = 0; i < kItemTexts.size(); ++i)
        if (utf8 == kItemTexts[i])
            return static_cast<OutputItem>(i);
    return std::nullopt;
}

std::vector<std::string> GradeListItems(const StudentRoster& roster)
{
    std::vector<std::string> items;
    for (int g = 0; g < GradeCount(roster); ++g)
        items.push_back(roster.grades[g].name.Utf8());
    return items;
}

std::vector<std::string> ClassListItems(const StudentRoster& roster)
{
    std::vector<std::string> items = {output_texts::AllClasses};
    for (const std::string& code : roster.DistinctClassCodes())
        items.push_back(gbk::ToUtf8(code));
    return items;
}

GradeClassChoice ChoiceFromLists(const StudentRoster& roster, int gradeItem, int classItem)
{
    GradeClassChoice choice;
    choice.gradeIndex = gradeItem >= 0 && gradeItem < GradeCount(roster) ? gradeItem : -1;
    if (classItem == 0) {
        choice.classChoice = GradeClassChoice::Class::All;
    } else if (classItem > 0) {
        std::vector<std::string> codes = roster.DistinctClassCodes();
        if (static_cast<std::size_t>(classItem) <= codes.size()) {
            choice.classChoice = GradeClassChoice::Class::One;
            choice.classCode = codes[static_cast<std::size_t>(classItem) - 1];
        }
    }
    return choice;
}

std::vector<int> FilterStudents(const StudentRoster& roster, const GradeClassChoice& choice)
{
    std::vector<int> selected;
    std::string_view gradeCode;
    if (roster.gradeEnabled) {
        if (choice.gradeIndex < 0 || choice.gradeIndex >= GradeCount(roster))
            return selected;
        gradeCode = roster.grades[choice.gradeIndex].code.View();
    }
    const bool oneClass = roster.classEnabled && choice.classChoice == GradeClassChoice::Class::One;
    const int n = StudentCount(roster);
    for (int i = 0; i < n; ++i) {
        const StudentEntry& s = roster.students[i];
        if (roster.gradeEnabled && s.gradeCode.View() != gradeCode)
            continue;
        if (oneClass && s.classCode.View() != choice.classCode)
            continue;
        selected.push_back(i);
    }
    return selected;
}

std::string CheckScoreOutput(const StudentRoster& roster, const GradeClassChoice& choice,
                             const std::vector<OutputItem>& items)
{
    if (roster.gradeEnabled && (choice.gradeIndex < 0 || choice.gradeIndex >= GradeCount(roster)))
        return output_texts::ChooseGrade;
    if (roster.classEnabled && choice.classChoice == GradeClassChoice::Class::NotChosen)
        return output_texts::ChooseClass;
    if (items.empty())
        return output_texts::ChooseItems;
    return {};
}

RecordIndex::RecordIndex(const MarkingSession& session)
{
    const int n = RecordCount(session);
    index_.reserve(static_cast<std::size_t>(n));
    for (int i = 1; i < n; ++i)
        index_.emplace(session.records[i].admissionNumber.View(), i);  // keeps the first of equal numbers
}

int RecordIndex::Find(std::string_view admissionNumber) const
{
    auto it = index_.find(admissionNumber);
    return it == index_.end() ? -1 : it->second;
}

StudentOrder::StudentOrder(const StudentRoster& roster, const MarkingSession& session,
                           const std::vector<int>& filtered, RowOrder order)
{
    RecordIndex index(session);
    rows_.reserve(filtered.size());
    for (int s : filtered)
        rows_.push_back({s, index.Find(roster.students[s].admissionNumber.View())});
    // One stable sort gives what picking the smallest (or highest) remaining
    // student each time gives, ties in roster order, in n log n instead of n².
    if (order == RowOrder::ByNumber) {
        std::stable_sort(rows_.begin(), rows_.end(), [&](const OutputStudent& a, const OutputStudent& b) {
            return roster.students[a.student].admissionNumber.View() <
                   roster.students[b.student].admissionNumber.View();
        });
    } else {
        auto total = [&](const OutputStudent& r) {
            if (r.record < 0)
                return 0.0f;
            float t = session.records[r.record].totalScore;
            // A damaged value must not break the ordering.
            return std::isnan(t) ? -std::numeric_limits<float>::infinity() : t;
        };
        std::stable_sort(rows_.begin(), rows_.end(),
                         [&](const OutputStudent& a, const OutputStudent& b) { return total(a) > total(b); });
    }
}

std::optional<OutputStudent> StudentOrder::NextStudentInOrder()
{
    if (next_ >= rows_.size())
        return std::nullopt;
    return rows_[next_++];
}

std::string StatusQuestionList(const MarkingRecord& r, int questionCount, char status)
{
    std::string list;
    const int n = std::clamp(questionCount, 0, MarkingRecord::MaxQuestions);
    for (int q = 0; q < n; ++q) {
        const QuestionResult& qr = r.questionResults[q];
        if (qr.status != status)
            continue;
        list += std::to_string(q + 1);
        list += '.';
        list += qr.answer.View();
        list += ' ';
    }
    return list;
}

std::string GroupHeader(const QuestionGroup& g)
{
    return std::to_string(g.firstQuestion) + "到" + std::to_string(g.lastQuestion) + "题";
}

std::vector<int> ScoredGroups(const ExamSetup& exam)
{
    std::vector<int> groups;
    for (int g = 0; g < GroupCount(exam); ++g)
        if (exam.groups[g].score > 0)
            groups.push_back(g);
    return groups;
}

std::vector<std::string> HeaderTexts(const std::vector<OutputItem>& items, const ExamSetup& exam)
{
    std::vector<std::string> headers;
    for (OutputItem item : items) {
        if (item == OutputItem::GroupScores) {
            for (int g : ScoredGroups(exam))
                headers.push_back(GroupHeader(exam.groups[g]));
        } else {
            headers.push_back(OutputItemText(item));
        }
    }
    return headers;
}

void AppendItemValues(OutputItem item, const MarkingRecord& r, const ExamSetup& exam, std::vector<ItemValue>& out)
{
    auto score = [&](float v) { out.push_back({FormatScore(v), true}); };
    auto count = [&](int32_t v) { out.push_back({std::to_string(v), true}); };
    switch (item) {
    case OutputItem::AdmissionNumber: out.push_back({std::string(r.admissionNumber.View()), false}); break;
    case OutputItem::Name: out.push_back({std::string(r.studentName.View()), false}); break;
    case OutputItem::Total: score(r.totalScore); break;
    case OutputItem::Subjective: score(r.subjectiveScore); break;
    case OutputItem::Choice: score(r.choiceScore); break;
    case OutputItem::GroupScores:
        for (int g : ScoredGroups(exam))
            score(r.groupScores[g]);
        break;
    case OutputItem::Extra: count(r.extraCount); break;
    case OutputItem::Missing: count(r.missingCount); break;
    case OutputItem::Wrong: count(r.wrongCount); break;
    case OutputItem::ExtraList: out.push_back({StatusQuestionList(r, exam.questionCount, '1'), false}); break;
    case OutputItem::MissingList: out.push_back({StatusQuestionList(r, exam.questionCount, '2'), false}); break;
    case OutputItem::WrongList: out.push_back({StatusQuestionList(r, exam.questionCount, '3'), false}); break;
    }
}

UnmarkedStudents ListUnmarkedStudents(const StudentRoster& roster, const MarkingSession& session,
                                      const GradeClassChoice& choice)
{
    UnmarkedStudents u;
    RecordIndex index(session);
    std::string names;  // GBK, each name followed by "，"
    const std::string comma = ToGbk("，");
    for (int s : FilterStudents(roster, choice)) {
        ++u.studentCount;
        if (index.Find(roster.students[s].admissionNumber.View()) < 0) {
            ++u.unmarkedCount;
            names += roster.students[s].name.View();
            names += comma;
        }
    }
    if (!names.empty())
        names.resize(names.size() - comma.size());
    u.names = gbk::ToUtf8(names);
    u.lines.push_back(std::string(output_texts::StudentCount) + std::to_string(u.studentCount));
    u.lines.push_back(std::string(output_texts::UnmarkedCount) + std::to_string(u.unmarkedCount));
    if (u.unmarkedCount > 0)
        u.lines.push_back(output_texts::UnmarkedNames + u.names);
    return u;
}

// A name with a comma ("王,浩然") shifted the rest of its row a column right.
// Only such fields are quoted (in double quotes, inner quotes doubled), so
// every other file stays byte for byte as it was. GBK's second bytes are
// 0x40 and above: a comma, quote or line break byte is always that character.
static void AppendCsvField(std::string& text, std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        text += field;
        return;
    }
    text += '"';
    for (char c : field) {
        if (c == '"')
            text += '"';
        text += c;
    }
    text += '"';
}

std::string ScoreCsvText(const ScoreOutputRequest& request, const ProgressFn& progress)
{
    const StudentRoster& roster = *request.roster;
    const MarkingSession& session = *request.session;
    const ExamSetup& exam = *request.exam;

    std::string text;
    for (const std::string& h : HeaderTexts(request.items, exam)) {
        AppendCsvField(text, ToGbk(h));
        text += ',';
    }
    text += "\r\n";

    StudentOrder order(roster, session, FilterStudents(roster, request.choice), request.order);
    text.reserve(text.size() + order.Count() * 64);
    std::vector<ItemValue> values;
    std::size_t handled = 0;
    while (auto next = order.NextStudentInOrder()) {
        ++handled;
        if (next->record < 0) {
            if (request.includeAbsent) {
                const StudentEntry& s = roster.students[next->student];
                AppendCsvField(text, "'" + std::string(s.admissionNumber.View()));
                text += ',';
                AppendCsvField(text, s.name.View());
                text += "\r\n";
            }
        } else {
            const MarkingRecord& r = session.records[next->record];
            for (OutputItem item : request.items) {
                values.clear();
                AppendItemValues(item, r, exam, values);
                for (const ItemValue& v : values) {
                    // A leading "'" makes spreadsheet programs keep the number as text.
                    AppendCsvField(text, item == OutputItem::AdmissionNumber ? "'" + v.gbk : v.gbk);
                    text += ',';
                }
            }
            text += "\r\n";
        }
        if (progress)
            progress(ProgressPercent(handled, order.Count()));
    }
    return text;
}

static sheet::CellValue SheetValue(const ItemValue& v)
{
    if (v.numeric) {
        double number = 0;
        auto [end, ec] = std::from_chars(v.gbk.data(), v.gbk.data() + v.gbk.size(), number);
        if (ec == std::errc() && end == v.gbk.data() + v.gbk.size())
            return sheet::CellValue::Number(number);
    }
    return sheet::CellValue::Text(GbkToUtf8(v.gbk));
}

void WriteScoreSheet(sheet::Worksheet& ws, const ScoreOutputRequest& request, const ProgressFn& progress)
{
    const StudentRoster& roster = *request.roster;
    const MarkingSession& session = *request.session;
    const ExamSetup& exam = *request.exam;
    using sheet::align::Center;

    sheet::Range title = *ws.GetRange("A1:J1");
    title.Merge(false);
    title.SetHorizontalAlignment(Center);
    title.Cells().GetFont().SetSize(18);
    title.Cells().GetFont().SetBold(true);
    title.Cells().SetValue(gbk::ToUtf8(std::string(exam.examName.View()) + std::string(exam.subjectName.View())));

    sheet::Range subtitle = *ws.GetRange("A2:J2");
    subtitle.Merge(false);
    subtitle.Cells().GetFont().SetSize(14);
    subtitle.Cells().GetFont().SetBold(true);
    subtitle.Cells().GetFont().SetColor(255);
    subtitle.Cells().SetValue("成绩");

    int e = 1;
    for (OutputItem item : request.items) {
        if (item == OutputItem::GroupScores) {
            for (int g : ScoredGroups(exam)) {
                ws.Cells(3, e).SetValue(GroupHeader(exam.groups[g]));
                ws.Cells(3, e).GetFont().SetBold(true);
                ++e;
            }
            continue;
        }
        if (item == OutputItem::AdmissionNumber)
            ws.Columns(e).SetColumnWidth(12);
        if (item == OutputItem::Extra || item == OutputItem::Missing || item == OutputItem::Wrong)
            ws.Columns(e).SetColumnWidth(5);
        ws.Cells(3, e).SetValue(OutputItemText(item));
        ws.Cells(3, e).GetFont().SetBold(true);
        ++e;
    }

    // Alignment and the text column over as many rows as the roster has
    // students: column A keeps the leading zeros of admission numbers.
    const int n = StudentCount(roster);
    const std::string last = sheet::ColumnLetters(std::max(e - 1, 1));
    if (n > 0) {
        if (auto body = ws.GetRange("A4:" + last + std::to_string(n + 3))) {
            body->SetHorizontalAlignment(sheet::align::Left);
            body->SetVerticalAlignment(sheet::align::Middle);
        }
        if (auto columnA = ws.GetRange("A4:A" + std::to_string(n + 3)))
            columnA->SetNumberFormatLocal("@");
    }

    StudentOrder order(roster, session, FilterStudents(roster, request.choice), request.order);
    std::vector<ItemValue> values;
    int p = 4;
    std::size_t handled = 0;
    while (auto next = order.NextStudentInOrder()) {
        ++handled;
        if (next->record < 0) {
            if (request.includeAbsent) {
                const StudentEntry& s = roster.students[next->student];
                // Admission numbers are always text, so no leading zero is lost.
                ws.Cells(p, 1).SetValue(sheet::CellValue::Text(GbkToUtf8(s.admissionNumber.View())));
                ws.Cells(p, 2).SetValue(sheet::CellValue::Text(GbkToUtf8(s.name.View())));
                ++p;
            }
        } else {
            const MarkingRecord& r = session.records[next->record];
            values.clear();
            for (OutputItem item : request.items)
                AppendItemValues(item, r, exam, values);
            int column = 1;
            for (const ItemValue& v : values)
                ws.Cells(p, column++).SetValue(SheetValue(v));
            ++p;
        }
        if (progress)
            progress(ProgressPercent(handled, order.Count()));
    }
}

bool WriteScoreCsv(const ScoreOutputRequest& request, const std::filesystem::path& programFolder, Desktop& desktop,
                   PromptsCore& prompts, const ProgressFn& progress)
{
    const std::filesystem::path folder = programFolder / files::FromUtf8(output_texts::CsvFolder);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path file = folder / output_texts::CsvName;
    const std::string text = ScoreCsvText(request, progress);
    if (!files::WriteAtomic(file, text)) {
        prompts.ShowMessage(output_texts::CsvCreateFailed);
        return false;
    }
    if (!desktop.OpenWithSpreadsheetProgram(file)) {
        prompts.ShowMessage(output_texts::InstallSpreadsheet);
        desktop.OpenWithTextEditor(file);
    }
    return true;
}

ScoreOutputResult OutputScores(const ScoreOutputRequest& request, const std::filesystem::path& programFolder,
                               Desktop& desktop, PromptsCore& prompts, const ProgressFn& progress,
                               std::function<std::time_t()> clock)
{
    ScoreOutputResult result;
    std::string problem = CheckScoreOutput(*request.roster, request.choice, request.items);
    if (!problem.empty()) {
        prompts.ShowMessage(problem);
        return result;
    }
    if (desktop.CanOpenSpreadsheets()) {
        const ExamSetup& exam = *request.exam;
        sheet::Application app(desktop, programFolder / files::FromUtf8(output_texts::CsvFolder),
                               gbk::ToUtf8(std::string(exam.examName.View()) + std::string(exam.subjectName.View())),
                               std::move(clock));
        sheet::Workbook& book = app.AddWorkbook();
        WriteScoreSheet(book.ActiveSheet(), request, progress);
        sheet::Application::Shown shown = app.SetVisible();
        if (shown.saved) {
            result.written = true;
            result.file = shown.file;
            if (!shown.opened)
                prompts.ShowMessage("成绩已保存到 " + files::ToUtf8(shown.file) + "，但无法打开它。");
            return result;
        }
        // The workbook could not be written: the CSV is the way out.
    }
    result.csv = true;
    result.file = programFolder / files::FromUtf8(output_texts::CsvFolder) / output_texts::CsvName;
    result.written = WriteScoreCsv(request, programFolder, desktop, prompts, progress);
    return result;
}
