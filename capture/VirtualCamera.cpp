#include "capture/VirtualCamera.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cctype>
#include <cmath>
#include <cstring>

#include "capture/SampleGrabber.h"
#include "capture/JpegFrame.h"
#include "capture/SampleConversion.h"
#include "capture/ThreadPlacement.h"
#include "platform/Files.h"

namespace {

constexpr int W = CardPictureProvider::Width;
constexpr int H = CardPictureProvider::Height;
constexpr size_t FrameBytes = size_t(W) * H * 3;
constexpr uint8_t EmptyTable[3] = {226, 230, 232};  // light paper, B, G, R

// Deterministic per frame, so a frame renders the same every time.
struct XorShift {
    uint64_t s;
    explicit XorShift(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint64_t Next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

// BT.601 studio range, the inverse of the program's YUV tables.
inline void ToYuv(int b, int g, int r, int& y, int& u, int& v)
{
    y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

void EncodeYuy2(const uint8_t* bgr, std::vector<uint8_t>& out)
{
    out.resize(Yuy2SampleBytes(W, H));
    uint8_t* o = out.data();
    for (int i = 0; i < W * H; i += 2, bgr += 6, o += 4) {
        int y0, u0, v0, y1, u1, v1;
        ToYuv(bgr[0], bgr[1], bgr[2], y0, u0, v0);
        ToYuv(bgr[3], bgr[4], bgr[5], y1, u1, v1);
        o[0] = uint8_t(y0);
        o[1] = uint8_t((u0 + u1 + 1) / 2);
        o[2] = uint8_t(y1);
        o[3] = uint8_t((v0 + v1 + 1) / 2);
    }
}

void EncodeI420(const uint8_t* bgr, std::vector<uint8_t>& out)
{
    out.resize(I420SampleBytes(W, H));
    uint8_t* planeY = out.data();
    uint8_t* planeU = planeY + W * H;
    uint8_t* planeV = planeU + W * H / 4;
    for (int y = 0; y < H; y += 2) {
        for (int x = 0; x < W; x += 2) {
            int su = 0, sv = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const uint8_t* p = bgr + (size_t(y + dy) * W + size_t(x + dx)) * 3;
                    int yy, u, v;
                    ToYuv(p[0], p[1], p[2], yy, u, v);
                    planeY[size_t(y + dy) * W + size_t(x + dx)] = uint8_t(yy);
                    su += u;
                    sv += v;
                }
            planeU[size_t(y / 2) * (W / 2) + size_t(x / 2)] = uint8_t((su + 2) / 4);
            planeV[size_t(y / 2) * (W / 2) + size_t(x / 2)] = uint8_t((sv + 2) / 4);
        }
    }
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

} // namespace

bool ReadBmpBgr(const std::filesystem::path& path, std::vector<uint8_t>& bgr, int& width, int& height)
{
    const auto bytes = files::ReadAll(path, nullptr, MaxPictureFileBytes);
    if (!bytes || bytes->size() < 54)
        return false;
    const auto* d = reinterpret_cast<const uint8_t*>(bytes->data());
    if (d[0] != 'B' || d[1] != 'M')
        return false;
    const uint32_t offset = Le32(d + 10);
    const int32_t w = int32_t(Le32(d + 18));
    const int32_t hRaw = int32_t(Le32(d + 22));
    const int bits = Le16(d + 28);
    const uint32_t compression = Le32(d + 30);
    if (w <= 0 || w > 8192 || hRaw == 0 || hRaw < -8192 || hRaw > 8192 || (bits != 24 && bits != 32) ||
        (compression != 0 && !(compression == 3 && bits == 32)))
        return false;
    const int h = hRaw < 0 ? -hRaw : hRaw;
    const size_t pb = size_t(bits / 8);
    const size_t stride = (size_t(w) * pb + 3) / 4 * 4;
    if (offset > bytes->size() || bytes->size() - offset < stride * size_t(h))
        return false;
    width = w;
    height = h;
    bgr.resize(size_t(w) * size_t(h) * 3);
    for (int r = 0; r < h; ++r) {
        const int fileRow = hRaw > 0 ? h - 1 - r : r;  // positive height: bottom-up rows
        const uint8_t* src = d + offset + size_t(fileRow) * stride;
        uint8_t* dst = bgr.data() + size_t(r) * size_t(w) * 3;
        for (int x = 0; x < w; ++x)
            std::memcpy(dst + size_t(x) * 3, src + size_t(x) * pb, 3);
    }
    return true;
}

FolderPictureProvider::FolderPictureProvider(const std::filesystem::path& folder)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        const std::string ext = Lower(entry.path().extension().string());
        if (ext == ".jpg" || ext == ".jpeg" || ext == ".bmp")
            files_.push_back(entry.path());
    }
    std::sort(files_.begin(), files_.end(),
              [](const auto& a, const auto& b) { return files::ToUtf8(a.filename()) < files::ToUtf8(b.filename()); });
}

bool FolderPictureProvider::Picture(int index, std::vector<uint8_t>& bgr)
{
    if (index < 0 || index >= Count())
        return false;
    const auto& path = files_[size_t(index)];
    std::vector<uint8_t> picture;
    int w = 0, h = 0;
    bool ok = false;
    if (Lower(path.extension().string()) == ".bmp") {
        ok = ReadBmpBgr(path, picture, w, h);
    } else if (const auto bytes = files::ReadAll(path, nullptr, MaxPictureFileBytes)) {
        JpegFrameDecoder decoder;
        ok = decoder.DecodeBgr(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), picture, w, h);
    }
    if (!ok)
        return false;
    bgr.assign(FrameBytes, 255);
    const int cw = std::min(w, W);
    for (int r = 0; r < std::min(h, H); ++r)
        std::memcpy(bgr.data() + size_t(r) * W * 3, picture.data() + size_t(r) * size_t(w) * 3, size_t(cw) * 3);
    return true;
}

