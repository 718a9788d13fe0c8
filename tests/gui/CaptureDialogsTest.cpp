// The camera chooser, "连接摄像头" and "画质调节" on the offscreen platform,
// with V4L2 devices faked at the ioctl boundary.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QTreeWidget>
#include <QPushButton>

#include "capture/FakeV4l2.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"
#include "capture/ui/CameraControlsDialog.h"
#include "capture/ui/CaptureController.h"
#include "capture/ui/CameraChooser.h"

namespace {

FakeDevice Camera(const char* card)
{
    FakeDevice d;
    d.card = card;
    return d;
}

FakeControl Control(uint32_t id, const char* name, uint32_t type, int32_t min, int32_t max, int32_t value)
{
    FakeControl c;
    c.query.id = id;
    std::strncpy(reinterpret_cast<char*>(c.query.name), name, sizeof(c.query.name) - 1);
    c.query.type = type;
    c.query.minimum = min;
    c.query.maximum = max;
    c.query.step = 1;
    c.query.default_value = (min + max) / 2;
    c.value = value;
    return c;
}

TEST(TFormSheBei, ListsCamerasAndHandsBackTheChoice)
{
    auto io = std::make_shared<FakeV4l2Io>();
    io->devices["/dev/video0"] = Camera("Left camera");
    io->devices["/dev/video1"] = Camera("Right camera");
    CameraTable table;
    EnumerateCameras(table, io, {});
    TFormSheBei dialog(table);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("摄像头设备列表"));
    EXPECT_EQ(dialog.BtnOK->text(), QStringLiteral("确定"));
    EXPECT_EQ(dialog.SelectedIndex, 0);
    std::vector<std::string> messages;
    dialog.SetMessageSink([&](const std::string& m) { messages.push_back(m); });

    dialog.show();
    QTreeWidget* list = dialog.ListView1;
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("序号"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("设备名称"));
    EXPECT_EQ(list->columnWidth(0), 40);
    EXPECT_EQ(list->columnWidth(1), 200);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "2");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "Right camera");
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));

    list->setCurrentItem(list->topLevelItem(1));
    dialog.BtnOK->click();
    EXPECT_EQ(dialog.SelectedIndex, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    // Shown again: the first item is selected afresh; without a selection "确定" refuses.
    dialog.show();
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
    list->clearSelection();
    dialog.setResult(0);
    dialog.BtnOK->click();
    EXPECT_EQ(messages, std::vector<std::string>{"请先选择一个摄像头设备！"});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.SelectedIndex, 1);
    dialog.reject();  // closed otherwise: the choice stays
    EXPECT_EQ(dialog.SelectedIndex, 1);
}

struct ControllerFixture : ::testing::Test {
    std::shared_ptr<FakeV4l2Io> io = std::make_shared<FakeV4l2Io>();
    std::vector<std::string> notices;
    int chooserRuns = 0;
    int controlsRuns = 0;
    std::function<void(TFormSheBei&)> choose = [](TFormSheBei& d) { d.reject(); };
    std::function<void(QWidget&)> inspectControls = [](QWidget&) {};
    bool withVirtual = false;

    std::unique_ptr<CaptureController> Make()
    {
        CaptureController::Services s;
        s.io = io;
        if (withVirtual)
            s.makeVirtual = [] {
                return std::shared_ptr<CameraSource>(
                    std::make_shared<VirtualCamera>(nullptr, subtype::Yuy2, VirtualCamera::Pace::Manual));
            };
        s.notice = [this](const std::string& t) { notices.push_back(t); };
        s.runChooser = [this](TFormSheBei& d) {
            ++chooserRuns;
            d.show();
            choose(d);
        };
        s.runControls = [this](QWidget& w) {
            ++controlsRuns;
            inspectControls(w);
        };
        return std::make_unique<CaptureController>(nullptr, s);
    }
};

