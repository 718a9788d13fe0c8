#include "exam/ExamSetup.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/NumberFormat.h"
#include "recognition/CardTemplate.h"

void ExamSetup::Clear() { std::memset(this, 0, sizeof *this); }

std::string ValidateExamSetup(const ExamSetup& e)
{
    if (!e.cardName.Terminated() || !e.examName.Terminated() || !e.subjectCode.Terminated() ||
        !e.subjectName.Terminated())
        return "考试信息中有没有结束符的文字。";
    if (e.hasSubjectiveScore > 1)
        return "考试信息中的主观分选项无效。";
    if (e.groupCount < 0 || e.groupCount > exam_limits::MaxGroups)
        return "考试信息中的大题数超出范围（0-10）。";
    if (e.ruleCount < 0 || e.ruleCount > exam_limits::MaxRules)
        return "考试信息中的多选题特殊规则数超出范围（0-10）。";
    if (e.questionCount < 0 || e.questionCount > exam_limits::MaxQuestions)
        return "考试信息中的题目数超出范围（0-200）。";
    for (int g = 0; g < e.groupCount; ++g) {
        const QuestionGroup& group = e.groups[g];
        if (group.firstQuestion < 1 || group.lastQuestion < group.firstQuestion ||
            group.lastQuestion > exam_limits::MaxQuestions || (group.kind != 0 && group.kind != 1) ||
            !(group.score >= 0.0f && group.score <= exam_limits::MaxQuestionScore))
            return "考试信息中第" + std::to_string(g + 1) + "大题的设置无效。";
    }
    for (int r = 0; r < e.ruleCount; ++r)
        if (!e.rules[r].questionList.Terminated() || !e.rules[r].partialScore.Terminated())
            return "考试信息中的多选题特殊规则有没有结束符的文字。";
    for (int q = 0; q < exam_limits::MaxQuestions; ++q) {
        const QuestionScore& s = e.questions[q];
        if ((s.kind != 0 && s.kind != 1) || (s.perOption != 0 && s.perOption != 1) ||
            !(s.score >= 0.0f && s.score <= exam_limits::MaxQuestionScore) ||
            !(s.partialScore >= 0.0f && s.partialScore <= exam_limits::MaxQuestionScore))
            return "考试信息中第" + std::to_string(q + 1) + "题的题分设置无效。";
    }
    return {};
}

// --- ShowExamPage ----------------------------------------------------------

ExamPageContent ShowExamPage(const CardTemplate& t, std::string_view cardNameUtf8, const ExamSetup& e)
{
    ExamPageContent page;
    page.cardName = std::string(cardNameUtf8);
    page.examName = e.examName.Utf8();
    int subjects = std::clamp(t.SubjectCount, 0, card_limits::MaxSubjects);
    for (int i = 0; i < subjects; ++i) {
        page.subjectNames.push_back(t.Subjects[i].name.Utf8());
        if (t.Subjects[i].code.View() == e.subjectCode.View())
            page.subjectIndex = i;  // the last one with the code wins
    }
    page.subjectiveEnabled = t.ScoreColumns != 0;
    page.subjectiveIndex = page.subjectiveEnabled ? (e.hasSubjectiveScore == 1 ? 1 : 0) : 0;
    int groups = std::clamp(e.groupCount, 0, exam_limits::MaxGroups);
    for (int g = 0; g < groups; ++g) {
        const QuestionGroup& group = e.groups[g];
        const char* kind = group.kind == 0 ? kSingleChoiceText : group.kind == 1 ? kMultipleChoiceText : "";
        page.scoreRows.push_back({std::to_string(group.firstQuestion), std::to_string(group.lastQuestion),
                                  FormatScore(group.score), kind});
    }
    int rules = std::clamp(e.ruleCount, 0, exam_limits::MaxRules);
    for (int r = 0; r < rules; ++r)
        page.ruleRows.push_back({e.rules[r].questionList.Utf8(), e.rules[r].partialScore.Utf8()});
    return page;
}

// --- number parsing --------------------------------------------------------

// Decimal digits only, at most 9 of them, so the value fits an int32.
static bool ParseCount(std::string_view text, int& value)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return true;
}

