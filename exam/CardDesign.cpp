#include "exam/CardDesign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/Gbk.h"
#include "recognition/CardLayout.h"

namespace {

// The camera envelope, in units of one cell row (a template's LineDistance /
// CellHeight is what recognition measures the distance by). Recognition
// accepts a row between 230/34 and 300/34 pixels tall. At the near limit
// (8.8 px) a line of 47.5 rows is 419 px, inside the central 480 px with
// room for the card lying a little off centre; at the far limit (6.8 px) a
// line of 30 rows is 203 px, well over the 170 px the line search needs.
// Between the lines at most 30.5 rows: with the 13 rows the corner checks
// want around them that is 384 px of the 480 at the near limit, and the
// two lines of a card tilted 7 degrees towards the camera still differ by
// less than the 20 px a line pair may.
constexpr double kMaxLineRows = 47.5;
constexpr double kMinLineRows = 30;
constexpr double kMaxDistanceRows = 30.5;
// The header is read 1.5 to 11.5 rows beyond the top line, placed by
// extending what the two lines show: lines closer than the smallest shipped
// card's 20.5 rows put it off by enough to leave digits unclear (a card of
// 8.5 rows: 3 % of frames refused on the synthetic camera; 20.5 rows: none).
constexpr double kMinDistanceRows = 20.5;

// Cells of the shipped cards; smaller cards scale every distance down.
constexpr double kCellWidth = 5;
constexpr double kCellHeight = 4;
constexpr double kCellScales[] = {1.0, 0.9, 0.8};

// What the printed page needs around the card: 8 mm at the sides (printers
// leave about 5 mm unprinted, and the cut line is 2 mm out), and below the
// card the size note.
constexpr double kPageSideMargin = 8;
constexpr double kPageHeightExtra = 26;

// Rows of the header: grids' top row above the top line, AB cells.
constexpr float kHeaderRow = 11.5f;
constexpr float kAbBRow = 9.5f;
constexpr float kAnswerRow = -1.5f;

struct Spacing {
    double numberColumns;  // question numbers left of an across block
    double gapRows;        // free rows between block rows
    double bottomRows;     // below the lowest block
};
constexpr Spacing kNormal{2.0, 1.0, 2.0};
constexpr Spacing kCompact{1.5, 0.5, 1.5};

struct BlockKind {
    int options = 0;
    bool down = false;
};

std::vector<BlockKind> BlockKinds(const CardDesign& d)
{
    std::vector<BlockKind> kinds(static_cast<std::size_t>(d.questions / 5), BlockKind{d.options, false});
    for (const CardBlockException& e : d.exceptions) {
        if (e.block < 1 || e.block > static_cast<int>(kinds.size()))
            continue;
        BlockKind& k = kinds[static_cast<std::size_t>(e.block - 1)];
        if (e.options > 0)
            k.options = e.options;
        k.down = k.down || e.down;
    }
    return kinds;
}

bool IsException(const CardDesign& d, const BlockKind& k) { return k.down || k.options != d.options; }

int DigitsOnly(const std::string& s)
{
    if (s.empty())
        return -1;
    for (char c : s)
        if (c < '0' || c > '9')
            return -1;
    return static_cast<int>(s.size());
}

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> out;
    std::string item;
    auto flush = [&] {
        item = Trim(item);
        if (!item.empty())
            out.push_back(item);
        item.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        // The Chinese comma "，" (EF BC 8C) separates as well as ",".
        if (text[i] == ',') {
            flush();
        } else if (text.compare(i, 3, "\xEF\xBC\x8C") == 0) {
            flush();
            i += 2;
        } else {
            item += text[i];
        }
    }
    flush();
    return out;
}

bool ParseInt(const std::string& s, int& v)
{
    if (DigitsOnly(s) < 0 || s.size() > 4)
        return false;
    v = std::stoi(s);
    return true;
}

} // namespace

