#include "capture/CaptureSession.h"

#include "capture/SampleConversion.h"

CaptureSession::CaptureSession() { BuildYuvTables(); }

CaptureSession::~CaptureSession() { Release(); }

void CaptureSession::Release()
{
    if (source_)
        source_->Stop();
    source_.reset();
    callback_.Reset();
}

bool CaptureSession::StartCapture(std::shared_ptr<CameraSource> source)
{
    Release();
    if (!source)
        return false;
    int32_t subtypeRead = 0;
    if (!source->Start(callback_, subtypeRead))
        return false;
    source_ = std::move(source);
    sourceSubtype_ = subtypeRead;
    decoder_.reset();
    if (sourceSubtype_ == subtype::Mjpg)
        decoder_ = std::make_unique<JpegFrameDecoder>();
    // Subtypes that are not converted keep the previous pixel format.
    if (const int bytes = PixelBytesOf(sourceSubtype_))
        pixelBytes_ = bytes;
    frameBitmap_.Create(FrameWidth, FrameHeight, pixelBytes_);
    if (formatListener_)
        formatListener_(frameBitmap_);
    return true;
}

bool CaptureSession::ConvertNewestSample()
{
    if (!source_ || !source_->Streaming() || !frameBitmap_.Exists())
        return false;
    const std::span<const uint8_t> sample = callback_.TakeNewest();
    if (sample.empty())
        return false;
    const BitmapView pixels = frameBitmap_.Pixels();
    bool converted = false;
    switch (sourceSubtype_) {
    case subtype::Rgb:
        // A longer sample (a camera that ignored 640 × 480) is cut at the bitmap's end.
        converted = CopyUncompressed(sample.data(), sample.size(), pixels) > 0;
        break;
    case subtype::Mjpg:
        converted = IsCompleteJpeg(sample.data(), sample.size()) && decoder_ &&
                    decoder_->DrawOnto(sample.data(), sample.size(), pixels, JpegTopRow);
        break;
    case subtype::Yuy2:
        converted = ConvertYUY2(FrameWidth, FrameHeight, sample.data(), sample.size(), pixels);
        break;
    case subtype::I420:
        converted = ConvertI420(FrameWidth, FrameHeight, sample.data(), sample.size(), pixels);
        break;
    default:
        break;
    }
    // Turning a frame that was not refreshed would show the previous picture
    // the other way up every second tick.
    if (!converted)
        return false;
    Rotate180(pixels);
    return true;
}