// Digits with at most one ".", at least one digit; returns the digits after the point.
static bool ParseDecimal(std::string_view text, float& value, int* decimals = nullptr)
{
    std::size_t dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.size() + fraction.size() == 0 || whole.size() > 9)
        return false;
    for (std::string_view part : {whole, fraction})
        for (char c : part)
            if (c < '0' || c > '9')
                return false;
    auto r = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    if (decimals)
        *decimals = static_cast<int>(fraction.size());
    return true;
}

QuestionList ParseQuestionList(std::string_view text)
{
    QuestionList list;
    auto fail = [&](std::string message) {
        list.ok = false;
        list.numbers.clear();
        list.error = std::move(message);
        return list;
    };
    if (text.empty())
        return list;
    std::size_t total = 0;
    for (;;) {
        std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        std::size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        if (dash == std::string_view::npos) {
            if (!ParseCount(item, first))
                return fail(item.empty() ? "多选题特殊规则设置里题号之间不能有空项。"
                                         : "多选题特殊规则设置里“" + std::string(item) + "”不是题号。");
            last = first;
        } else if (!ParseCount(item.substr(0, dash), first) || !ParseCount(item.substr(dash + 1), last)) {
            return fail("多选题特殊规则设置里“" + std::string(item) + "”不是题号范围，应写成如1-5。");
        }
        if (first == 0 || last == 0)
            return fail("多选题特殊规则设置里题号不能为0。");
        if (last >= first) {
            // Counted before expanding, so "1-999999999" costs nothing.
            total += static_cast<std::size_t>(last - first) + 1;
            if (total > static_cast<std::size_t>(exam_limits::MaxRuleQuestions))
                return fail("多选题特殊规则设置里一项最多只能有100个题号。");
            for (int n = first; n <= last; ++n)
                list.numbers.push_back(n);
        }
        if (comma == std::string_view::npos)
            break;
        text = text.substr(comma + 1);
    }
    return list;
}

bool ParsePartialScore(std::string_view text, float& value, bool& perOption)
{
    perOption = !text.empty() && text.back() == '/';
    if (perOption)
        text.remove_suffix(1);
    return ParseDecimal(text, value);
}

// --- CheckExamPage ---------------------------------------------------------

namespace {

struct Checker {
    ExamPageCheck result;

    ExamPageCheck Fail(std::string message, ExamPageControl focus, int row = 0, int column = 0, bool editor = false)
    {
        result.passed = false;
        result.message = std::move(message);
        result.focus = focus;
        result.row = row;
        result.column = column;
        result.openEditor = editor;
        return result;
    }
};

const std::string& Cell(const std::vector<std::string>& row, std::size_t column)
{
    static const std::string empty;
    return column < row.size() ? row[column] : empty;
}

} // namespace

