#include "capture/ui/CaptureController.h"

#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

#include "capture/ui/CameraControlsDialog.h"
#include "capture/ui/CameraChooser.h"

QImage FrameToImage(const FrameBuffer& frame)
{
    if (!frame.Exists())
        return {};
    const QImage::Format format = frame.PixelBytes() == 4 ? QImage::Format_RGB32 : QImage::Format_BGR888;
    // The rows are bottom-up: a vertical mirror gives Qt's top-down copy.
    return QImage(frame.Data(), frame.Width(), frame.Height(), frame.RowBytes(), format).mirrored(false, true);
}

void PaintPreviewText(QPainter& p, const QRect& box, const QString& text, int pointSize)
{
    QFont font = p.font();
    font.setPointSize(pointSize);
    p.setFont(font);
    p.setPen(QColor(255, 0, 0));
    p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, text);
}

QRect PreviewRectFor(const QSize& view)
{
    const int h = view.height();
    const int w = h * 640 / 480;
    return {(view.width() - w) / 2, 0, w, h};
}

CaptureController::CaptureController(QWidget* owner, Services services)
    : owner_(owner), services_(std::move(services)), chooser_(std::make_unique<TFormSheBei>(table_))
{
    if (!services_.io)
        services_.io = std::make_shared<SystemV4l2Io>();
}

CaptureController::~CaptureController() { session_.Release(); }

void CaptureController::SetOwner(QWidget* owner)
{
    // The chooser stays ours alone: as a Qt child of the window as well it
    // would be deleted twice when the program ends. It takes the window's
    // font and is shown centred over it instead.
    owner_ = owner;
    if (owner)
        chooser_->setFont(owner->font());
}

bool CaptureController::Connect()
{
    session_.Release();
    EnumerateCameras(table_, services_.io, services_.makeVirtual);
    if (table_.count == 0) {
        SayNoCamera();
        return false;
    }
    int index = 0;
    if (table_.count > 1) {
        if (owner_) {
            chooser_->adjustSize();
            chooser_->move(owner_->frameGeometry().center() - chooser_->rect().center());
        }
        if (services_.runChooser)
            services_.runChooser(*chooser_);
        else
            chooser_->exec();
        index = chooser_->SelectedIndex;
        // A choice kept from a longer list than this one: the first camera.
        if (index < 0 || index >= table_.count)
            index = 0;
    }
    // A camera that cannot be opened simply delivers no picture.
    session_.StartCapture(table_.entries[size_t(index)].filter);
    return true;
}

void CaptureController::SayNoCamera()
{
    const std::string text = "没有发现可以使用的摄像头,请检查摄像头是否已经连接好了。";
    if (services_.notice)
        services_.notice(text);
    else
        QMessageBox::information(owner_, QStringLiteral("提示："), QString::fromStdString(text));
}

void CaptureController::ShowCameraProperties()
{
    CameraSource* source = session_.CaptureFilter();
    if (!source || !source->Controls())
        return;
    CameraControlsDialog dialog(*source->Controls(), owner_);
    if (dialog.Offered().empty())
        return;
    dialog.move(100, 50);
    if (services_.runControls)
        services_.runControls(dialog);
    else
        dialog.exec();
}

void LabelFrameLoopView::ShowCameraTest(const FrameBuffer& frame)
{
    if (!imageCheShi_)
        return;
    QImage picture = FrameToImage(frame);
    QPainter p(&picture);
    QFont font = p.font();
    font.setPointSize(14);
    p.setFont(font);
    p.setPen(QColor(255, 0, 0));
    const int ascent = p.fontMetrics().ascent();
    p.drawText(150, ascent, QStringLiteral("连接成功，请将摄像头画面调节到最清晰"));
    p.drawText(200, 460 + ascent, QStringLiteral("注意：背景不能为黑，请垫白纸"));
    p.end();
    imageCheShi_->setPixmap(QPixmap::fromImage(picture));
}

namespace {
const QColor kPreviewBackground(173, 190, 214);
}

void LabelFrameLoopView::LayOut()
{
    if (!imageView_)
        return;
    const QSize size = imageView_->size().expandedTo(QSize(1, 1));
    if (canvas_.size() != size)
        canvas_ = QImage(size, QImage::Format_RGB32);
    canvas_.fill(kPreviewBackground);
    previewRect_ = PreviewRectFor(size);
    Publish();
}

void LabelFrameLoopView::ShowMarkingPreview(const FrameBuffer& frameWithGuides)
{
    if (!imageView_)
        return;
    // A control resized without a layout (first tick, hidden page) is laid out here.
    if (canvas_.size() != imageView_->size().expandedTo(QSize(1, 1)))
        LayOut();
    canvas_.fill(kPreviewBackground);
    const QRect r = previewRect_;
    QPainter p(&canvas_);
    const QImage frame = FrameToImage(frameWithGuides);
    if (r.height() == frame.height())
        p.drawImage(r.topLeft(), frame);
    else
        p.drawImage(r, frame.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    if (!refusalOutline_.isEmpty() && frame.width() > 0 && frame.height() > 0) {
        // Frame rows count upward; the preview's downward, scaled into PreviewRect.
        const double kx = double(r.width()) / frame.width(), ky = double(r.height()) / frame.height();
        QPolygonF box;
        for (const QPointF& f : refusalOutline_)
            box << QPointF(r.left() + f.x() * kx, r.top() + (frame.height() - 1 - f.y()) * ky);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(RefusalOutlineColour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(box);
    }
    p.end();
    Publish();
}

void LabelFrameLoopView::ShowRescoreHint()
{
    if (canvas_.isNull())
        return;
    QPainter p(&canvas_);
    PaintPreviewText(p, canvas_.rect(), QStringLiteral("标准答案修改完所有后必需按鼠标右键单击重新算分"), 20);
    p.end();
    Publish();
}

void LabelFrameLoopView::DrawStatusOverlay()
{
    if (canvas_.isNull() || !drawOverlay)
        return;
    drawOverlay(canvas_);
    Publish();
}

void LabelFrameLoopView::OutlinePreview()
{
    if (canvas_.isNull())
        return;
    QPainter p(&canvas_);
    p.setPen(QColor(255, 0, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(previewRect_.adjusted(0, 0, -1, -1));
    p.end();
    Publish();
}

void LabelFrameLoopView::ClearStatusText()
{
    if (clearStatusText)
        clearStatusText();
}

void LabelFrameLoopView::ShowCameraLost()
{
    if (!canvas_.isNull()) {
        QPainter p(&canvas_);
        PaintPreviewText(p, canvas_.rect(), QString::fromUtf8(FrameLoop::CameraLostText), 20);
        p.end();
        Publish();
    }
    if (cameraLost)
        cameraLost();
}

void LabelFrameLoopView::ShowCameraTestLost()
{
    if (!imageCheShi_)
        return;
    // Over the last picture when there was one, so it does not pass for live.
    QImage picture = imageCheShi_->pixmap().toImage();
    if (picture.isNull()) {
        picture = QImage(640, 480, QImage::Format_RGB32);
        picture.fill(QColor(220, 220, 220));
    }
    QPainter p(&picture);
    PaintPreviewText(p, picture.rect().adjusted(40, 0, -40, 0), QString::fromUtf8(FrameLoop::CameraTestLostText), 16);
    p.end();
    imageCheShi_->setPixmap(QPixmap::fromImage(picture));
}

void LabelFrameLoopView::Publish()
{
    if (imageView_)
        imageView_->setPixmap(QPixmap::fromImage(canvas_));
}