TEST_F(ControllerFixture, NoCameraSaysSoAndHoldsNothing)
{
    auto c = Make();
    EXPECT_FALSE(c->Connect());
    EXPECT_EQ(notices, std::vector<std::string>{"没有发现可以使用的摄像头,请检查摄像头是否已经连接好了。"});
    EXPECT_EQ(c->CameraCount(), 0);
    EXPECT_FALSE(c->Session().Connected());
    c->ShowCameraProperties();  // no camera held: nothing
    EXPECT_EQ(controlsRuns, 0);
}

TEST_F(ControllerFixture, OneCameraStartsWithoutTheChooser)
{
    io->devices["/dev/video0"] = Camera("Only");
    auto c = Make();
    EXPECT_TRUE(c->Connect());
    EXPECT_EQ(chooserRuns, 0);
    EXPECT_TRUE(c->Session().Connected());
    EXPECT_TRUE(io->Device("/dev/video0").streaming);
    // Pressing again replaces the capture.
    EXPECT_TRUE(c->Connect());
    EXPECT_TRUE(io->Device("/dev/video0").streaming);
    EXPECT_EQ(io->Device("/dev/video0").setFormats.size(), 2u);
}

TEST_F(ControllerFixture, ChooserClosedWithoutOkTakesTheFirstCamera)
{
    io->devices["/dev/video0"] = Camera("First");
    withVirtual = true;
    auto c = Make();
    EXPECT_TRUE(c->Connect());
    EXPECT_EQ(chooserRuns, 1);
    EXPECT_EQ(c->CameraCount(), 2);
    EXPECT_EQ(c->Session().CaptureFilter()->FriendlyName(), "First");

    choose = [](TFormSheBei& d) {
        d.ListView1->setCurrentItem(d.ListView1->topLevelItem(1));
        d.BtnOK->click();
    };
    EXPECT_TRUE(c->Connect());
    EXPECT_EQ(c->Session().CaptureFilter()->FriendlyName(), "虚拟摄像头（演示）");
    EXPECT_FALSE(io->Device("/dev/video0").streaming);
    // The virtual camera has no settings: "画质调节" does nothing.
    c->ShowCameraProperties();
    EXPECT_EQ(controlsRuns, 0);
}

TEST_F(ControllerFixture, ControlsDialogAppliesChangesAtOnce)
{
    FakeDevice d = Camera("Cam");
    d.controls = {Control(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 100),
                  Control(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1),
                  Control(V4L2_CID_FOCUS_AUTO, "Focus, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 0)};
    io->devices["/dev/video0"] = d;
    auto c = Make();
    ASSERT_TRUE(c->Connect());
    inspectControls = [this](QWidget& w) {
        auto& dialog = static_cast<CameraControlsDialog&>(w);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("摄像头设备"));
        auto* slider = qobject_cast<QSlider*>(dialog.ControlWidget(V4L2_CID_BRIGHTNESS));
        ASSERT_TRUE(slider);
        EXPECT_EQ(slider->value(), 100);
        slider->setValue(180);
        EXPECT_EQ(io->Device("/dev/video0").controls[0].value, 180);
        auto* wb = qobject_cast<QCheckBox*>(dialog.ControlWidget(V4L2_CID_AUTO_WHITE_BALANCE));
        ASSERT_TRUE(wb);
        EXPECT_TRUE(wb->isChecked());
        wb->setChecked(false);
        EXPECT_EQ(io->Device("/dev/video0").controls[1].value, 0);
        dialog.RestoreDefaults();
        EXPECT_EQ(io->Device("/dev/video0").controls[0].value, 127);
        EXPECT_EQ(slider->value(), 127);
    };
    c->ShowCameraProperties();
    EXPECT_EQ(controlsRuns, 1);
}

TEST(FrameToImage, TopRowFirstAndColoursKept)
{
    FrameBuffer frame(4, 2, 4);
    uint8_t* bottom = frame.Pixels().Row(0);
    bottom[0] = 10;  // blue
    bottom[1] = 20;
    bottom[2] = 30;
    const QImage image = FrameToImage(frame);
    EXPECT_EQ(image.pixel(0, 1), qRgb(30, 20, 10));
    FrameBuffer rgb(4, 2, 3);
    rgb.Pixels().TopRow(0)[2] = 200;
    EXPECT_EQ(qRed(FrameToImage(rgb).pixel(0, 0)), 200);
    EXPECT_EQ(PreviewRectFor(QSize(1000, 480)), QRect(180, 0, 640, 480));
}

} // namespace

