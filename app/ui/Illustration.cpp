#include "app/ui/Illustration.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

static const QColor kInk(40, 52, 70);
static const QColor kAccent(32, 120, 200);

// A small answer card: two thick detection lines, an admission-number grid
// above the top line and answer blocks between the lines, a few filled.
static void DrawCard(QPainter& p, QRectF r)
{
    p.save();
    p.setPen(QPen(QColor(170, 170, 170), 1));
    p.setBrush(QColor(0, 0, 0, 30));
    p.drawRoundedRect(r.translated(4, 4), 4, 4);
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, 4, 4);
    const double cell = std::min(r.width() / 22.0, r.height() / 20.0);
    const double left = r.left() + 2 * cell;
    const double lineLen = 18 * cell;
    double topLine = r.top() + 7.6 * cell;
    double bottomLine = topLine + 10.4 * cell;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20));
    p.drawRect(QRectF(left, topLine, lineLen, cell * 0.45));
    p.drawRect(QRectF(left, bottomLine, lineLen, cell * 0.45));
    p.drawRect(QRectF(left + lineLen - cell, topLine - 1.3 * cell, cell * 0.9, cell * 0.45));  // upright mark
    QPen bubblePen(QColor(200, 60, 60), 1);
    auto bubble = [&](double x, double y, bool filled) {
        QRectF b(x, y, cell * 0.7, cell * 0.42);
        if (filled) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(30, 30, 30));
        } else {
            p.setPen(bubblePen);
            p.setBrush(Qt::NoBrush);
        }
        p.drawRoundedRect(b, 1.5, 1.5);
    };
    // admission number: 6 columns of 10 digits (only 6 rows drawn)
    const int admission[6] = {2, 0, 3, 1, 5, 4};
    for (int c = 0; c < 6; ++c)
        for (int d = 0; d < 6; ++d)
            bubble(left + c * cell, r.top() + 1.0 * cell + d * cell, admission[c] == d);
    // answer blocks: 4 blocks of 5 questions, options A-D across
    int q = 0;
    for (int blockRow = 0; blockRow < 2; ++blockRow)
        for (int block = 0; block < 4; ++block)
            for (int row = 0; row < 5; ++row, ++q)
                for (int opt = 0; opt < 4; ++opt)
                    bubble(left + block * 4.6 * cell + opt * cell,
                           topLine + 1.0 * cell + blockRow * 5.0 * cell + row * 0.9 * cell, (q * 7 + 3) % 4 == opt);
    p.restore();
}

// A webcam on a desk stand at the left, looking down.
static void DrawCamera(QPainter& p, QPointF lens, double scale, double poleX, double floorY)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen arm(QColor(110, 118, 130), 6 * scale, Qt::SolidLine, Qt::RoundCap);
    p.setPen(arm);
    double armY = lens.y() - 34 * scale;
    p.drawLine(QPointF(poleX, floorY), QPointF(poleX, armY));
    p.drawLine(QPointF(poleX, armY), QPointF(lens.x(), armY));
    p.drawLine(QPointF(lens.x(), armY), QPointF(lens.x(), lens.y() - 24 * scale));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 118, 130));
    p.drawRoundedRect(QRectF(poleX - 22 * scale, floorY - 4 * scale, 44 * scale, 10 * scale), 4, 4);
    QLinearGradient body(lens + QPointF(-50 * scale, -30 * scale), lens + QPointF(50 * scale, 20 * scale));
    body.setColorAt(0, QColor(70, 76, 88));
    body.setColorAt(1, QColor(30, 34, 42));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(lens + QPointF(-55 * scale, -28 * scale), QSizeF(110 * scale, 44 * scale)),
                      20 * scale, 20 * scale);
    p.setBrush(QColor(15, 15, 20));
    p.drawEllipse(lens + QPointF(0, 2 * scale), 16 * scale, 16 * scale);
    p.setBrush(QColor(70, 130, 200));
    p.drawEllipse(lens + QPointF(0, 2 * scale), 8 * scale, 8 * scale);
    p.setBrush(QColor(255, 255, 255, 180));
    p.drawEllipse(lens + QPointF(-3 * scale, -1 * scale), 2.5 * scale, 2.5 * scale);
    p.setBrush(QColor(80, 200, 120));
    p.drawEllipse(lens + QPointF(38 * scale, -8 * scale), 3.5 * scale, 3.5 * scale);
    p.restore();
}

