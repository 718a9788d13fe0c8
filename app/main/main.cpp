// Placeholder until the main window lands: says what the program is.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Scorivo-摄像头阅卷版：主窗口正在建设中。"));
    label.setWindowTitle(QStringLiteral("Scorivo-摄像头阅卷版"));
    label.resize(480, 120);
    label.show();
    return app.exec();
}
