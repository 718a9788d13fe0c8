// Fuzz entry for the whole marking attempt: any loadable template with any
// 640 x 480 frame ends in a result code with its texts, and whatever
// acceptance stores stays within the session's capacities.
#include <algorithm>
#include <cstring>
#include <memory>

#include "app/MarkingSettings.h"
#include "exam/ExamSetup.h"
#include "fuzz/FuzzEntries.h"
#include "marking/Acceptance.h"
#include "marking/RecognitionSampler.h"
#include "platform/Files.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/RecognitionPipeline.h"

namespace fuzz {

namespace {

constexpr int FrameWidth = 640;
constexpr int FrameHeight = 480;

// Questions get the cautious answer; nothing is kept between inputs.
class SilentPrompts : public PromptsCore {
public:
    void ShowMessage(const std::string&) override {}
    bool AskOkCancel(const std::string&) override { return false; }
    bool AskYesNo(const std::string&) override { return false; }
    PromptAnswer AskYesNoCancel(const std::string&) override { return PromptAnswer::Cancel; }
};

const char* TemplateNameOf(uint8_t kind)
{
    switch (kind % 3) {
    case 0:
        return "DY标准85题自动AB卷.dat";
    case 1:
        return "JD机读卡60题AB卷.dat";
    default:
        return "自制卡.dat";
    }
}

void FillFrame(Bitmap& frame, const uint8_t* pixels, std::size_t size)
{
    const std::size_t rowBytes = static_cast<std::size_t>(frame.Stride());
    const std::size_t colourBytes = rowBytes * FrameHeight;
    if (size >= colourBytes) {
        std::memcpy(frame.Data(), pixels, colourBytes);
    } else {
        // A shorter input is a grey picture from the top, on white.
        frame.FillWhite();
        const std::size_t greyBytes = std::min(size, static_cast<std::size_t>(FrameWidth) * FrameHeight);
        for (std::size_t i = 0; i < greyBytes; i += FrameWidth) {
            uint8_t* row = frame.View().TopRow(static_cast<int>(i / FrameWidth));
            const std::size_t n = std::min<std::size_t>(FrameWidth, greyBytes - i);
            for (std::size_t x = 0; x < n; ++x)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = pixels[i + x];
        }
    }
    // Every camera sample is turned before it is looked at.
    Rotate180(frame.View());
}

// A small roster the readings are checked against.
void FillRoster(StudentRoster& roster)
{
    roster.Reset();
    for (int i = 0; i < 3; ++i) {
        StudentEntry s{};
        s.admissionNumber.SetTruncated("0000000" + std::to_string(i));
        s.name.SetUtf8Truncated("学生");
        (void)roster.AppendStudent(s);
    }
}

} // namespace

int MarkingAttempt(const uint8_t* data, std::size_t size)
{
    if (size < MarkingTemplateOffset + sizeof(CardTemplate))
        return 0;
    const auto path = ScratchFile(".dat");
    if (!files::WriteAll(path, std::string_view(reinterpret_cast<const char*>(data + MarkingTemplateOffset),
                                                sizeof(CardTemplate))))
        return 0;
    // One state for the process, brought back to a fresh one's contents the
    // way the window starts a new session: allocating and zeroing the 17.5 MB
    // afresh for every input cost about a tenth of the run.
    static const std::unique_ptr<MarkingSessionState> state = NewMarkingSessionState();
    state->cardTemplate.Clear();
    StartNewSession(*state);
    std::string message;
    if (!LoadCardTemplateFile(path, state->cardTemplate, message))
        return 0;
    const CardTemplate& t = state->cardTemplate;
    state->templateName = TemplateNameOf(data[0]);
    FillRoster(state->roster);

    // The exam the marking page would set up for this template; a template
    // whose page does not pass is still marked, against the empty exam.
    ExamPageContent page = ShowExamPage(t, state->templateName, state->exam);
    page.examName = "测验";
    page.subjectIndex = t.SubjectCount > 0 ? 0 : -1;
    page.subjectiveIndex = t.ScoreColumns > 0 ? 1 : 0;
    page.scoreRows = {{"1", std::to_string(t.QuestionCount), "1", "单选题"}};
    (void)CheckExamPage(t, page, state->exam);

    MarkingSettings settings;
    settings.IgnoreSubjectCheck = data[0] & 8 ? 1 : 0;
    SilentPrompts prompts;
    CardAcceptor acceptor(*state, settings, prompts);
    acceptor.checkCardColour = (data[0] & 16) == 0;
    SessionCardAcceptance acceptance(acceptor);
    // One context for the process too, as each worker of the command line
    // keeps one for all its pictures: setting up its 10 MB of pictures and
    // the line tracer's map afresh was a fifth of the run. Each input starts
    // as the command line starts a picture.
    static const std::unique_ptr<RecognitionContext> ctx = [] {
        auto c = std::make_unique<RecognitionContext>();
        c->SetUp(FrameWidth, FrameHeight, 3);
        return c;
    }();
    ctx->SetTemplate(t, state->templateName);
    ctx->StartPicture();
    ctx->CheckCardColour = acceptor.checkCardColour;

    const uint8_t* pixels = data + MarkingTemplateOffset + sizeof(CardTemplate);
    const std::size_t pixelBytes = size - MarkingTemplateOffset - sizeof(CardTemplate);
    // Twice: an accepted first card is the standard answer, the second
    // reading of the same frame goes through the rereading checks.
    for (int attempt = 0; attempt < 2; ++attempt) {
        FillFrame(ctx->FrameBitmap, pixels, pixelBytes);
        PrepareFrame(*ctx);
        const int before = state->session.recordCount;
        const MarkingOutcome outcome = RunMarkingAttempt(*ctx, acceptance);
        Check(outcome.code == CodeAccepted || outcome.code == CodeRefused || !StatusTextOf(outcome.code).empty());
        Check(outcome.code == CodeAccepted || state->session.recordCount == before);
        Check(state->session.recordCount >= 0 && state->session.recordCount <= MarkingSession::MaxRecords);
        if (outcome.code != CodeAccepted)
            break;
    }
    return 0;
}

} // namespace fuzz