PaperSizeMm PaperSize(CardPaper paper, bool landscape)
{
    PaperSizeMm s;
    switch (paper) {
    case CardPaper::A4: s = {210, 297}; break;
    case CardPaper::A5: s = {148, 210}; break;
    case CardPaper::B5: s = {176, 250}; break;
    }
    if (landscape)
        std::swap(s.width, s.height);
    return s;
}

std::string PaperText(CardPaper paper, bool landscape)
{
    const char* name = paper == CardPaper::A4 ? "A4" : paper == CardPaper::A5 ? "A5" : "B5";
    return std::string(name) + (landscape ? "纸（横放）" : "纸（竖放）");
}

std::string CardFileName(const CardDesign& d)
{
    return (d.colour == CardPrintColour::Black ? "DY" : "JD") + d.name + ".dat";
}

std::vector<CardSubject> DefaultSubjects(int digits)
{
    static const char* const names[] = {"语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"};
    std::vector<CardSubject> out;
    for (int i = 0; i < 9; ++i) {
        std::string code = std::to_string(i + 1);
        if (digits == 2)
            code = "0" + code;
        out.push_back({code, names[i]});
    }
    return out;
}

static std::string NameProblem(const std::string& name)
{
    using namespace card_design;
    if (Trim(name).empty())
        return "请填写答题卡名称。";
    if (name != Trim(name))
        return "答题卡名称的前后不能有空格。";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f || std::strchr("/\\:*?\"<>|", c))
            return "答题卡名称中不能有 / \\ : * ? \" < > | 这些符号。";
    if (name[0] == '.')
        return "答题卡名称不能以“.”开头。";
    auto gbk = gbk::FromUtf8(name);
    if (!gbk)
        return "答题卡名称中有不能保存的字符，请只用常用汉字、字母和数字。";
    if (gbk->size() > static_cast<std::size_t>(MaxNameBytes))
        return "答题卡名称太长，最多20个汉字或40个字母。";
    return {};
}

std::string CheckCardDesign(const CardDesign& d)
{
    using namespace card_design;
    if (std::string why = NameProblem(d.name); !why.empty())
        return why;
    if (d.questions < MinQuestions || d.questions > MaxQuestions || d.questions % 5 != 0)
        return "题数必须是5到200之间5的倍数（每5题一组）。";
    if (d.options < MinOptions || d.options > MaxOptions)
        return "每题的选项数必须在2到10之间。";
    if (d.admissionDigits < MinAdmissionDigits || d.admissionDigits > MaxAdmissionDigits)
        return "准考证号的位数必须在2到20之间。";
    if (d.subjectDigits < 0 || d.subjectDigits > MaxSubjectDigits)
        return "科目代码的位数必须是0、1或2。";
    if (d.scoreDigits < 0 || d.scoreDigits > MaxScoreDigits)
        return "主观题分的位数必须在0到3之间（0表示没有主观题分）。";
    if (d.abMode < 0 || d.abMode > 2)
        return "AB卷方式无效。";
    if (d.colour == CardPrintColour::Red && d.abMode == 2)
        return "红色机读卡是A卷，不能设为“总是B卷”；B卷请用绿色。";
    if (d.colour == CardPrintColour::Green && d.abMode == 1)
        return "绿色机读卡是B卷，不能设为“总是A卷”；A卷请用红色。";
    const int blocks = d.questions / 5;
    for (const CardBlockException& e : d.exceptions) {
        if (e.block < 1 || e.block > blocks)
            return "特殊题组" + std::to_string(e.block) + "不存在：" + std::to_string(d.questions) + "题共有" +
                   std::to_string(blocks) + "组（第1组是1-5题）。";
        if (e.options != 0 && (e.options < MinOptions || e.options > MaxOptions))
            return "第" + std::to_string(e.block) + "组的选项数必须在2到10之间。";
    }
    int special = 0;
    for (const BlockKind& k : BlockKinds(d))
        special += IsException(d, k) ? 1 : 0;
    if (special > MaxExceptions)
        return "特殊题组最多10组（选项数不同或竖排的组）。";
    if (special > 0 && d.abMode == 0)
        return "AB卷自动识别时两种卷的题组位置不同，不能设特殊题组；请选“总是A卷”或“总是B卷”。";
    if (d.subjectDigits == 0 && !d.subjects.empty())
        return "没有科目代码格时不能列出科目。";
    if (d.subjects.size() > static_cast<std::size_t>(card_limits::MaxSubjects))
        return "科目最多20个。";
    for (std::size_t i = 0; i < d.subjects.size(); ++i) {
        const CardSubject& s = d.subjects[i];
        if (DigitsOnly(s.code) != d.subjectDigits)
            return "科目代码“" + s.code + "”必须是" + std::to_string(d.subjectDigits) + "位数字。";
        auto gbk = gbk::FromUtf8(s.name);
        if (s.name.empty() || !gbk || gbk->size() > 9)
            return "科目名称“" + s.name + "”无效：最多4个汉字。";
        for (std::size_t j = 0; j < i; ++j)
            if (d.subjects[j].code == s.code)
                return "科目代码“" + s.code + "”重复了。";
    }
    return {};
}

