#include "cardprint/CardFace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPolygonF>

#include "capture/JpegFrame.h"
#include "cardprint/Prng.h"
#include "platform/Files.h"

namespace cardprint {

FaceColours ColoursFor(const std::string& fileName, int abType)
{
    FaceColours c;
    if (IsJdTemplate(fileName)) {
        // The tint fills every cell: enough coloured area for the colour check
        // of the admission columns even in shadow and after JPEG's colour
        // subsampling, and light enough to binarise as paper. Green stands
        // 50 levels over red so that a shadow still leaves it 15 over.
        if (abType == 1) {
            c.print = QColor(150, 215, 165);
            c.tint = QColor(200, 250, 205);
            c.text = QColor(25, 120, 55);
        } else {
            c.print = QColor(238, 160, 168);
            c.tint = QColor(250, 210, 215);
            c.text = QColor(185, 35, 45);
        }
    } else {
        // 216 of 255: about 30 grey levels under paper in a camera picture,
        // well inside what the grey reference frame keeps white (about 45).
        c.print = QColor(216, 216, 216);
        c.text = QColor(25, 25, 25);
    }
    return c;
}

namespace {

// Maps card space (units, v up) to device coordinates (y down).
struct Mapper {
    RectU paper;
    QRectF target;
    double k = 1;

    QPointF P(double u, double v) const
    {
        return {target.left() + (u - paper.left) * k, target.top() + (paper.top - v) * k};
    }
    QRectF R(const RectU& r) const { return QRectF(P(r.left, r.top), P(r.right, r.bottom)); }
    double L(double units) const { return units * k; }
};

QFont CardFont(double heightDevice, bool bold = false)
{
    QFont f(QStringLiteral("Noto Sans CJK SC"));
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(heightDevice))));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// Text inside `box`; a text wider than the box is set smaller rather than spilling over.
void Text(QPainter& p, const Mapper& m, const RectU& box, const QString& s, double heightUnits, int align,
          bool bold = false)
{
    QFont font = CardFont(m.L(heightUnits), bold);
    QRectF r = m.R(box);
    double width = QFontMetricsF(font).horizontalAdvance(s);
    if (width > r.width() && width > 0)
        font = CardFont(m.L(heightUnits) * r.width() / width * 0.98, bold);
    p.setFont(font);
    p.drawText(r, align, s);
}

void PaintCells(QPainter& p, const Mapper& m, const CardGeometry& g, int abType, const FaceColours& c)
{
    const CardTemplate& t = g.Template();
    p.setPen(QPen(c.print, m.L(0.25)));
    p.setBrush(Qt::NoBrush);
    QFont font = CardFont(m.L(0.8 * kBubbleHeight * t.CellHeight));
    p.setFont(font);
    for (const FaceCell& cell : g.Cells(abType)) {
        if (c.tint.isValid()) {
            // The tint covers most of the cell pitch around the bubble.
            const RectU b = g.Bubble(cell.pos);
            const RectU band{b.left - 0.14 * t.CellWidth, b.bottom - 0.12 * t.CellHeight, b.right + 0.14 * t.CellWidth,
                             b.top + 0.12 * t.CellHeight};
            p.save();
            p.setPen(Qt::NoPen);
            p.fillRect(m.R(band), c.tint);
            p.restore();
        }
        QRectF d = m.R(g.Bubble(cell.pos));
        double radius = d.height() * 0.45;
        p.drawRoundedRect(d, radius, radius);
        p.drawText(d, Qt::AlignCenter, QString::fromStdString(cell.label));
    }
}

void PaintQuestionNumbers(QPainter& p, const Mapper& m, const CardGeometry& g, int abType, const FaceColours& c)
{
    const CardTemplate& t = g.Template();
    p.setPen(c.text);
    for (const QuestionLabel& q : g.QuestionLabels(abType)) {
        int align = q.across ? (Qt::AlignRight | Qt::AlignVCenter) : Qt::AlignCenter;
        Text(p, m, q.box, QString::number(q.question + 1), 0.66 * t.CellHeight, align);
    }
}