int32_t VirtualFormatFromEnvironment()
{
    const char* v = std::getenv("SCORIVO_VIRTUAL_FORMAT");
    if (!v)
        return subtype::Yuy2;
    const std::string name = Lower(v);
    if (name == "mjpg" || name == "mjpeg" || name == "jpeg")
        return subtype::Mjpg;
    if (name == "i420" || name == "yu12")
        return subtype::I420;
    if (name == "rgb" || name == "bgr24" || name == "0" || name == "uncompressed")
        return subtype::Rgb;
    return subtype::Yuy2;
}

std::shared_ptr<CameraSource> MakeVirtualCamera(std::shared_ptr<CardPictureProvider> demoStack)
{
    std::shared_ptr<CardPictureProvider> pictures = std::move(demoStack);
    if (const char* dir = std::getenv("SCORIVO_VIRTUAL_DIR"); dir && *dir)
        pictures = std::make_shared<FolderPictureProvider>(files::FromUtf8(dir));
    return std::make_shared<VirtualCamera>(std::move(pictures), VirtualFormatFromEnvironment());
}

VirtualCamera::VirtualCamera(std::shared_ptr<CardPictureProvider> pictures, int32_t sampleSubtype, Pace pace)
    : VirtualCamera(std::move(pictures), sampleSubtype, pace, Timing{})
{
}

VirtualCamera::VirtualCamera(std::shared_ptr<CardPictureProvider> pictures, int32_t sampleSubtype, Pace pace,
                             Timing timing)
    : pictures_(std::move(pictures)), subtype_(PixelBytesOf(sampleSubtype) ? sampleSubtype : subtype::Yuy2),
      pace_(pace), timing_(timing)
{
    timing_.slideFrames = std::max(1, timing_.slideFrames);
    timing_.stillFrames = std::max(1, timing_.stillFrames);
    timing_.noise = std::clamp(timing_.noise, 0, 40);
    timing_.flicker = std::clamp(timing_.flicker, 0, 40);
    timing_.flickerPeriod = std::max(2, timing_.flickerPeriod);
    timing_.pauseFrames = std::max(1, timing_.pauseFrames);
}

VirtualCamera::~VirtualCamera() { Stop(); }

bool VirtualCamera::Start(Csamplegrabbercb& sink, int32_t& sourceSubtype)
{
    Stop();
    sink_ = &sink;
    sourceSubtype = subtype_;
    nextFrame_ = 0;
    streaming_ = true;
    if (pace_ == Pace::RealTime) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = false;
        }
        thread_ = std::thread(&VirtualCamera::Run, this);
    }
    return true;
}

