#pragma once
// A known marking session for the output and statistics tests, and helpers
// that read a written .xlsx back through `unzip`.

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "marking/Scoring.h"
#include "marking/SessionState.h"
#include "platform/Files.h"
#include "platform/Gbk.h"
#include "results/Desktop.h"

namespace results_test {

// A small generator whose sequence is the same on every standard library.
struct Lcg {
    uint64_t state;
    explicit Lcg(uint64_t seed) : state(seed) {}
    uint32_t Next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

// Grades 高一 (10001) and 高二 (10002), classes of two digits. Grade 高一 has
// classes 01, 02 and 03 with `perClass` students each; 高二 has class 01 with
// 5 students. Admission numbers are 9 digits with leading zeros.
// Questions: 1-10 single choice (2 points), 11-20 multiple choice (3 points,
// 1 point for too few options), 21-25 a group of score 0. Subjective scores
// on. Every sixth student of 高一 is absent; student 1 and 2 of class 02 hand
// in the same card (equal totals).
struct KnownSession {
    std::unique_ptr<MarkingSessionState> state;
    std::vector<int> absentStudents;  // roster indices
};

inline std::string Utf8Gbk(const char* utf8) { return *gbk::FromUtf8(utf8); }

inline void AddStudent(StudentRoster& r, const std::string& number, const std::string& nameUtf8, const char* grade,
                       const char* cls)
{
    StudentEntry s{};
    (void)s.admissionNumber.Set(number);
    (void)s.name.SetUtf8(nameUtf8);
    (void)s.gradeCode.Set(grade);
    (void)s.classCode.Set(cls);
    (void)r.AppendStudent(s);
}

inline void SetExam(ExamSetup& e)
{
    e.Clear();
    (void)e.examName.SetUtf8("期中考试");
    (void)e.subjectName.SetUtf8("数学");
    (void)e.subjectCode.Set("02");
    e.hasSubjectiveScore = 1;
    e.groupCount = 3;
    e.groups[0] = {1, 10, 2.0f, 0};
    e.groups[1] = {11, 20, 3.0f, 1};
    e.groups[2] = {21, 25, 0.0f, 0};
    e.questionCount = 25;
    for (int q = 0; q < 25; ++q) {
        const QuestionGroup& g = e.groups[q < 10 ? 0 : q < 20 ? 1 : 2];
        e.questions[q] = {g.score, g.kind, g.kind == 1 ? 1.0f : 0.0f, 0};
    }
}

inline const char* KeyOf(int q)
{
    static const char* single[] = {"A", "B", "C", "D"};
    static const char* multi[] = {"AC", "BD", "ABC", "CD"};
    return q < 10 || q >= 20 ? single[q % 4] : multi[q % 4];
}

inline KnownSession MakeKnownSession(int perClass = 15)
{
    KnownSession k;
    k.state = NewMarkingSessionState();
    StudentRoster& r = k.state->roster;
    r.Reset();
    r.gradeEnabled = 1;
    r.classEnabled = 1;
    r.gradeCount = 2;
    (void)r.grades[0].name.SetUtf8("高一");
    (void)r.grades[0].code.Set("10001");
    (void)r.grades[1].name.SetUtf8("高二");
    (void)r.grades[1].code.Set("10002");
    const char* classes[] = {"01", "02", "03"};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < perClass; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%09d", (c + 1) * 1000 + i + 1);
            AddStudent(r, number, "学生" + std::to_string(c + 1) + "-" + std::to_string(i + 1), "10001", classes[c]);
        }
    for (int i = 0; i < 5; ++i)
        AddStudent(r, "2000000" + std::to_string(10 + i), "高二学生" + std::to_string(i + 1), "10002", "01");

    SetExam(k.state->exam);
    MarkingSession& s = k.state->session;
    s.ClearSession();
    MarkingRecord standard{};
    (void)standard.admissionNumber.Set("         ");
    for (int q = 0; q < 25; ++q)
        (void)standard.questionResults[q].answer.Set(KeyOf(q));
    (void)s.AppendRecord(standard);

