// The card chooser: the shipped cards in their two lists, the picture of the
// clicked card, preselection, confirming and cancelling, printing, and the
// wizard's two uses of it.
#include <QScrollArea>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "StudentExamSupport.h"
#include "exam/ui/CardChooser.h"

namespace {

constexpr char kDy85[] = "DY标准85题自动AB卷.dat";
constexpr char kJd[] = "JD机读卡60题AB卷.dat";

struct Chooser {
    GuiFixture fx;
    std::vector<QUrl> opened;
    TFormCard card{[this] { return fx.home; },
                   [this](const QUrl& u) {
                       opened.push_back(u);
                       return true;
                   }};
    Chooser()
    {
        for (const char* name : {"DY五选项60题含判断题", "DY标准60题A卷", "DY标准85题自动AB卷", "JD机读卡60题AB卷"}) {
            CopyShipped(fx, std::string("模板文件/") + name + ".dat");
            CopyShipped(fx, std::string("模板文件/") + name + ".jpg");
        }
    }
    static QStringList Items(const QTreeWidget* list)
    {
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names << list->topLevelItem(i)->text(0);
        return names;
    }
    static QString Selected(const QTreeWidget* list)
    {
        auto items = list->selectedItems();
        return items.isEmpty() ? QString() : items.front()->text(0);
    }
};

TEST(CardChooser, ListsTheShippedCardsAndShowsThePicture)
{
    Chooser c;
    std::string result = "unset";
    WhenShown(&c.card, [&](TFormCard& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("新阅卷——请先选择本次阅卷要使用的答题卡"));
        EXPECT_EQ(Chooser::Items(d.LVCards1),
                  (QStringList{QStringLiteral("DY五选项60题含判断题.dat"), QStringLiteral("DY标准60题A卷.dat"),
                               QString::fromUtf8(kDy85)}));
        EXPECT_EQ(Chooser::Items(d.LVCards2), QStringList{QString::fromUtf8(kJd)});
        EXPECT_EQ(d.LVCards1->headerItem()->text(0), QStringLiteral("自打印卡"));
        EXPECT_EQ(d.LVCards2->headerItem()->text(0), QStringLiteral("机读卡"));
        EXPECT_EQ(d.Label1->text(), QStringLiteral("单击左边列表框中的答题卡名称可显示图片"));
        // Nothing chosen before: the first self-printed card, with its picture.
        EXPECT_EQ(Chooser::Selected(d.LVCards1), QStringLiteral("DY五选项60题含判断题.dat"));
        EXPECT_TRUE(d.PictureShown());
        EXPECT_GE(d.ImageCard->pixmap().width(), TFormCard::PictureWidth);
        EXPECT_GE(d.ImageCard->pixmap().height(), TFormCard::PictureHeight);

        // A machine-readable card cannot be printed; a self-printed one can.
        d.LVCards2Click(d.LVCards2->topLevelItem(0));
        EXPECT_FALSE(d.BtnPrint->isEnabled());
        d.LVCards1->setCurrentItem(d.LVCards1->topLevelItem(2));
        d.LVCards1Click(d.LVCards1->topLevelItem(2));
        EXPECT_TRUE(d.BtnPrint->isEnabled());
        EXPECT_TRUE(d.PictureShown());
        d.BtnPrint->click();
        EXPECT_TRUE(d.isVisible());
        SaveScreen(d, "答题卡选择.png");
        d.BtnDaiRu->click();
    });
    result = c.card.Choose("", "新阅卷——请先选择本次阅卷要使用的答题卡");
    EXPECT_EQ(result, kDy85);
    ASSERT_EQ(c.opened.size(), 1u);
    EXPECT_TRUE(c.opened[0].toLocalFile().endsWith(QStringLiteral("/答题卡.pdf")));
}

