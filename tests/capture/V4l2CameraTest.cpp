// The V4L2 camera against a fake device: enumeration, format negotiation,
// streaming into the frame, unplugging, and the picture controls.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CaptureTestSupport.h"
#include "FakeV4l2.h"
#include "capture/CameraEnumeration.h"
#include "capture/CaptureSession.h"
#include "capture/SampleConversion.h"
#include "capture/V4l2Camera.h"
#include "capture/VirtualCamera.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

std::shared_ptr<FakeV4l2Io> MakeIo(std::initializer_list<std::pair<const char*, FakeDevice>> list)
{
    auto io = std::make_shared<FakeV4l2Io>();
    for (auto& [path, dev] : list)
        io->devices[path] = dev;
    return io;
}

FakeDevice Named(const char* card, uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING)
{
    FakeDevice d;
    d.card = card;
    d.caps = caps;
    return d;
}

// Waits for the capture thread to hand over `count` samples (no timing is asserted:
// the generous limit is for a loaded or sanitized machine).
bool WaitForSamples(CaptureSession& session, uint64_t count)
{
    for (int i = 0; i < 4000 && session.Callback().SampleCount() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return session.Callback().SampleCount() >= count;
}

bool WaitUntilEnded(CameraSource& source)
{
    for (int i = 0; i < 4000 && source.Streaming(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !source.Streaming();
}

TEST(EnumerateCameras, CaptureDevicesOnlyAtMostFourNamesByCard)
{
    auto io = MakeIo({{"/dev/video0", Named("Cam A")},
                      {"/dev/video1", Named("Cam A meta", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING)},
                      {"/dev/video2", Named("Cam B")},
                      {"/dev/video3", Named("Output", V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING)},
                      {"/dev/video4", Named("Cam C")},
                      {"/dev/video5", Named("Cam D")},
                      {"/dev/video6", Named("Cam E")}});
    CameraTable table;
    bool virtualMade = false;
    EnumerateCameras(table, io, [&] {
        virtualMade = true;
        return std::shared_ptr<CameraSource>(std::make_shared<ManualSource>(subtype::Yuy2));
    });
    ASSERT_EQ(table.count, 4);
    EXPECT_EQ(table.entries[0].name, "Cam A");
    EXPECT_EQ(table.entries[1].name, "Cam B");
    EXPECT_EQ(table.entries[2].name, "Cam C");
    EXPECT_EQ(table.entries[3].name, "Cam D");
    EXPECT_FALSE(virtualMade);  // no place left
    // The fifth capture device is not even opened.
    EXPECT_EQ(std::count(io->opened.begin(), io->opened.end(), "/dev/video6"), 0);
    EXPECT_EQ(io->Device("/dev/video0").opens, 1);
}

TEST(EnumerateCameras, VirtualCameraAfterTheRealOnes)
{
    auto io = MakeIo({{"/dev/video0", Named("USB Camera")}});
    CameraTable table;
    EnumerateCameras(table, io, [] {
        return std::shared_ptr<CameraSource>(
            std::make_shared<VirtualCamera>(nullptr, subtype::Yuy2, VirtualCamera::Pace::Manual));
    });
    ASSERT_EQ(table.count, 2);
    EXPECT_EQ(table.entries[0].name, "USB Camera");
    EXPECT_EQ(table.entries[1].name, "虚拟摄像头（演示）");

    auto none = MakeIo({});
    EnumerateCameras(table, none, {});
    EXPECT_EQ(table.count, 0);
    EXPECT_FALSE(table.entries[0].filter);
}

struct FormatCase {
    uint32_t pixelFormat;
    int32_t subtype;
    int pixelBytes;
};

class Negotiation : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Negotiation, FormatInForceGivesSubtypeThen640x480At10fps)
{
    FakeDevice dev = Named("Cam");
    dev.pixelFormat = GetParam().pixelFormat;
    auto io = MakeIo({{"/dev/video0", dev}});
    auto cam = std::make_shared<V4l2Camera>(io, "/dev/video0", "Cam");
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(cam));
    EXPECT_EQ(session.SourceSubtype(), GetParam().subtype);
    EXPECT_EQ(session.PixelBytes(), GetParam().pixelBytes);
    const FakeDevice& d = io->Device("/dev/video0");
    ASSERT_EQ(d.setFormats.size(), 1u);
    EXPECT_EQ(d.setFormats[0].fmt.pix.width, 640u);
    EXPECT_EQ(d.setFormats[0].fmt.pix.height, 480u);
    EXPECT_EQ(d.setFormats[0].fmt.pix.pixelformat, GetParam().pixelFormat);
    EXPECT_EQ(d.timePerFrame.numerator, 1u);
    EXPECT_EQ(d.timePerFrame.denominator, 10u);
    EXPECT_TRUE(d.streaming);
    EXPECT_EQ(session.FrameBitmap().Width(), 640);
    EXPECT_EQ(session.FrameBitmap().Height(), 480);
    session.Release();
    EXPECT_FALSE(io->Device("/dev/video0").streaming);
}

INSTANTIATE_TEST_SUITE_P(V4l2, Negotiation,
                         ::testing::Values(FormatCase{V4L2_PIX_FMT_YUYV, subtype::Yuy2, 4},
                                           FormatCase{V4L2_PIX_FMT_MJPEG, subtype::Mjpg, 3},
                                           FormatCase{V4L2_PIX_FMT_YUV420, subtype::I420, 4},
                                           FormatCase{V4L2_PIX_FMT_BGR24, subtype::Rgb, 3},
                                           // Not converted: the code is kept, the pixel format stays as it was (3).
                                           FormatCase{V4L2_PIX_FMT_NV12, int32_t(V4L2_PIX_FMT_NV12), 3}));

TEST(V4l2Streaming, YuyvFrameReachesTheBitmapTurned)
{
    auto io = MakeIo({{"/dev/video0", Named("Cam")}});
    auto cam = std::make_shared<V4l2Camera>(io, "/dev/video0", "Cam");
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(cam));
    EXPECT_FALSE(session.ConvertNewestSample());  // nothing delivered yet

    std::vector<uint8_t> sample(Yuy2SampleBytes(W, H));
    for (size_t i = 0; i < sample.size(); i += 4) {
        sample[i] = 100;
        sample[i + 1] = 128;
        sample[i + 2] = 100;
        sample[i + 3] = 128;
    }
    // The camera's bottom-right pixel pair: Y 200.
    sample[sample.size() - 4] = 200;
    sample[sample.size() - 2] = 200;
    ASSERT_TRUE(io->PushFrame("/dev/video0", sample));
    ASSERT_TRUE(WaitForSamples(session, 1));
    ASSERT_TRUE(session.ConvertNewestSample());
    EXPECT_EQ(PixelAt(session.FrameBitmap().Pixels(), 0, 0), ExpectedPixel(200, 128, 128));
    EXPECT_EQ(PixelAt(session.FrameBitmap().Pixels(), 2, 0), ExpectedPixel(100, 128, 128));
    // The driver got its buffer back and can deliver again.
    EXPECT_TRUE(io->PushFrame("/dev/video0", sample));
}

