#pragma once
// Acceptance on top of recognition: the sampling operations of the
// recognition context behind the CardSampler interface, and the last stage of
// the recognition driver that hands a reading to the session's acceptor.

#include "marking/Acceptance.h"
#include "recognition/RecognitionPipeline.h"
#include "recognition/SamplingExam.h"

class RecognitionSampler : public CardSampler {
public:
    explicit RecognitionSampler(RecognitionContext& ctx) : ctx_(ctx) {}

    int BuildSamplingGrids() override;
    int AbType() const override;
    void DrawThumbnail() override;
    void ResetGreyMode() override;
    int CardColour() override;
    void PrepareDigitColumns(DigitGridKind grid, int columns, int rows) override;
    void PrepareAnswerBlocks() override;
    std::string ReadDigitColumns(DigitGridKind grid, int columns, int rows) override;
    AnswersReadResult ReadAnswers(const ExamSetup& exam, std::vector<std::string>& answers) override;
    RefusalReason DigitColumnReason(int column) const override;
    RefusalDetail AnswersRefusal() const override { return ctx_.Refusal; }

private:
    const DigitGrid& Grid(DigitGridKind kind) const;
    RecognitionContext& ctx_;
};

// What the answer reading needs of the exam record.
SamplingExam SamplingExamOf(const ExamSetup& exam);

// The acceptance stage of RecognizeCard for a marking session: the context's
// texts become the acceptor's, its colour frame the picture to save, and its
// colour-check flag the acceptor's.
class SessionCardAcceptance : public CardAcceptance {
public:
    explicit SessionCardAcceptance(CardAcceptor& acceptor) : acceptor_(acceptor) {}
    bool AcceptReading(RecognitionContext& ctx) override;
    // The same with the marks sampled through `sampler` (a ReadAheadSampler
    // over this context, say).
    bool AcceptReading(RecognitionContext& ctx, CardSampler& sampler);

    // The window caption acceptance asked for on the last accepted card
    // (empty when it left the caption alone).
    const std::string& WindowCaption() const { return caption_; }

private:
    CardAcceptor& acceptor_;
    std::string caption_;
};