TEST(CardChooser, ACardWithoutPictureCanStillBeChosen)
{
    Chooser c;
    std::filesystem::remove(c.fx.home / files::FromUtf8("模板文件/DY标准60题A卷.jpg"));
    WhenShown(&c.card, [&](TFormCard& d) {
        EXPECT_EQ(Chooser::Selected(d.LVCards1), QStringLiteral("DY标准60题A卷.dat"));
        EXPECT_FALSE(d.PictureShown());
        EXPECT_EQ(d.ImageCard->pixmap().size(), QSize(TFormCard::PictureWidth, TFormCard::PictureHeight));
        d.LVCards1DblClick(d.LVCards1->topLevelItem(1));
    });
    EXPECT_EQ(c.card.Choose("DY标准60题A卷.dat", "重新选择答题卡"), "DY标准60题A卷.dat");
}

TEST(CardChooser, AJdCardIsPreselectedInItsListAndCancelChoosesNothing)
{
    Chooser c;
    WhenShown(&c.card, [&](TFormCard& d) {
        EXPECT_EQ(Chooser::Selected(d.LVCards2), QString::fromUtf8(kJd));
        EXPECT_TRUE(Chooser::Selected(d.LVCards1).isEmpty());
        EXPECT_EQ(d.focusWidget(), d.LVCards2);
        EXPECT_FALSE(d.BtnPrint->isEnabled());
        d.LVCards1->setCurrentItem(d.LVCards1->topLevelItem(0));
        d.LVCards1Click(d.LVCards1->topLevelItem(0));
        QTest::keyClick(d.LVCards1, Qt::Key_Down);
        EXPECT_EQ(d.CardName, "DY标准60题A卷.dat");
        d.QuxiaoButton->click();
    });
    EXPECT_EQ(c.card.Choose(kJd, "重新选择答题卡"), "");
}

TEST(CardChooser, NoSelfPrintedCardOpensWithNoSelection)
{
    GuiFixture fx;
    CopyShipped(fx, std::string("模板文件/") + kJd);
    TFormCard card([&] { return fx.home; }, {});
    WhenShown(&card, [&](TFormCard& d) {
        EXPECT_EQ(d.LVCards1->topLevelItemCount(), 0);
        EXPECT_TRUE(Chooser::Selected(d.LVCards2).isEmpty());
        d.BtnDaiRu->click();
    });
    EXPECT_EQ(card.Choose("", "x"), "");
}

// Without any card the hint says where cards belong and how to make one;
// once a card is there, the usual hint is back.
TEST(CardChooser, NoCardAtAllSaysWhereCardsBelong)
{
    GuiFixture fx;
    TFormCard card([&] { return fx.home; }, {});
    WhenShown(&card, [&](TFormCard& d) {
        EXPECT_EQ(d.Label1->text(), QStringLiteral("没有找到答题卡，请看下面的说明"));
        const QString folder = QString::fromStdString(files::ToUtf8(fx.home / files::FromUtf8("模板文件")));
        EXPECT_TRUE(d.ImageCard->text().startsWith(QStringLiteral("文件夹“") + folder + QStringLiteral("”里没有")))
            << d.ImageCard->text().toStdString();
        d.QuxiaoButton->click();
    });
    EXPECT_EQ(card.Choose("", "x"), "");

    CopyShipped(fx, std::string("模板文件/") + kJd);
    WhenShown(&card, [&](TFormCard& d) {
        EXPECT_EQ(d.Label1->text(), QStringLiteral("单击左边列表框中的答题卡名称可显示图片"));
        EXPECT_TRUE(d.ImageCard->text().isEmpty());
        d.QuxiaoButton->click();
    });
    EXPECT_EQ(card.Choose("", "x"), "");
}

