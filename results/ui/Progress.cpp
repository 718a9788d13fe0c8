#include "results/ui/Progress.h"

#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormProgress"));
    setWindowTitle(QStringLiteral("进度"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 16, 12, 16);
    layout->addWidget(ProgressBar1);
    setFixedSize(320, 64);
}

void TFormProgress::Start(const QString& caption)
{
    setWindowTitle(caption);
    ProgressBar1->setValue(0);
    show();
    raise();
    ProgressBar1->repaint();
}

void TFormProgress::SetPosition(int percent)
{
    ProgressBar1->setValue(std::clamp(percent, 0, 100));
    ProgressBar1->repaint();
}

void TFormProgress::Finish()
{
    hide();
}
