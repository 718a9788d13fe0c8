#include "recognition/CardTemplate.h"

#include <cmath>
#include <cstring>

#include "platform/Files.h"
#include "recognition/CardLayout.h"

void CardTemplate::Clear() { std::memset(this, 0, sizeof *this); }

static bool Finite(float v) { return std::isfinite(v); }

// Every cell the reader samples lies on the printed card. The card's own size
// is not in the record, so the bound is generous: one line length and line
// distance beyond the lines in every direction. A column at 1e30 or a row at
// -1e9 is a broken record that would read blanks for ever.
static bool CellsOnCard(const CardTemplate& t)
{
    const float span = t.LineLength + t.LineDistance;
    auto onCard = [&](float col, float row) {
        const float x = t.OriginOffset + col * t.CellWidth;  // right of the left line end
        const float y = row * t.CellHeight;                  // above the top line
        return x > -span && x < t.LineLength + span && y > -(t.LineDistance + span) && y < span;
    };
    auto gridOnCard = [&](float col, float row, int columns, int rows) {
        return columns <= 0 || (onCard(col, row) && onCard(col + static_cast<float>(columns), row - static_cast<float>(rows)));
    };
    if (!onCard(t.AbACol, t.AbARow) || !onCard(t.AbBCol, t.AbBRow) || !onCard(t.UprightCol, 0) ||
        !gridOnCard(t.AdmCol, t.AdmRow, t.AdmColumns, 10) ||
        !gridOnCard(t.SubjCol, t.SubjRow, t.SubjColumns, t.SubjRows) ||
        !gridOnCard(t.ScoreCol, t.ScoreRow, t.ScoreColumns, 10))
        return false;
    for (int ab = 0; ab < 2; ++ab) {
        if ((ab == 0 && t.AbMode == 2) || (ab == 1 && t.AbMode == 1))
            continue;  // that layout is never read
        for (int q = 0; q < t.QuestionCount; ++q) {
            const QuestionLayout l = LayoutQuestion(t, ab, q);
            if (!l.placed || (l.orientation != 0 && l.orientation != 1))
                continue;
            const CellPos last = OptionCell(l, q % 5, l.options - 1);
            if (!onCard(l.first.col, l.first.row) || !onCard(last.col, last.row))
                return false;
        }
    }
    return true;
}

std::string ValidateCardTemplate(const CardTemplate& t)
{
    using namespace card_limits;
    const float floats[] = {t.LineLength, t.LineDistance, t.CellWidth, t.CellHeight, t.OriginOffset,
                            t.AbACol, t.AbARow, t.AbBCol, t.AbBRow, t.AdmCol, t.AdmRow, t.SubjCol,
                            t.SubjRow, t.ScoreCol, t.ScoreRow, t.UprightCol, t.AnswerRow,
                            t.BlockColPitch, t.BlockRowPitch};
    for (float f : floats)
        if (!Finite(f))
            return "模板文件中有无效的数值。";
    if (!(t.LineLength > 0) || !(t.LineDistance > 0))
        return "模板文件中定位线的长度或间距无效。";
    if (!(t.CellWidth > 0) || !(t.CellHeight > 0))
        return "模板文件中填涂格的大小无效。";
    if (t.AbMode < 0 || t.AbMode > 2)
        return "模板文件中AB卷方式无效。";
    if (t.AdmColumns < 0 || t.AdmColumns > MaxAdmColumns)
        return "模板文件中准考证号的列数超出范围（0-20）。";
    if (t.SubjColumns < 0 || t.SubjColumns > MaxSubjColumns || t.SubjRows < 0 || t.SubjRows > MaxSubjRows)
        return "模板文件中科目区的行列数超出范围。";
    if (t.SubjectCount < 0 || t.SubjectCount > MaxSubjects)
        return "模板文件中科目数超出范围（0-20）。";
    for (int i = 0; i < t.SubjectCount; ++i)
        if (!t.Subjects[i].code.Terminated() || !t.Subjects[i].name.Terminated())
            return "模板文件中的科目名称没有结束符。";
    if (t.ScoreColumns < 0 || t.ScoreColumns > MaxScoreColumns)
        return "模板文件中主观题分的列数超出范围（0-5）。";
    if (t.QuestionCount < 0 || t.QuestionCount > MaxQuestions)
        return "模板文件中的题数超出范围（0-200）。";
    if (t.QuestionCount > 0 && (t.DefaultOptions < 1 || t.DefaultOptions > MaxOptions))
        return "模板文件中每题的选项数超出范围（1-10）。";
    if (t.DefaultOrientation < 0 || t.DefaultOrientation > 1)
        return "模板文件中选项方向无效。";
    // 200 questions make 40 blocks; nothing in a block layout needs more.
    constexpr int kMaxBlocks = MaxQuestions / 5;
    auto outside = [](int v) { return v < 0 || v > kMaxBlocks; };
    if (outside(t.Sec1Columns) || outside(t.Sec1Rows) || outside(t.Sec2Columns) || outside(t.BExtraRows) ||
        outside(t.Sec1FirstCol) || outside(t.Sec2FirstCol))
        return "模板文件中答题区的布局数值无效。";
    if (t.QuestionCount > t.Sec1Columns * t.Sec1Rows * 5 && t.Sec2Columns == 0)
        return "模板文件中答题区放不下全部题目。";
    if (t.OverrideCount < 0 || t.OverrideCount > MaxOverrides)
        return "模板文件中特殊题块数超出范围（0-10）。";
    for (int i = 0; i < t.OverrideCount; ++i) {
        const BlockOverride& o = t.BlockOverrides[i];
        if (o.blockIndex < 0 || o.options < 1 || o.options > MaxOptions || !Finite(o.column) || !Finite(o.row))
            return "模板文件中的特殊题块设置无效。";
    }
    if (!CellsOnCard(t))
        return "模板文件中有填涂格远在答题卡之外。";
    return {};
}

bool LoadCardTemplateFile(const std::filesystem::path& path, CardTemplate& t, std::string& message)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        message = "未发现模板文件：" + files::ToUtf8(path.filename());
        return false;
    }
    // The file is there: say it cannot be read rather than that it is missing.
    std::string why;
    auto bytes = files::ReadHead(path, sizeof(CardTemplate), &why);
    if (!bytes) {
        message = "模板文件不能读取：" + files::ToUtf8(path.filename()) + "（" + why + "）";
        return false;
    }
    if (bytes->size() < sizeof(CardTemplate)) {
        message = "模板文件已损坏（文件太短）：" + files::ToUtf8(path.filename());
        return false;
    }
    CardTemplate loaded;
    std::memcpy(&loaded, bytes->data(), sizeof loaded);
    if (std::string why = ValidateCardTemplate(loaded); !why.empty()) {
        message = why + "（" + files::ToUtf8(path.filename()) + "）";
        return false;
    }
    t = loaded;
    return true;
}

bool LoadCardTemplate(const std::filesystem::path& programFolder, const std::string& nameUtf8, CardTemplate& t,
                      std::string& message)
{
    bool ok = LoadCardTemplateFile(programFolder / files::FromUtf8("模板文件") / files::FromUtf8(nameUtf8), t, message);
    if (!ok && message.rfind("未发现模板文件：", 0) == 0)
        message = "未发现模板文件：" + nameUtf8;
    return ok;
}
