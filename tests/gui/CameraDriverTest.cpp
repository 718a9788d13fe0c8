// The camera side joined to the real window: "连接摄像头" starts the virtual
// camera, Timer1 shows its pictures, and "阅卷" runs a marking attempt with
// the session's acceptance, its texts and its sound.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "../capture/FakeV4l2.h"
#include "capture/ui/CameraDriver.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "gui/GuiTestSupport.h"

namespace {

struct DriverFixture : GuiFixture {
    DriverFixture()
    {
        CaptureController::Services s;
        s.io = std::make_shared<FakeV4l2Io>();  // no real cameras: only the virtual one
        driver = std::make_unique<CameraDriver>(prompts, s);
        services.camera = driver->Port();
    }
    // The time of the camera's newest sample: the place in the demo stack.
    double NewestSampleTime()
    {
        return static_cast<CaptureCameraPort*>(driver->Port())->Controller().Session().Callback().NewestSampleTime();
    }
    std::unique_ptr<CameraDriver> driver;
};

} // namespace

TEST(CameraDriver, VirtualCameraPreviewAndMarkingAttempt)
{
    DriverFixture fx;
    TMainForm& form = fx.Start();
    fx.driver->Attach(form);
    auto* answer = form.findChild<QPushButton*>(QStringLiteral("BtnAnswerCard"));
    auto* view = form.findChild<QLabel*>(QStringLiteral("ImageView"));
    auto* memo = form.findChild<QTextEdit*>(QStringLiteral("MemoTiShi"));
    ASSERT_TRUE(answer && view && memo);

    // Without a camera the button does nothing.
    answer->click();
    EXPECT_TRUE(form.StatusText.empty());

    // A session on the demo card with its roster.
    for (const auto& card : cardprint::ShippedCards())
        if (card.fileName == cardprint::DemoTemplateName()) {
            form.Session->cardTemplate = card.record;
            form.Session->templateName = card.fileName;
        }
    ASSERT_FALSE(form.Session->templateName.empty());
    form.Session->roster = cardprint::ShippedRoster();
    ASSERT_TRUE(form.Session->exam.subjectCode.Set(cardprint::DemoSubjectCode()));

    form.SetActivePage(2);
    form.BtnConn->click();
    EXPECT_EQ(form.BtnViewCapProperty->isEnabled(), true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.ImageCheShi->pixmap().width() > 0; }, 3000));

    // Entering the marking page starts the stack: the first card lies still
    // from 1 s to 4.5 s of the stack's time. On a busy machine the stack runs
    // late, so its own time says when the card lies there, not the clock;
    // then Timer1 takes that frame in.
    form.SetActivePage(5);
    form.SetUpMarkingGrid();
    form.BJYJ->setCurrentIndex(0);  // the demo roster has classes: 所有班级
    // (The stack the preview showed may still be ahead until the camera's
    // thread takes the restart in.)
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.NewestSampleTime() < 1.0; }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.NewestSampleTime() >= 1.3; }, 60000));
    QTest::qWait(300);
    ASSERT_LT(fx.NewestSampleTime(), 4.5) << "the first card was not caught lying still";
    fx.sound.played.clear();
    answer->click();
    // The demo stack's first card is the standard answer.
    EXPECT_EQ(form.StatusText, "标准答案已经读入");
    EXPECT_EQ(form.Session->session.recordCount, 1);
    EXPECT_TRUE(form.UnsavedChanges());
    EXPECT_FALSE(memo->toPlainText().isEmpty());
    ASSERT_EQ(fx.sound.played.size(), 1u);
    EXPECT_TRUE(view->pixmap().width() > 0);
    // For the documentation: SCORIVO_SCREENS_DIR=docs/screens under a real X server.
    if (const char* dir = std::getenv("SCORIVO_SCREENS_DIR")) {
        QTest::qWait(300);
        form.grab().save(QString::fromUtf8(dir) + QStringLiteral("/5-进行阅卷.png"));
    }

    // Automatic marking reads the next card once it lies still and draws the
    // result over the preview: the short text in red, the thumbnail beside
    // the student's name.
    form.BtnAutoAnswerCard->click();
    EXPECT_FALSE(answer->isEnabled());
    auto redPixels = [&] {
        const QImage shown = view->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                n += shown.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    // The second card lies still from 5.5 s to 9 s of the stack's time,
    // however late the stack runs.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Session->session.recordCount == 2; }, 60000));
    EXPECT_LT(fx.NewestSampleTime(), 10.0) << "the second card was read only after it slid out";
    EXPECT_TRUE(QTest::qWaitFor([&] { return redPixels() > 200; }, 10000)) << form.StatusText;
    EXPECT_NE(form.StatusText.find("分"), std::string::npos) << form.StatusText;
    if (const char* dir = std::getenv("SCORIVO_SCREENS_DIR"))
        form.grab().save(QString::fromUtf8(dir) + QStringLiteral("/5-自动阅卷.png"));
    form.Session->unsavedChanges = false;
}

