#include "recognition/RecognitionContext.h"

void RecognitionContext::SetUp(int frameWidth, int frameHeight, int bytesPerPixel)
{
    FrameBitmap.Reset(frameWidth, frameHeight, bytesPerPixel);
    ColourFrame.Reset(frameWidth, frameHeight, bytesPerPixel);
    LineFrame.Reset(frameWidth, frameHeight, bytesPerPixel);
    PreviousFrame.Reset(frameWidth, frameHeight, bytesPerPixel);
    CheckCard.Reset(CardPictureSize, CardPictureSize, bytesPerPixel);
    RectifiedCard.Reset(CardPictureSize, CardPictureSize, bytesPerPixel);
    Thumbnail.Reset(ThumbnailWidth, ThumbnailHeight, bytesPerPixel);
    FrameBitmap.FillWhite();
    ColourFrame.FillWhite();
    LineFrame.FillWhite();
    PreviousFrame.FillWhite();
    CheckCard.FillWhite();
    RectifiedCard.FillWhite();
    Thumbnail.FillWhite();
    StripCopy.reserve(static_cast<std::size_t>(CardPictureSize) * CardPictureSize * 4);
    MarkGrey.assign(static_cast<std::size_t>(CardPictureSize) * CardPictureSize, 255);
}

void RecognitionContext::StartPicture()
{
    StatusText.clear();
    MemoTiShi.clear();
    RectifiedCard.FillWhite();
    CheckCard.FillWhite();
}

void RecognitionContext::SetTemplate(const CardTemplate& t, const std::string& nameUtf8)
{
    Template = t;
    TemplateName = nameUtf8;
    jd_ = IsJdTemplate(nameUtf8);
    dyOrJd_ = jd_ || nameUtf8.rfind("DY", 0) == 0;
}