ExamPageCheck CheckExamPage(const CardTemplate& t, const ExamPageContent& page, ExamSetup& e)
{
    using C = ExamPageControl;
    namespace col = exam_columns;
    Checker c;

    // 1-3: name, subject, subjective option.
    if (page.examName.empty())
        return c.Fail("本次考试名称不能为空。", C::ExamName);
    auto examName = gbk::FromUtf8(page.examName);
    if (!examName)
        return c.Fail("本次考试名称中有无法保存的字符。", C::ExamName);
    if (examName->size() > decltype(e.examName)::Capacity)
        return c.Fail("本次考试名称太长，最多49个字节（24个汉字）。", C::ExamName);
    // Otherwise found only when saving after the marking, with no recovery copy kept meanwhile.
    if (examName->find('/') != std::string::npos)
        return c.Fail(kSlashInFileNameText, C::ExamName);
    // A card whose template could not be read (gone from "模板文件/") has no
    // subjects or questions: asking for a subject would not say what is wrong.
    if (t.QuestionCount <= 0)
        return c.Fail("答题卡“" + page.cardName + "”的模板文件没有读入，请点“重新选择答题卡”另选答题卡。", C::None);
    int subjectCount = std::clamp(t.SubjectCount, 0, card_limits::MaxSubjects);
    if (page.subjectIndex < 0 || page.subjectIndex >= subjectCount)
        return c.Fail("请选择科目。", C::Subject);
    if (t.Subjects[page.subjectIndex].name.View().find('/') != std::string_view::npos)
        return c.Fail(kSlashInFileNameText, C::Subject);
    if (page.subjectiveIndex != 0 && page.subjectiveIndex != 1)
        return c.Fail("请选择主观分选项。", C::SubjectiveOption);
    auto cardName = gbk::FromUtf8(page.cardName);
    if (!cardName || cardName->size() > decltype(e.cardName)::Capacity)
        return c.Fail("答题卡文件名太长或含有无法保存的字符，请重新选择答题卡。", C::None);

    // 4-5: the score table has rows, the first starts above 0.
    const auto& rows = page.scoreRows;
    if (rows.empty()) {
        c.result.appendFirstRow = true;
        return c.Fail("题分设置里至少要设置一项", C::ScoreTable, 1, col::Last, true);
    }
    if (rows.size() > static_cast<std::size_t>(exam_limits::MaxGroups))
        return c.Fail("题分设置里最多只能设置10个大题。", C::ScoreTable, exam_limits::MaxGroups + 1, col::First);
    if (int first = -1; ParseCount(Cell(rows[0], 0), first) && first == 0)
        return c.Fail("起始题号不能为0", C::ScoreTable, 1, col::First, true);

    // 6: every group row.
    int questionLimit = std::min(t.QuestionCount, exam_limits::MaxQuestions);
    QuestionGroup groups[exam_limits::MaxGroups] = {};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        int row = static_cast<int>(r) + 1;
        for (int k = 0; k < 4; ++k)
            if (Cell(rows[r], k).empty())
                return c.Fail("不能有空项。", C::ScoreTable, row, k + 1, k + 1 != col::Kind);
        QuestionGroup& g = groups[r];
        if (!ParseCount(Cell(rows[r], 0), g.firstQuestion))
            return c.Fail("起始题号只能填写数字。", C::ScoreTable, row, col::First, true);
        if (!ParseCount(Cell(rows[r], 1), g.lastQuestion))
            return c.Fail("终止题号只能填写数字。", C::ScoreTable, row, col::Last, true);
        int decimals = 0;
        if (!ParseDecimal(Cell(rows[r], 2), g.score, &decimals))
            return c.Fail("分数只能填写数字，如1或1.5。", C::ScoreTable, row, col::Score, true);
        if (Cell(rows[r], 3) == kSingleChoiceText)
            g.kind = 0;
        else if (Cell(rows[r], 3) == kMultipleChoiceText)
            g.kind = 1;
        else
            return c.Fail("单选或多选只能选择“单选题”或“多选题”。", C::ScoreTable, row, col::Kind);

        if (g.lastQuestion < g.firstQuestion)
            return c.Fail("题分设置里起始题号不能大于终止题号。", C::ScoreTable, row, col::First);
        if (g.lastQuestion > t.QuestionCount)
            return c.Fail("终止题号不能大于总题目数。", C::ScoreTable, row, col::Last);
        if (g.lastQuestion > questionLimit)
            return c.Fail("终止题号不能大于200。", C::ScoreTable, row, col::Last);
        if (r > 0) {
            int p = groups[r - 1].lastQuestion;
            if (p >= g.firstQuestion)
                return c.Fail("题分设置中，大题之间题号不能交叉重复设置！", C::ScoreTable, row, col::First);
            if (p + 1 < g.firstQuestion)
                return c.Fail("题分设置中，大题之间题号不连续！中间没有用到的题号也要添加一个大题,并将分值设置为零",
                              C::ScoreTable, row, col::First);
        }
        if (g.score > exam_limits::MaxQuestionScore)
            return c.Fail("每小题分数不能超过10分", C::ScoreTable, row, col::Score);
        if (decimals > 1)
            return c.Fail("分数：小数位数为1位", C::ScoreTable, row, col::Score, true);
    }

    // 7: rule rows, empty cells first, then what each text says.
    const auto& ruleRows = page.ruleRows;
    if (ruleRows.size() > static_cast<std::size_t>(exam_limits::MaxRules))
        return c.Fail("多选题特殊规则设置里最多只能设置10项。", C::RuleTable, exam_limits::MaxRules + 1,
                      col::Questions);
    for (std::size_t r = 0; r < ruleRows.size(); ++r)
        for (int k = 0; k < 2; ++k)
            if (Cell(ruleRows[r], k).empty())
                return c.Fail("多选题特殊规则设置里不能为空。", C::RuleTable, static_cast<int>(r) + 1, k + 1, true);
    struct ParsedRule {
        std::string questionText;
        std::string partialText;
        std::vector<int> numbers;
        float partialScore = 0;
        bool perOption = false;
    };
    std::vector<ParsedRule> parsed(ruleRows.size());
    for (std::size_t r = 0; r < ruleRows.size(); ++r) {
        int row = static_cast<int>(r) + 1;
        ParsedRule& rule = parsed[r];
        auto questions = gbk::FromUtf8(Cell(ruleRows[r], 0));
        if (!questions || questions->size() > decltype(PartialCreditRule::questionList)::Capacity)
            return c.Fail("多选题特殊规则设置里题号太长，最多99个字符。", C::RuleTable, row, col::Questions, true);
        // Read from the cell's own text, so that an item quoted in a message
        // is UTF-8 like the message (the stored GBK bytes of "一" showed as
        // garbage); a valid list is digits, "-" and "," in either encoding.
        QuestionList list = ParseQuestionList(Cell(ruleRows[r], 0));
        if (!list.ok)
            return c.Fail(list.error, C::RuleTable, row, col::Questions, true);
        auto partial = gbk::FromUtf8(Cell(ruleRows[r], 1));
        if (!partial || partial->size() > decltype(PartialCreditRule::partialScore)::Capacity)
            return c.Fail("多选题特殊规则设置里少选分太长，最多4个字符。", C::RuleTable, row, col::Partial, true);
        if (!ParsePartialScore(*partial, rule.partialScore, rule.perOption))
            return c.Fail("多选题特殊规则设置里少选分只能是数字，或数字后加“/”（如0.5/）。", C::RuleTable, row,
                          col::Partial, true);
        rule.questionText = std::move(*questions);
        rule.partialText = std::move(*partial);
        rule.numbers = std::move(list.numbers);
    }

    // 8-10 on a copy, so that a failing rule leaves the record untouched.
    ExamSetup next;
    next.Clear();
    (void)next.cardName.Set(*cardName);
    (void)next.examName.Set(*examName);
    next.subjectCode.SetTruncated(t.Subjects[page.subjectIndex].code.View());
    next.subjectName.SetTruncated(t.Subjects[page.subjectIndex].name.View());
    // A card without a subjective-score area has nothing to read there.
    next.hasSubjectiveScore = page.subjectiveIndex == 1 && t.ScoreColumns != 0 ? 1 : 0;
    for (std::size_t r = 0; r < rows.size(); ++r)
        next.groups[next.groupCount++] = groups[r];
    for (const ParsedRule& rule : parsed) {
        PartialCreditRule& stored = next.rules[next.ruleCount++];
        (void)stored.questionList.Set(rule.questionText);
        (void)stored.partialScore.Set(rule.partialText);
    }

    // Questions before the first group carry no points; counting up to the
    // last group's end keeps every grouped question inside the scored range
    // even when the first group does not start at 1.
    for (int g = 0; g < next.groupCount; ++g) {
        const QuestionGroup& group = next.groups[g];
        for (int n = group.firstQuestion; n <= group.lastQuestion; ++n) {
            next.questions[n - 1].score = group.score;
            next.questions[n - 1].kind = group.kind;
        }
        next.questionCount = group.lastQuestion;
    }

    for (std::size_t r = 0; r < parsed.size(); ++r) {
        int row = static_cast<int>(r) + 1;
        const ParsedRule& rule = parsed[r];
        for (int q : rule.numbers) {
            if (q > next.questionCount)
                return c.Fail("多选题特殊规则设置里有题号超出总题数！", C::RuleTable, row, col::Questions);
            QuestionScore& s = next.questions[q - 1];
            if (s.kind == 0)
                return c.Fail("多选题特殊规则设置里不能填入单选题题号。", C::RuleTable, row, col::Questions);
            // A later rule naming the same question replaces both values.
            s.perOption = rule.perOption ? 1 : 0;
            s.partialScore = rule.partialScore;
            if (s.partialScore >= s.score)
                return c.Fail("多选题特殊规则设置里少选分不能大于等于该题题分，请检查！", C::RuleTable, row,
                              col::Partial);
        }
    }

    e = next;
    c.result.passed = true;
    c.result.focus = C::None;
    return c.result;
}
