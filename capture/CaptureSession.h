#pragma once
// The camera state the main window holds: the connected source, the callback
// object, `SourceSubtype`, `FrameBitmap` and the MJPG decoder, and the first
// step of every tick, `ConvertNewestSample`.

#include <cstdint>
#include <functional>
#include <memory>

#include "capture/CameraSource.h"
#include "capture/SampleGrabber.h"
#include "capture/FrameBuffer.h"
#include "capture/JpegFrame.h"

class CaptureSession {
public:
    static constexpr int FrameWidth = 640;
    static constexpr int FrameHeight = 480;
    // The decoded MJPG picture is drawn this many rows below the frame's top edge.
    static constexpr int JpegTopRow = 10;

    CaptureSession();
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Lets the source go (it stops streaming) and forgets every sample.
    void Release();
    // Starts `source` and (re)creates `FrameBitmap` in the format its subtype
    // needs. Afterwards the frame-format listener is told, so the work images
    // can follow. False when the source could not even be opened; the session
    // then holds nothing.
    bool StartCapture(std::shared_ptr<CameraSource> source);

    // The newest sample into `FrameBitmap`, turned by 180 degrees. False ends
    // the tick: no source streaming, no bitmap, no sample yet, a sample that
    // cannot be converted (truncated or corrupt MJPG, a short YUV sample, a
    // subtype that is not converted).
    bool ConvertNewestSample();

    bool Connected() const { return source_ != nullptr; }
    // False once a connected camera's stream has ended (unplugged, or it never ran).
    bool Streaming() const { return source_ && source_->Streaming(); }
    CameraSource* CaptureFilter() const { return source_.get(); }
    Csamplegrabbercb& Callback() { return callback_; }
    int32_t SourceSubtype() const { return sourceSubtype_; }
    int PixelBytes() const { return pixelBytes_; }
    int RowBytes() const { return FrameWidth * pixelBytes_; }
    FrameBuffer& FrameBitmap() { return frameBitmap_; }
    const FrameBuffer& FrameBitmap() const { return frameBitmap_; }

    // Called after each StartCapture with the new bitmap (the work images are created in its format).
    void SetFrameFormatListener(std::function<void(const FrameBuffer&)> listener) { formatListener_ = std::move(listener); }

private:
    std::shared_ptr<CameraSource> source_;
    Csamplegrabbercb callback_;
    int32_t sourceSubtype_ = 0;
    int pixelBytes_ = 3;
    FrameBuffer frameBitmap_;
    std::unique_ptr<JpegFrameDecoder> decoder_;
    std::function<void(const FrameBuffer&)> formatListener_;
};
