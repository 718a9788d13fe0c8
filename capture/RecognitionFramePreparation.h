#pragma once
// The frame loop's preparation done by recognition: the frame is handed to
// the recognition context before the preview draws its guides (the colour
// copy), and after it the frame is prepared as `PrepareFrame` prepares it:
// binarised for "DY" and "JD" cards, kept as `LineFrame`; the loop then
// measures motion on the prepared frame.

#include "capture/FrameLoop.h"
#include "recognition/RecognitionContext.h"

class RecognitionFramePreparation final : public FramePreparation {
public:
    explicit RecognitionFramePreparation(RecognitionContext& context) : context_(context) {}
    void KeepColourFrame(const FrameBuffer& frame) override;
    void RestoreAndBinarise(FrameBuffer& frame) override;

private:
    RecognitionContext& context_;
};
