#include "cardprint/RefusalExamples.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPen>

#include "cardprint/CardGeometry.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "recognition/CardLayout.h"

namespace cardprint {

namespace {

constexpr int kQuestions = 85;
constexpr int kFirstMultiple = 80; // 0-based: questions 81-85

const ShippedCard& DemoShipped()
{
    static const std::vector<ShippedCard> cards = ShippedCards();
    const auto it = std::find_if(cards.begin(), cards.end(),
                                 [](const ShippedCard& c) { return c.fileName == DemoTemplateName(); });
    return *it;
}

// Option `j` of question `q` (0-based) on paper A, moved by (dc, dr) cells.
CellPos Option(int q, int j, float dc = 0, float dr = 0)
{
    const CellPos c = OptionCell(LayoutQuestion(DemoShipped().record, 0, q), q % 5, j);
    return {c.col + dc, c.row + dr};
}

// Row `digit` of admission column `i`.
CellPos AdmissionDigit(int i, int digit)
{
    const CardTemplate& t = DemoShipped().record;
    return DigitCell(static_cast<float>(t.AdmCol), static_cast<float>(t.AdmRow), i, digit);
}

RefusalDetail At(RefusalField field, int index, RefusalReason reason)
{
    RefusalDetail d;
    d.field = field;
    d.index = index;
    d.reason = reason;
    return d;
}

// The student's card with question `q`'s answer replaced by `marks` (its
// own mark taken off).
RefusalExample Replaced(std::string name, RefusalDetail expected, int q, std::vector<PencilMark> marks)
{
    RefusalExample e{std::move(name), expected, RefusalExampleStudent(), std::move(marks), {}};
    for (char letter : e.card.answers[static_cast<std::size_t>(q)])
        e.removed.push_back(Option(q, letter - 'A'));
    return e;
}

} // namespace

std::vector<std::vector<std::string>> RefusalExampleScoreRows()
{
    return {{"1", "80", "1", "单选题"}, {"81", "85", "2", "多选题"}};
}

std::vector<std::string> RefusalExampleKey()
{
    std::vector<std::string> key;
    for (int q = 0; q < kQuestions; ++q)
        key.emplace_back(q < kFirstMultiple ? std::string(1, static_cast<char>('A' + (q * 7) % 4))
                                            : std::string(q % 2 ? "AC" : "BD"));
    return key;
}

FilledCard RefusalExampleStudent()
{
    FilledCard c;
    c.admission = "010000002";
    c.subject = DemoSubjectCode();
    c.score = "012";
    c.answers = RefusalExampleKey();
    c.markSeed = 77;
    return c;
}

std::vector<RefusalExample> RefusalExamples()
{
    using F = RefusalField;
    using R = RefusalReason;
    const std::vector<std::string> key = RefusalExampleKey();
    auto answer = [&](int q) { return key[static_cast<std::size_t>(q)][0] - 'A'; };
    auto mark = [](CellPos c, int grey = 0, double size = 0) { return PencilMark{c, PencilMark::Pencil, grey, size}; };
    // Two options of a single choice marked alike, as dark as a firm hand.
    auto two = [&](int q) { return std::vector<PencilMark>{mark(Option(q, 0), 70, 1.0), mark(Option(q, 2), 70, 1.0)}; };
    std::vector<RefusalExample> out;
    // Half a column aside, between the answer's bubble and the next.
    out.push_back(Replaced("涂点不在选项中间", At(F::Question, 11, R::InkOffCentre), 11,
                           {mark(Option(11, answer(11), 0.5f))}));
    // The answer, and beside it a big mark half over the next option.
    out.push_back(Replaced("一个涂点跨两个选项", At(F::Question, 31, R::MarkAstride), 31,
                           {mark(Option(31, answer(31))), mark(Option(31, (answer(31) + 2) % 4, -0.4f), 0, 1.4)}));
    // A small answer, a second mark, and question 33's big mark reaching up
    // into that one: question 33 is named, its mark leaning on question 32's.
    {
        const int other = (answer(31) + 2) % 4;
        out.push_back(Replaced("相邻选项的涂点溢出", At(F::Question, 32, R::NeighbourOverflow), 31,
                               {mark(Option(31, answer(31)), 0, 0.9), mark(Option(31, other)),
                                mark(Option(32, other, 0, 0.35f), 0, 1.4)}));
    }
    // A multiple choice with one letter, lightly marked.
    out.push_back(Replaced("涂得太淡", At(F::Question, 82, R::PaleMark), 82, {mark(Option(82, 1), 178)}));
    // A single choice as pale as a mark rubbed out.
    out.push_back(Replaced("像是擦过的痕迹", At(F::Question, 41, R::ErasedResidue), 41,
                           {mark(Option(41, answer(41)), 170)}));
    out.push_back(Replaced("单选题涂了两个选项", At(F::Question, 51, R::TwoMarks), 51, two(51)));
    {
        RefusalExample e = Replaced("可疑的题太多", At(F::Question, 63, R::TooManyDoubtful), 61, two(61));
        const RefusalExample second = Replaced("", {}, 63, two(63));
        e.extra.insert(e.extra.end(), second.extra.begin(), second.extra.end());
        e.removed.insert(e.removed.end(), second.removed.begin(), second.removed.end());
        e.expected.doubt = R::TwoMarks;
        e.expected.doubtful = 2;
        out.push_back(e);
    }
    {
        RefusalExample e{"准考证号没有涂", At(F::AdmissionNumber, 4, R::NotFilled), RefusalExampleStudent(), {}, {}};
        e.card.admission[4] = ' ';
        out.push_back(e);
    }
    {
        RefusalExample e{"准考证号涂了两个数字", At(F::AdmissionNumber, 6, R::TwoDigits), RefusalExampleStudent(),
                         {mark(AdmissionDigit(6, 5))}, {}};
        out.push_back(e);
    }
    {
        RefusalExample e{"科目不同", At(F::Subject, -1, R::OtherSubject), RefusalExampleStudent(), {}, {}};
        e.card.subject = "01";
        out.push_back(e);
    }
    return out;
}

QImage RenderRefusalExample(const RefusalExample& e, double pixelsPerMm)
{
    const ShippedCard& card = DemoShipped();
    FaceOptions face;
    face.fileName = card.fileName;
    face.abType = 0;
    face.markSeed = e.card.markSeed;
    for (const PencilMark& m : MarksFor(card.record, e.card)) {
        const bool gone = std::any_of(e.removed.begin(), e.removed.end(), [&](const CellPos& c) {
            return std::fabs(c.col - m.cell.col) < 0.01f && std::fabs(c.row - m.cell.row) < 0.01f;
        });
        if (!gone)
            face.marks.push_back(m);
    }
    face.marks.insert(face.marks.end(), e.extra.begin(), e.extra.end());
    return RenderCardImage(card.record, face, pixelsPerMm);
}

QImage PhotographRefusalExample(const RefusalExample& e, const SynthOptions& o)
{
    constexpr double pixelsPerMm = 8.0;
    const ShippedCard& card = DemoShipped();
    return PhotographFace(card.record, card.fileName, RenderRefusalExample(e, pixelsPerMm), pixelsPerMm, o);
}

// The cells of the example's refused place.
static std::vector<CellPos> PlaceCells(const RefusalDetail& d)
{
    const CardTemplate& t = DemoShipped().record;
    std::vector<CellPos> cells;
    auto grid = [&](float col, float row, int columns, int rows) {
        for (int i = 0; i < columns; ++i)
            if (d.index < 0 || d.index == i)
                for (int j = 0; j < rows; ++j)
                    cells.push_back(DigitCell(col, row, i, j));
    };
    switch (d.field) {
    case RefusalField::Question:
        for (int j = 0; j < LayoutQuestion(t, 0, d.index).options; ++j)
            cells.push_back(Option(d.index, j));
        break;
    case RefusalField::AdmissionNumber: grid(t.AdmCol, t.AdmRow, t.AdmColumns, 10); break;
    case RefusalField::Subject: grid(t.SubjCol, t.SubjRow, t.SubjColumns, t.SubjRows); break;
    case RefusalField::SubjectiveScore: grid(t.ScoreCol, t.ScoreRow, t.ScoreColumns, 10); break;
    case RefusalField::None: break;
    }
    return cells;
}

QImage RefusalExamplePicture(const RefusalExample& e, const QColor& boxColour)
{
    constexpr double pixelsPerMm = 8.0;
    const ShippedCard& card = DemoShipped();
    const CardGeometry g(card.record, false);
    const QImage face = RenderRefusalExample(e, pixelsPerMm);
    const double k = PixelsPerUnit(pixelsPerMm);
    const RectU paper = g.Paper();
    // The place's cells in face pixels (rows downward).
    QRectF place;
    for (const CellPos& c : PlaceCells(e.expected)) {
        const RectU r = g.Cell(c);
        place |= QRectF(QPointF((r.left - paper.left) * k, (paper.top - r.top) * k),
                        QPointF((r.right - paper.left) * k, (paper.top - r.bottom) * k));
    }
    // Two cells of the card around it, so the teacher sees where it is.
    const double cw = card.record.CellWidth * k, ch = card.record.CellHeight * k;
    const QRect crop = place.adjusted(-2 * cw, -2 * ch, 2 * cw, 2 * ch).toAlignedRect().intersected(face.rect());
    QImage picture = face.copy(crop).convertToFormat(QImage::Format_RGB32);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(boxColour, std::max(2.0, ch / 8)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(place.translated(-crop.topLeft()).adjusted(-cw / 5, -ch / 5, cw / 5, ch / 5));
    p.end();
    // Help pages show them at about this width.
    return picture.width() > 360 ? picture.scaledToWidth(360, Qt::SmoothTransformation) : picture;
}

} // namespace cardprint
