#include "capture/ui/CameraDriver.h"

#include <QFont>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/ui/MainWindow.h"
#include "marking/RecognitionSampler.h"
#include "platform/qt/Prompts.h"
#include "recognition/RecognitionPipeline.h"

CameraDriver::CameraDriver(Prompts& prompts, CaptureController::Services services, TickClock* clock)
    : prompts_(prompts), port_(prompts, std::move(services)), clock_(clock ? *clock : steadyClock_)
{
}

CameraDriver::~CameraDriver()
{
    if (timer_)
        timer_->Disable();
}

ActivePage CameraDriver::CurrentPage() const
{
    if (!form_)
        return ActivePage::Other;
    switch (form_->PageControl1->currentIndex()) {
    case 1:
        return ActivePage::CameraTest;
    case 4:
        return ActivePage::Marking;
    default:
        return ActivePage::Other;
    }
}

void CameraDriver::Attach(TMainForm& form)
{
    form_ = &form;
    port_.SetOwner(&form);

    // The marking page's picture, its "阅卷" button and the prompt memo.
    imageView_ = form.ImageView;
    btnAnswerCard_ = form.BtnAnswerCard;
    memoTiShi_ = form.MemoTiShi;
    connect(btnAnswerCard_, &QPushButton::clicked, this, &CameraDriver::BtnAnswerCardClick);

    view_ = std::make_unique<LabelFrameLoopView>(form.ImageCheShi, imageView_);
    view_->clearStatusText = [this] { form_->StatusText.clear(); };
    view_->drawOverlay = [this](QImage& canvas) { DrawStatusOverlay(canvas); };
    view_->cameraLost = [this] { memoTiShi_->setPlainText(QString::fromUtf8(FrameLoop::CameraLostText)); };
    loop_ = std::make_unique<FrameLoop>(port_.Controller().Session(), preparation_, *view_, clock_, form.YJSet,
                                        [this] { BtnAnswerCardClick(); });
    timer_ = std::make_unique<FrameTimer>(*loop_, [this] { return CurrentPage(); }, this);
    port_.onConnected = [this] {
        loop_->CameraConnected();
        timer_->Enable();
    };
    port_.layOutPreview = [this] { view_->LayOut(); };
    // Entering the marking page: the preview fits its control, and a recorded
    // stack (the virtual camera) plays from its first card, the standard answer.
    connect(form.PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index != 4)
            return;
        UseSessionTemplate();
        view_->LayOut();
        if (CameraSource* source = port_.Controller().Session().CaptureFilter()) {
            source->Restart();
            SayWhenTheRecordedCardIsAnother(*source);
        }
    });

    acceptor_ = std::make_unique<CardAcceptor>(*form.Session, form.YJSet, prompts_);
    // The grid shows the stored card at once, its row current.
    acceptor_->hooks.refreshGrid = [this] {
        form_->MarkingReadingAdmission = std::string(acceptor_->Reading().admissionNumber.View());
        form_->RefreshMarkingGrid();
    };
    acceptor_->hooks.automaticMarkingOn = [this] { return loop_->AutoMarking(); };
    acceptor_->hooks.switchAutomaticMarkingOff = [this] {
        if (loop_->AutoMarking())
            loop_->BtnAutoAnswerCardClick();
        form_->AutoMarking = false;
        form_->BtnAutoAnswerCard->setText(QString::fromUtf8(FrameLoop::CaptionAutoOff));
        btnAnswerCard_->setEnabled(true);
    };
    // The reminder to rescore after the standard answer was edited.
    loop_->SetRescoreHint(form.Session->session.rescorePending);
    connect(&form, &TMainForm::RescorePendingChanged, this, [this](bool pending) { loop_->SetRescoreHint(pending); });
    // The window's own handler flips its flag first; the loop follows it.
    connect(form.BtnAutoAnswerCard, &QPushButton::clicked, this, &CameraDriver::SyncAutomaticMarking);
}

void CameraDriver::UseSessionTemplate()
{
    // The frame loop binarises "DY" and "JD" frames by the context's template
    // name. Without it the still card's frames stay in colour, where sensor
    // noise and light keep the motion above the still limit: automatic
    // marking would never fire.
    if (form_ && form_->Session)
        context_.SetTemplate(form_->Session->cardTemplate, form_->Session->templateName);
}

void CameraDriver::SayWhenTheRecordedCardIsAnother(const CameraSource& source)
{
    const std::string shown = source.RecordedCard();
    if (!form_ || !form_->Session || shown.empty() || shown == form_->Session->templateName)
        return;
    memoTiShi_->setPlainText(QString::fromUtf8("演示摄像头播放的是“%1”的答题卡，和现在选的答题卡“%2”不同，读不出来。"
                                               "要看演示，请回到“准备答题卡”页，点“新阅卷”，选“%1”。")
                                 .arg(QString::fromStdString(shown), QString::fromStdString(form_->Session->templateName)));
}

