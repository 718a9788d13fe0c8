#include "capture/FrameLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "recognition/CpuFeatures.h"
#include "recognition/PixelLanes.h"
#include "recognition/ImagePrimitives.h"

namespace {

// The settings offer two seconds at most; a minute leaves room for other
// values a file may hold on purpose.
constexpr int32_t MaxAutoDelayMs = 60 * 1000;

void PutYellow(const BitmapView& f, int x, int topRow)
{
    if (x < 0 || x >= f.width || topRow < 0 || topRow >= f.height)
        return;
    uint8_t* p = f.TopRow(topRow) + size_t(x) * size_t(f.bytesPerPixel);
    p[0] = 0;
    p[1] = 255;
    p[2] = 255;
}

} // namespace

int64_t SteadyTickClock::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Grey differences of every second pixel of one row in grey mode 0, pixels
// of `Bytes` bytes. The mode-0 grey is pure arithmetic, so the compiler
// vectorises the row; a row's sum (at most 320 × 255 on a 640-pixel row)
// fits an int32 for any row under 16 million pixels.
template <int Bytes>
static inline int64_t PlainRowMotion(const uint8_t* __restrict a, const uint8_t* __restrict c, int samples)
{
    int32_t sum = 0;
    for (int k = 0; k < samples; ++k) {
        const uint8_t* p = a + 2 * Bytes * k;
        const uint8_t* q = c + 2 * Bytes * k;
        const int ga = (30 * p[2] + 59 * p[1] + 11 * p[0]) / 100;
        const int gc = (30 * q[2] + 59 * q[1] + 11 * q[0]) / 100;
        sum += ga > gc ? ga - gc : gc - ga;
    }
    return sum;
}

// One clone set per pixel size (multiversioned functions cannot be templates).
SCORIVO_SIMD_CLONES static int64_t PlainRowMotion3(const uint8_t* __restrict a,
                                                    const uint8_t* __restrict c, int samples)
{
    return PlainRowMotion<3>(a, c, samples);
}

SCORIVO_SIMD_CLONES static int64_t PlainRowMotion4(const uint8_t* __restrict a,
                                                    const uint8_t* __restrict c, int samples)
{
    return PlainRowMotion<4>(a, c, samples);
}

#if defined(__x86_64__) || defined(__i386__)
// GCC 12's reduction and unmasked absolute value warn of an uninitialised
// register inside its own header: the lanes are summed from memory.
[[gnu::target("avx512f")]] static inline int64_t LaneSum(__m512i v)
{
    alignas(64) int32_t lanes[16];
    _mm512_store_si512(lanes, v);
    int64_t sum = 0;
    for (int32_t lane : lanes)
        sum += lane;
    return sum;
}

// PlainRowMotion3 sixteen samples (96 bytes of a row) a step, on processors
// with byte permutes across a register: two loads of each row, the sampled
// pixels' bytes permuted to one lane each. The loads are masked to the row.
[[gnu::target("avx512f,avx512bw,avx512vbmi")]] static int64_t RowMotion3Vbmi(const uint8_t* a, const uint8_t* c,
                                                                             int samples)
{
    // Lane k's bytes from sample k's at 6k, 6k + 1, 6k + 2 (the fourth is
    // not weighted: any byte of the two loads).
    alignas(64) static constexpr uint8_t SampleBytes[64] = {
        0,  1,  2,  0,  6,  7,  8,  0,  12, 13, 14, 0,  18, 19, 20, 0,  24, 25, 26, 0,  30, 31,
        32, 0,  36, 37, 38, 0,  42, 43, 44, 0,  48, 49, 50, 0,  54, 55, 56, 0,  60, 61, 62, 0,
        66, 67, 68, 0,  72, 73, 74, 0,  78, 79, 80, 0,  84, 85, 86, 0,  90, 91, 92, 0};
    const __m512i index = _mm512_load_si512(SampleBytes);
    __m512i sum = _mm512_setzero_si512();
    for (int k = 0; k < samples; k += 16) {
        // Sixteen samples take bytes 0 to 92 of the step's 96; the last
        // step's fewer end at the last sample's red byte.
        const int bytes = 6 * std::min(16, samples - k) - 3;
        const __mmask64 first = bytes >= 64 ? ~0ull : (1ull << bytes) - 1;
        const __mmask64 second = bytes > 64 ? (1ull << (bytes - 64)) - 1 : 0;
        const uint8_t* p = a + 6 * std::size_t(k);
        const uint8_t* q = c + 6 * std::size_t(k);
        const __m512i ga = PlainGreyLanes(_mm512_permutex2var_epi8(_mm512_maskz_loadu_epi8(first, p), index,
                                                                 _mm512_maskz_loadu_epi8(second, p + 64)));
        const __m512i gc = PlainGreyLanes(_mm512_permutex2var_epi8(_mm512_maskz_loadu_epi8(first, q), index,
                                                                 _mm512_maskz_loadu_epi8(second, q + 64)));
        sum = _mm512_add_epi32(sum, _mm512_maskz_abs_epi32(0xFFFF, _mm512_sub_epi32(ga, gc)));
    }
    return LaneSum(sum);
}