void VirtualCamera::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    streaming_ = false;
    sink_ = nullptr;
}

void VirtualCamera::Restart()
{
    if (pace_ == Pace::Manual) {
        nextFrame_ = 0;
        return;
    }
    restart_ = true;
    wake_.notify_all();
}

void VirtualCamera::Run()
{
    LetThreadUseEveryProcessor();
    std::vector<uint8_t> sample;
    auto due = std::chrono::steady_clock::now();
    const auto period = std::chrono::milliseconds(1000 / FramesPerSecond);
    const int64_t pass = PassFrames();
    const int64_t cycle = CycleFrames();
    for (int64_t n = 0;; ++n) {
        if (restart_.exchange(false)) {
            // The table is cleared at once: the card that lay there must not
            // stay in view, still, while the first card's picture is drawn.
            if (pass > 0 && RenderSample(pass, sample))
                sink_->BufferCB(0, sample.data(), sample.size());
            n = 0;
        }
        // In the pause the picture does not change: sending it once is enough.
        if (n % cycle <= pass + 1 && RenderSample(n, sample))
            sink_->BufferCB(double(n) / FramesPerSecond, sample.data(), sample.size());
        // While a card lies still, the next one's picture is drawn: that
        // takes longer than a frame, and a still picture may pause.
        const int64_t inPass = n % cycle;
        if (inPass < pass && inPass % FramesPerCard() == timing_.slideFrames + 1)
            PrepareCardPicture(int((inPass / FramesPerCard() + 1) % std::max(1, pictures_->Count())));
        // A frame that came late is not made up for by a burst of frames:
        // the program would see the stack jump, and a card's still time
        // shrink by the delay. The stack runs late instead.
        due = std::max(due + period, std::chrono::steady_clock::now());
        std::unique_lock<std::mutex> guard(lock_);
        if (wake_.wait_until(guard, due, [this] { return stop_ || restart_.load(); }) && stop_)
            return;
    }
}

bool VirtualCamera::DeliverNextFrame()
{
    // In real-time pace the camera's thread renders; a second renderer would share its scratch frame.
    if (pace_ != Pace::Manual || !streaming_ || !sink_)
        return false;
    if (!RenderSample(nextFrame_, manualSample_))
        return false;
    sink_->BufferCB(double(nextFrame_) / FramesPerSecond, manualSample_.data(), manualSample_.size());
    ++nextFrame_;
    return true;
}

int64_t VirtualCamera::PassFrames() { return int64_t(pictures_ ? pictures_->Count() : 0) * FramesPerCard(); }

int VirtualCamera::StillCardAt(int64_t frameIndex)
{
    if (frameIndex < 0 || PassFrames() == 0)
        return -1;
    frameIndex %= CycleFrames();
    if (frameIndex >= PassFrames())
        return -1;
    const int64_t f = frameIndex % FramesPerCard();
    if (f < timing_.slideFrames || f >= timing_.slideFrames + timing_.stillFrames)
        return -1;
    return int(frameIndex / FramesPerCard());
}

bool VirtualCamera::CardPicture(int index)
{
    if (index != cachedIndex_ && index == spareIndex_) {
        cached_.swap(spare_);
        std::swap(cachedOk_, spareOk_);
        std::swap(cachedIndex_, spareIndex_);
    }
    if (index != cachedIndex_) {
        cachedIndex_ = index;
        cachedOk_ = pictures_ && pictures_->Picture(index, cached_) && cached_.size() >= FrameBytes;
    }
    return cachedOk_;
}

void VirtualCamera::PrepareCardPicture(int index)
{
    if (index == cachedIndex_ || index == spareIndex_ || !pictures_ || index < 0 || index >= pictures_->Count())
        return;
    spareIndex_ = index;
    spareOk_ = pictures_->Picture(index, spare_) && spare_.size() >= FrameBytes;
}

