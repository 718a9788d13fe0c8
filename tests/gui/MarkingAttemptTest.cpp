// The marking page of the real window with the camera side attached:
// automatic marking at real pace, the demo stack starting again on the page,
// the preview's layout, the window caption of each attempt, the card colour
// check following the window's own setting, and a camera unplugged meanwhile.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTextEdit>
#include <cstring>

#include "../capture/FakeV4l2.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"
#include "capture/ui/CameraDriver.h"
#include "capture/ui/DemoCardPictures.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "gui/GuiTestSupport.h"
#include "marking/Acceptance.h"

namespace {

// One filled card for the virtual camera, photographed by the synthetic camera.
class OneCard final : public CardPictureProvider {
public:
    OneCard(const std::string& templateName, bool grey) : name_(templateName), grey_(grey) {}
    int Count() override { return 1; }
    bool Picture(int, std::vector<uint8_t>& bgr) override
    {
        CardTemplate t{};
        for (const auto& shipped : cardprint::ShippedCards())
            if (shipped.fileName == name_)
                t = shipped.record;
        cardprint::FilledCard card;  // an empty admission number: a standard answer
        card.answers = {"A", "B", "C", "D"};
        cardprint::SynthOptions o;
        o.seed = 11;
        o.upright = true;
        o.colourCast = false;
        QImage picture = cardprint::SynthesizeCameraImage(t, name_, card, o);
        // A camera that sees no colour: the print's red looks grey.
        if (grey_)
            picture = picture.convertToFormat(QImage::Format_Grayscale8);
        picture = picture.convertToFormat(QImage::Format_BGR888);
        if (picture.width() != Width || picture.height() != Height)
            return false;
        bgr.resize(size_t(Width) * Height * 3);
        for (int y = 0; y < Height; ++y)
            std::memcpy(bgr.data() + size_t(y) * Width * 3, picture.constScanLine(y), size_t(Width) * 3);
        return true;
    }

private:
    std::string name_;
    bool grey_;
};

struct MarkingPage : GuiFixture {
    // `pictures` null: the program's own virtual camera (the demo stack, real time).
    explicit MarkingPage(std::shared_ptr<CardPictureProvider> pictures = nullptr)
    {
        CaptureController::Services s;
        s.io = std::make_shared<FakeV4l2Io>();  // no real cameras: only the virtual one
        if (pictures)
            s.makeVirtual = [this, pictures]() -> std::shared_ptr<CameraSource> {
                manual = std::make_shared<VirtualCamera>(pictures, subtype::Yuy2, VirtualCamera::Pace::Manual);
                return manual;
            };
        UseCameras(s);
    }
    // The cameras of a fake device layer, and no virtual one.
    explicit MarkingPage(std::shared_ptr<FakeV4l2Io> io)
    {
        CaptureController::Services s;
        s.io = std::move(io);
        s.makeVirtual = []() -> std::shared_ptr<CameraSource> { return nullptr; };
        UseCameras(s);
    }
    void UseCameras(const CaptureController::Services& s)
    {
        driver = std::make_unique<CameraDriver>(prompts, s);
        services.camera = driver->Port();
    }
    TMainForm& Open(const std::string& templateName)
    {
        TMainForm& f = Start();
        driver->Attach(f);
        for (const auto& card : cardprint::ShippedCards())
            if (card.fileName == templateName) {
                f.Session->cardTemplate = card.record;
                f.Session->templateName = card.fileName;
            }
        EXPECT_EQ(f.Session->templateName, templateName);
        f.Session->roster = cardprint::ShippedRoster();
        EXPECT_TRUE(f.Session->exam.subjectCode.Set(cardprint::DemoSubjectCode()));
        f.SetActivePage(2);
        f.BtnConn->click();
        return f;
    }
    // The marking page as the wizard enters it, with 所有班级 chosen (the demo
    // roster has classes, and marking refuses until a class is chosen).
    void EnterMarkingPage(TMainForm& f)
    {
        f.SetActivePage(5);
        f.SetUpMarkingGrid();
        f.BJYJ->setCurrentIndex(0);
    }
    QPushButton* AnswerButton() const { return form->findChild<QPushButton*>(QStringLiteral("BtnAnswerCard")); }
    QLabel* ImageView() const { return form->findChild<QLabel*>(QStringLiteral("ImageView")); }
    // Manual pace: the camera's next frames, then one tick of Timer1.
    void Frames(int count)
    {
        for (int i = 0; i < count; ++i)
            manual->DeliverNextFrame();
        driver->findChild<FrameTimer*>()->Timer1Timer();
    }
    CaptureSession& Camera() { return static_cast<CaptureCameraPort*>(driver->Port())->Controller().Session(); }
    double NewestSampleTime() { return Camera().Callback().NewestSampleTime(); }

