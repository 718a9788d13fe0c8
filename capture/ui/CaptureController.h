#pragma once
// The main window's camera side: "连接摄像头" (enumerate, choose, start),
// "画质调节" (the controls dialog), and the pictures a tick shows. The window
// owns one controller for the whole run.

#include <QImage>
#include <QPolygonF>
#include <QRect>
#include <functional>
#include <memory>
#include <string>

#include "capture/CameraEnumeration.h"
#include "capture/CaptureSession.h"
#include "capture/FrameLoop.h"

class QLabel;
class QPainter;
class QWidget;
class TFormSheBei;

// A copy of the frame as Qt shows it (top row first).
QImage FrameToImage(const FrameBuffer& frame);
// Red text centred in `box`, the way results are written over the preview.
void PaintPreviewText(QPainter& p, const QRect& box, const QString& text, int pointSize);

// Where the frame is shown in the marking preview: full height, 4:3, centred.
QRect PreviewRectFor(const QSize& view);

class CaptureController {
public:
    struct Services {
        std::shared_ptr<V4l2Io> io;                 // null: the real system calls
        VirtualCameraFactory makeVirtual;           // empty: no virtual camera
        // The notice captioned "提示：" for "no camera found" (a message box unless set).
        std::function<void(const std::string&)> notice;
        // How the chooser is shown: runs it modally (exec unless set).
        std::function<void(TFormSheBei&)> runChooser;
        // How the controls dialog is shown (exec unless set); gets the dialog's widget.
        std::function<void(QWidget&)> runControls;
    };

    CaptureController(QWidget* owner, Services services);
    ~CaptureController();

    // `BtnConnClick`: releases what is held, enumerates, says so when nothing
    // is there, lets the user choose when there are several, and starts the
    // capture. True when a camera was started (the caller then enables
    // "画质调节" and `Timer1`).
    bool Connect();
    // The notice of `Connect` finding nothing, also for a camera that went
    // away after it was started.
    void SayNoCamera();
    // `ShowCameraProperties`: nothing when no camera is held or it has no settings.
    void ShowCameraProperties();
    int CameraCount() const { return table_.count; }
    // The window that owns the chooser, the notices and the controls dialog.
    void SetOwner(QWidget* owner);
    void Release() { session_.Release(); }

    CaptureSession& Session() { return session_; }
    CameraTable& Table() { return table_; }
    TFormSheBei& Chooser() { return *chooser_; }

private:
    QWidget* owner_;
    Services services_;
    CameraTable table_;
    CaptureSession session_;
    std::unique_ptr<TFormSheBei> chooser_;
};

// The frame loop's drawing on the two pages' picture labels.
class LabelFrameLoopView : public FrameLoopView {
public:
    LabelFrameLoopView(QLabel* imageCheShi, QLabel* imageView) : imageCheShi_(imageCheShi), imageView_(imageView) {}

    // The overlay's text, thumbnail and name come from the marking side.
    std::function<void(QImage& canvas)> drawOverlay;
    std::function<void()> clearStatusText;
    std::function<void()> cameraLost;  // after the preview has said so

    // `LayOutPreview`: the canvas takes the preview control's size, filled
    // with the background colour, and `PreviewRect` follows it.
    void LayOut();
    const QRect& PreviewRect() const { return previewRect_; }
    // The refused question's or column's cells, outlined in the frame (rows
    // counted upward, as recognition counts them): drawn over every preview
    // until set again; an empty outline draws nothing.
    void SetRefusalOutline(const QPolygonF& frameOutline) { refusalOutline_ = frameOutline; }
    const QPolygonF& RefusalOutline() const { return refusalOutline_; }
    static inline const QColor RefusalOutlineColour{255, 128, 0};

    void ShowCameraTest(const FrameBuffer& frame) override;
    void ShowMarkingPreview(const FrameBuffer& frameWithGuides) override;
    void ShowRescoreHint() override;
    void DrawStatusOverlay() override;
    void OutlinePreview() override;
    void ClearStatusText() override;
    void ShowCameraLost() override;
    void ShowCameraTestLost() override;

    const QImage& Canvas() const { return canvas_; }

private:
    void Publish();
    QLabel* imageCheShi_;
    QLabel* imageView_;
    QImage canvas_;  // the marking preview as last drawn
    QRect previewRect_;  // where the frame is shown on the canvas
    QPolygonF refusalOutline_;
};
