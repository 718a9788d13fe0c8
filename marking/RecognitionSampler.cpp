#include "marking/RecognitionSampler.h"

#include <algorithm>

#include "recognition/MarkSampling.h"
#include "recognition/Rectification.h"

static_assert(CardSampler::UnclearDigit == UnclearDigit, "acceptance and sampling agree on the unclear column");

int RecognitionSampler::BuildSamplingGrids() { return ::BuildSamplingGrids(ctx_); }

int RecognitionSampler::AbType() const { return ctx_.Reading.paperType; }

void RecognitionSampler::DrawThumbnail() { ::DrawThumbnail(ctx_); }

void RecognitionSampler::ResetGreyMode() { ctx_.GreyMode = GreyPlain; }

int RecognitionSampler::CardColour()
{
    int colour = ::CardColour(ctx_);
    return colour == GreyRedCard ? ColourRed : colour == GreyGreenCard ? ColourGreen : ColourUndecided;
}

const DigitGrid& RecognitionSampler::Grid(DigitGridKind kind) const
{
    switch (kind) {
    case DigitGridKind::Admission: return ctx_.AdmGrid;
    case DigitGridKind::Subject: return ctx_.SubjGrid;
    case DigitGridKind::Score: break;
    }
    return ctx_.ScoreGrid;
}

void RecognitionSampler::PrepareDigitColumns(DigitGridKind grid, int columns, int rows)
{
    ::PrepareDigitColumns(ctx_, Grid(grid), columns, rows);
}

void RecognitionSampler::PrepareAnswerBlocks() { ::PrepareAnswerBlocks(ctx_); }

std::string RecognitionSampler::ReadDigitColumns(DigitGridKind grid, int columns, int rows)
{
    return ::ReadDigitColumns(ctx_, Grid(grid), columns, rows);
}

RefusalReason RecognitionSampler::DigitColumnReason(int column) const
{
    return column >= 0 && column < static_cast<int>(ctx_.DigitReasons.size())
               ? ctx_.DigitReasons[static_cast<std::size_t>(column)]
               : RefusalReason::None;
}

SamplingExam SamplingExamOf(const ExamSetup& exam)
{
    SamplingExam s;
    s.questionCount = std::clamp(exam.questionCount, 0, card_limits::MaxQuestions);
    for (int q = 0; q < s.questionCount; ++q) {
        s.multipleChoice[q] = exam.questions[q].kind == 1 ? 1 : 0;
        s.fullScore[q] = exam.questions[q].score;
    }
    s.hasSubjectiveScore = exam.hasSubjectiveScore != 0;
    return s;
}

AnswersReadResult RecognitionSampler::ReadAnswers(const ExamSetup& exam, std::vector<std::string>& answers)
{
    SamplingExam s = SamplingExamOf(exam);
    if (::ReadAnswers(ctx_, s) == AnswersResult::LightingFailure)
        return AnswersReadResult::LightingFailure;
    answers.assign(s.questionCount, std::string());
    // The untruncated letters: acceptance decides what a record cannot hold.
    for (int q = 0; q < s.questionCount; ++q)
        answers[q] = std::string(ctx_.AnswerLetters[q].data());
    return AnswersReadResult::Read;
}

bool SessionCardAcceptance::AcceptReading(RecognitionContext& ctx)
{
    RecognitionSampler sampler(ctx);
    return AcceptReading(ctx, sampler);
}

bool SessionCardAcceptance::AcceptReading(RecognitionContext& ctx, CardSampler& sampler)
{
    acceptor_.checkCardColour = ctx.CheckCardColour;
    acceptor_.colourFrame = ctx.ColourFrame.View();
    AcceptanceTexts texts{ctx.StatusText, ctx.MemoTiShi, {}, {}};
    bool accepted = acceptor_.AcceptReading(sampler, texts);
    ctx.StatusText = std::move(texts.statusText);
    ctx.MemoTiShi = std::move(texts.memoTiShi);
    // The texts stay as acceptance words them; where it named a place, the
    // teacher also reads where and why.
    ctx.Refusal = accepted ? RefusalDetail{} : texts.refusal;
    AppendRefusalLine(ctx.MemoTiShi, ctx.Refusal);
    caption_ = std::move(texts.windowCaption);
    // The context's staging reading becomes the whole reading, names
    // included, for the preview overlay that shows it after the attempt.
    ctx.Reading = acceptor_.Reading();
    return accepted;
}
