// Designed cards through the independent print-and-photograph corpus: the
// dozen designs of the synthetic-camera corpus (support/DesignedCards.h),
// each from its own PDF (as the designer writes it: black, red or green print
// on A4, A5 or B5, upright or on its side) rasterised by poppler, filled in
// pencil and photographed by the corpus's imaging model (PrintedCards.h).
// The cells of a smaller card are photographed from nearer, as a teacher
// holds the camera so that a cell row fills the same pixels.
//
// SCORIVO_PRINTED_DESIGN_FRAMES sets the frames per design (default 3; 50 for
// the full run); SCORIVO_PRINTED_VERBOSE=1 lists the frames not read right
// with the rule that sent them back; SCORIVO_PRINTED_CARD=TEXT keeps the
// designs whose name contains TEXT; SCORIVO_PRINTED_DUMP=FOLDER saves those
// frames there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "PrintedCards.h"
#include "cardprint/DesignedCard.h"
#include "cardprint/GuiApp.h"
#include "exam/CardDesign.h"
#include "recognition/CardLayout.h"
#include "recognition/MarkSampling.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"
#include "support/DesignedCards.h"

namespace {

using namespace printcorpus;

int FramesPerDesign()
{
    const char* v = std::getenv("SCORIVO_PRINTED_DESIGN_FRAMES");
    return v && *v ? std::atoi(v) : 3;
}

bool Multiple(int q) { return q % 7 == 3; }

// Measured on the default run (12 designs x 3 frames).
constexpr int kDesignedRightAtLeast = 35;
constexpr int kDesignedWrongAtMost = 0;

struct Filled {
    int abType = 0;
    std::string admission, subject;
    float score = 0;
    std::vector<std::string> answers;
    std::vector<StudentMark> marks;
};

Filled Fill(const CardTemplate& t, Random& rng, bool lightHand)
{
    Filled f;
    f.abType = t.AbMode == 1 ? 0 : t.AbMode == 2 ? 1 : rng.Below(2);
    const MarkKind kind = lightHand ? MarkKind::Light : MarkKind::Pencil;
    if (t.AbMode == 0)
        f.marks.push_back({f.abType == 0 ? CellPos{t.AbACol, t.AbARow} : CellPos{t.AbBCol, t.AbBRow}, kind});
    auto digits = [&](int columns, int rows, float col, float row, std::string& text) {
        for (int i = 0; i < columns; ++i) {
            const int d = rng.Below(rows);
            text += static_cast<char>('0' + d);
            f.marks.push_back({DigitCell(col, row, i, d), kind});
        }
    };
    digits(t.AdmColumns, 10, t.AdmCol, t.AdmRow, f.admission);
    digits(t.SubjColumns, t.SubjRows, t.SubjCol, t.SubjRow, f.subject);
    if (t.ScoreColumns > 0) {
        // Written right-aligned; the leading columns left blank or filled with 0.
        int limit = 1;
        for (int i = 0; i < t.ScoreColumns; ++i)
            limit *= 10;
        const int value = rng.Below(std::min(limit, 151));
        std::string written = std::to_string(value);
        const char pad = rng.Chance(0.3) ? '0' : ' ';
        written.insert(0, static_cast<std::size_t>(t.ScoreColumns) - written.size(), pad);
        for (int i = 0; i < t.ScoreColumns; ++i)
            if (written[static_cast<std::size_t>(i)] != ' ')
                f.marks.push_back(
                    {DigitCell(t.ScoreCol, t.ScoreRow, i, written[static_cast<std::size_t>(i)] - '0'), kind});
        f.score = static_cast<float>(value);
    }
    for (int q = 0; q < t.QuestionCount; ++q) {
        const QuestionLayout lay = LayoutQuestion(t, f.abType, q);
        std::string a;
        if (Multiple(q)) {
            for (int j = 0; j < lay.options; ++j)
                if (rng.Chance(0.4))
                    a += static_cast<char>('A' + j);
        } else if (!rng.Chance(0.1)) {
            a = static_cast<char>('A' + rng.Below(lay.options));
        }
        for (char letter : a)
            f.marks.push_back({OptionCell(lay, q % 5, letter - 'A'), kind});
        f.answers.push_back(a);
    }
    return f;
}

TEST(PrintedCorpus, DesignedCardsReadRightOrRefuse)
{
    cardprint::EnsureGuiApplication();
    const int frames = FramesPerDesign();
    const bool verbose = std::getenv("SCORIVO_PRINTED_VERBOSE") != nullptr;
    const char* only = std::getenv("SCORIVO_PRINTED_CARD");
    const bool everyDesign = !only || !*only;
    const char* dump = std::getenv("SCORIVO_PRINTED_DUMP");
    const std::vector<CardDesign> designs = testdesigns::Designs();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("scorivo-designed-" + std::to_string(::getpid()));
    int right = 0, refused = 0, wrong = 0;
    for (std::size_t di = 0; di < designs.size(); ++di) {
        if (!everyDesign && designs[di].name.find(only) == std::string::npos)
            continue;
        const CardLayoutResult card = LayOutCard(designs[di]);
        ASSERT_TRUE(card.ok) << card.reason;
        const cardprint::DesignedCardFiles files = cardprint::DesignedCardFilesIn(folder, card);
        std::string error;
        ASSERT_TRUE(cardprint::WriteDesignedCard(card, files, &error)) << error;
        const std::filesystem::path pagesFolder = folder / std::to_string(di);
        std::filesystem::create_directories(pagesFolder);
        const std::vector<cv::Mat> pages = RasterisePdf(files.pdf.string(), pagesFolder.string(), 300, &error);
        ASSERT_EQ(pages.size(), card.papers.size()) << error;
        const cardprint::CardGeometry g(card.record, IsJdTemplate(card.fileName));

        RecognitionContext ctx;
        ctx.SetUp(640, 480, 3);
        ctx.SetTemplate(card.record, card.fileName);
        bool multiple[card_limits::MaxQuestions] = {};
        for (int q = 0; q < card_limits::MaxQuestions; ++q)
            multiple[q] = Multiple(q);
        const SamplingExam exam = WholeTemplateExam(card.record, multiple);
        Random rng(4711 + di);
        int cardRight = 0, cardRefused = 0, cardWrong = 0;
        for (int i = 0; i < frames; ++i) {
            const bool lightHand = rng.Chance(0.12);
            const Filled f = Fill(card.record, rng, lightHand);
            const Hand hand = RandomHand(rng, lightHand);
            Shot shot = RandomShot(rng);
            shot.pixelsPerMm *= 4.0 / card.record.CellHeight;
            const cv::Mat& blank = pages.at(card.papers.size() == 2 ? static_cast<std::size_t>(f.abType) : 0);
            const PageMapping map(g, blank.size(), 300);
            cv::Mat page = blank.clone();
            Random markRng(rng.Next());
            DrawMarks(page, map, g, f.marks, hand, markRng);
            const cv::Mat frame = Photograph(page, map, shot);
            const BitmapView v = ctx.FrameBitmap.View();
            for (int r = 0; r < frame.rows && r < v.height; ++r)
                for (int x = 0; x < frame.cols && x < v.width; ++x)
                    std::memcpy(v.TopRow(r) + x * v.bytesPerPixel, frame.ptr<uint8_t>(r) + 3 * x, 3);
            PrepareFrame(ctx);
            RawReadingAcceptance acceptance(exam, card.record.AdmColumns);
            const MarkingOutcome out = RunMarkingAttempt(ctx, acceptance);
            std::string diff;
            const std::string_view number = ctx.Reading.admissionNumber.View();
            bool refusedHere = out.code != 0 || number.find_first_of(" ?") != std::string_view::npos ||
                               ctx.SubjectCode.View() != f.subject;
            if (!refusedHere) {
                if (number != f.admission)
                    diff += " adm '" + std::string(number) + "'";
                if (ctx.Reading.paperType != f.abType)
                    diff += " ab";
                if (exam.hasSubjectiveScore && ctx.Reading.subjectiveScore != f.score)
                    diff += " score " + std::to_string(ctx.Reading.subjectiveScore) + " for " +
                            std::to_string(f.score);
                for (int q = 0; q < exam.questionCount; ++q)
                    if (ctx.Reading.questionResults[q].answer.View() != f.answers[static_cast<std::size_t>(q)])
                        diff += " q" + std::to_string(q + 1) + " '" +
                                std::string(ctx.Reading.questionResults[q].answer.View()) + "' for '" +
                                f.answers[static_cast<std::size_t>(q)] + "'";
            }
            (refusedHere ? cardRefused : diff.empty() ? cardRight : cardWrong)++;
            const bool notRight = refusedHere || !diff.empty();
            if (verbose && refusedHere && out.code == 0)
                diff += " adm '" + std::string(number) + "' for '" + f.admission + "' subj '" +
                        std::string(ctx.SubjectCode.View()) + "' for '" + f.subject + "'";
            if (verbose && notRight && ctx.RereadRule)
                diff += std::string(" rule '") + ctx.RereadRule + "' at q" + std::to_string(ctx.RereadQuestion + 1) +
                        " (" + f.answers[static_cast<std::size_t>(ctx.RereadQuestion)] + ")" +
                        OptionReadings(ctx, ctx.RereadQuestion);
            if (dump && *dump && notRight)
                cv::imwrite(std::string(dump) + "/design" + std::to_string(di) + "-" + std::to_string(i) + ".png",
                            frame);
            if (verbose && notRight)
                std::printf("  %s #%d code %d %s |%s| px/mm %.2f rot %.1f tilt %.1f,%.1f light hand %d\n",
                            card.fileName.c_str(), i, out.code, ctx.StatusText.c_str(), diff.c_str(),
                            shot.pixelsPerMm, shot.rotateDeg, shot.tiltXDeg, shot.tiltYDeg, lightHand);
        }
        std::printf("%s (%s, %.1f x %.1f mm cells, printed, photographed): %d frames, %d right, %d refused, "
                    "%d wrong\n",
                    card.fileName.c_str(),
                    PaperText(designs[di].paper, designs[di].landscape).c_str(), card.record.CellWidth,
                    card.record.CellHeight, frames, cardRight, cardRefused, cardWrong);
        right += cardRight;
        refused += cardRefused;
        wrong += cardWrong;
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::printf("designed cards, printed: %d right, %d refused, %d wrong\n", right, refused, wrong);
    // The figures of the default run, as measured; the shipped cards' own
    // corpus holds its figures the same way while recognition is reworked.
    if (std::getenv("SCORIVO_PRINTED_DESIGN_FRAMES") == nullptr && everyDesign) {
        EXPECT_GE(right, kDesignedRightAtLeast);
        EXPECT_LE(wrong, kDesignedWrongAtMost);
    }
}

} // namespace
