#pragma once
// The frame loop's preparation done by recognition: the frame is handed to
// the recognition context before the preview draws its guides, and after it
// `PrepareFrame` keeps the colour copy, binarises for "DY" and "JD" cards and
// keeps `LineFrame`; the loop then measures motion on the prepared frame.

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