    Lcg rng(20261207);
    static const char* choices[] = {"A", "B", "C", "D", "", "AC", "BD", "ABC", "CD", "A", "C", "ABCD"};
    std::vector<MarkingRecord> records;
    for (int i = 0; i < r.studentCount; ++i) {
        const StudentEntry& st = r.students[i];
        if (i < 3 * perClass && i % 6 == 5) {
            k.absentStudents.push_back(i);
            continue;
        }
        MarkingRecord rec{};
        rec.readCount = 1;
        (void)rec.admissionNumber.Set(st.admissionNumber.View());
        (void)rec.studentName.Set(st.name.View());
        (void)rec.gradeCode.Set(st.gradeCode.View());
        (void)rec.classCode.Set(st.classCode.View());
        for (int q = 0; q < 25; ++q) {
            // Mostly right, so that the scores spread over the whole range.
            const char* a = rng.Below(3) == 0 ? choices[rng.Below(12)] : KeyOf(q);
            (void)rec.questionResults[q].answer.Set(a);
        }
        rec.subjectiveScore = static_cast<float>(rng.Below(101)) / 2.0f;  // 0 .. 50 in halves
        ScoreRecord(k.state->exam, standard, rec);
        records.push_back(rec);
    }
    // Two students of class 02 hand in the same card.
    {
        auto find = [&](int student) -> MarkingRecord* {
            for (auto& rec : records)
                if (rec.admissionNumber.View() == r.students[student].admissionNumber.View())
                    return &rec;
            return nullptr;
        };
        MarkingRecord* a = find(perClass + 0);
        MarkingRecord* b = find(perClass + 1);
        if (a && b) {
            MarkingRecord copy = *a;
            copy.admissionNumber = b->admissionNumber;
            copy.studentName = b->studentName;
            *b = copy;
        }
    }
    // Stored in another order than the roster's: odd positions first.
    for (std::size_t start : {1u, 0u})
        for (std::size_t i = start; i < records.size(); i += 2)
            (void)s.AppendRecord(records[i]);
    return k;
}

// The desktop as a test wants it: what it can open, and what was opened.
class FakeDesktop : public Desktop {
public:
    bool canOpen = false;
    bool spreadsheetOpens = false;
    std::vector<std::string> opened;  // "sheet:" or "editor:" + file name
    bool CanOpenSpreadsheets() override { return canOpen; }
    bool OpenWithSpreadsheetProgram(const std::filesystem::path& f) override
    {
        opened.push_back("sheet:" + files::ToUtf8(f.filename()));
        return spreadsheetOpens;
    }
    bool OpenWithTextEditor(const std::filesystem::path& f) override
    {
        opened.push_back("editor:" + files::ToUtf8(f.filename()));
        return true;
    }
};

// --- reading an .xlsx back ------------------------------------------------

inline std::string Run(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    pclose(pipe);
    return out;
}

inline std::string Unzip(const std::filesystem::path& xlsx, const std::string& member)
{
    return Run("unzip -p '" + files::ToUtf8(xlsx) + "' '" + member + "' 2>/dev/null");
}

inline std::string UnzipList(const std::filesystem::path& xlsx)
{
    return Run("unzip -l '" + files::ToUtf8(xlsx) + "' 2>/dev/null");
}

// The texts of xl/sharedStrings.xml in order (plain <t> texts; XML entities kept).
inline std::vector<std::string> SharedStrings(const std::string& xml)
{
    std::vector<std::string> strings;
    std::size_t at = 0;
    while ((at = xml.find("<si>", at)) != std::string::npos) {
        std::size_t t = xml.find("<t", at);
        std::size_t open = xml.find('>', t) + 1;
        std::size_t close = xml.find("</t>", open);
        strings.push_back(xml.substr(open, close - open));
        at = close;
    }
    return strings;
}

// One cell of a sheet: its style index and its value (a shared string's
// text, or the <v> text of a number); `found` false when the sheet has no
// such cell.
struct XmlCell {
    bool found = false;
    int style = 0;
    bool text = false;
    std::string value;
};

inline XmlCell CellOf(const std::string& sheetXml, const std::vector<std::string>& strings, const std::string& ref)
{
    XmlCell c;
    std::size_t at = sheetXml.find("<c r=\"" + ref + "\"");
    if (at == std::string::npos)
        return c;
    c.found = true;
    std::size_t end = sheetXml.find('>', at);
    std::string head = sheetXml.substr(at, end - at);
    if (std::size_t s = head.find(" s=\""); s != std::string::npos)
        c.style = std::stoi(head.substr(s + 4));
    c.text = head.find(" t=\"s\"") != std::string::npos;
    if (head.back() == '/')
        return c;
    std::size_t v = sheetXml.find("<v>", end);
    std::size_t cellEnd = sheetXml.find("</c>", end);
    if (v != std::string::npos && v < cellEnd) {
        std::string raw = sheetXml.substr(v + 3, sheetXml.find("</v>", v) - v - 3);
        c.value = c.text ? strings.at(static_cast<std::size_t>(std::stoi(raw))) : raw;
    }
    return c;
}

// The <xf> entries of cellXfs in xl/styles.xml, in order.
inline std::vector<std::string> CellXfs(const std::string& stylesXml)
{
    std::vector<std::string> xfs;
    std::size_t begin = stylesXml.find("<cellXfs");
    std::size_t end = stylesXml.find("</cellXfs>");
    std::size_t at = begin;
    while ((at = stylesXml.find("<xf ", at)) != std::string::npos && at < end) {
        std::size_t close = stylesXml.find("<xf ", at + 1);
        if (close == std::string::npos || close > end)
            close = end;
        xfs.push_back(stylesXml.substr(at, close - at));
        at = close;
    }
    return xfs;
}

// The <font> entries of xl/styles.xml, in order.
inline std::vector<std::string> Fonts(const std::string& stylesXml)
{
    std::vector<std::string> fonts;
    std::size_t at = stylesXml.find("<fonts");
    std::size_t end = stylesXml.find("</fonts>");
    while ((at = stylesXml.find("<font>", at)) != std::string::npos && at < end) {
        std::size_t close = stylesXml.find("</font>", at);
        fonts.push_back(stylesXml.substr(at, close - at));
        at = close;
    }
    return fonts;
}

inline int Attribute(const std::string& element, const std::string& name)
{
    std::size_t at = element.find(" " + name + "=\"");
    return at == std::string::npos ? -1 : std::stoi(element.substr(at + name.size() + 3));
}

} // namespace results_test