void VirtualCamera::ComposeFrame(int64_t frameIndex, std::vector<uint8_t>& bgr)
{
    bgr.resize(FrameBytes);
    const int64_t pass = PassFrames();
    // Where in its pass the stack is; each pass looks the same, noise aside.
    const int64_t inPass = frameIndex >= 0 && pass > 0 ? frameIndex % CycleFrames() : -1;
    int shift = W;  // how far right the card lies; ±W: out of view
    int card = -1;
    if (inPass >= 0 && inPass < pass) {
        frameIndex = inPass;
        card = int(frameIndex / FramesPerCard());
        const int f = int(frameIndex % FramesPerCard());
        const int slide = timing_.slideFrames;
        if (f < slide)
            shift = W * (slide - f) / slide;
        else if (f < slide + timing_.stillFrames)
            shift = 0;
        else
            shift = -W * (f - slide - timing_.stillFrames + 1) / slide;
    }
    const bool haveCard = card >= 0 && CardPicture(card);
    // The table shows where the card is not: the picture's own corner colour, so its border blends in.
    uint8_t table[3] = {EmptyTable[0], EmptyTable[1], EmptyTable[2]};
    if (haveCard)
        std::memcpy(table, cached_.data(), 3);
    for (int y = 0; y < H; ++y) {
        uint8_t* row = bgr.data() + size_t(y) * W * 3;
        for (int x = 0; x < W; ++x)
            std::memcpy(row + size_t(x) * 3, table, 3);
        if (!haveCard || shift >= W || shift <= -W)
            continue;
        const int from = std::max(0, -shift);    // source column of the first visible pixel
        const int to = std::max(0, shift);       // destination column
        const int count = W - std::abs(shift);
        std::memcpy(row + size_t(to) * 3, cached_.data() + size_t(y) * W * 3 + size_t(from) * 3, size_t(count) * 3);
    }
    // While a card is laid down or taken away, the hand shades the whole
    // picture: a binarised frame then changes a lot, as with a real hand, so
    // the motion of the slide never looks like a card lying still.
    if (haveCard && shift != 0) {
        for (uint8_t& v : bgr)
            v = uint8_t(v / 2);
    }
    // The camera looks at the card from the other side of the table: the
    // program's own turn makes the picture upright again.
    for (size_t a = 0, b = FrameBytes - 3; a < b; a += 3, b -= 3)
        std::swap_ranges(bgr.data() + a, bgr.data() + a + 3, bgr.data() + b);
    // Sensor noise while the stack plays; the empty table of the pause is a still picture.
    if ((timing_.noise > 0 || timing_.flicker > 0) && inPass >= 0 && inPass < pass) {
        const double phase = 2 * 3.14159265358979 * double(frameIndex) / double(timing_.flickerPeriod);
        const int light = int(std::lround(timing_.flicker * std::sin(phase)));
        XorShift rng(uint64_t(frameIndex) + 1);
        const unsigned span = unsigned(2 * timing_.noise + 1);
        int offset[256];
        for (unsigned i = 0; i < 256; ++i)
            offset[i] = light + int(i % span) - timing_.noise + 96;
        uint8_t clip[256 + 2 * 96];  // value + 96: offsets of up to ± 80 stay inside
        for (int i = 0; i < int(sizeof clip); ++i)
            clip[i] = uint8_t(std::clamp(i - 96, 0, 255));
        uint8_t* p = bgr.data();
        static_assert(FrameBytes % 8 == 0);
        for (size_t i = 0; i < FrameBytes; i += 8) {
            uint64_t bits = rng.Next();
            for (size_t k = i; k < i + 8; ++k, bits >>= 8)
                p[k] = clip[p[k] + offset[bits & 0xFF]];
        }
    }
}

bool VirtualCamera::RenderSample(int64_t frameIndex, std::vector<uint8_t>& sample)
{
    ComposeFrame(frameIndex, compose_);
    switch (subtype_) {
    case subtype::Yuy2:
        EncodeYuy2(compose_.data(), sample);
        return true;
    case subtype::I420:
        EncodeI420(compose_.data(), sample);
        return true;
    case subtype::Mjpg:
        return EncodeJpegBgr(compose_.data(), W, H, 90, sample);
    case subtype::Rgb:
        // Uncompressed samples carry bottom-up rows.
        sample.resize(FrameBytes);
        for (int y = 0; y < H; ++y)
            std::memcpy(sample.data() + size_t(H - 1 - y) * W * 3, compose_.data() + size_t(y) * W * 3, size_t(W) * 3);
        return true;
    default:
        return false;
    }
}