// The demo stack shows one card type: entering the marking page with another
// card chosen says so in the prompt box, and with the demo's card says nothing.
TEST(CameraDriver, TheDemoStackSaysWhichCardItShows)
{
    DriverFixture fx;
    TMainForm& form = fx.Start();
    fx.driver->Attach(form);
    auto* memo = form.findChild<QTextEdit*>(QStringLiteral("MemoTiShi"));
    ASSERT_TRUE(memo);
    form.SetActivePage(2);
    form.BtnConn->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.ImageCheShi->pixmap().width() > 0; }, 3000));

    const std::string demo = cardprint::DemoTemplateName();
    for (const std::string& chosen : {std::string("DY五选项60题含判断题.dat"), demo}) {
        form.Session->templateName = chosen;
        memo->clear();
        form.SetActivePage(5);
        if (chosen == demo)
            EXPECT_TRUE(memo->toPlainText().isEmpty()) << memo->toPlainText().toStdString();
        else
            EXPECT_EQ(memo->toPlainText().toStdString(),
                      "演示摄像头播放的是“" + demo + "”的答题卡，和现在选的答题卡“" + chosen +
                          "”不同，读不出来。要看演示，请回到“准备答题卡”页，点“新阅卷”，选“" + demo + "”。");
        form.SetActivePage(4);
    }
}

// Automatic marking switched on before any card was read plays the demo stack
// from its standard answer again; once the standard answer is in, it leaves
// the stack where it is.
TEST(CameraDriver, AutomaticMarkingWithoutAStandardAnswerStartsTheStackAgain)
{
    DriverFixture fx;
    TMainForm& form = fx.Start();
    fx.driver->Attach(form);
    for (const auto& card : cardprint::ShippedCards())
        if (card.fileName == cardprint::DemoTemplateName()) {
            form.Session->cardTemplate = card.record;
            form.Session->templateName = card.fileName;
        }
    form.Session->roster = cardprint::ShippedRoster();
    ASSERT_TRUE(form.Session->exam.subjectCode.Set(cardprint::DemoSubjectCode()));
    form.SetActivePage(2);
    form.BtnConn->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.ImageCheShi->pixmap().width() > 0; }, 3000));
    form.SetActivePage(5);
    form.SetUpMarkingGrid();
    form.BJYJ->setCurrentIndex(0);

    // The standard answer lies still from 1 s to 4.5 s; wait until it has gone.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.NewestSampleTime() < 1.0; }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.NewestSampleTime() >= 5.0; }, 60000));
    form.BtnAutoAnswerCard->click();
    ASSERT_TRUE(form.AutoMarking);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fx.NewestSampleTime() < 1.0; }, 10000))
        << "the stack went on at " << fx.NewestSampleTime() << " s";
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Session->session.recordCount == 1; }, 60000));
    EXPECT_EQ(form.StatusText, "标准答案已经读入");

    // Off and on again with the standard answer read: the stack goes on.
    form.BtnAutoAnswerCard->click();
    ASSERT_FALSE(form.AutoMarking);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.NewestSampleTime() >= 5.0; }, 60000));
    form.BtnAutoAnswerCard->click();
    QTest::qWait(1000);
    EXPECT_GE(fx.NewestSampleTime(), 5.0);
    form.Session->unsavedChanges = false;
}