namespace {

struct HeaderColumns {
    float subjCol = 0;
    float scoreCol = 0;
    float abCol = 0;
    double end = 0;  // right edge of the header, cells from the origin
};

HeaderColumns LayOutHeader(const CardDesign& d)
{
    HeaderColumns h;
    double x = d.admissionDigits;
    if (d.subjectDigits > 0) {
        h.subjCol = static_cast<float>(x + 1.5);
        x = h.subjCol + d.subjectDigits;
    }
    if (d.scoreDigits > 0) {
        h.scoreCol = static_cast<float>(x + 1.5);
        x = h.scoreCol + d.scoreDigits;
    }
    if (d.abMode == 0) {
        // Three cells of room for the "A卷"/"B卷" labels left of the cells.
        h.abCol = static_cast<float>(x + 3);
        x = h.abCol + 1;
    }
    h.end = x;
    return h;
}

struct Shape {
    int columns = 0;  // block slots across
    int rows = 0;     // block slots down
};

// Slot grids that hold `blocks` blocks, each once: for every number of
// block rows, the fewest columns.
std::vector<Shape> Shapes(int blocks)
{
    std::vector<Shape> out;
    for (int c = 1; c <= blocks; ++c) {
        const int r = (blocks + c - 1) / c;
        const int tight = (blocks + r - 1) / r;
        if (std::none_of(out.begin(), out.end(), [&](const Shape& s) { return s.columns == tight && s.rows == r; }))
            out.push_back({tight, r});
    }
    return out;
}

struct Attempt {
    bool inEnvelope = false;
    bool headerTooWide = false;
    double comfort = 0;  // 1: at the edge of the camera envelope
    CardTemplate t{};
};

// The template for one slot grid, spacing and cell scale; whether the camera
// reads it. Sizes are in cells until the end.
Attempt Build(const CardDesign& d, const std::vector<BlockKind>& kinds, Shape shape, const Spacing& sp, double f)
{
    Attempt a;
    int maxAcross = 0, maxDown = 0;
    for (const BlockKind& k : kinds) {
        int& most = k.down ? maxDown : maxAcross;
        most = std::max(most, k.options);
    }
    const bool anyDown = maxDown > 0;
    const double numW = sp.numberColumns;
    // A slot: numbers, options, one free column; a block running down needs
    // five columns with half a cell either side.
    double W = numW + maxAcross + 1;
    if (anyDown)
        W = std::max(W, 6.0);
    // Rows: five questions and a gap; a block running down has its numbers
    // above, its options, and one free row for recognition's reference frame.
    const double H = std::max(5 + sp.gapRows, anyDown ? maxDown + 2.0 : 0.0);
    const double lastH = std::max(5.0, anyDown ? maxDown + 2.0 : 0.0);
    const double distanceRows =
        std::max(-kAnswerRow + (shape.rows - 1) * H + lastH + sp.bottomRows, kMinDistanceRows);

    const HeaderColumns header = LayOutHeader(d);
    const double leftEnd = -numW - 0.5;
    double rightContent = (shape.columns - 1) * W + std::max(maxAcross > 0 ? maxAcross + 1.0 : 0.0,
                                                             anyDown ? 5.5 - numW : 0.0);
    double rightEnd = std::max(rightContent, header.end) + 0.5;
    const double cellsPerRow = kCellHeight / kCellWidth;  // a cell's width in row heights is 1 / this
    rightEnd = std::max(rightEnd, leftEnd + kMinLineRows * cellsPerRow);
    const double lineCells = rightEnd - leftEnd;
    const double lineRows = lineCells / cellsPerRow;
    a.headerTooWide = (header.end + 0.5 - leftEnd) / cellsPerRow > kMaxLineRows;
    a.inEnvelope = lineRows <= kMaxLineRows + 1e-9 && distanceRows <= kMaxDistanceRows + 1e-9;
    a.comfort = std::max(lineRows / kMaxLineRows, (distanceRows + 13) / (kMaxDistanceRows + 13));

    CardTemplate& t = a.t;
    t.Clear();
    const double cw = kCellWidth * f, ch = kCellHeight * f;
    t.CellWidth = static_cast<float>(cw);
    t.CellHeight = static_cast<float>(ch);
    t.LineLength = static_cast<float>(lineCells * cw);
    t.LineDistance = static_cast<float>(distanceRows * ch);
    t.OriginOffset = static_cast<float>(-leftEnd * cw);
    t.AbMode = d.abMode;
    if (d.abMode == 0) {
        t.AbACol = header.abCol;
        t.AbARow = kHeaderRow;
        t.AbBCol = header.abCol;
        t.AbBRow = kAbBRow;
    }
    t.AdmCol = 0;
    t.AdmRow = kHeaderRow;
    t.AdmColumns = d.admissionDigits;
    if (d.subjectDigits > 0) {
        t.SubjCol = header.subjCol;
        t.SubjRow = kHeaderRow;
        t.SubjColumns = d.subjectDigits;
        t.SubjRows = 10;
        const std::vector<CardSubject> subjects = d.subjects.empty() ? DefaultSubjects(d.subjectDigits) : d.subjects;
        for (const CardSubject& s : subjects) {
            SubjectEntry& e = t.Subjects[t.SubjectCount++];
            (void)e.code.SetUtf8(s.code);
            (void)e.name.SetUtf8(s.name);
        }
    }
    if (d.scoreDigits > 0) {
        t.ScoreCol = header.scoreCol;
        t.ScoreRow = kHeaderRow;
        t.ScoreColumns = d.scoreDigits;
    }
    // The orientation mark half a cell beyond the top line's right end; on a
    // machine card beyond its two dashes.
    t.UprightCol = static_cast<float>(rightEnd + (d.colour == CardPrintColour::Black ? 0.5 : 2.5));
    t.QuestionCount = d.questions;
    t.AnswerRow = kAnswerRow;
    t.BlockColPitch = static_cast<float>(W);
    t.BlockRowPitch = static_cast<float>(H);
    t.DefaultOrientation = 0;
    t.DefaultOptions = d.options;
    // Paper A fills the slots row by row, paper B column by column.
    t.Sec1Columns = shape.columns;
    t.Sec1Rows = shape.rows;
    int n = 0;
    for (std::size_t b = 0; b < kinds.size(); ++b) {
        const BlockKind& k = kinds[b];
        if (!IsException(d, k))
            continue;
        const int i = static_cast<int>(b);
        const int slotRow = d.abMode == 2 ? i % shape.rows : i / shape.columns;
        const int slotCol = d.abMode == 2 ? i / shape.rows : i % shape.columns;
        BlockOverride& o = t.BlockOverrides[n++];
        o.blockIndex = i;
        o.options = k.options;
        o.orientation = k.down ? 1 : 0;
        const double top = kAnswerRow - slotRow * H;
        o.column = static_cast<float>(k.down ? slotCol * W - numW + 0.5 : slotCol * W);
        o.row = static_cast<float>(k.down ? top - 1 : top);
    }
    t.OverrideCount = n;
    return a;
}

std::string Number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::ceil(v));
    return buf;
}

} // namespace

