#include "capture/RecognitionFramePreparation.h"

#include <cstring>

#include "recognition/RecognitionPipeline.h"

void RecognitionFramePreparation::KeepColourFrame(const FrameBuffer& frame)
{
    Bitmap& target = context_.FrameBitmap;
    if (target.Width() != frame.Width() || target.Height() != frame.Height() ||
        target.BytesPerPixel() != frame.PixelBytes())
        context_.SetUp(frame.Width(), frame.Height(), frame.PixelBytes());
    std::memcpy(target.Data(), frame.Data(), frame.SizeBytes());
}

void RecognitionFramePreparation::RestoreAndBinarise(FrameBuffer& frame)
{
    PrepareFrame(context_);
    std::memcpy(frame.Data(), context_.FrameBitmap.Data(), frame.SizeBytes());
}