    std::unique_ptr<CameraDriver> driver;
    std::shared_ptr<VirtualCamera> manual;
};

// A new user's road: the camera connected while the pages before were set
// up, the marking page entered, automatic marking switched on, no card
// marked by hand before. The real Timer1 and the real-time virtual camera
// run on the real clock: the standard answer lies still for 3.5 s from 1 s
// of the stack's time after the page was entered, and must be read in that
// time; the card after it is a student's. A busy machine makes the stack run
// late, so the stack's own time tells whether the card was read in time.
TEST(MarkingPage, AutomaticMarkingReadsTheStillCardAtRealPace)
{
    MarkingPage fx;
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    QTest::qWait(700);  // the stack has begun before the page is reached
    fx.EnterMarkingPage(f);
    f.BtnAutoAnswerCard->click();
    EXPECT_EQ(f.BtnAutoAnswerCard->text(), QStringLiteral("关闭自动阅卷"));
    EXPECT_FALSE(fx.AnswerButton()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.Session->session.recordCount == 1; }, 60000))
        << "the still card was not marked; status: " << f.StatusText;
    EXPECT_LT(fx.NewestSampleTime(), 5.5) << "read only after it slid out";
    EXPECT_EQ(f.StatusText, "标准答案已经读入");
    auto* memo = f.findChild<QTextEdit*>(QStringLiteral("MemoTiShi"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->toPlainText().toStdString(), acceptance_texts::StandardReadMemo);
    // Read once, not again while it lies there.
    QTest::qWait(600);
    EXPECT_EQ(f.Session->session.records[0].readCount, 1);
    f.BtnAutoAnswerCard->click();
    f.Session->unsavedChanges = false;
}

// The stack starts again from its first card, the standard answer, each time
// the marking page is entered.
TEST(MarkingPage, EnteringThePageStartsTheStackAgain)
{
    MarkingPage fx(std::make_shared<OneCard>(cardprint::DemoTemplateName(), false));
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    ASSERT_NE(fx.manual, nullptr);
    fx.Frames(30);
    EXPECT_DOUBLE_EQ(fx.NewestSampleTime(), 2.9);
    fx.EnterMarkingPage(f);
    fx.Frames(1);
    EXPECT_DOUBLE_EQ(fx.NewestSampleTime(), 0.0);
    fx.Frames(15);
    f.SetActivePage(6);
    fx.EnterMarkingPage(f);
    fx.Frames(1);
    EXPECT_DOUBLE_EQ(fx.NewestSampleTime(), 0.0);
}

// Every attempt starts from the main caption: a refused card does not leave
// the previous student's name and score up there.
TEST(MarkingPage, EachAttemptStartsFromTheMainCaption)
{
    MarkingPage fx(std::make_shared<OneCard>(cardprint::DemoTemplateName(), false));
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    fx.EnterMarkingPage(f);
    f.setWindowTitle(QStringLiteral("Scorivo-摄像头阅卷版 张三95分"));
    fx.Frames(1);  // the empty table: no card to read
    fx.AnswerButton()->click();
    EXPECT_FALSE(f.StatusText.empty());
    EXPECT_EQ(f.Session->session.recordCount, 0);
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8(kMainCaption));
}

// A refusal that names a place (here the subject, left empty on the card)
// boxes that place's cells on the live view, over every frame shown, until
// the next attempt; the memo says where and why, the status keeps its text.
TEST(MarkingPage, RefusedPlaceIsBoxedOnTheLiveViewUntilTheNextAttempt)
{
    MarkingPage fx(std::make_shared<OneCard>(cardprint::DemoTemplateName(), false));
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    f.YJSet.IgnoreSubjectCheck = 0;
    fx.EnterMarkingPage(f);
    auto boxPixels = [&] {
        const QImage shown = fx.ImageView()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb box = LabelFrameLoopView::RefusalOutlineColour.rgb();
        int n = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                n += shown.pixel(x, y) == box;
        return n;
    };
    fx.Frames(20);  // the card lies still
    EXPECT_EQ(boxPixels(), 0);

    fx.AnswerButton()->click();
    EXPECT_EQ(f.StatusText, acceptance_texts::SubjectStatus);
    EXPECT_NE(f.MemoTiShi->toPlainText().toStdString().find("科目：没有涂"), std::string::npos)
        << f.MemoTiShi->toPlainText().toStdString();
    fx.Frames(1);
    const int drawn = boxPixels();
    EXPECT_GT(drawn, 40);  // a two-pixel outline around the subject's cells
    fx.Frames(1);
    EXPECT_EQ(boxPixels(), drawn);

    f.YJSet.IgnoreSubjectCheck = 1;
    fx.AnswerButton()->click();
    EXPECT_EQ(f.StatusText, "标准答案已经读入");
    fx.Frames(1);
    EXPECT_EQ(boxPixels(), 0);
    f.Session->unsavedChanges = false;
}

