#pragma once
// Joins the camera side to the main window: "连接摄像头" through the capture
// port, `Timer1` driving the frame loop over the window's recognition work
// images, the live pictures on the camera and marking pages, and the marking
// attempt ("阅卷" and automatic marking) with the session's card acceptance.

#include <QObject>
#include <memory>
#include <string>

#include "capture/FrameLoop.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/ui/CaptureCameraPort.h"
#include "capture/ui/CaptureController.h"
#include "capture/ui/FrameTimer.h"
#include "marking/Acceptance.h"
#include "recognition/RecognitionContext.h"

class QLabel;
class QImage;
class QPushButton;
class QTextEdit;
class TMainForm;

class CameraDriver : public QObject {
    Q_OBJECT
public:
    // `clock` times the stillness of automatic marking; null: the steady clock.
    // A test that hands frames over one by one counts time in frames instead.
    explicit CameraDriver(Prompts& prompts, CaptureController::Services services = {}, TickClock* clock = nullptr);
    ~CameraDriver() override;

    CameraPort* Port() { return &port_; }
    // Once the window is built: its pictures, buttons and session.
    void Attach(TMainForm& form);

    // `BtnAnswerCardClick`: one marking attempt on the current frame.
    void BtnAnswerCardClick();

private:
    ActivePage CurrentPage() const;
    void SyncAutomaticMarking();
    // The session's card becomes the recognition context's (frame preparation and attempts).
    void UseSessionTemplate();
    // The demo stack shows one card type; marking it as another only gives
    // refusals, which a newcomer taking the preselected card could not explain.
    void SayWhenTheRecordedCardIsAnother(const CameraSource& source);
    // The short result, the card's thumbnail and the student's name over the preview.
    void DrawStatusOverlay(QImage& canvas) const;

    Prompts& prompts_;
    CaptureCameraPort port_;
    RecognitionContext context_;
    RecognitionFramePreparation preparation_{context_};
    SteadyTickClock steadyClock_;
    TickClock& clock_;
    std::unique_ptr<LabelFrameLoopView> view_;
    std::unique_ptr<FrameLoop> loop_;
    std::unique_ptr<FrameTimer> timer_;
    std::unique_ptr<CardAcceptor> acceptor_;
    TMainForm* form_ = nullptr;
    QLabel* imageView_ = nullptr;
    QPushButton* btnAnswerCard_ = nullptr;
    QTextEdit* memoTiShi_ = nullptr;
};