// PlainRowMotion4 sixteen pixels (eight samples) a load: the unsampled
// pixels' bytes are weighted 0, so their lanes' greys are 0 in both rows.
[[gnu::target("avx512f,avx512bw")]] static int64_t RowMotion4Avx512(const uint8_t* a, const uint8_t* c, int samples)
{
    const __m512i sampled = _mm512_set1_epi64(0xFFFFFFFF);
    __m512i sum = _mm512_setzero_si512();
    for (int k = 0; k < samples; k += 8) {
        // The last load ends at the last sample's fourth byte.
        const int bytes = 8 * std::min(8, samples - k) - 4;
        const __mmask64 mask = bytes >= 64 ? ~0ull : (1ull << bytes) - 1;
        const uint8_t* p = a + 8 * std::size_t(k);
        const uint8_t* q = c + 8 * std::size_t(k);
        const __m512i ga = PlainGreyLanes(_mm512_and_si512(_mm512_maskz_loadu_epi8(mask, p), sampled));
        const __m512i gc = PlainGreyLanes(_mm512_and_si512(_mm512_maskz_loadu_epi8(mask, q), sampled));
        sum = _mm512_add_epi32(sum, _mm512_maskz_abs_epi32(0xFFFF, _mm512_sub_epi32(ga, gc)));
    }
    return LaneSum(sum);
}
#endif

static int64_t RowMotion(const uint8_t* a, const uint8_t* c, int width, int pixelBytes, int greyMode)
{
    const int samples = (width + 1) / 2;
#if defined(__x86_64__) || defined(__i386__)
    if (greyMode == GreyPlain && pixelBytes == 4 && cpu::HasAvx512())
        return RowMotion4Avx512(a, c, samples);
    if (greyMode == GreyPlain && pixelBytes == 3 && cpu::HasAvx512Vbmi())
        return RowMotion3Vbmi(a, c, samples);
#endif
    if (greyMode == GreyPlain && pixelBytes == 4)
        return PlainRowMotion4(a, c, samples);
    if (greyMode == GreyPlain && pixelBytes == 3)
        return PlainRowMotion3(a, c, samples);
    int64_t sum = 0;
    for (int k = 0; k < samples; ++k, a += 2 * pixelBytes, c += 2 * pixelBytes)
        sum += std::abs(GreyOf(a, greyMode) - GreyOf(c, greyMode));
    return sum;
}

static int MotionValue(int64_t sum, int width, int height)
{
    const int64_t divisor = int64_t(width) * height * 100 / 3072;
    if (divisor <= 0)
        return -1;
    const int64_t g = sum / divisor;
    return g == 0 ? -1 : int(g);
}

int64_t MotionSum(const FrameBuffer& previous, const FrameBuffer& current, int greyMode)
{
    if (!previous.Exists() || !current.Exists() || !previous.SameFormat(current) || current.PixelBytes() < 3)
        return -1;
    const BitmapView a = previous.Pixels();
    const BitmapView b = current.Pixels();
    int64_t sum = 0;
    for (int y = 0; y < b.height; y += 2)
        sum += RowMotion(a.Row(y), b.Row(y), b.width, b.bytesPerPixel, greyMode);
    return sum;
}

int MeasureMotion(const FrameBuffer& previous, const FrameBuffer& current, int greyMode)
{
    const int64_t sum = MotionSum(previous, current, greyMode);
    return sum < 0 ? -1 : MotionValue(sum, current.Width(), current.Height());
}

int MeasureMotionCopying(const FrameBuffer& previous, const FrameBuffer& current, int greyMode, FrameBuffer& copy)
{
    if (!previous.Exists() || !current.Exists() || !previous.SameFormat(current) || current.PixelBytes() < 3)
        return -1;
    if (!copy.SameFormat(current))
        copy.Create(current.Width(), current.Height(), current.PixelBytes());
    const BitmapView a = previous.Pixels();
    const BitmapView b = current.Pixels();
    const BitmapView out = copy.Pixels();
    const std::size_t rowBytes = std::size_t(current.RowBytes());
    int64_t sum = 0;
    for (int y = 0; y < b.height; ++y) {
        if (y % 2 == 0)
            sum += RowMotion(a.Row(y), b.Row(y), b.width, b.bytesPerPixel, greyMode);
        std::memcpy(out.Row(y), b.Row(y), rowBytes);
    }
    return MotionValue(sum, b.width, b.height);
}