// "忽略机读卡颜色" and "ncm.set" decide the colour check of machine cards.
// A camera without colour sees the red print of an A card grey.
TEST(MarkingPage, CardColourCheckFollowsTheWindowSetting)
{
    const std::string jd = "JD机读卡60题AB卷.dat";
    {
        MarkingPage fx(std::make_shared<OneCard>(jd, true));
        TMainForm& f = fx.Open(jd);
        f.YJSet.IgnoreSubjectCheck = 1;
        fx.EnterMarkingPage(f);
        ASSERT_EQ(f.CheckCardColour, 1);
        fx.Frames(20);  // the card lies still
        fx.AnswerButton()->click();
        EXPECT_EQ(f.StatusText, acceptance_texts::ColourStatus);
        EXPECT_EQ(f.Session->session.recordCount, 0);

        fx.RunSettings([](TFormYJSet& d) {
            d.CBIgnoreJDKColor->setChecked(true);
            d.BtnOK->click();
        });
        ASSERT_EQ(f.CheckCardColour, 0);
        fx.Frames(1);
        fx.AnswerButton()->click();
        EXPECT_EQ(f.StatusText, "标准答案已经读入");
        EXPECT_EQ(f.Session->session.recordCount, 1);
        f.Session->unsavedChanges = false;
    }
    {
        MarkingPage fx(std::make_shared<OneCard>(jd, true));
        fx.WriteFile("ncm.set", "");
        TMainForm& f = fx.Open(jd);
        f.YJSet.IgnoreSubjectCheck = 1;
        fx.EnterMarkingPage(f);
        ASSERT_EQ(f.CheckCardColour, 0);
        fx.Frames(20);
        fx.AnswerButton()->click();
        EXPECT_EQ(f.StatusText, "标准答案已经读入");
        f.Session->unsavedChanges = false;
    }
}