TEST(V4l2Streaming, Bgr24RowsArriveBottomUp)
{
    FakeDevice dev = Named("Cam");
    dev.pixelFormat = V4L2_PIX_FMT_BGR24;
    auto io = MakeIo({{"/dev/video0", dev}});
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(std::make_shared<V4l2Camera>(io, "/dev/video0", "Cam")));
    std::vector<uint8_t> sample(size_t(W) * H * 3, 50);
    sample[0] = 1;  // V4L2 rows run top-down: the camera's top-left pixel
    sample[sample.size() - 3] = 9;  // its bottom-right pixel
    ASSERT_TRUE(io->PushFrame("/dev/video0", sample));
    ASSERT_TRUE(WaitForSamples(session, 1));
    ASSERT_TRUE(session.ConvertNewestSample());
    EXPECT_EQ(PixelAt(session.FrameBitmap().Pixels(), 0, 0).b, 9);
    EXPECT_EQ(PixelAt(session.FrameBitmap().Pixels(), W - 1, H - 1).b, 1);
}

TEST(V4l2Streaming, CameraRefusing640x480NeverOverrunsTheBitmap)
{
    FakeDevice small = Named("Small");
    small.accepts640x480 = false;  // keeps 320 × 240: samples are too short
    auto io = MakeIo({{"/dev/video0", small}});
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(std::make_shared<V4l2Camera>(io, "/dev/video0", "Small")));
    ASSERT_TRUE(io->PushFrame("/dev/video0", std::vector<uint8_t>(320 * 240 * 2, 0x80)));
    ASSERT_TRUE(WaitForSamples(session, 1));
    EXPECT_FALSE(session.ConvertNewestSample());

    FakeDevice big = Named("Big");
    big.accepts640x480 = false;
    big.fallbackWidth = 1280;
    big.fallbackHeight = 720;
    big.pixelFormat = V4L2_PIX_FMT_BGR24;
    auto io2 = MakeIo({{"/dev/video0", big}});
    CaptureSession session2;
    ASSERT_TRUE(session2.StartCapture(std::make_shared<V4l2Camera>(io2, "/dev/video0", "Big")));
    ASSERT_TRUE(io2->PushFrame("/dev/video0", std::vector<uint8_t>(size_t(1280) * 720 * 3, 0x40)));
    ASSERT_TRUE(WaitForSamples(session2, 1));
    EXPECT_TRUE(session2.ConvertNewestSample());
    EXPECT_EQ(session2.FrameBitmap().SizeBytes(), size_t(W) * H * 3);
}

