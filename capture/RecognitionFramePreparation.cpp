#include "capture/RecognitionFramePreparation.h"

#include <cstring>

#include "recognition/ImagePrimitives.h"

static bool SameGeometry(const Bitmap& b, const FrameBuffer& f)
{
    return b.Width() == f.Width() && b.Height() == f.Height() && b.BytesPerPixel() == f.PixelBytes();
}

void RecognitionFramePreparation::KeepColourFrame(const FrameBuffer& frame)
{
    RecognitionContext& ctx = context_;
    if (!SameGeometry(ctx.FrameBitmap, frame) || !SameGeometry(ctx.ColourFrame, frame) ||
        !SameGeometry(ctx.LineFrame, frame))
        ctx.SetUp(frame.Width(), frame.Height(), frame.PixelBytes());
    // Straight into ColourFrame: the preparation's first step would copy it
    // there from FrameBitmap anyway.
    std::memcpy(ctx.ColourFrame.Data(), frame.Data(), frame.SizeBytes());
}

// The same pictures as PrepareFrame on a FrameBitmap holding the colour frame,
// followed by a copy back to the frame: FrameBitmap binarised at 100 for "DY"
// and "JD" cards (the colour frame otherwise), LineFrame and the frame its
// copies. One pass row by row, each row written three times while it is in
// cache, instead of five whole-frame passes (about 4 times faster).
void RecognitionFramePreparation::RestoreAndBinarise(FrameBuffer& frame)
{
    RecognitionContext& ctx = context_;
    ctx.GreyMode = GreyPlain;
    const bool binarise = ctx.IsDyOrJd();
    const BitmapView colour = ctx.ColourFrame.View();
    const BitmapView work = ctx.FrameBitmap.View();
    const BitmapView line = ctx.LineFrame.View();
    const BitmapView shown = frame.Pixels();
    const std::size_t rowBytes = std::size_t(frame.RowBytes());
    for (int y = 0; y < frame.Height(); ++y) {
        uint8_t* row = work.Row(y);
        if (binarise)
            BinariseRun(colour.Row(y), row, frame.Width(), frame.PixelBytes(), 100);
        else
            std::memcpy(row, colour.Row(y), rowBytes);
        std::memcpy(line.Row(y), row, rowBytes);
        std::memcpy(shown.Row(y), row, rowBytes);
    }
}
