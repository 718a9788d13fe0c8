#include "recognition/RawReading.h"

#include <algorithm>
#include <cstdlib>

#include "recognition/MarkSampling.h"
#include "recognition/RecognitionPipeline.h"
#include "recognition/Rectification.h"

bool ParseSubjectiveScore(const std::string& text, float& score)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    std::size_t last = text.find_last_not_of(' ');
    std::string core = text.substr(first, last - first + 1);
    for (char c : core)
        if ((c < '0' || c > '9') && c != '.')
            return false;
    char* end = nullptr;
    float v = std::strtof(core.c_str(), &end);
    if (end != core.c_str() + core.size())
        return false;
    score = v;
    return true;
}

// The refusal's texts, and the place and reason where the sampling named one.
static bool Refuse(RecognitionContext& ctx, const char* memo, const char* status)
{
    ctx.MemoTiShi = memo;
    AppendRefusalLine(ctx.MemoTiShi, ctx.Refusal);
    ctx.StatusText = status;
    return false;
}

bool RawReadingAcceptance::AcceptReading(RecognitionContext& ctx)
{
    using namespace sampling_texts;
    const CardTemplate& t = ctx.Template;
    ctx.RereadRule = nullptr;
    ctx.RereadQuestion = -1;
    ctx.Refusal = {};
    ctx.SkinNearCells = 0;
    int grids = BuildSamplingGrids(ctx);
    if (grids == AbNotMarked)
        return Refuse(ctx, AbNotMarkedText, AbNotMarkedText);
    if (grids == AbAmbiguous)
        return Refuse(ctx, AbAmbiguousText, AbAmbiguousText);
    DrawThumbnail(ctx);
    ctx.GreyMode = GreyPlain;
    if (ctx.IsJd() && ctx.CheckCardColour) {
        int colour = CardColour(ctx);
        if ((ctx.Reading.paperType == 0 && colour != GreyRedCard) ||
            (ctx.Reading.paperType == 1 && colour != GreyGreenCard))
            return Refuse(ctx, ColourMemo, ColourStatus);
    }
    PrepareDigitColumns(ctx, ctx.AdmGrid, t.AdmColumns, 10);
    PrepareDigitColumns(ctx, ctx.SubjGrid, t.SubjColumns, t.SubjRows);
    PrepareDigitColumns(ctx, ctx.ScoreGrid, t.ScoreColumns, 10);
    PrepareAnswerBlocks(ctx);
    // A thumb over the cells hides marks or passes for one. Its nail is too
    // pale to tell from paper and print, so skin just beside the cells counts
    // too: the card is read again once the hand has moved.
    if (ctx.SkinNearCells >= SkinNearCellsLimit) {
        ctx.RereadRule = "skin near the cells";
        const std::string text = StatusTextOf(104);
        return Refuse(ctx, text.c_str(), text.c_str());
    }

    const int admColumns = std::clamp(admissionLength_, 0, std::min(t.AdmColumns, card_limits::MaxAdmColumns));
    ctx.Reading.admissionNumber.SetTruncated(ReadDigitColumns(ctx, ctx.AdmGrid, admColumns, 10));
    ctx.SubjectCode.SetTruncated(
        ReadDigitColumns(ctx, ctx.SubjGrid, std::min(t.SubjColumns, card_limits::MaxSubjColumns), t.SubjRows));
    if (exam_.hasSubjectiveScore) {
        std::string text = ReadDigitColumns(ctx, ctx.ScoreGrid, std::min(t.ScoreColumns, 4), 10);
        float score = 0;
        if (!ParseSubjectiveScore(text, score)) {
            ctx.Refusal = UnreadDigitColumn(RefusalField::SubjectiveScore, text, false,
                                            [&ctx](int column) { return ctx.DigitReasons[column]; });
            return Refuse(ctx, ScoreMemo, ScoreStatus);
        }
        ctx.Reading.subjectiveScore = score;
    }
    if (ReadAnswers(ctx, exam_) == AnswersResult::LightingFailure)
        return Refuse(ctx, LightingAdvice, LightingStatus);
    ctx.StatusText.clear();
    ctx.MemoTiShi.clear();
    return true;
}

SamplingExam WholeTemplateExam(const CardTemplate& t, const bool* multiple)
{
    SamplingExam exam;
    exam.questionCount = std::clamp(t.QuestionCount, 0, card_limits::MaxQuestions);
    for (int q = 0; q < exam.questionCount; ++q) {
        exam.fullScore[q] = 1;
        exam.multipleChoice[q] = multiple && multiple[q] ? 1 : 0;
    }
    exam.hasSubjectiveScore = t.ScoreColumns > 0;
    return exam;
}
