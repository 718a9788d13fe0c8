#include "results/ui/ScoreChart.h"

#include <QPainter>
#include <QPaintEvent>
#include <algorithm>

ScoreChart::ScoreChart(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ScoreChart::SetBands(std::vector<Band> bands, const QString& emptyText)
{
    bands_ = std::move(bands);
    emptyText_ = emptyText;
    update();
}

// A scale step of 1, 2 or 5 times a power of ten that gives at most five
// grid lines up to `top`.
static int GridStep(int top)
{
    int step = 1;
    for (int power = 1;; power *= 10) {
        for (int m : {1, 2, 5}) {
            step = m * power;
            if (top / step <= 5)
                return step;
        }
    }
}

void ScoreChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(0xA0, 0xA0, 0xA0));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(Qt::black);
    p.drawText(QRect(8, 4, width() - 16, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, title_);
    if (bands_.empty()) {
        p.setPen(Qt::darkGray);
        p.drawText(rect(), Qt::AlignCenter, emptyText_);
        return;
    }

    int most = 0;
    for (const Band& b : bands_)
        most = std::max(most, b.count);
    const int step = GridStep(std::max(most, 1));
    const int top = std::max(step, (most + step - 1) / step * step);

    const int left = fm.horizontalAdvance(QString::number(top)) + 12;
    const int right = width() - 8;
    // Room for the title and for the count above the tallest bar.
    const int plotTop = 2 * fm.height() + 8;
    const int plotBottom = height() - fm.height() - 10;
    if (right - left < 20 || plotBottom - plotTop < 20)
        return;
    const double perStudent = double(plotBottom - plotTop) / top;

    // Horizontal grid with the student counts.
    for (int v = 0; v <= top; v += step) {
        const int y = plotBottom - int(v * perStudent + 0.5);
        p.setPen(v == 0 ? Qt::black : QColor(0xE0, 0xE0, 0xE0));
        p.drawLine(left, y, right, y);
        p.setPen(Qt::black);
        p.drawText(QRect(0, y - fm.height() / 2, left - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v));
    }
    p.drawLine(left, plotTop, left, plotBottom);

    const double slot = double(right - left) / bands_.size();
    const int barWidth = std::max(4, int(slot * 0.7));
    // Band captions in a smaller type (ten bands of "90-100" fill a 400-pixel
    // chart otherwise); in a narrow chart only every n-th is written, so none
    // overlap.
    QFont captionFont = p.font();
    if (captionFont.pixelSize() > 0)  // the window's font is given in pixels
        captionFont.setPixelSize(std::max(9, captionFont.pixelSize() * 85 / 100));
    else
        captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    const QFontMetrics captionMetrics(captionFont);
    std::vector<int> captionWidth;
    for (const Band& b : bands_)
        captionWidth.push_back(captionMetrics.horizontalAdvance(b.caption));
    auto fits = [&](std::size_t every) {
        for (std::size_t i = 0; i + every < bands_.size(); i += every)
            if ((captionWidth[i] + captionWidth[i + every]) / 2 + 4 > slot * every)
                return false;
        return true;
    };
    std::size_t captionEvery = 1;
    while (captionEvery < bands_.size() && !fits(captionEvery))
        ++captionEvery;
    for (std::size_t i = 0; i < bands_.size(); ++i) {
        const Band& b = bands_[i];
        const int centre = left + int(slot * i + slot / 2);
        const int barHeight = int(b.count * perStudent + 0.5);
        const QRect bar(centre - barWidth / 2, plotBottom - barHeight, barWidth, barHeight);
        if (barHeight > 0) {
            p.fillRect(bar, QColor(0x59, 0xC8, 0xD5));
            p.setPen(QColor(0x25, 0x85, 0x8F));
            p.drawRect(bar.adjusted(0, 0, -1, -1));
        }
        p.setPen(Qt::black);
        if (b.count > 0)
            p.drawText(QRect(centre - int(slot / 2), bar.top() - fm.height() - 2, int(slot), fm.height()),
                       Qt::AlignCenter, QString::number(b.count));
        if (i % captionEvery == 0) {
            p.setFont(captionFont);
            p.drawText(QRect(centre - captionWidth[i], plotBottom + 4, 2 * captionWidth[i], fm.height()),
                       Qt::AlignCenter, b.caption);
            p.setFont(font());
        }
    }
}
