#include "results/ui/TjProgress.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace {

// Colours of the block's bands, given as 0xBBGGRR (blue in the high byte).
constexpr unsigned kBandColours[3] = {0xECE7B5, 0xD5C859, 0x8F8525};

QColor FromBgr(unsigned bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// A borderless rectangle (x1, y1)-(x2, y2) covers x1 .. x2 - 2 and
// y1 .. y2 - 2: the bands are laid out to overlap by one pixel for this, so
// the three meet without a gap.
QRect BorderlessRect(int x1, int y1, int x2, int y2)
{
    return QRect(QPoint(x1, y1), QPoint(x2 - 2, y2 - 2));
}

} // namespace

TFormTJProgress::TFormTJProgress(QWidget* parent) : QDialog(parent), strip_(StripWidth, StripHeight)
{
    setObjectName(QStringLiteral("FormTJProgress"));
    setWindowTitle(QStringLiteral("正在输出。。。"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setFixedSize(315, 47);
    ImageProgress = new QLabel(this);
    ImageProgress->setObjectName(QStringLiteral("ImageProgress"));
    ImageProgress->setGeometry(8, 16, StripWidth, StripHeight);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &TFormTJProgress::Timer1Timer);
    ClearStrip();
}

void TFormTJProgress::ClearStrip()
{
    strip_.fill(Qt::white);
    QPainter p(&strip_);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(0, 0, StripWidth - 1, StripHeight - 1);
}

void TFormTJProgress::FormShow()
{
    ClearStrip();
    ImageProgress->setPixmap(strip_);
    block_ = QPixmap(BlockWidth, BlockHeight);
    block_.fill(Qt::white);
    QPainter p(&block_);
    p.fillRect(BorderlessRect(0, 0, 20, 18), FromBgr(kBandColours[0]));
    p.fillRect(BorderlessRect(19, 0, 40, 18), FromBgr(kBandColours[1]));
    p.fillRect(BorderlessRect(39, 0, 60, 18), FromBgr(kBandColours[2]));
    p.end();
    position_ = 0;
    Timer1->start();
}

void TFormTJProgress::Timer1Timer()
{
    if (block_.isNull())
        return;
    position_ += Step;
    if (position_ == Wrap)
        position_ = 0;
    ClearStrip();
    QPainter p(&strip_);
    p.drawPixmap(position_, 1, block_);
    p.end();
    ImageProgress->setPixmap(strip_);
}

void TFormTJProgress::FormClose()
{
    Timer1->stop();
    block_ = QPixmap();
}

void TFormTJProgress::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormTJProgress::hideEvent(QHideEvent* event)
{
    FormClose();
    QDialog::hideEvent(event);
}
