#pragma once
// The virtual camera: plays a stack of card pictures as a camera would, at
// 10 frames per second. Each card slides in from the right, lies still for
// about three seconds with a little sensor noise, and slides out to the left
// (the hand that moves it shades the picture meanwhile); then the next.
// After the last card the empty table stays in view for a pause, its samples
// unchanging, and the stack plays again from its first card, so the demo is
// always there to mark. Samples come in a chosen subtype (YUY2 by default),
// so the program's whole conversion path runs.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/CameraSource.h"

// Where the pictures come from: 640 × 480 pictures of one card lying under
// the camera each, upright as the program shows them (after its own 180-degree
// turn), as top-down B, G, R rows (1920 bytes a row). The camera turns them
// back into what a camera above the card would send.
class CardPictureProvider {
public:
    static constexpr int Width = 640;
    static constexpr int Height = 480;
    virtual ~CardPictureProvider() = default;
    virtual int Count() = 0;
    // False when picture `index` cannot be produced; the camera then shows the empty table.
    virtual bool Picture(int index, std::vector<uint8_t>& bgr) = 0;
    // The card template (file name) all the pictures show, when one does.
    virtual std::string CardName() const { return {}; }
};

// The ".jpg", ".jpeg" and ".bmp" pictures of a folder, in name order.
// Pictures of another size are placed at the top-left corner, cut or padded with white.
class FolderPictureProvider final : public CardPictureProvider {
public:
    explicit FolderPictureProvider(const std::filesystem::path& folder);
    int Count() override { return int(files_.size()); }
    bool Picture(int index, std::vector<uint8_t>& bgr) override;
    const std::vector<std::filesystem::path>& Files() const { return files_; }

private:
    std::vector<std::filesystem::path> files_;
};

// Reads a 24- or 32-bit uncompressed BMP into top-down B, G, R rows.
bool ReadBmpBgr(const std::filesystem::path& path, std::vector<uint8_t>& bgr, int& width, int& height);

// The subtype named by SCORIVO_VIRTUAL_FORMAT ("YUY2", "MJPG", "I420", or
// "RGB" / "BGR24" / "0" for uncompressed); YUY2 when unset or unknown.
int32_t VirtualFormatFromEnvironment();

// The virtual camera the program offers: the pictures of the folder named by
// SCORIVO_VIRTUAL_DIR when it is set, otherwise `demoStack`; samples in the
// format SCORIVO_VIRTUAL_FORMAT names; real-time pace.
std::shared_ptr<CameraSource> MakeVirtualCamera(std::shared_ptr<CardPictureProvider> demoStack);

class VirtualCamera final : public CameraSource {
public:
    static constexpr const char* Name = "虚拟摄像头（演示）";
    static constexpr int FramesPerSecond = 10;

    struct Timing {
        int slideFrames = 10;  // one second in, one second out
        // About three seconds lying still, with half a second to spare over
        // the normal still time (2 s) for frames the binarisation leaves equal.
        int stillFrames = 35;
        int noise = 2;         // sensor noise, ± grey steps per channel
        // The room light breathes a little (± grey steps, frames per cycle).
        // Binarised frames of a still card differ only where an edge crosses
        // the threshold; this keeps their motion measurable, as with a real
        // camera, without moving the picture.
        int flicker = 8;
        int flickerPeriod = 10;
        int pauseFrames = 50;  // the empty table between two passes (5 s)
    };

    enum class Pace { RealTime, Manual };

    VirtualCamera(std::shared_ptr<CardPictureProvider> pictures, int32_t sampleSubtype, Pace pace = Pace::RealTime);
    VirtualCamera(std::shared_ptr<CardPictureProvider> pictures, int32_t sampleSubtype, Pace pace, Timing timing);
    ~VirtualCamera() override;

    std::string FriendlyName() const override { return Name; }
    bool Start(Csamplegrabbercb& sink, int32_t& sourceSubtype) override;
    void Stop() override;
    bool Streaming() const override { return streaming_.load(); }
    // Plays the stack from its first card again (the marking page asks for
    // it when it is entered).
    void Restart() override;
    std::string RecordedCard() const override { return pictures_ ? pictures_->CardName() : std::string(); }

    // Manual pace: hands the next frame's sample to the sink; false when not
    // started or in real-time pace.
    bool DeliverNextFrame();

    // The frame as the camera sees it (top-down B, G, R, the card upside
    // down) and as it sends it. Not while a real-time camera is streaming.
    void ComposeFrame(int64_t frameIndex, std::vector<uint8_t>& bgr);
    bool RenderSample(int64_t frameIndex, std::vector<uint8_t>& sample);

    int64_t FramesPerCard() const { return 2 * int64_t(timing_.slideFrames) + timing_.stillFrames; }
    // Frames of one pass through the stack; the pause's frames follow it.
    int64_t PassFrames();
    // A pass and the pause after it; then the stack plays again.
    int64_t CycleFrames() { return PassFrames() + timing_.pauseFrames; }
    // The card lying still (fully in view) at a frame, or −1.
    int StillCardAt(int64_t frameIndex);
    int32_t SampleSubtype() const { return subtype_; }

private:
    void Run();
    bool CardPicture(int index);
    // Draws a card's picture ahead into the spare slot, so that the next
    // card does not hold the stream up when it slides in.
    void PrepareCardPicture(int index);

    std::shared_ptr<CardPictureProvider> pictures_;
    int32_t subtype_;
    Pace pace_;
    Timing timing_;
    Csamplegrabbercb* sink_ = nullptr;
    std::atomic<bool> streaming_{false};
    std::atomic<bool> restart_{false};
    int64_t nextFrame_ = 0;
    int cachedIndex_ = -2;
    bool cachedOk_ = false;
    std::vector<uint8_t> cached_;   // the current card's picture
    int spareIndex_ = -2;           // the picture drawn ahead, or −2
    bool spareOk_ = false;
    std::vector<uint8_t> spare_;
    std::vector<uint8_t> compose_;  // scratch: the composed frame
    std::vector<uint8_t> manualSample_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
};