CardExtentMm PrintedCardExtent(const CardTemplate& t, bool jd)
{
    // The same sums as cardprint/CardGeometry's paper (a test holds them equal).
    const double cw = t.CellWidth, ch = t.CellHeight, L = t.LineLength;
    double reach = 1.5 * cw;
    const double x = t.OriginOffset + t.UprightCol * cw;
    reach = std::max({reach, x + 0.85 * cw - L + 0.5 * cw, -(x + 0.15 * cw) + 0.5 * cw});
    if (jd)
        reach = std::max(reach, 2.0 * cw + 0.25 + 0.5 * cw);
    auto cellReach = [&](float col) {
        const double left = t.OriginOffset + col * cw;
        reach = std::max({reach, left + cw - L + 0.5 * cw, -left + 0.5 * cw});
    };
    for (int i = 0; i < t.AdmColumns; ++i)
        cellReach(t.AdmCol + static_cast<float>(i));
    for (int q = 0; q < t.QuestionCount; ++q) {
        const QuestionLayout l = LayoutQuestion(t, 0, q);
        if (!l.placed || (l.orientation != 0 && l.orientation != 1))
            continue;
        cellReach(l.first.col);
        cellReach(OptionCell(l, q % 5, l.options - 1).col);
    }
    reach += 0.5 * cw;
    auto top = [&](float row) { return t.LineDistance + row * ch; };
    double header = std::max({top(t.AdmRow), top(t.SubjRow),
                              t.ScoreColumns > 0 ? top(t.ScoreRow) : 0.0});
    if (t.AbMode == 0)
        header = std::max({header, top(t.AbARow), top(t.AbBRow)});
    header += 2.2 * ch;
    CardExtentMm e;
    e.left = -reach;
    e.right = L + reach;
    e.bottom = -1.75 * ch;
    e.top = std::max(header + 2.6 * ch, t.LineDistance + 12.5 * ch);
    return e;
}