TEST(V4l2Streaming, UnpluggedCameraEndsQuietlyAndCanBeConnectedAgain)
{
    auto io = MakeIo({{"/dev/video0", Named("Cam")}});
    CameraTable table;
    EnumerateCameras(table, io, {});
    ASSERT_EQ(table.count, 1);
    CaptureSession session;
    ASSERT_TRUE(session.StartCapture(table.entries[0].filter));
    std::vector<uint8_t> sample(Yuy2SampleBytes(W, H), 0x80);
    ASSERT_TRUE(io->PushFrame("/dev/video0", sample));
    ASSERT_TRUE(WaitForSamples(session, 1));
    EXPECT_TRUE(session.ConvertNewestSample());

    io->Unplug("/dev/video0");
    ASSERT_TRUE(WaitUntilEnded(*session.CaptureFilter()));
    EXPECT_FALSE(session.ConvertNewestSample());  // the tick ends at its first step
    EXPECT_FALSE(session.ConvertNewestSample());

    // Connecting again with the camera gone finds nothing.
    session.Release();
    EnumerateCameras(table, io, {});
    EXPECT_EQ(table.count, 0);

    io->Replug("/dev/video0");
    EnumerateCameras(table, io, {});
    ASSERT_EQ(table.count, 1);
    ASSERT_TRUE(session.StartCapture(table.entries[0].filter));
    ASSERT_TRUE(io->PushFrame("/dev/video0", sample));
    ASSERT_TRUE(WaitForSamples(session, 1));
    EXPECT_TRUE(session.ConvertNewestSample());
}

FakeControl MakeControl(uint32_t id, const char* name, uint32_t type, int32_t min, int32_t max, int32_t value,
                        std::vector<std::string> menu = {})
{
    FakeControl c;
    c.query.id = id;
    std::strncpy(reinterpret_cast<char*>(c.query.name), name, sizeof(c.query.name) - 1);
    c.query.type = type;
    c.query.minimum = min;
    c.query.maximum = max;
    c.query.step = 1;
    c.query.default_value = value;
    c.value = value;
    c.menu = std::move(menu);
    return c;
}

TEST(V4l2Controls, ListedReadAndAppliedAtOnce)
{
    FakeDevice dev = Named("Cam");
    dev.controls = {MakeControl(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 128),
                    MakeControl(V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 100, 32),
                    MakeControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0,
                                1, 1),
                    MakeControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 3,
                                {"Auto Mode", "Manual Mode", "", "Aperture Priority Mode"}),
                    MakeControl(V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", V4L2_CTRL_TYPE_INTEGER, 0, 250, 0)};
    FakeControl disabled = MakeControl(V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, -10, 10, 0);
    disabled.query.flags = V4L2_CTRL_FLAG_DISABLED;
    dev.controls.push_back(disabled);
    auto io = MakeIo({{"/dev/video0", dev}});
    V4l2Camera cam(io, "/dev/video0", "Cam");

    const auto list = cam.ListControls();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].name, "Brightness");
    EXPECT_EQ(list[0].value, 128);
    EXPECT_EQ(list[0].maximum, 255);
    EXPECT_EQ(list[1].name, "Contrast");
    auto find = [&](uint32_t id) { return *std::find_if(list.begin(), list.end(), [&](auto& c) { return c.id == id; }); };
    EXPECT_EQ(find(V4L2_CID_AUTO_WHITE_BALANCE).kind, CameraControl::Kind::Boolean);
    const CameraControl exposure = find(V4L2_CID_EXPOSURE_AUTO);
    EXPECT_EQ(exposure.kind, CameraControl::Kind::Menu);
    ASSERT_EQ(exposure.menu.size(), 3u);  // the empty index 2 is not offered
    EXPECT_EQ(exposure.menu[2].first, 3);
    EXPECT_EQ(exposure.menu[2].second, "Aperture Priority Mode");

    EXPECT_TRUE(cam.SetControl(V4L2_CID_BRIGHTNESS, 200));
    int32_t v = 0;
    EXPECT_TRUE(cam.GetControl(V4L2_CID_BRIGHTNESS, v));
    EXPECT_EQ(v, 200);
    EXPECT_EQ(io->Device("/dev/video0").controls[0].value, 200);
    EXPECT_FALSE(cam.SetControl(V4L2_CID_BRIGHTNESS, 999));  // refused by the driver
    EXPECT_FALSE(cam.SetControl(V4L2_CID_HUE + 1000, 1));

    io->Unplug("/dev/video0");
    EXPECT_TRUE(cam.ListControls().empty());
    EXPECT_FALSE(cam.SetControl(V4L2_CID_BRIGHTNESS, 10));
}

} // namespace
