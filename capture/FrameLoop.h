#pragma once
// The logic of the 100 ms frame loop: convert the newest sample, hand the
// frame to the page that shows it, prepare the recognition work images, and in
// automatic mode decide from the stillness of the picture when to mark.
// Qt-free: the clock, the drawing side, the frame preparation and the marking
// attempt are injected.

#include <cstdint>
#include <functional>
#include <string>

#include "capture/FrameBuffer.h"

class CaptureSession;
struct MarkingSettings;

// Milliseconds of a steady clock (the tick count).
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual int64_t NowMs() = 0;
};

class SteadyTickClock final : public TickClock {
public:
    int64_t NowMs() override;
};

// The recognition side of a marking-page tick. Before the preview it keeps a
// colour copy of the frame (`ColourFrame`); after the preview it puts that copy
// back over the guides, sets the grey mode to 0, binarises the frame when the
// card type asks for it and keeps the result as `LineFrame`.
class FramePreparation {
public:
    virtual ~FramePreparation() = default;
    virtual void KeepColourFrame(const FrameBuffer& frame) = 0;
    virtual void RestoreAndBinarise(FrameBuffer& frame) = 0;
};

// The drawing side of a tick (Qt widgets in the program, a recorder in tests).
class FrameLoopView {
public:
    virtual ~FrameLoopView() = default;
    // The camera page: the frame with its two hint texts.
    virtual void ShowCameraTest(const FrameBuffer& frame) = 0;
    // The marking page: background, then the frame with its guides in `PreviewRect`.
    virtual void ShowMarkingPreview(const FrameBuffer& frameWithGuides) = 0;
    // The rescoring reminder, when the standard answer was edited since the last rescoring.
    virtual void ShowRescoreHint() = 0;
    virtual void DrawStatusOverlay() = 0;
    // The picture is moving: outline the preview.
    virtual void OutlinePreview() = 0;
    // Automatic marking was re-armed: the status text is cleared.
    virtual void ClearStatusText() = 0;
    // The camera's stream has ended (unplugged): the marking preview keeps
    // its last picture, which must not pass for a live one. Once per loss.
    virtual void ShowCameraLost() {}
    // The same on the camera page, where a camera another program holds
    // (or one unplugged there) would otherwise leave the picture blank
    // without a word. Once per connection or loss.
    virtual void ShowCameraTestLost() {}
};

enum class ActivePage { CameraTest, Marking, Other };

// Sum of grey differences over every second pixel of every second row,
// divided by width × height × 100 div 3072; −1 when that is 0 (the frames
// are, for this measure, identical) or the two frames differ in format.
int MeasureMotion(const FrameBuffer& previous, const FrameBuffer& current, int greyMode);
// That sum alone, undivided; −1 when the frames cannot be compared.
int64_t MotionSum(const FrameBuffer& previous, const FrameBuffer& current, int greyMode);
// The same, copying `current` into `copy` (made to its format) while reading
// it: one pass instead of a measure and a copy. `copy` is left as it was
// when the frames cannot be compared.
int MeasureMotionCopying(const FrameBuffer& previous, const FrameBuffer& current, int greyMode, FrameBuffer& copy);

// Yellow guides: the borders of the central square and a small circle at the centre.
void DrawGuides(const BitmapView& frame);

// Motion re-arm threshold for the level measured when a card was marked.
int RearmThreshold(int markLevel);

class FrameLoop {
public:
    using MarkCallback = std::function<void()>;

    FrameLoop(CaptureSession& session, FramePreparation& preparation, FrameLoopView& view, TickClock& clock,
              const MarkingSettings& settings, MarkCallback markCard);

    // `Timer1Timer`.
    void Tick(ActivePage page);

    // `BtnAutoAnswerCardClick`. `missingSelection` is the refusal text when
    // grade or class coding is on and its list has no selection ("请选择年级！",
    // "请选择班级"), empty otherwise; it is returned and nothing changes.
    std::string BtnAutoAnswerCardClick(const std::string& missingSelection = {});

    // The standard answer was edited since the last rescoring.
    void SetRescoreHint(bool on) { rescoreHint_ = on; }
    // "连接摄像头" went through: a camera that still sends nothing is told again.
    void CameraConnected()
    {
        cameraLostShown_ = false;
        cameraTestLostShown_ = false;
    }

    // State, readable for the page and the tests.
    bool AutoMarking() const { return autoMarking_; }
    bool MarkedWaiting() const { return markedWaiting_; }
    int64_t LastTick() const { return lastTick_; }
    int PrevMotion() const { return prevMotion_; }
    int MarkLevel() const { return markLevel_; }
    int Tolerance() const { return tolerance_; }
    int LastMotion() const { return lastMotion_; }
    const std::string& AutoButtonCaption() const { return autoCaption_; }
    bool AnswerCardButtonEnabled() const { return answerCardEnabled_; }
    const FrameBuffer& PreviousFrame() const { return previousFrame_; }

    static constexpr const char* CameraLostText =
        "摄像头没有画面了（可能已被拔出）。请检查摄像头的连接，然后在“连接摄像头”页重新连接。";
    static constexpr const char* CameraTestLostText =
        "摄像头没有画面。可能是摄像头已被拔出，或正被别的程序使用：请检查摄像头的连接，关闭别的使用摄像头的程序，"
        "然后重新点“连接摄像头”。";
    static constexpr const char* CaptionAutoOff = "开启自动阅卷";
    static constexpr const char* CaptionAutoOn = "关闭自动阅卷";

private:
    void AutoMarkingStep();

    CaptureSession& session_;
    FramePreparation& preparation_;
    FrameLoopView& view_;
    TickClock& clock_;
    const MarkingSettings& settings_;
    MarkCallback markCard_;

    FrameBuffer previousFrame_;
    FrameBuffer spareFrame_; // the next previous frame, written while motion is measured
    bool autoMarking_ = false;
    bool markedWaiting_ = false;
    int64_t lastTick_ = 0;
    int prevMotion_ = 0;
    int markLevel_ = 0;
    int tolerance_ = 2;
    int lastMotion_ = 0;
    bool rescoreHint_ = false;
    bool cameraLostShown_ = false;
    bool cameraTestLostShown_ = false;
    std::string autoCaption_ = CaptionAutoOff;
    bool answerCardEnabled_ = true;
};