void PaintHeader(QPainter& p, const Mapper& m, const CardGeometry& g, const FaceOptions& o, const FaceColours& c)
{
    const CardTemplate& t = g.Template();
    const double cw = t.CellWidth;
    const double ch = t.CellHeight;
    const double labelH = 0.7 * ch;

    // Write-in boxes above the digit grids, then the grid's name above them.
    auto gridHeader = [&](const RectU& area, int columns, const QString& name) {
        if (columns <= 0)
            return;
        p.setPen(QPen(c.print, m.L(0.25)));
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < columns; ++i) {
            RectU box{area.left + i * cw + 0.05 * cw, area.top + 0.1 * ch, area.left + (i + 1) * cw - 0.05 * cw,
                      area.top + 1.05 * ch};
            p.drawRect(m.R(box));
        }
        p.setPen(c.text);
        RectU label{area.left - cw, area.top + 1.15 * ch, area.right + cw, area.top + 2.15 * ch};
        Text(p, m, label, name, labelH, Qt::AlignCenter);
    };
    gridHeader(g.AdmissionArea(), t.AdmColumns, QStringLiteral("准考证号"));
    gridHeader(g.SubjectArea(), t.SubjColumns, QStringLiteral("科目"));
    gridHeader(g.ScoreArea(), t.ScoreColumns, QStringLiteral("主观题分"));

    if (t.AbMode == 0) {
        p.setPen(c.text);
        for (auto [col, row, name] : {std::tuple{t.AbACol, t.AbARow, QStringLiteral("A卷")},
                                      std::tuple{t.AbBCol, t.AbBRow, QStringLiteral("B卷")}}) {
            RectU cell = g.Cell({col, row});
            RectU label{cell.left - 2.2 * cw, cell.bottom, cell.left - 0.15 * cw, cell.top};
            Text(p, m, label, name, labelH, Qt::AlignRight | Qt::AlignVCenter);
        }
    }

    // Title: the card's name, and the paper type it is printed for.
    QString title = QString::fromStdString(CardDisplayName(o.fileName));
    QString paper;
    if (t.AbMode == 1)
        paper = QStringLiteral("A卷");
    else if (t.AbMode == 2)
        paper = QStringLiteral("B卷");
    else
        paper = o.abType == 1 ? QStringLiteral("B卷") : QStringLiteral("A卷");
    RectU titleBox{0, g.HeaderTop() + 0.2 * ch, t.LineLength, g.HeaderTop() + 2.0 * ch};
    p.setPen(c.text);
    Text(p, m, titleBox, title + QStringLiteral("  答题卡（") + paper + QStringLiteral("）"), 1.1 * ch,
         Qt::AlignCenter, true);

    // Notes: names, subject codes, how to mark.
    RectU notes = g.NotesArea();
    if (notes.Width() < 6 * cw || notes.Height() < 4 * ch)
        return;
    const double lineH = 0.62 * ch;
    const double step = 1.05 * ch;
    double y = notes.top;
    auto line = [&](const QString& s) {
        if (y - step < notes.bottom)
            return false;
        Text(p, m, {notes.left, y - step, notes.right, y}, s, lineH, Qt::AlignLeft | Qt::AlignVCenter);
        y -= step;
        return true;
    };
    line(QStringLiteral("姓名：＿＿＿＿＿  班级：＿＿＿"));
    if (t.SubjectCount > 0 && t.SubjColumns > 0) {
        QString s = QStringLiteral("科目代码：");
        int onLine = 0;
        for (int i = 0; i < t.SubjectCount && i < card_limits::MaxSubjects; ++i) {
            QString entry = QString::fromStdString(t.Subjects[i].code.Utf8()) +
                            QString::fromStdString(t.Subjects[i].name.Utf8()) + QStringLiteral(" ");
            s += entry;
            if (++onLine == 3) {
                if (!line(s))
                    break;
                s = QStringLiteral("　　　　　");
                onLine = 0;
            }
        }
        if (onLine > 0)
            line(s);
    }
    line(QStringLiteral("注意事项：用2B铅笔填涂，把所选格涂满涂黑；"));
    line(QStringLiteral("修改时用橡皮擦干净，保持卡面清洁。"));
    if (t.AbMode == 0)
        line(QStringLiteral("A卷涂A格，B卷涂B格。"));
    // A sample of a correct mark.
    if (y - step >= notes.bottom) {
        RectU lab{notes.left, y - step, notes.left + 5 * cw, y};
        Text(p, m, lab, QStringLiteral("填涂样例："), lineH, Qt::AlignLeft | Qt::AlignVCenter);
        RectU sample{notes.left + 4.2 * cw, y - step + 0.2 * ch, notes.left + 5.0 * cw, y - 0.2 * ch};
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 60));
        p.drawRoundedRect(m.R(sample), m.L(0.5), m.L(0.5));
        p.setBrush(Qt::NoBrush);
    }
}

