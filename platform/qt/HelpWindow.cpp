#include "platform/qt/HelpWindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Scorivo 帮助"));
    resize(820, 640);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(true);
    back_ = new QPushButton(QStringLiteral("< 后退"), this);
    home_ = new QPushButton(QStringLiteral("目录"), this);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back_);
    buttons->addWidget(home_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);

    back_->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(home_, &QPushButton::clicked, this, [this] {
        if (!current_.isEmpty())
            ShowPage(QFileInfo(current_).dir().filePath(QStringLiteral("简介.htm")));
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
        if (url.isLocalFile())
            current_ = url.toLocalFile();
    });
}

bool HelpWindow::ShowPage(const QString& htmlFile)
{
    if (!QFileInfo::exists(htmlFile))
        return false;
    current_ = htmlFile;
    browser_->setSource(QUrl::fromLocalFile(htmlFile));
    show();
    raise();
    activateWindow();
    return true;
}