static void DrawViewCone(QPainter& p, QPointF lens, QRectF card)
{
    p.save();
    QPolygonF cone;
    cone << lens + QPointF(-10, 14) << lens + QPointF(10, 14) << card.topRight() + QPointF(8, -6)
         << card.topLeft() + QPointF(-8, -6);
    QLinearGradient g(lens, QPointF(lens.x(), card.top()));
    g.setColorAt(0, QColor(120, 180, 240, 110));
    g.setColorAt(1, QColor(120, 180, 240, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(cone);
    p.restore();
}

static void DrawWelcome(QPainter& p, QSize size)
{
    QLinearGradient bg(0, 0, 0, size.height());
    bg.setColorAt(0, QColor(246, 250, 255));
    bg.setColorAt(1, QColor(222, 234, 247));
    p.fillRect(QRect(QPoint(0, 0), size), bg);

    QFont title = p.font();
    title.setPixelSize(26);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kInk);
    p.drawText(QRectF(0, 18, size.width(), 40), Qt::AlignHCenter, QStringLiteral("用摄像头批改答题卡"));
    QFont sub = p.font();
    sub.setPixelSize(14);
    sub.setBold(false);
    p.setFont(sub);
    p.setPen(QColor(80, 95, 115));
    p.drawText(QRectF(0, 56, size.width(), 24), Qt::AlignHCenter,
               QStringLiteral("把填好的答题卡放到摄像头下，程序自动识别、判分、汇总成绩"));

    QRectF card(60, 236, 240, 216);
    DrawViewCone(p, QPointF(180, 140), card);
    DrawCard(p, card);
    DrawCamera(p, QPointF(180, 140), 0.9, 30, 462);

    const char* steps[6][2] = {{"准备答题卡", "新阅卷：选择答题卡类型"},
                               {"连接摄像头", "对准白纸上的答题卡"},
                               {"学生信息设置", "年级、班级和学生名单"},
                               {"考试信息设置", "科目、题分和标准答案"},
                               {"进行阅卷", "一张一张放到摄像头下"},
                               {"成绩输出", "导出表格和未阅名单"}};
    double x = 352, y = 104;
    for (int i = 0; i < 6; ++i) {
        QRectF box(x, y + i * 58, 262, 50);
        p.setPen(QPen(QColor(190, 210, 232), 1));
        p.setBrush(i == 0 ? QColor(255, 255, 255) : QColor(255, 255, 255, 170));
        p.drawRoundedRect(box, 8, 8);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(box.left() + 25, box.center().y()), 15, 15);
        QFont n = p.font();
        n.setPixelSize(16);
        n.setBold(true);
        p.setFont(n);
        p.setPen(Qt::white);
        p.drawText(QRectF(box.left() + 10, box.top(), 30, box.height()), Qt::AlignCenter, QString::number(i + 1));
        p.setPen(kInk);
        n.setPixelSize(15);
        p.setFont(n);
        p.drawText(QRectF(box.left() + 50, box.top() + 5, 200, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(steps[i][0]));
        n.setBold(false);
        n.setPixelSize(12);
        p.setFont(n);
        p.setPen(QColor(90, 105, 125));
        p.drawText(QRectF(box.left() + 50, box.top() + 26, 205, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(steps[i][1]));
    }
}

static void DrawCameraWaiting(QPainter& p, QSize size)
{
    p.fillRect(QRect(QPoint(0, 0), size), QColor(58, 64, 74));
    QRectF paper(150, 190, 340, 250);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 245, 240));
    p.drawRect(paper);
    DrawCard(p, QRectF(230, 235, 180, 162));
    DrawViewCone(p, QPointF(320, 95), QRectF(205, 215, 230, 200));
    DrawCamera(p, QPointF(320, 95), 0.8, 110, 440);
    QFont f = p.font();
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 14, size.width(), 30), Qt::AlignHCenter, QStringLiteral("摄像头尚未连接"));
    f.setPixelSize(13);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(215, 222, 232));
    p.drawText(QRectF(0, 446, size.width(), 24), Qt::AlignHCenter,
               QStringLiteral("点“连接摄像头”后，这里显示摄像头画面。答题卡下面请垫一张白纸。"));
}

static void DrawPlayIcon(QPainter& p, QSize size, bool tutorial)
{
    QRectF r(2, 2, size.width() - 4, size.height() - 4);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, tutorial ? QColor(60, 160, 110) : QColor(50, 130, 210));
    g.setColorAt(1, tutorial ? QColor(30, 110, 80) : QColor(30, 80, 160));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, 10, 10);
    if (tutorial) {  // an open book
        p.setBrush(Qt::white);
        QPointF c = r.center();
        double w = r.width() * 0.28, h = r.height() * 0.42;
        QPolygonF left, right;
        left << c + QPointF(-2, -h / 2) << c + QPointF(-w, -h / 2 - 6) << c + QPointF(-w, h / 2 - 6)
             << c + QPointF(-2, h / 2);
        right << c + QPointF(2, -h / 2) << c + QPointF(w, -h / 2 - 6) << c + QPointF(w, h / 2 - 6)
              << c + QPointF(2, h / 2);
        p.drawPolygon(left);
        p.drawPolygon(right);
    } else {  // a play triangle in a ring
        p.setBrush(QColor(255, 255, 255, 60));
        double rad = std::min(r.width(), r.height()) * 0.3;
        p.drawEllipse(r.center(), rad, rad);
        p.setBrush(Qt::white);
        QPolygonF tri;
        tri << r.center() + QPointF(-rad * 0.35, -rad * 0.5) << r.center() + QPointF(-rad * 0.35, rad * 0.5)
            << r.center() + QPointF(rad * 0.55, 0);
        p.drawPolygon(tri);
    }
}

static void DrawHelpIcon(QPainter& p, QSize size)
{
    QRectF r(1, 1, size.width() - 2, size.height() - 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(r);
    QFont f = p.font();
    f.setPixelSize(int(size.height() * 0.72));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
}

QPixmap PaintIllustration(IllustrationKind kind, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    switch (kind) {
    case IllustrationKind::Welcome: DrawWelcome(p, size); break;
    case IllustrationKind::CameraWaiting: DrawCameraWaiting(p, size); break;
    case IllustrationKind::DemoIcon: DrawPlayIcon(p, size, false); break;
    case IllustrationKind::TutorialIcon: DrawPlayIcon(p, size, true); break;
    case IllustrationKind::HelpIcon: DrawHelpIcon(p, size); break;
    }
    return pixmap;
}

Illustration::Illustration(IllustrationKind kind, QWidget* parent) : QWidget(parent), kind_(kind)
{
    setFixedSize(640, 480);
}

void Illustration::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, PaintIllustration(kind_, size()));
}
