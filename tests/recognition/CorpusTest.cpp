// Whole-card reading on the synthetic camera: every shipped template, a
// seeded set of filled cards photographed over the accepted range of poses,
// light, noise, blur and JPEG quality, in both orientations. Counts frames
// read completely right, refused, and read wrong; a wrong reading without a
// refusal is the failure that matters. A number read with a blank column
// among digits counts as refused: no roster holds one, and acceptance
// refuses it with the lighting advice; so is a number with a column of ink
// that picks no row.
//
// SCORIVO_CORPUS_FRAMES sets the frames per template (default 24; the full
// run is 200); SCORIVO_CORPUS_VERBOSE=1 lists every frame that is not read
// right; SCORIVO_CORPUS_DUMP=FOLDER saves those frames there as PNG (camera
// samples); SCORIVO_CORPUS_LIGHT=0, 1 or 2 keeps the light even, graded or
// shadowed; SCORIVO_CORPUS_ONLY=N reads frame N of each template alone;
// SCORIVO_CORPUS_CARD=TEXT keeps the templates whose file name contains TEXT;
// SCORIVO_CORPUS_SEED=N draws another corpus; SCORIVO_CORPUS_ALIGN=1 prints
// where the marks lie in their sampled areas (the card faces are printed so
// that they lie in the middle).
//
// Per template: no frame read wrong, and at least 99 % read right (at most
// one frame in a hundred, rounded up, refused).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "cardprint/Prng.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "marking/CardPicture.h"
#include "platform/Files.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/MarkSampling.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"

namespace {

using cardprint::SplitMix64;

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::string RandomDigits(SplitMix64& rng, int columns, double blankChance)
{
    std::string s;
    for (int i = 0; i < columns; ++i)
        s += rng.Chance(blankChance) ? ' ' : static_cast<char>('0' + rng.Below(10));
    return s;
}

// Which questions of a template are multiple choice in the corpus exam.
bool IsMultiple(int q)
{
    return q % 7 == 3;
}

cardprint::FilledCard RandomCard(const CardTemplate& t, SplitMix64& rng)
{
    cardprint::FilledCard c;
    c.abType = rng.Below(2);
    // A student's number has every digit; the standard answer's is blank.
    c.admission = RandomDigits(rng, t.AdmColumns, rng.Chance(0.1) ? 1.0 : 0.0);
    c.subject = RandomDigits(rng, t.SubjColumns, 0.0);
    c.score = RandomDigits(rng, t.ScoreColumns, 0.0);
    for (int q = 0; q < t.QuestionCount; ++q) {
        const int options = std::max(1, t.DefaultOptions);
        std::string a;
        if (IsMultiple(q)) {
            for (int j = 0; j < options; ++j)
                if (rng.Chance(0.4))
                    a += static_cast<char>('A' + j);
        } else if (!rng.Chance(0.1)) {
            a = static_cast<char>('A' + rng.Below(options));
        }
        c.answers.push_back(a);
    }
    c.markSeed = rng.Next();
    return c;
}

cardprint::SynthOptions RandomPose(SplitMix64& rng, uint64_t seed)
{
    cardprint::SynthOptions o;
    o.seed = seed;
    o.scale = rng.Range(0.93, 1.07);
    o.rotateDeg = rng.Range(-8, 8);
    const double tilt = rng.Range(0, 10), dir = rng.Range(0, 6.283185307179586);
    // About the horizontal axis at most 7 degrees: beyond that the largest
    // card (lines 180 mm long, 106 mm apart) seen from the nearest accepted
    // distance shows its two lines more than 20 px different in length, and
    // the frame is refused as having no line pair (a separate test checks it).
    o.tiltXDeg = 0.7 * tilt * std::cos(dir);
    o.tiltYDeg = tilt * std::sin(dir);
    o.shiftX = rng.Range(-20, 20);
    o.shiftY = rng.Range(-20, 20);
    o.light = static_cast<cardprint::SynthOptions::Light>(rng.Below(3));
    if (const int light = EnvInt("SCORIVO_CORPUS_LIGHT", -1); light >= 0 && light <= 2)
        o.light = static_cast<cardprint::SynthOptions::Light>(light);
    o.noise = rng.Range(1, 4);
    o.blur = rng.Range(0.3, 1.0);
    o.jpegQuality = 70 + rng.Below(26);
    o.turned = rng.Chance(0.5);
    return o;
}

struct Reader {
    RecognitionContext ctx;
    SamplingExam exam;

