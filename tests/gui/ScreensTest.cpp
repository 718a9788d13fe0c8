// Every page at the window's start size shows its foot buttons whole; with
// SCORIVO_SCREENS_DIR set, the pages and the settings dialog are also saved
// as pictures (docs/screens/ and the help pages use them).
#include <QDir>
#include <QRegularExpression>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "platform/qt/HelpWindow.h"

namespace {

void SaveShot(const QWidget& w, const QString& name)
{
    const char* dir = std::getenv("SCORIVO_SCREENS_DIR");
    if (!dir || !*dir)
        return;
    QDir().mkpath(QString::fromUtf8(dir));
    const_cast<QWidget&>(w).grab().save(QDir(QString::fromUtf8(dir)).filePath(name));
}

TEST(Screens, EveryPageShowsItsButtonsWhole)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.resize(840, 688);
    const char* names[6] = {"1-准备答题卡.png", "2-连接摄像头.png", "3-学生信息设置.png",
                            "4-考试信息设置.png", "5-进行阅卷.png", "6-成绩输出.png"};
    for (int page = 1; page <= 6; ++page) {
        f.SetActivePage(page);
        QApplication::processEvents();
        QWidget* sheet = f.PageControl1->currentWidget();
        for (QPushButton* b : sheet->findChildren<QPushButton*>()) {
            if (!b->isVisibleTo(sheet))
                continue;
            QRect r(b->mapTo(sheet, QPoint(0, 0)), b->size());
            EXPECT_TRUE(sheet->rect().contains(r)) << page << " " << b->objectName().toStdString();
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
        }
        // Pages 3 to 6 are shot filled in, by the student page, exam page, camera and output page tests.
        if (page < 3)
            SaveShot(f, QString::fromUtf8(names[page - 1]));
    }
    f.SetActivePage(1);
}

TEST(Screens, SettingsDialogFitsItsTexts)
{
    GuiFixture fx;
    fx.Start();
    fx.RunSettings([&](TFormYJSet& d) {
        QApplication::processEvents();
        EXPECT_GE(d.width(), d.sizeHint().width());
        SaveShot(d, QStringLiteral("阅卷设置.png"));
        d.BtnCancel->click();
    });
}

} // namespace

namespace {

// The shipped help: one page per topic, the two page-1 pages, and every
// picture and link they use present.
TEST(Screens, ShippedHelpPagesAreCompleteAndShowInTheHelpWindow)
{
    const std::filesystem::path help = std::filesystem::path(SCORIVO_SOURCE_DIR) / "data" / files::FromUtf8("帮助");
    std::vector<std::string> pages;
    for (int t = 0; t <= 6; ++t)
        pages.push_back(TMainForm::HelpTopicFile(t));
    pages.push_back("演示动画.htm");
    pages.push_back("使用教程.htm");
    for (const auto& page : pages) {
        auto html = files::ReadAll(help / files::FromUtf8(page));
        ASSERT_TRUE(html) << page;
        QString text = QString::fromStdString(*html);
        static const QRegularExpression ref(QStringLiteral("(?:src|href)=\"([^\"#:]+)\""));
        for (auto it = ref.globalMatch(text); it.hasNext();) {
            std::string target = it.next().captured(1).toStdString();
            EXPECT_TRUE(std::filesystem::exists(help / files::FromUtf8(target))) << page << " -> " << target;
        }
    }

    GuiFixture fx;
    std::filesystem::remove_all(fx.home / files::FromUtf8("帮助"));
    std::filesystem::copy(help, fx.home / files::FromUtf8("帮助"), std::filesystem::copy_options::recursive);
    TestMainForm& f = fx.Start();
    f.ShowHelpTopic(0);
    QApplication::processEvents();
    EXPECT_TRUE(f.Help()->CurrentPage().endsWith(QStringLiteral("简介.htm")));
    f.Help()->resize(820, 640);
    QApplication::processEvents();
    SaveShot(*f.Help(), QStringLiteral("帮助.png"));
    f.Help()->close();
}

} // namespace
