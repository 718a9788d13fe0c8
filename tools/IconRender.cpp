// scorivo-iconrender: the program's icon drawn in the sizes desktops look
// for, from the one SVG that is drawn by hand.
//
//   scorivo-iconrender ICON.svg OUT_FOLDER SIZE...
// writes OUT_FOLDER/SIZExSIZE/scorivo.png for each size.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: scorivo-iconrender ICON.svg OUT_FOLDER SIZE...\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "scorivo-iconrender: %s is not a readable SVG\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "scorivo-iconrender: %s is not a size\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString folder = QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/scorivo.png"))) {
            std::fprintf(stderr, "scorivo-iconrender: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