    Reader(const cardprint::ShippedCard& card, int bytesPerPixel)
    {
        ctx.SetUp(640, 480, bytesPerPixel);
        ctx.SetTemplate(card.record, card.fileName);
        bool multiple[card_limits::MaxQuestions] = {};
        for (int q = 0; q < card_limits::MaxQuestions; ++q)
            multiple[q] = IsMultiple(q);
        exam = WholeTemplateExam(card.record, multiple);
    }
    MarkingOutcome Read(const QImage& picture)
    {
        const cardprint::CameraSample s = cardprint::ToCameraSample(picture, ctx.FrameBitmap.BytesPerPixel());
        std::memcpy(ctx.FrameBitmap.Data(), s.pixels.data(), ctx.FrameBitmap.ByteSize());
        Rotate180(ctx.FrameBitmap.View());
        PrepareFrame(ctx);
        RawReadingAcceptance acceptance(exam, ctx.Template.AdmColumns);
        return RunMarkingAttempt(ctx, acceptance);
    }
};

std::string Padded(std::string s, int columns)
{
    s.resize(static_cast<std::size_t>(std::max(columns, 0)), ' ');
    return s;
}

// Empty when the reading equals the truth; otherwise what differs.
std::string Differences(const RecognitionContext& ctx, const SamplingExam& exam, const cardprint::SynthTruth& truth)
{
    const CardTemplate& t = ctx.Template;
    const CardReading& r = ctx.Reading;
    std::string diff;
    if (r.paperType != truth.abType)
        diff += " ab";
    if (r.admissionNumber.View() != Padded(truth.admission, t.AdmColumns)) {
        diff += " adm '" + std::string(r.admissionNumber.View()) + "'!='" + Padded(truth.admission, t.AdmColumns) + "'";
        const std::string want = Padded(truth.admission, t.AdmColumns);
        for (int i = 0; i < t.AdmColumns; ++i) {
            if (r.admissionNumber.View()[static_cast<std::size_t>(i)] == want[static_cast<std::size_t>(i)])
                continue;
            diff += " col" + std::to_string(i) + " fills";
            for (int j = 0; j < 10; ++j)
                diff += " " + std::to_string(CellFill(ctx.RectifiedCard.View(), ctx.AdmGrid.corner[i][j], ctx.Geometry.sx,
                                                      ctx.Geometry.sy)) +
                        "/" +
                        std::to_string(
                            CellBlack(ctx.CheckCard.View(), ctx.AdmGrid.corner[i][j], ctx.Geometry.sx, ctx.Geometry.sy));
        }
    }
    if (ctx.SubjectCode.View() != Padded(truth.subject, t.SubjColumns))
        diff += " subj '" + std::string(ctx.SubjectCode.View()) + "'";
    if (exam.hasSubjectiveScore && r.subjectiveScore != std::strtof(truth.score.c_str(), nullptr))
        diff += " score " + std::to_string(r.subjectiveScore);
    for (int q = 0; q < exam.questionCount; ++q) {
        const std::string& want = truth.answers[static_cast<std::size_t>(q)];
        std::string expected = IsMultiple(q) || want.size() <= 1 ? want : want.substr(0, 1);
        if (r.questionResults[q].answer.View() != expected) {
            diff += " q" + std::to_string(q + 1) + " '" + std::string(r.questionResults[q].answer.View()) + "'!='" +
                    expected + "' at " + std::to_string(static_cast<int>(ctx.Questions[q].corner[0].x)) + "," +
                    std::to_string(static_cast<int>(ctx.Questions[q].corner[0].y)) + " fills";
            const QuestionCells& cells = ctx.Questions[q];
            for (int j = 0; j < cells.options; ++j)
                diff +=
                    " " +
                    std::to_string(
                        CellFill(ctx.RectifiedCard.View(), cells.corner[j], ctx.Geometry.sx, ctx.Geometry.sy)) +
                    "/" +
                    std::to_string(CellBlack(ctx.CheckCard.View(), cells.corner[j], ctx.Geometry.sx, ctx.Geometry.sy));
        }
    }
    return diff;
}

constexpr int RosterRefusal = 1013; // listed as "1013": code 13 from the roster lookup

// Where the marks lie in their sampled areas: for every filled single
// answer and admission digit, the centre of the confirming ink around the
// cell's sampling window less the window's centre, by region of the card.
class Alignment {
public:
    void Add(const RecognitionContext& c, const SamplingExam& exam, const cardprint::SynthTruth& truth)
    {
        const int columns = c.Template.AdmColumns;
        for (int q = -columns; q < exam.questionCount; ++q) {
            PointF k;
            if (q < 0) {
                const char d = truth.admission[static_cast<std::size_t>(q + columns)];
                if (d == ' ')
                    continue;
                k = c.AdmGrid.corner[q + columns][d - '0'];
            } else {
                const std::string& want = truth.answers[static_cast<std::size_t>(q)];
                if (want.size() != 1)
                    continue;
                k = c.Questions[q].corner[want[0] - 'A'];
            }
            const int region = q < 0 ? 6 : (k.x < 330 ? 0 : k.x < 470 ? 1 : 2) + (k.y < 400 ? 0 : 3);
            AddCell(c, k, regions_[region]);
        }
    }
    void Print() const
    {
        static const char* const names[] = {"answers lower left", "answers lower middle", "answers lower right",
                                            "answers upper left", "answers upper middle", "answers upper right",
                                            "header digits"};
        for (int g = 0; g < 7; ++g) {
            const Sums& a = regions_[g];
            if (a.n == 0)
                continue;
            auto sd = [&](double sum, double squares) { return std::sqrt(squares / a.n - (sum / a.n) * (sum / a.n)); };
            std::printf("  %-20s %5d marks: dx %+.2f (sd %.2f, max %.1f)  dy %+.2f (sd %.2f, max %.1f) px\n",
                        names[g], a.n, a.dx / a.n, sd(a.dx, a.dx2), a.maxDx, a.dy / a.n, sd(a.dy, a.dy2), a.maxDy);
        }
    }

private:
    struct Sums {
        int n = 0;
        double dx = 0, dy = 0, dx2 = 0, dy2 = 0, maxDx = 0, maxDy = 0;
    };
    static void AddCell(const RecognitionContext& c, PointF k, Sums& a)
    {
        const float sx = c.Geometry.sx, sy = c.Geometry.sy;
        const BitmapView check = c.CheckCard.View();
        // The window's centre: columns from k.x, rows from k.y - sy + 2 up to k.y.
        const double cx = k.x + sx / 2, cy = k.y - sy / 2 + 1;
        double sumX = 0, sumY = 0;
        int n = 0;
        for (int y = static_cast<int>(cy - 0.8 * sy); y <= static_cast<int>(cy + 0.8 * sy); ++y)
            for (int x = static_cast<int>(cx - 0.7 * sx); x <= static_cast<int>(cx + 0.7 * sx); ++x)
                if (check.Contains(x, y) && IsBlack(check.At(x, y))) {
                    sumX += x + 0.5;
                    sumY += y + 0.5;
                    ++n;
                }
        if (n < 5)
            return;
        const double dx = sumX / n - cx, dy = sumY / n - cy;
        ++a.n;
        a.dx += dx;
        a.dy += dy;
        a.dx2 += dx * dx;
        a.dy2 += dy * dy;
        a.maxDx = std::max(a.maxDx, std::fabs(dx));
        a.maxDy = std::max(a.maxDy, std::fabs(dy));
    }
    Sums regions_[7];
};

struct Tally {
    int right = 0;
    int refused = 0;
    int wrong = 0;
    std::map<int, int> refusals;
};

TEST(Corpus, ShippedTemplatesReadRightOrRefuse)
{
    const int frames = EnvInt("SCORIVO_CORPUS_FRAMES", 24);
    const bool verbose = EnvInt("SCORIVO_CORPUS_VERBOSE", 0) != 0;
    const char* dump = std::getenv("SCORIVO_CORPUS_DUMP");
    const int only = EnvInt("SCORIVO_CORPUS_ONLY", -1); // one frame number, for a closer look
    Tally all;
    const std::vector<cardprint::ShippedCard> cards = cardprint::ShippedCards();
    const char* onlyCard = std::getenv("SCORIVO_CORPUS_CARD");
    int templates = 0;
    std::optional<Alignment> alignment;
    if (EnvInt("SCORIVO_CORPUS_ALIGN", 0) != 0)
        alignment.emplace();
    for (const cardprint::ShippedCard& card : cards) {
        if (onlyCard && *onlyCard && card.fileName.find(onlyCard) == std::string::npos)
            continue;
        Tally tally;
        ++templates;
        SplitMix64 rng(cardprint::MixSeed(static_cast<uint64_t>(EnvInt("SCORIVO_CORPUS_SEED", 20261207)),
                                           std::hash<std::string>{}(card.fileName)));
        Reader reader(card, 3);
        Reader reader32(card, 4);
        for (int i = 0; i < frames; ++i) {
            const cardprint::FilledCard filled = RandomCard(card.record, rng);
            const cardprint::SynthOptions pose = RandomPose(rng, rng.Next());
            if (only >= 0 && only != i)
                continue;
            cardprint::SynthTruth truth;
            const QImage picture = cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, pose, &truth);
            Reader& r = i % 4 == 3 ? reader32 : reader;
            const MarkingOutcome out = r.Read(picture);
            std::string diff = out.code == 0 ? Differences(r.ctx, r.exam, truth) : std::string();
            if (out.code == 0 && alignment)
                alignment->Add(r.ctx, r.exam, truth);
            // A number with a blank column and digits is never on a roster,
            // and one with an unclear column is refused outright: acceptance
            // gives both the lighting advice.
            const std::string_view number = r.ctx.Reading.admissionNumber.View();
            const bool partlyBlank = (number.find(' ') != std::string_view::npos &&
                                      number.find_first_not_of(' ') != std::string_view::npos) ||
                                     number.find(UnclearDigit) != std::string_view::npos;
            if (out.code != 0 || partlyBlank) {
                ++tally.refused;
                ++tally.refusals[out.code != 0 ? out.code : RosterRefusal];
            } else if (diff.empty()) {
                ++tally.right;
            } else {
                ++tally.wrong;
            }
            if (dump && (out.code != 0 || partlyBlank || !diff.empty())) {
                const std::string stem = std::string(dump) + "/" + std::to_string(&card - &cards[0]) + "-" +
                                         std::to_string(i);
                picture.save(QString::fromStdString(stem + ".png"));
                // The card pictures as the attempt left them.
                EXPECT_TRUE(files::WriteAll(stem + "-card.bmp", EncodeBmp(r.ctx.RectifiedCard.View())));
                EXPECT_TRUE(files::WriteAll(stem + "-check.bmp", EncodeBmp(r.ctx.CheckCard.View())));
                EXPECT_TRUE(files::WriteAll(stem + "-lines.bmp", EncodeBmp(r.ctx.LineFrame.View())));
                EXPECT_TRUE(files::WriteAll(stem + "-skeleton.bmp", EncodeBmp(r.ctx.FrameBitmap.View())));
            }
            if (verbose && out.code >= 100) {
                // Where the line stage saw the lines, for refusals it made.
                const LineEnds& e = r.ctx.Ends;
                auto ext = [](PointI a, PointI b) {
                    return static_cast<int>(std::sqrt(double(a.x - b.x) * (a.x - b.x) + double(a.y - b.y) * (a.y - b.y)));
                };
                std::printf("    lines: bottom %d,%d-%d,%d ends %d,%d %d,%d  top %d,%d-%d,%d ends %d,%d %d,%d  ext %d %d %d %d\n",
                            e.bottom.p1.x, e.bottom.p1.y, e.bottom.p2.x, e.bottom.p2.y, e.bottomLeft.x, e.bottomLeft.y,
                            e.bottomRight.x, e.bottomRight.y, e.top.p1.x, e.top.p1.y, e.top.p2.x, e.top.p2.y, e.topLeft.x,
                            e.topLeft.y, e.topRight.x, e.topRight.y, ext(e.bottom.p1, e.bottomLeft),
                            ext(e.bottom.p2, e.bottomRight), ext(e.top.p1, e.topLeft), ext(e.top.p2, e.topRight));
            }
            if (verbose && (out.code != 0 || partlyBlank || !diff.empty()))
                std::printf("  %s #%d code %d %s |%s| scale %.3f rot %.1f tilt %.1f,%.1f shift %.0f,%.0f light %d "
                            "jpeg %d turned %d\n",
                            card.fileName.c_str(), i, out.code, r.ctx.StatusText.c_str(), diff.c_str(), pose.scale,
                            pose.rotateDeg, pose.tiltXDeg, pose.tiltYDeg, pose.shiftX, pose.shiftY, pose.light,
                            pose.jpegQuality, pose.turned);
        }
        if (alignment) {
            alignment->Print();
            *alignment = Alignment{};
        }
        std::string codes;
        for (auto [code, n] : tally.refusals)
            codes += " " + std::to_string(code) + "x" + std::to_string(n);
        std::printf("%s: %d frames, %d right, %d refused (%s ), %d wrong\n", card.fileName.c_str(), frames, tally.right,
                    tally.refused, codes.c_str(), tally.wrong);
        all.right += tally.right;
        all.refused += tally.refused;
        all.wrong += tally.wrong;
        EXPECT_EQ(tally.wrong, 0) << card.fileName;
        if (only < 0) {
            EXPECT_GE(tally.right, frames - (frames + 99) / 100) << card.fileName;
        }
    }
    const int total = frames * templates;
    std::printf("all: %d frames, %d right (%.1f %%), %d refused, %d wrong\n", total, all.right,
                total ? 100.0 * all.right / total : 0.0, all.refused, all.wrong);
    ASSERT_GT(frames, 0);
}

} // namespace