// A graphite texture: pencil strokes are never uniform.
QImage GraphiteTexture(SplitMix64& rng, int base, int spread)
{
    QImage tex(24, 24, QImage::Format_RGB32);
    for (int y = 0; y < tex.height(); ++y)
        for (int x = 0; x < tex.width(); ++x) {
            int v = std::clamp(base + static_cast<int>(rng.Range(-spread, spread)), 0, 255);
            tex.setPixel(x, y, qRgb(v, v, std::min(255, v + 6)));
        }
    return tex;
}

// A pencil mark over `bubble`: `fill` 1 covers the bubble, a little less is a
// hasty mark, a little more spills over its outline.
QPolygonF MarkOutline(const Mapper& m, const RectU& bubble, double fill, SplitMix64& rng)
{
    PointU c = bubble.Centre();
    c.u += rng.Range(-0.05, 0.05) * bubble.Width();
    c.v += rng.Range(-0.05, 0.05) * bubble.Height();
    const double rx = 0.5 * bubble.Width() * fill;
    const double ry = 0.5 * bubble.Height() * fill;
    QPolygonF poly;
    const int n = 16;
    double phase = rng.Range(0, 6.283185307179586);
    for (int i = 0; i < n; ++i) {
        double a = phase + i * 6.283185307179586 / n;
        double jitter = rng.Range(0.92, 1.04);
        // A squarish ellipse, like a mark scribbled to fill a rounded bubble.
        double cx = std::cos(a), sy = std::sin(a);
        double sq = 1.0 / std::pow(std::pow(std::fabs(cx), 3.0) + std::pow(std::fabs(sy), 3.0), 1.0 / 3.0);
        poly << m.P(c.u + rx * cx * sq * jitter, c.v + ry * sy * sq * jitter);
    }
    return poly;
}

void PaintMarks(QPainter& p, const Mapper& m, const CardGeometry& g, const FaceOptions& o)
{
    if (o.marks.empty())
        return;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    p.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < o.marks.size(); ++i) {
        const PencilMark& mk = o.marks[i];
        SplitMix64 rng(MixSeed(o.markSeed, i + 1));
        const RectU bubble = g.Bubble(mk.cell);
        switch (mk.kind) {
        case PencilMark::Pencil: {
            double fill = rng.Chance(0.25) ? rng.Range(0.88, 0.95) : rng.Range(0.95, 1.05);
            const int grey = static_cast<int>(rng.Range(55, 85));
            if (mk.size > 0)
                fill = mk.size;
            QBrush brush(GraphiteTexture(rng, mk.grey > 0 ? mk.grey : grey, 22));
            p.setBrush(brush);
            p.drawPolygon(MarkOutline(m, bubble, fill, rng));
            break;
        }
        case PencilMark::TooLight: {
            QBrush brush(GraphiteTexture(rng, static_cast<int>(rng.Range(218, 228)), 8));
            p.setBrush(brush);
            p.drawPolygon(MarkOutline(m, bubble, rng.Range(0.8, 1.0), rng));
            break;
        }
        case PencilMark::Erased: {
            QBrush brush(GraphiteTexture(rng, 236, 6));
            p.setBrush(brush);
            p.drawPolygon(MarkOutline(m, bubble, 1.1, rng));
            break;
        }
        }
    }
    p.restore();
}

} // namespace