void DrawGuides(const BitmapView& f)
{
    if (!f.Valid())
        return;
    const int m = (f.width - f.height) / 2;
    for (int y = 0; y < f.height; ++y) {
        PutYellow(f, m, y);
        PutYellow(f, f.width - m, y);
    }
    // The circle inscribed in the box (w/2 − 5, h/2 − 5) … (w/2 + 5, h/2 + 5).
    const int cx = f.width / 2;
    const int cy = f.height / 2;
    int x = 5, y = 0, err = 1 - x;
    while (x >= y) {
        const int px[8] = {x, y, -y, -x, -x, -y, y, x};
        const int py[8] = {y, x, x, y, -y, -x, -x, -y};
        for (int i = 0; i < 8; ++i)
            PutYellow(f, cx + px[i], cy + py[i]);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

int RearmThreshold(int markLevel)
{
    if (markLevel <= 0)
        return 0;
    if (markLevel == 1)
        return 25;
    if (markLevel == 2)
        return 30;
    if (markLevel == 3)
        return 35;
    if (markLevel <= 5)
        return 40;
    if (markLevel <= 8)
        return 45;
    if (markLevel <= 14)
        return 50;
    return 75;
}

FrameLoop::FrameLoop(CaptureSession& session, FramePreparation& preparation, FrameLoopView& view, TickClock& clock,
                     const MarkingSettings& settings, MarkCallback markCard)
    : session_(session), preparation_(preparation), view_(view), clock_(clock), settings_(settings),
      markCard_(std::move(markCard))
{
}

void FrameLoop::Tick(ActivePage page)
{
    if (!session_.ConvertNewestSample()) {
        const bool lost = session_.Connected() && !session_.Streaming();
        if (lost && page == ActivePage::Marking && !cameraLostShown_) {
            cameraLostShown_ = true;
            view_.ShowCameraLost();
        } else if (lost && page == ActivePage::CameraTest && !cameraTestLostShown_) {
            cameraTestLostShown_ = true;
            view_.ShowCameraTestLost();
        }
        return;
    }
    cameraLostShown_ = false;
    cameraTestLostShown_ = false;
    FrameBuffer& frame = session_.FrameBitmap();
    if (page == ActivePage::CameraTest) {
        view_.ShowCameraTest(frame);
        return;
    }
    if (page != ActivePage::Marking)
        return;
    preparation_.KeepColourFrame(frame);
    DrawGuides(frame.Pixels());
    view_.ShowMarkingPreview(frame);
    preparation_.RestoreAndBinarise(frame);
    if (rescoreHint_)
        view_.ShowRescoreHint();
    if (autoMarking_)
        AutoMarkingStep();
}

void FrameLoop::AutoMarkingStep()
{
    const FrameBuffer& frame = session_.FrameBitmap();
    view_.DrawStatusOverlay();
    // A new connection may have changed the frame's format.
    if (!previousFrame_.SameFormat(frame))
        previousFrame_.Create(frame.Width(), frame.Height(), frame.PixelBytes());
    // The grey mode is plain here: the preparation has just reset it. The
    // frame is copied while it is read; the copy becomes the previous frame
    // unless the tick ends here.
    const int g = MeasureMotionCopying(previousFrame_, frame, GreyPlain, spareFrame_);
    lastMotion_ = g;
    if (g == -1)
        return;
    std::swap(previousFrame_, spareFrame_);

    // A damaged "YJSet.dat" can hold any numbers: a tolerance that is no
    // number or below zero never finds the card still, a delay of days never
    // marks it, and nothing would say why. They count as the normal speed.
    const MarkingSettings normal;
    const bool usable = std::isfinite(settings_.AutoTolerance) && settings_.AutoTolerance >= 0 &&
                        settings_.AutoDelay >= 0 && settings_.AutoDelay <= MaxAutoDelayMs;
    const double autoTolerance = usable ? settings_.AutoTolerance : normal.AutoTolerance;
    const int64_t autoDelay = usable ? settings_.AutoDelay : normal.AutoDelay;

    const int64_t now = clock_.NowMs();
    const bool still = g < 20 && std::abs(prevMotion_ - g) <= double(tolerance_) * autoTolerance;
    if (still) {
        if (now - lastTick_ > autoDelay) {
            markLevel_ = g;
            if (!markedWaiting_) {
                if (markCard_)
                    markCard_();
                markedWaiting_ = true;
            }
            lastTick_ = now;
        }
    } else {
        view_.OutlinePreview();
        lastTick_ = now;
    }

    if (markLevel_ >= 0 && markLevel_ <= 5)
        tolerance_ = 2;
    else if (markLevel_ >= 6 && markLevel_ <= 10)
        tolerance_ = 3;
    else if (markLevel_ >= 11 && markLevel_ <= 15)
        tolerance_ = 4;
    else if (markLevel_ >= 16 && markLevel_ <= 20)
        tolerance_ = 5;

    if (RearmThreshold(markLevel_) < g) {
        markedWaiting_ = false;
        view_.ClearStatusText();
    }
    prevMotion_ = g;
}

std::string FrameLoop::BtnAutoAnswerCardClick(const std::string& missingSelection)
{
    if (!missingSelection.empty())
        return missingSelection;
    markedWaiting_ = false;
    if (autoCaption_ != CaptionAutoOff) {
        autoCaption_ = CaptionAutoOff;
        answerCardEnabled_ = true;
        autoMarking_ = false;
    } else {
        autoCaption_ = CaptionAutoOn;
        answerCardEnabled_ = false;
        autoMarking_ = true;
        view_.ClearStatusText();
    }
    return {};
}