namespace {

// Frames outside the accepted envelope give their own codes, never a reading.
TEST(Corpus, FramesOutsideTheEnvelopeGiveTheirCodes)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    SplitMix64 rng(77);
    const cardprint::FilledCard filled = RandomCard(card.record, rng);
    Reader reader(card, 3);
    auto read = [&](cardprint::SynthOptions o, double darken = 1.0) {
        o.seed = 5;
        QImage picture = cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, o);
        if (darken != 1.0) {
            picture = picture.convertToFormat(QImage::Format_RGB32);
            for (int y = 0; y < picture.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
                for (int x = 0; x < picture.width(); ++x)
                    line[x] = qRgb(static_cast<int>(qRed(line[x]) * darken), static_cast<int>(qGreen(line[x]) * darken),
                                   static_cast<int>(qBlue(line[x]) * darken));
            }
        }
        return reader.Read(picture).code;
    };
    cardprint::SynthOptions o;
    EXPECT_EQ(read(o), 0);
    o.scale = 1.2;
    EXPECT_EQ(read(o), CodeTooNear);
    EXPECT_EQ(reader.ctx.StatusText, "摄像头离答题卡太近");
    o.scale = 0.82;
    EXPECT_EQ(read(o), CodeTooFar);
    o.scale = 1.0;
    o.shiftX = 110;
    EXPECT_EQ(read(o), CodeOffCentre);
    o.shiftX = 0;
    o.shiftY = 120; // the top of the card leaves the picture
    const int cut = read(o);
    EXPECT_TRUE(cut >= 1 && cut <= 10) << cut; // lines lost (1, 2), ends out (3-6) or corners out (7-10)
    o.shiftY = 0;
    EXPECT_EQ(read(o, 0.3), CodeTooMuchBlack);
    // Tilted far about the horizontal axis, seen from near: the lines differ
    // in length by more than a pair may.
    o.scale = 1.06;
    o.tiltXDeg = 9.5;
    EXPECT_EQ(read(o), CodeNoLinePair);
    o.tiltXDeg = -9.5;
    EXPECT_EQ(read(o), CodeNoLinePair);
}

} // namespace