void PaintCard(QPainter& p, const CardGeometry& g, const FaceOptions& o, const QRectF& target)
{
    Mapper m;
    m.paper = g.Paper();
    m.target = target;
    m.k = target.width() / m.paper.Width();
    FaceColours c = ColoursFor(o.fileName, o.abType);
    int abType = g.Template().AbMode == 1 ? 0 : g.Template().AbMode == 2 ? 1 : o.abType;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(target, c.paper);

    PaintCells(p, m, g, abType, c);
    PaintQuestionNumbers(p, m, g, abType, c);
    PaintHeader(p, m, g, o, c);

    p.setPen(Qt::NoPen);
    p.setBrush(c.lines);
    p.drawRect(m.R(g.BottomLine()));
    p.drawRect(m.R(g.TopLine()));
    for (const RectU& r : g.LineExtensionDashes())
        p.drawRect(m.R(r));
    for (const RectU& r : g.UprightBars())
        p.drawRect(m.R(r));

    PaintMarks(p, m, g, o);
    p.restore();
}

std::string CardImageSizeProblem(const CardTemplate& t, const std::string& fileName, double pixelsPerMm)
{
    const RectU paper = CardGeometry(t, IsJdTemplate(fileName)).Paper();
    const double k = PixelsPerUnit(pixelsPerMm);
    const double w = paper.Width() * k, h = paper.Height() * k;
    if (std::isfinite(w) && std::isfinite(h) && PictureSizeAcceptable(std::max(1LL, std::llround(w)),
                                                                        std::max(1LL, std::llround(h))))
        return {};
    char size[64];
    std::snprintf(size, sizeof size, "%.0f × %.0f", paper.Width() * kMillimetresPerUnit,
                  paper.Height() * kMillimetresPerUnit);
    return std::string("答题卡有") + size + "毫米，画出来超出能画的大小（每边最多" + std::to_string(MaxPictureSide) +
           "像素），可能是模板文件中定位线的长度或间距有误。";
}

QImage RenderCardImage(const CardTemplate& t, const FaceOptions& o, double pixelsPerMm)
{
    if (!CardImageSizeProblem(t, o.fileName, pixelsPerMm).empty())
        return {};
    CardGeometry g(t, IsJdTemplate(o.fileName));
    double k = PixelsPerUnit(pixelsPerMm);
    RectU paper = g.Paper();
    int w = std::max(1, static_cast<int>(std::lround(paper.Width() * k)));
    int h = std::max(1, static_cast<int>(std::lround(paper.Height() * k)));
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull())
        return img;
    img.fill(Qt::white);
    QPainter p(&img);
    PaintCard(p, g, o, QRectF(0, 0, paper.Width() * k, paper.Height() * k));
    p.end();
    return img;
}

bool WriteCardPdf(const std::string& pathUtf8, const std::vector<PdfPage>& pages, std::string* error)
{
    if (pages.empty()) {
        if (error)
            *error = "没有要打印的答题卡";
        return false;
    }
    QPdfWriter pdf(QString::fromStdString(pathUtf8));
    pdf.setCreator(QStringLiteral("Scorivo"));
    pdf.setTitle(QStringLiteral("答题卡"));
    pdf.setResolution(1200);
    if (!PaintCardPages(pdf, pages)) {
        if (error)
            *error = "无法写入文件：" + pathUtf8;
        return false;
    }
    return true;
}