CardLayoutResult LayOutCard(const CardDesign& d)
{
    CardLayoutResult r;
    r.reason = CheckCardDesign(d);
    if (!r.reason.empty())
        return r;
    r.fileName = CardFileName(d);
    r.page = PaperSize(d.paper, d.landscape);
    const std::vector<BlockKind> kinds = BlockKinds(d);
    const bool jd = d.colour != CardPrintColour::Black;

    bool anyInEnvelope = false, headerTooWide = false;
    double smallestW = 1e9, smallestH = 1e9;
    for (double f : kCellScales) {
        for (const Spacing* sp : {&kNormal, &kCompact}) {
            std::optional<Attempt> best;
            for (Shape shape : Shapes(static_cast<int>(kinds.size()))) {
                Attempt a = Build(d, kinds, shape, *sp, f);
                headerTooWide = headerTooWide || a.headerTooWide;
                if (!a.inEnvelope)
                    continue;
                anyInEnvelope = true;
                const CardExtentMm e = PrintedCardExtent(a.t, jd);
                const double w = e.right - e.left, h = e.top - e.bottom;
                if (w * h < smallestW * smallestH) {
                    smallestW = w;
                    smallestH = h;
                }
                if (w + 2 * kPageSideMargin > r.page.width || h + kPageHeightExtra > r.page.height)
                    continue;
                if (!best || a.comfort < best->comfort)
                    best = a;
            }
            if (best) {
                r.ok = true;
                r.record = best->t;
                r.cellScale = f;
                r.compact = sp == &kCompact;
                const CardExtentMm e = PrintedCardExtent(r.record, jd);
                r.cardWidthMm = e.right - e.left;
                r.cardHeightMm = e.top - e.bottom;
                r.papers = d.abMode == 1 ? std::vector<int>{0} : d.abMode == 2 ? std::vector<int>{1} : std::vector<int>{0, 1};
                if (std::string why = ValidateCardTemplate(r.record); !why.empty()) {
                    // Never hand out a template recognition would refuse.
                    r.ok = false;
                    r.reason = "这张答题卡排不出来：" + why;
                }
                return r;
            }
        }
    }
    if (!anyInEnvelope) {
        if (headerTooWide)
            return r.reason = "准考证号、科目和主观题分的位数加起来太多，卡头宽得摄像头拍不全，请减少位数。", r;
        // The most questions that would fit with the same choices.
        int most = 0;
        for (int q = d.questions - 5; q >= card_design::MinQuestions && most == 0; q -= 5) {
            CardDesign fewer = d;
            fewer.questions = q;
            fewer.exceptions.clear();
            for (const CardBlockException& e : d.exceptions)
                if (e.block <= q / 5)
                    fewer.exceptions.push_back(e);
            const std::vector<BlockKind> k = BlockKinds(fewer);
            for (Shape shape : Shapes(q / 5))
                if (Build(fewer, k, shape, kCompact, 1.0).inEnvelope)
                    most = q;
        }
        if (most == 0)
            r.reason = "这样的题组放不进一张答题卡（摄像头要把整张卡拍清楚），请减少选项数。";
        else
            r.reason = "每题" + std::to_string(d.options) + "个选项时一张答题卡最多放" + std::to_string(most) +
                       "题（再多摄像头就拍不清每个格了），请减少题数或选项数。";
        return r;
    }
    r.reason = PaperText(d.paper, d.landscape) + "放不下这张答题卡（卡面至少" + Number(smallestW) + "×" +
               Number(smallestH) + "毫米，四周还要留出页边），请换用更大的纸或改变纸张方向。";
    return r;
}

