#pragma once
// A marking session on a shipped card, marked from synthetic camera frames
// as the marking page marks them: the recognition context behind the
// sampler interface, with the session's whole acceptance.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "exam/ExamSetup.h"
#include "marking/RecognitionSampler.h"
#include "platform/Files.h"
#include "platform/ScriptedPromptsCore.h"
#include "recognition/ImagePrimitives.h"

struct SyntheticSession {
    // The shipped card `templateName`, the shipped roster, subject "02" and
    // a subjective score where the card has one, the questions scored by
    // `groups` (the exam page's score table rows).
    void Open(const std::string& templateName, const std::vector<std::vector<std::string>>& groups)
    {
        state = NewMarkingSessionState();
        std::string message;
        ASSERT_TRUE(LoadCardTemplate(files::FromUtf8(SCORIVO_BINARY_DIR), templateName, state->cardTemplate, message))
            << message;
        state->templateName = templateName;
        state->roster = cardprint::ShippedRoster();
        ExamPageContent page = ShowExamPage(state->cardTemplate, templateName, state->exam);
        page.examName = "测验";
        for (int i = 0; i < state->cardTemplate.SubjectCount; ++i)
            if (state->cardTemplate.Subjects[i].code.View() == "02")
                page.subjectIndex = i;
        page.subjectiveIndex = state->cardTemplate.ScoreColumns > 0 ? 1 : 0;
        page.scoreRows = groups;
        ExamPageCheck check = CheckExamPage(state->cardTemplate, page, state->exam);
        ASSERT_TRUE(check.passed) << check.message;
        acceptor = std::make_unique<CardAcceptor>(*state, settings, prompts);
        acceptance = std::make_unique<SessionCardAcceptance>(*acceptor);
        ctx.SetUp(640, 480, 3);
        ctx.SetTemplate(state->cardTemplate, templateName);
    }
    // One camera sample as the marking page gets it: turned by 180 degrees,
    // prepared by the frame loop, marked. The result code.
    int MarkSample(const QImage& picture)
    {
        cardprint::CameraSample sample = cardprint::ToCameraSample(picture, 3);
        Bitmap& f = ctx.FrameBitmap;
        for (int y = 0; y < sample.height; ++y)
            std::memcpy(f.At(0, y), sample.pixels.data() + static_cast<std::size_t>(y) * sample.width * 3,
                        static_cast<std::size_t>(sample.width) * 3);
        Rotate180(f.View());
        PrepareFrame(ctx);
        return RunMarkingAttempt(ctx, *acceptance).code;
    }

    std::unique_ptr<MarkingSessionState> state;
    MarkingSettings settings;
    ScriptedPromptsCore prompts;
    std::unique_ptr<CardAcceptor> acceptor;
    std::unique_ptr<SessionCardAcceptance> acceptance;
    RecognitionContext ctx;
};