bool PaintCardPages(QPagedPaintDevice& device, const std::vector<PdfPage>& pages)
{
    QPainter painter;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        CardGeometry g(pages[i].record, IsJdTemplate(pages[i].face.fileName));
        RectU paper = g.Paper();
        double wMm = paper.Width() * kMillimetresPerUnit;
        double hMm = paper.Height() * kMillimetresPerUnit;
        QPageSize size(QPageSize::A4);
        QPageLayout::Orientation orient = QPageLayout::Landscape;
        if (pages[i].pageWidthMm > 0 && pages[i].pageHeightMm > 0) {
            // Named sizes are portrait; the orientation turns them.
            const double shortSide = std::min(pages[i].pageWidthMm, pages[i].pageHeightMm);
            const double longSide = std::max(pages[i].pageWidthMm, pages[i].pageHeightMm);
            size = QPageSize(QSizeF(shortSide, longSide), QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
            orient = pages[i].pageWidthMm > pages[i].pageHeightMm ? QPageLayout::Landscape : QPageLayout::Portrait;
        } else if (wMm + 20 > 297 || hMm + 20 > 210) {
            size = QPageSize(QSizeF(std::ceil(wMm + 20), std::ceil(hMm + 20)), QPageSize::Millimeter,
                             QStringLiteral("Card"), QPageSize::ExactMatch);
            orient = QPageLayout::Portrait;
        }
        QPageLayout layout(size, orient, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        device.setPageLayout(layout);
        if (i == 0) {
            if (!painter.begin(&device))
                return false;
        } else {
            device.newPage();
        }
        // Coordinates from the page's corner (a printer is set to full page).
        QSizeF pageMm = layout.fullRect(QPageLayout::Millimeter).size();
        double dotsPerMm = device.logicalDpiX() / 25.4;
        QRectF target((pageMm.width() - wMm) / 2 * dotsPerMm, (pageMm.height() - hMm) / 2 * dotsPerMm,
                      wMm * dotsPerMm, hMm * dotsPerMm);
        PaintCard(painter, g, pages[i].face, target);
        if (pages[i].face.pageNotes) {
            painter.save();
            QPen cut(QColor(150, 150, 150), 0.2 * dotsPerMm, Qt::DashLine);
            painter.setPen(cut);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(target.adjusted(-2 * dotsPerMm, -2 * dotsPerMm, 2 * dotsPerMm, 2 * dotsPerMm));
            painter.setPen(QColor(90, 90, 90));
            painter.setFont(CardFont(2.6 * dotsPerMm));
            QString note = QStringLiteral("请按实际大小（100%）打印，不要缩放。卡面 %1 × %2 毫米，沿虚线裁下。")
                               .arg(wMm, 0, 'f', 1)
                               .arg(hMm, 0, 'f', 1);
            QRectF below(0, target.bottom() + 3 * dotsPerMm, pageMm.width() * dotsPerMm, 5 * dotsPerMm);
            painter.drawText(below, Qt::AlignHCenter | Qt::AlignTop, note);
            painter.restore();
        }
    }
    return painter.end();
}

static bool NoImage(const CardTemplate& t, const FaceOptions& o, double pixelsPerMm, std::string* error)
{
    if (error) {
        *error = CardImageSizeProblem(t, o.fileName, pixelsPerMm);
        if (error->empty())
            *error = "内存不足，画不出这张答题卡。";
    }
    return false;
}

bool WriteCardPng(const std::string& pathUtf8, const CardTemplate& t, const FaceOptions& o, double dpi,
                  std::string* error)
{
    QImage img = RenderCardImage(t, o, dpi / 25.4);
    if (img.isNull())
        return NoImage(t, o, dpi / 25.4, error);
    img.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    img.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    if (!img.save(QString::fromStdString(pathUtf8), "PNG")) {
        if (error)
            *error = "无法写入文件：" + pathUtf8;
        return false;
    }
    return true;
}

bool WriteCardPicture(const std::string& pathUtf8, const CardTemplate& t, const FaceOptions& o, std::string* error)
{
    CardGeometry g(t, IsJdTemplate(o.fileName));
    double pxPerMm = 780.0 / (g.Paper().Width() * kMillimetresPerUnit);
    QImage img = RenderCardImage(t, o, pxPerMm);
    if (img.isNull())
        return NoImage(t, o, pxPerMm, error);
    if (!img.save(QString::fromStdString(pathUtf8), "JPG", 90)) {
        if (error)
            *error = "无法写入文件：" + pathUtf8;
        return false;
    }
    return true;
}

} // namespace cardprint