void CameraDriver::SyncAutomaticMarking()
{
    UseSessionTemplate();
    if (loop_->AutoMarking() != form_->AutoMarking) {
        loop_->BtnAutoAnswerCardClick();
        // Automatic marking started before any card was read waits for the
        // standard answer: a recorded stack that has already shown it would
        // offer only students' cards, each refused, until it came round again.
        if (loop_->AutoMarking() && form_->Session && form_->Session->session.recordCount == 0)
            if (CameraSource* source = port_.Controller().Session().CaptureFilter())
                source->Restart();
    }
    btnAnswerCard_->setEnabled(!loop_->AutoMarking());
}

void CameraDriver::BtnAnswerCardClick()
{
    if (!form_ || !form_->Session)
        return;
    // Acceptance checks every card against the grade and class chosen.
    if (const std::string missing = form_->MissingMarkingSelection(); !missing.empty()) {
        prompts_.ShowMessage(missing);
        return;
    }
    if (form_->Session->templateName.empty() ||
        !port_.Controller().Session().Connected() || context_.FrameBitmap.Width() == 0)
        return;
    // An unplugged camera leaves its last picture in the frame: marking it
    // would read again a card that may no longer lie under the camera.
    if (!port_.Controller().Session().Streaming()) {
        port_.Controller().SayNoCamera();
        return;
    }
    timer_->WithTimerStopped([this] {
        UseSessionTemplate();
        // The window's flag ("忽略机读卡颜色", "ncm.set") is the only one: the
        // context carries it to recognition and acceptance alike.
        context_.CheckCardColour = form_->CheckCardColour != 0;
        // A failed attempt must not leave the previous student's result up there.
        form_->setWindowTitle(QString::fromUtf8(kMainCaption));
        acceptor_->programFolder = form_->ProgramFolder;
        acceptor_->selection = form_->MarkingSelection();
        SessionCardAcceptance acceptance(*acceptor_);
        // The box of the attempt before goes with its result.
        view_->SetRefusalOutline({});
        const MarkingOutcome outcome = RunMarkingAttempt(context_, acceptance);
        if (context_.HasRefusalOutline) {
            QPolygonF outline;
            for (const PointF& corner : context_.RefusalOutline)
                outline << QPointF(corner.x, corner.y);
            view_->SetRefusalOutline(outline);
        }
        form_->StatusText = context_.StatusText;
        memoTiShi_->setPlainText(QString::fromUtf8(context_.MemoTiShi));
        if (outcome.code == 0) {
            form_->SetUnsavedChanges(true);
            form_->KeepRecoveryCopy();
        }
        if (!acceptance.WindowCaption().empty())
            form_->setWindowTitle(QString::fromUtf8(acceptance.WindowCaption()));
        switch (outcome.sound) {
        case PromptSound::Success:
            form_->PlayPromptSound(form_->PromptSoundPath(PromptSoundKind::Success));
            break;
        case PromptSound::Wrong:
            form_->PlayPromptSound(form_->PromptSoundPath(PromptSoundKind::Wrong));
            break;
        case PromptSound::Warning:
            form_->PlayPromptSound(form_->PromptSoundPath(PromptSoundKind::Warning));
            break;
        case PromptSound::None:
            break;
        }
        if (loop_->AutoMarking())
            view_->DrawStatusOverlay();
        form_->SpeakPrompt();
    });
}

void CameraDriver::DrawStatusOverlay(QImage& canvas) const
{
    if (!form_ || form_->StatusText.empty())
        return;
    QPainter p(&canvas);
    PaintPreviewText(p, canvas.rect(), QString::fromStdString(form_->StatusText), 36);
    const Bitmap& thumbnail = context_.Thumbnail;
    if (thumbnail.Width() > 0 && thumbnail.Height() > 0) {
        const QImage::Format format =
            thumbnail.BytesPerPixel() == 4 ? QImage::Format_RGB32 : QImage::Format_BGR888;
        // Bottom-up rows: a vertical mirror gives Qt's top-down copy.
        const QImage picture = QImage(thumbnail.Data(), thumbnail.Width(), thumbnail.Height(),
                                      thumbnail.Stride(), format)
                                   .mirrored(false, true);
        p.drawImage(canvas.width() - picture.width(), canvas.height() - picture.height(), picture);
        QFont font = p.font();
        font.setPointSize(20);
        p.setFont(font);
        p.drawText(canvas.width() - picture.width() + 30, static_cast<int>(canvas.height() - picture.height() * 1.6),
                   QString::fromStdString(context_.Reading.studentName.Utf8()));
    }
}
