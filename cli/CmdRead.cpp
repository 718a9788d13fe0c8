// scorivo-cli read: reads card pictures exactly as the marking page reads
// a camera sample, and prints one JSON object per picture.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "cli/OrderedBatch.h"
#include "cli/PictureLoading.h"
#include "exam/ExamSetup.h"
#include "marking/RawFile.h"
#include "platform/Files.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"

namespace {

using cli::JsonString;
using cli::LoadSample;
using cli::Picture;
using cli::SampleHeight;
using cli::SampleWidth;

std::string JsonNumber(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

// The exam of a marking raw file: its questions, kinds and full scores.
SamplingExam ExamOfSession(const ExamSetup& e)
{
    SamplingExam exam;
    exam.questionCount = std::clamp(e.questionCount, 0, card_limits::MaxQuestions);
    for (int q = 0; q < exam.questionCount; ++q) {
        exam.multipleChoice[q] = e.questions[q].kind == 1 ? 1 : 0;
        exam.fullScore[q] = e.questions[q].score;
    }
    exam.hasSubjectiveScore = e.hasSubjectiveScore != 0;
    return exam;
}

int Usage()
{
    std::fputs("usage: scorivo-cli read --template PATH [--session FILE.yj] [--admission-length N] [--multiple LIST] "
               "[--no-colour-check] [--fit] [--jobs N] IMAGE...\n",
               stderr);
    return 2;
}

int CmdRead(const std::vector<std::string>& args)
{
    std::string templatePath, multipleList, session;
    int admissionLength = -1;
    bool colourCheck = true, fit = false;
    int jobs = cli::DefaultJobCount();
    std::vector<std::string> images;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--template") {
            if (!value(templatePath))
                return Usage();
        } else if (a == "--session") {
            if (!value(session))
                return Usage();
        } else if (a == "--admission-length") {
            // No card has a thousand columns; a longer number would overflow
            // and wrap to "not given".
            if (!value(v) || v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos)
                return Usage();
            admissionLength = std::stoi(v);
        } else if (a == "--multiple") {
            if (!value(multipleList))
                return Usage();
        } else if (a == "--jobs") {
            if (!value(v) || !cli::ParseJobCount(v, jobs))
                return Usage();
        } else if (a == "--no-colour-check") {
            colourCheck = false;
        } else if (a == "--fit") {
            fit = true;
        } else if (a.rfind("--", 0) == 0) {
            return Usage();
        } else {
            images.push_back(a);
        }
    }
    if (templatePath.empty() || images.empty())
        return Usage();

    const std::filesystem::path tp = files::FromUtf8(templatePath);
    CardTemplate t{};
    std::string message;
    if (!LoadCardTemplateFile(tp, t, message)) {
        std::fprintf(stderr, "scorivo-cli read: %s\n", message.c_str());
        return 1;
    }
    SamplingExam exam;
    if (!session.empty()) {
        // The exam (questions, kinds, scores, subjective score) and the
        // roster's admission-number length come from the marking raw file.
        auto state = NewMarkingSessionState();
        const MarkingFileResult opened = OpenMarkingFile(*state, files::FromUtf8(session));
        if (!opened.ok) {
            std::fprintf(stderr, "scorivo-cli read: %s: %s\n", session.c_str(), opened.message.c_str());
            return 1;
        }
        exam = ExamOfSession(state->exam);
        if (exam.questionCount > t.QuestionCount) {
            std::fprintf(stderr, "scorivo-cli read: the exam has more questions than the card\n");
            return 1;
        }
        if (admissionLength < 0)
            admissionLength = state->roster.admissionLength;
    } else {
        bool multiple[card_limits::MaxQuestions] = {};
        if (!multipleList.empty()) {
            const QuestionList list = ParseQuestionList(multipleList);
            if (!list.ok) {
                std::fprintf(stderr, "scorivo-cli read: --multiple: %s\n", list.error.c_str());
                return 2;
            }
            for (int q : list.numbers)
                if (q >= 1 && q <= card_limits::MaxQuestions)
                    multiple[q - 1] = true;
        }
        exam = WholeTemplateExam(t, multiple);
    }
    if (admissionLength < 0)
        admissionLength = t.AdmColumns;
    // One recognition context (and acceptance) per worker: they hold the whole state of an attempt.
    cli::OrderedBatch batch(images.size(), jobs);
    cli::PrepareImageReadersForWorkers(images, fit);
    struct Worker {
        Worker(const SamplingExam& e, int length) : acceptance(e, length) {}
        RecognitionContext ctx;
        RawReadingAcceptance acceptance;
    };
    std::vector<std::unique_ptr<Worker>> workers;
    for (int w = 0; w < batch.Jobs(); ++w) {
        workers.push_back(std::make_unique<Worker>(exam, admissionLength));
        RecognitionContext& ctx = workers.back()->ctx;
        ctx.SetUp(SampleWidth, SampleHeight, 3);
        ctx.SetTemplate(t, files::ToUtf8(tp.filename()));
        ctx.CheckCardColour = colourCheck;
    }
    struct ReadCard {
        std::string error;  // for standard error; the picture was not read
        std::string line;
    };
    std::vector<ReadCard> cards(images.size());

    auto work = [&](std::size_t index, int worker) {
        Worker& w = *workers[static_cast<std::size_t>(worker)];
        RecognitionContext& ctx = w.ctx;
        const std::string& file = images[index];
        ReadCard& card = cards[index];
        ctx.StartPicture();
        Picture picture;
        std::string error;
        if (!cli::LoadFramePicture(files::FromUtf8(file), fit, picture, error)) {
            card.error = "scorivo-cli read: " + file + ": " + error + "\n";
            return;
        }
        LoadSample(ctx, picture);
        PrepareFrame(ctx);
        const MarkingOutcome outcome = RunMarkingAttempt(ctx, w.acceptance);

        const CardReading& r = ctx.Reading;
        std::string& line = card.line;
        line = "{\"file\":" + JsonString(file) + ",\"code\":" + std::to_string(outcome.code) +
               ",\"status\":" + JsonString(ctx.StatusText) + ",\"memo\":" + JsonString(ctx.MemoTiShi) +
               (ctx.Refusal.Any() ? ",\"question\":" + JsonString(RefusalPlace(ctx.Refusal)) +
                                        ",\"reason\":" + JsonString(RefusalReasonText(ctx.Refusal.reason))
                                  : std::string()) +
               ",\"paperType\":" + (ctx.AbTypeRead ? (r.paperType == 0 ? "\"A\"" : "\"B\"") : "null") +
               ",\"admissionNumber\":" + JsonString(r.admissionNumber.View()) +
               ",\"subjectCode\":" + JsonString(ctx.SubjectCode.View()) +
               ",\"subjectiveScore\":" + JsonNumber(r.subjectiveScore) + ",\"answers\":[";
        for (int q = 0; q < exam.questionCount; ++q) {
            if (q)
                line += ',';
            line += JsonString(r.questionResults[q].answer.View());
        }
        line += "]}\n";
    };
    int failures = 0;
    auto deliver = [&](std::size_t index) {
        ReadCard card = std::move(cards[index]);
        if (!card.error.empty()) {
            std::fputs(card.error.c_str(), stderr);
            ++failures;
        } else {
            std::fputs(card.line.c_str(), stdout);
        }
        return true;
    };
    batch.Run(work, deliver);
    return failures ? 1 : 0;
}

cli::CommandRegistrar registrar("read",
                                "read --template PATH [--session FILE.yj] [--admission-length N] [--multiple LIST] "
                                "[--no-colour-check] [--fit] [--jobs N] IMAGE...",
                                CmdRead);

} // namespace