// The wizard: a first new marking cancelled leaves no card; a later one
// preselects the previous card; re-choosing on the exam page keeps the card
// on cancel and fills the page again.
TEST(CardChooser, NewMarkingAndReselectingTheCard)
{
    Chooser c;
    c.fx.services.cardChooser = &c.card;
    TestMainForm& f = c.fx.Start();

    WhenShown(&c.card, [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnNewYJClick();
    EXPECT_TRUE(f.Session->templateName.empty());
    EXPECT_FALSE(f.BtnNext1->isEnabled());
    EXPECT_TRUE(f.LCardName->text().isEmpty());

    WhenShown(&c.card, [](TFormCard& d) { d.LVCards1DblClick(d.LVCards1->topLevelItem(2)); });
    f.BtnNewYJClick();
    EXPECT_EQ(f.Session->templateName, kDy85);
    EXPECT_EQ(f.LCardName->text(), QString::fromUtf8(kDy85));
    EXPECT_TRUE(f.BtnNext1->isEnabled());
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 85);

    QString preselected;
    WhenShown(&c.card, [&](TFormCard& d) {
        preselected = Chooser::Selected(d.LVCards1);
        d.QuxiaoButton->click();
    });
    f.BtnNewYJClick();
    EXPECT_EQ(preselected, QString::fromUtf8(kDy85));
    EXPECT_TRUE(f.Session->templateName.empty());

    // Exam page: choose the JD card, then cancel a second choice.
    WhenShown(&c.card, [](TFormCard& d) { d.LVCards1DblClick(d.LVCards1->topLevelItem(2)); });
    f.BtnNewYJClick();
    f.SetActivePage(4);
    f.ShowExamPage();
    f.EdtKSName->setText(QStringLiteral("改动"));
    QString title;
    WhenShown(&c.card, [&](TFormCard& d) {
        title = d.windowTitle();
        d.LVCards2DblClick(d.LVCards2->topLevelItem(0));
    });
    f.BtnReSelectCardClick();
    EXPECT_EQ(title, QStringLiteral("重新选择答题卡"));
    EXPECT_EQ(f.Session->templateName, kJd);
    EXPECT_EQ(f.LblCardName->text(), QString::fromUtf8(kJd));
    EXPECT_EQ(f.LCardName->text(), QString::fromUtf8(kJd));
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 60);
    EXPECT_TRUE(f.EdtKSName->text().isEmpty());  // the page shows the record again

    f.Session->cardTemplate.QuestionCount = 0;
    WhenShown(&c.card, [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnReSelectCardClick();
    EXPECT_EQ(f.Session->templateName, kJd);
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 60);  // loaded again
    EXPECT_EQ(c.fx.prompts.unanswered, 0);
}

// A card whose file goes while the chooser is open (deleted or renamed by
// hand meanwhile): choosing it says so, and the card before does not stay
// loaded under the new card's name; a new marking starts without a card.
TEST(CardChooser, AChosenCardThatIsGoneIsSaidAndNoOtherCardStandsIn)
{
    Chooser c;
    c.fx.services.cardChooser = &c.card;
    TestMainForm& f = c.fx.Start();
    WhenShown(&c.card, [](TFormCard& d) { d.LVCards1DblClick(d.LVCards1->topLevelItem(2)); });
    f.BtnNewYJClick();
    ASSERT_EQ(f.Session->cardTemplate.QuestionCount, 85);
    f.SetActivePage(4);
    f.ShowExamPage();

    auto chooseGoneJd = [&](TFormCard& d) {
        std::filesystem::remove(c.fx.home / files::FromUtf8(std::string("模板文件/") + kJd));
        d.LVCards2DblClick(d.LVCards2->topLevelItem(0));
    };
    WhenShown(&c.card, chooseGoneJd);
    f.BtnReSelectCardClick();
    EXPECT_EQ(c.fx.prompts.Texts(), (std::vector<std::string>{std::string("未发现模板文件：") + kJd}));
    EXPECT_EQ(f.Session->templateName, kJd);
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 0);

    CopyShipped(c.fx, std::string("模板文件/") + kJd);
    f.SetActivePage(1);
    c.fx.prompts.shown.clear();
    WhenShown(&c.card, chooseGoneJd);
    f.BtnNewYJClick();
    EXPECT_EQ(c.fx.prompts.Texts(), (std::vector<std::string>{std::string("未发现模板文件：") + kJd}));
    EXPECT_EQ(f.LCardName->text(), QString::fromUtf8(kJd));
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 0);
}

} // namespace