// A camera unplugged while marking: its stream ends and the frame keeps its
// last picture. "阅卷" then says the camera is missing instead of reading that
// picture again as if it were the card under the camera now; connecting again
// on the camera page brings the camera back.
TEST(MarkingPage, AnUnpluggedCameraIsSaidAndItsLastPictureNotMarkedAgain)
{
    auto io = std::make_shared<FakeV4l2Io>();
    FakeDevice usb;
    usb.card = "USB Camera";
    usb.pixelFormat = V4L2_PIX_FMT_BGR24;
    io->devices["/dev/video0"] = usb;
    MarkingPage fx(io);
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    f.YJSet.IgnoreSubjectCheck = 1;  // the card has no subject filled in
    fx.EnterMarkingPage(f);

    // The card as the camera above it sends it: turned by 180 degrees.
    std::vector<uint8_t> picture;
    ASSERT_TRUE(OneCard(cardprint::DemoTemplateName(), false).Picture(0, picture));
    std::vector<uint8_t> sample(picture.size());
    for (std::size_t i = 0; i < picture.size(); i += 3)
        std::memcpy(sample.data() + picture.size() - 3 - i, picture.data() + i, 3);
    auto showCard = [&] {
        const uint64_t before = fx.Camera().Callback().SampleCount();
        ASSERT_TRUE(io->PushFrame("/dev/video0", sample));
        ASSERT_TRUE(QTest::qWaitFor([&] { return fx.Camera().Callback().SampleCount() > before; }, 20000));
        fx.driver->findChild<FrameTimer*>()->Timer1Timer();
    };
    showCard();
    fx.AnswerButton()->click();
    ASSERT_EQ(f.StatusText, "标准答案已经读入");
    ASSERT_EQ(f.Session->session.recordCount, 1);

    io->Unplug("/dev/video0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fx.Camera().Streaming(); }, 20000));
    const QImage lastShown = fx.ImageView()->pixmap().toImage();
    fx.driver->findChild<FrameTimer*>()->Timer1Timer();
    // The preview keeps the last picture, with the notice written over it.
    EXPECT_NE(fx.ImageView()->pixmap().toImage(), lastShown);
    EXPECT_EQ(f.findChild<QTextEdit*>(QStringLiteral("MemoTiShi"))->toPlainText().toStdString(),
              "摄像头没有画面了（可能已被拔出）。请检查摄像头的连接，然后在“连接摄像头”页重新连接。");
    const QImage withNotice = fx.ImageView()->pixmap().toImage();
    fx.driver->findChild<FrameTimer*>()->Timer1Timer();
    EXPECT_EQ(fx.ImageView()->pixmap().toImage(), withNotice);  // said once, then left alone
    f.StatusText.clear();
    fx.prompts.shown.clear();
    fx.sound.played.clear();
    fx.AnswerButton()->click();
    EXPECT_EQ(fx.prompts.Texts(),
              (std::vector<std::string>{"没有发现可以使用的摄像头,请检查摄像头是否已经连接好了。"}));
    EXPECT_TRUE(f.StatusText.empty()) << f.StatusText;
    EXPECT_TRUE(fx.sound.played.empty());
    EXPECT_EQ(f.Session->session.records[0].readCount, 1);

    io->Replug("/dev/video0");
    f.SetActivePage(2);
    f.BtnConn->click();
    ASSERT_TRUE(fx.Camera().Streaming());
    fx.EnterMarkingPage(f);
    showCard();
    fx.prompts.shown.clear();
    fx.AnswerButton()->click();
    EXPECT_EQ(f.StatusText, "结果和上次相同");  // the same card read again, straight after
    EXPECT_EQ(f.Session->session.records[0].readCount, 2);
    f.Session->unsavedChanges = false;
}

// `LayOutPreview`: on the marking page the preview takes its control's size,
// with the frame at full height, 4:3, centred; resizing the window and moving
// the splitter lay it out again; on other pages nothing is drawn.
// A camera another program holds opens but never streams: the camera page
// says so over its picture instead of staying blank, and says it again after
// the next "连接摄像头" while the camera is still held.
TEST(MarkingPage, ACameraAnotherProgramHoldsIsSaidOnTheCameraPage)
{
    auto io = std::make_shared<FakeV4l2Io>();
    FakeDevice held;
    held.busy = true;
    io->devices["/dev/video0"] = held;
    MarkingPage fx(io);
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    ASSERT_EQ(f.ActivePage(), 2);
    ASSERT_EQ(fx.Camera().Streaming(), false);
    QLabel* picture = f.findChild<QLabel*>(QStringLiteral("ImageCheShi"));
    EXPECT_TRUE(picture->pixmap().isNull());  // the illustration went at the connection
    fx.driver->findChild<FrameTimer*>()->Timer1Timer();
    const QImage told = picture->pixmap().toImage();
    EXPECT_FALSE(told.isNull());
    fx.driver->findChild<FrameTimer*>()->Timer1Timer();
    EXPECT_EQ(picture->pixmap().toImage(), told);  // said once

    picture->setPixmap(QPixmap());
    f.BtnConn->click();
    fx.driver->findChild<FrameTimer*>()->Timer1Timer();
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_TRUE(fx.prompts.shown.empty());
}

TEST(MarkingPage, PreviewFollowsTheWindowAndTheSplitter)
{
    MarkingPage fx(std::make_shared<OneCard>(cardprint::DemoTemplateName(), false));
    TMainForm& f = fx.Open(cardprint::DemoTemplateName());
    QLabel* view = fx.ImageView();
    ASSERT_NE(view, nullptr);
    auto laidOut = [&] {
        const QImage shown = view->pixmap().toImage();
        if (shown.size() != view->size())
            return false;
        // Background beside the frame, where the preview rectangle leaves room.
        const QRect r = PreviewRectFor(view->size());
        return r.x() <= 0 || shown.pixelColor(r.x() / 2, view->height() / 2) == QColor(173, 190, 214);
    };

    f.resize(1000, 760);
    QApplication::processEvents();
    EXPECT_TRUE(view->pixmap().isNull());  // not on the marking page: nothing drawn

    fx.EnterMarkingPage(f);
    QApplication::processEvents();
    EXPECT_TRUE(laidOut());

    f.resize(1200, 800);
    QApplication::processEvents();
    EXPECT_TRUE(laidOut()) << view->size().width() << "x" << view->size().height();

    const QList<int> sizes = f.Splitter1->sizes();
    f.Splitter1->setSizes({300, sizes.value(0) + sizes.value(1) - 300});
    emit f.Splitter1->splitterMoved(300, 1);
    QApplication::processEvents();
    EXPECT_EQ(view->pixmap().height(), view->height());
    EXPECT_TRUE(laidOut());

    // A tick shows the frame inside the laid-out rectangle.
    fx.Frames(20);
    const QImage shown = view->pixmap().toImage();
    const QRect r = PreviewRectFor(view->size());
    EXPECT_NE(shown.pixelColor(r.center()), QColor(173, 190, 214));
}

} // namespace