bool ParseBlockOptions(const std::string& text, std::vector<CardBlockException>& into, std::string& why)
{
    for (const std::string& item : SplitList(text)) {
        std::size_t colon = item.find(':');
        if (colon == std::string::npos && item.find("\xEF\xBC\x9A") != std::string::npos)  // "："
            colon = item.find("\xEF\xBC\x9A");
        const std::size_t skip = colon != std::string::npos && item[colon] == ':' ? 1 : 3;
        int block = 0, options = 0;
        if (colon == std::string::npos || !ParseInt(Trim(item.substr(0, colon)), block) ||
            !ParseInt(Trim(item.substr(colon + skip)), options)) {
            why = "特殊题组的选项数写法不对：“" + item + "”，应写成“组号:选项数”，如“7:2,8:2”。";
            return false;
        }
        auto it = std::find_if(into.begin(), into.end(), [&](const CardBlockException& e) { return e.block == block; });
        if (it == into.end())
            into.push_back({block, options, false});
        else
            it->options = options;
    }
    return true;
}

bool ParseDownBlocks(const std::string& text, std::vector<CardBlockException>& into, std::string& why)
{
    for (const std::string& item : SplitList(text)) {
        int block = 0;
        if (!ParseInt(item, block)) {
            why = "竖排题组的写法不对：“" + item + "”，应写组号，如“7,8”。";
            return false;
        }
        auto it = std::find_if(into.begin(), into.end(), [&](const CardBlockException& e) { return e.block == block; });
        if (it == into.end())
            into.push_back({block, 0, true});
        else
            it->down = true;
    }
    return true;
}

bool ParseSubjectList(const std::string& text, std::vector<CardSubject>& into, std::string& why)
{
    into.clear();
    for (const std::string& item : SplitList(text)) {
        std::size_t colon = item.find(':');
        std::size_t skip = 1;
        if (colon == std::string::npos) {
            colon = item.find("\xEF\xBC\x9A");
            skip = 3;
        }
        if (colon == std::string::npos || Trim(item.substr(0, colon)).empty() || Trim(item.substr(colon + skip)).empty()) {
            why = "科目的写法不对：“" + item + "”，应写成“代码:名称”，如“01:语文,02:数学”。";
            return false;
        }
        into.push_back({Trim(item.substr(0, colon)), Trim(item.substr(colon + skip))});
    }
    return true;
}
