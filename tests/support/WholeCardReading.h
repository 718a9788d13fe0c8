#pragma once
// One card read the whole way, as the frame loop reads it: the frame copied
// into the context, prepared, recognised and accepted without a roster, with
// the listed questions scored as multiple choice. For the corpus tests.

#include <cstdint>
#include <cstring>
#include <string>

#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"

class WholeCardReading {
public:
    // `multiple(q)` tells whether question q (0-based) is multiple choice.
    template <typename MultipleChoice>
    WholeCardReading(const CardTemplate &t, const std::string &fileName, int bytesPerPixel, MultipleChoice multiple)
    {
        ctx_.SetUp(640, 480, bytesPerPixel);
        ctx_.SetTemplate(t, fileName);
        bool flags[card_limits::MaxQuestions] = {};
        for (int q = 0; q < card_limits::MaxQuestions; ++q)
            flags[q] = multiple(q);
        exam_ = WholeTemplateExam(t, flags);
    }

    // A 640 x 480 frame of three-byte pixels, top row first, `stride` bytes a row.
    MarkingOutcome Read(const uint8_t *topRow, std::size_t stride)
    {
        const BitmapView v = ctx_.FrameBitmap.View();
        for (int y = 0; y < v.height; ++y) {
            const uint8_t *from = topRow + static_cast<std::size_t>(y) * stride;
            uint8_t *to = v.TopRow(y);
            for (int x = 0; x < v.width; ++x)
                std::memcpy(to + x * v.bytesPerPixel, from + 3 * x, 3);
        }
        PrepareFrame(ctx_);
        RawReadingAcceptance acceptance(exam_, ctx_.Template.AdmColumns);
        return RunMarkingAttempt(ctx_, acceptance);
    }

    // Off: the machine card's print colour is not checked (a grey copy of it).
    void CheckCardColour(bool on) { ctx_.CheckCardColour = on; }

    const RecognitionContext &Context() const { return ctx_; }
    const SamplingExam &Exam() const { return exam_; }

private:
    RecognitionContext ctx_;
    SamplingExam exam_;
};