#include <chrono>
#include <thread>

#include "capture/ui/CaptureCameraPort.h"
#include "platform/qt/ScriptedPrompts.h"

namespace {

TEST(CaptureCameraPort, NoCameraNoticeCaptionedAsAWarning)
{
    ScriptedPrompts prompts;
    CaptureController::Services s;
    s.io = std::make_shared<FakeV4l2Io>();
    s.makeVirtual = [] { return std::shared_ptr<CameraSource>(); };
    CaptureCameraPort port(prompts, s);
    int connected = 0;
    port.onConnected = [&] { ++connected; };
    port.Connect();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, PromptKind::StartupWarning);
    EXPECT_EQ(prompts.shown[0].text, "没有发现可以使用的摄像头,请检查摄像头是否已经连接好了。");
    EXPECT_EQ(port.CameraCount(), 0);
    EXPECT_EQ(connected, 0);
}

TEST(CaptureCameraPort, WithoutCamerasTheDemoVirtualCameraPlays)
{
    ScriptedPrompts prompts;
    CaptureController::Services s;
    s.io = std::make_shared<FakeV4l2Io>();
    CaptureCameraPort port(prompts, s);
    int connected = 0;
    port.onConnected = [&] { ++connected; };
    port.Connect();
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_EQ(port.CameraCount(), 1);
    EXPECT_EQ(connected, 1);
    CaptureSession& session = port.Controller().Session();
    EXPECT_EQ(session.CaptureFilter()->FriendlyName(), "虚拟摄像头（演示）");
    for (int i = 0; i < 2000 && session.Callback().SampleCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(session.ConvertNewestSample());
    port.Release();
    EXPECT_FALSE(session.ConvertNewestSample());
}

} // namespace

#include "app/MarkingSettings.h"
#include "capture/ui/FrameTimer.h"

namespace {

struct CountingView final : FrameLoopView {
    int camera = 0;
    void ShowCameraTest(const FrameBuffer&) override { ++camera; }
    void ShowMarkingPreview(const FrameBuffer&) override {}
    void ShowRescoreHint() override {}
    void DrawStatusOverlay() override {}
    void OutlinePreview() override {}
    void ClearStatusText() override {}
};
struct NoPreparation final : FramePreparation {
    void KeepColourFrame(const FrameBuffer&) override {}
    void RestoreAndBinarise(FrameBuffer&) override {}
};

TEST(FrameTimer, TicksTheLoopAndPausesAroundAnAttempt)
{
    CaptureSession session;
    auto camera = std::make_shared<VirtualCamera>(nullptr, subtype::Rgb, VirtualCamera::Pace::Manual);
    ASSERT_TRUE(session.StartCapture(camera));
    CountingView view;
    NoPreparation prep;
    SteadyTickClock clock;
    MarkingSettings settings;
    FrameLoop loop(session, prep, view, clock, settings, {});
    FrameTimer timer(loop, [] { return ActivePage::CameraTest; });
    EXPECT_EQ(timer.Timer1->objectName(), "Timer1");
    EXPECT_EQ(timer.Timer1->interval(), 100);
    EXPECT_FALSE(timer.Enabled());
    camera->DeliverNextFrame();
    timer.Timer1Timer();
    EXPECT_EQ(view.camera, 1);
    timer.Enable();
    bool stoppedDuring = false;
    timer.WithTimerStopped([&] { stoppedDuring = !timer.Enabled(); });
    EXPECT_TRUE(stoppedDuring);
    EXPECT_TRUE(timer.Enabled());
    timer.Disable();
    timer.WithTimerStopped([] {});
    EXPECT_FALSE(timer.Enabled());
}

} // namespace
