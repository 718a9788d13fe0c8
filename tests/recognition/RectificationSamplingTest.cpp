#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "EveryPath.h"
#include "TinyBitmaps.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/MarkSampling.h"
#include "recognition/RecognitionPipeline.h"
#include "recognition/Rectification.h"

static LineRecord Horizontal(PointI p1, PointI p2)
{
    LineRecord r;
    r.p1 = p1;
    r.p2 = p2;
    r.length = p2.x - p1.x;
    return r;
}

// A 640 x 480 context with a card of 360 x 280 units and 10-unit cells.
static void SetUpRectification(RecognitionContext& ctx, int bytesPerPixel)
{
    ctx.SetUp(640, 480, bytesPerPixel);
    CardTemplate t{};
    t.LineLength = 360;
    t.LineDistance = 280;
    t.CellWidth = 10;
    t.CellHeight = 10;
    ctx.SetTemplate(t, "DYtest.dat");
}

TEST(Rectify, PerpendicularUnrotatedCardIsTheFrameShiftedByOnePixel)
{
    RecognitionContext ctx;
    SetUpRectification(ctx, 3);
    // Blocks of grey large enough that smoothing leaves their insides alone.
    Bitmap& f = ctx.ColourFrame;
    f.FillWhite();
    FillRect(f, 140, 100, 500, 103);
    FillRect(f, 140, 380, 500, 383);
    FillRect(f, 200, 200, 260, 240, 60);
    FillRect(f, 400, 150, 430, 330, 120);
    ctx.Ends.bottom = Horizontal({150, 101}, {490, 101});
    ctx.Ends.top = Horizontal({150, 381}, {490, 381});
    ctx.Ends.bottomLeft = {140, 101};
    ctx.Ends.bottomRight = {500, 101};
    ctx.Ends.topLeft = {140, 381};
    ctx.Ends.topRight = {500, 381};
    RectifyCard(ctx);

    const CardGeometry& g = ctx.Geometry;
    EXPECT_FLOAT_EQ(g.s, 1.0f);
    EXPECT_EQ(g.I1, (PointI{221, 262}));
    EXPECT_EQ(g.I3, (PointI{221, 542}));
    const float* h = ctx.Placement.toPicture.h;
    EXPECT_NEAR(h[0], 1, 1e-4);
    EXPECT_NEAR(h[4], 1, 1e-4);
    EXPECT_NEAR(h[2], 0, 1e-2);
    EXPECT_NEAR(h[6], 0, 1e-6);
    for (PointI p : {PointI{230, 220}, PointI{415, 300}, PointI{300, 400}, PointI{250, 101}}) {
        const uint8_t* from = ctx.ColourFrame.At(p.x, p.y);
        const uint8_t* to = ctx.RectifiedCard.At(p.x + 81, p.y + 161);
        EXPECT_EQ(from[0], to[0]) << p.x << "," << p.y;
    }
    // The frame covers card space from (81, 161) to (721, 641).
    EXPECT_EQ(ctx.Placement.covered[0], (PointI{81, 161}));
    EXPECT_EQ(ctx.Placement.covered[2], (PointI{721, 641}));
    // The corner checks reach 12 rows of 10 pixels above the top line: beyond the frame's top (641).
    EXPECT_EQ(ctx.Placement.upperLeft.y, 542 + 120);
    EXPECT_EQ(CheckCardPlacement(ctx), 9);
    ctx.Template.CellHeight = 5; // 12 * 5 above the top line is inside
    RectifyCard(ctx);
    EXPECT_EQ(CheckCardPlacement(ctx), 0);
    ctx.Template.CellWidth = 100; // 1.5 cells sideways leave the frame on the left
    RectifyCard(ctx);
    EXPECT_EQ(CheckCardPlacement(ctx), 7);
}

// The card picture as the two drawing steps make it: the colour frame turned
// into a white 800 x 800 picture, then every card pixel taken from where the
// mapping lands in it, then smoothed.
static Bitmap TwoPassCard(const RecognitionContext& ctx, const Bitmap& before)
{
    const BitmapView colour = ctx.ColourFrame.View();
    Bitmap turned(CardPictureSize, CardPictureSize, ctx.RectifiedCard.BytesPerPixel());
    turned.FillWhite();
    RotateImage(colour, turned.View(), Rotation::For(ctx.Ends.bottom.angle, colour.width, colour.height));
    Bitmap card = before.Copy();
    const float* h = ctx.Placement.toPicture.h;
    for (int y = 0; y < CardPictureSize; ++y)
        for (int x = 0; x < CardPictureSize; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float d = h[6] * fx + h[7] * fy + 1;
            const float mx = (h[0] * fx + h[1] * fy + h[2]) / d;
            const float my = (h[3] * fx + h[4] * fy + h[5]) / d;
            const int tx = static_cast<int>(mx), ty = static_cast<int>(my);
            if (mx > -1.0f && mx < 800.0f && my > -1.0f && my < 800.0f)
                CopyPixel(card.At(x, y), turned.At(tx, ty), card.BytesPerPixel());
        }
    Smoother().Smooth3x3(card.View());
    return card;
}

TEST(Rectify, CardPictureEqualsTurningThenWarpingByteForByte)
{
    OnEveryPath([] {
        for (int bpp : {3, 4}) {
            RecognitionContext ctx;
            SetUpRectification(ctx, bpp);
            // A picture whose every pixel differs from its neighbours, so that
            // a pixel taken from one place off shows.
            Bitmap& f = ctx.ColourFrame;
            for (int y = 0; y < f.Height(); ++y)
                for (int x = 0; x < f.Width(); ++x) {
                    uint8_t* p = f.At(x, y);
                    p[0] = static_cast<uint8_t>(x * 7 + y * 13);
                    p[1] = static_cast<uint8_t>(x * 3 ^ y * 5);
                    p[2] = static_cast<uint8_t>(x + y * 31);
                    if (bpp == 4)
                        p[3] = static_cast<uint8_t>(x ^ y);
                }
            struct Pose {
                double angle;
                PointI bl, br, tl, tr;
            };
            std::vector<Pose> poses = {
                {0.0, {140, 101}, {500, 101}, {140, 381}, {500, 381}},
                {0.12, {120, 60}, {470, 104}, {90, 330}, {445, 380}},      // turned and trapezoid
                {-0.2, {60, 200}, {600, 90}, {110, 470}, {640, 350}},      // reaching past the frame
                {0.05, {-40, 20}, {700, 40}, {-20, 520}, {660, 500}},      // card larger than the frame
            };
            // Seeded poses as a hand holds a card: the landings straddle turned
            // rows and the picture's edges in every way the vector paths meet.
            std::mt19937 random(bpp);
            auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
            for (int k = 0; k < 12; ++k) {
                const PointI bl{between(-60, 300), between(0, 250)};
                const PointI br{bl.x + between(200, 500), bl.y + between(-70, 70)};
                const PointI tl{bl.x + between(-70, 70), bl.y + between(120, 380)};
                const PointI tr{br.x + between(-70, 70), br.y + between(120, 380)};
                poses.push_back({between(-300, 300) / 1000.0, bl, br, tl, tr});
            }
            // Steep keystones and small cards far off centre: the white margin
            // beside the frame, written without landing each pixel, meets the
            // frame at every slant.
            for (int k = 0; k < 12; ++k) {
                const PointI bl{between(-200, 500), between(-100, 400)};
                const PointI br{bl.x + between(60, 700), bl.y + between(-200, 200)};
                const PointI tl{bl.x + between(-250, 250), bl.y + between(40, 500)};
                const PointI tr{br.x + between(-250, 250), br.y + between(40, 500)};
                poses.push_back({between(-600, 600) / 1000.0, bl, br, tl, tr});
            }
            int round = 0;
            for (const Pose& pose : poses) {
                ctx.Ends.bottom.angle = pose.angle;
                ctx.Ends.bottomLeft = pose.bl;
                ctx.Ends.bottomRight = pose.br;
                ctx.Ends.topLeft = pose.tl;
                ctx.Ends.topRight = pose.tr;
                // Pixels no mapping reaches keep the previous picture.
                ctx.RectifiedCard.Fill(static_cast<uint8_t>(round * 40), 17, 99);
                const Bitmap before = ctx.RectifiedCard.Copy();
                RectifyCard(ctx);
                const Bitmap want = TwoPassCard(ctx, before);
                ASSERT_EQ(std::memcmp(want.Data(), ctx.RectifiedCard.Data(), want.ByteSize()), 0)
                    << "bpp " << bpp << " pose " << round;
                ASSERT_EQ(std::memcmp(want.Data(), ctx.CheckCard.Data(), want.ByteSize()), 0);
                ++round;
            }
        }
    });
}

TEST(Rectify, InsidePolygonEvenOdd)
{
    const PointI quad[4] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    EXPECT_TRUE(InsidePolygon(quad, {50, 50}));
    EXPECT_FALSE(InsidePolygon(quad, {150, 50}));
    EXPECT_FALSE(InsidePolygon(quad, {50, -1}));
}

// The cell counts and the kept grey levels walk the pixels as these loops do,
// for windows inside, across and beyond the picture's edges, with whole and
// fractional edges, in 3- and 4-byte pictures.
TEST(CellWindows, CountAndKeepAsThePixelByPixelWalk)
{
    OnEveryPath([] {
        std::mt19937 rng(20261210);
        std::vector<uint8_t> grey(std::size_t(CardPictureSize) * CardPictureSize);
        for (uint8_t& g : grey)
            g = static_cast<uint8_t>(rng());
        std::uniform_real_distribution<float> position(-40.0f, 140.0f), size(0.3f, 45.0f);
        for (int bpp : {3, 4}) {
            Bitmap bmp(101, 77, bpp);
            for (int y = 0; y < bmp.Height(); ++y)
                for (int x = 0; x < bmp.Width(); ++x) {
                    uint8_t* p = bmp.At(x, y);
                    const uint8_t v = rng() % 3 ? 255 : 0;
                    SetPixel(p, v, static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()));
                }
            const BitmapView view = bmp.View();
            for (int k = 0; k < 3000; ++k) {
                PointF c{position(rng), position(rng)};
                float sx = size(rng), sy = size(rng);
                if (k % 5 == 0) { // whole edges
                    c = {std::floor(c.x), std::floor(c.y)};
                    sx = std::floor(sx) + 1;
                }
                int black = 0, depth = 0;
                const int x0 = std::max(static_cast<int>(c.x), 0);
                const int y0 = std::max(static_cast<int>(c.y - sy + 2), 0);
                for (int y = y0; static_cast<float>(y) < c.y && y < bmp.Height(); ++y)
                    for (int x = x0; static_cast<float>(x) < c.x + sx && x < bmp.Width(); ++x)
                        if (bmp.At(x, y)[0] == 0) {
                            ++black;
                            depth += std::max(200 - grey[std::size_t(y) * CardPictureSize + std::size_t(x)], 0);
                        }
                ASSERT_EQ(CellBlack(view, c, sx, sy), black) << c.x << " " << c.y << " " << sx << " " << sy;
                ASSERT_EQ(CellDepth(view, grey.data(), 200, c, sx, sy), black ? depth / black : 0);
            }
            EXPECT_EQ(CellBlack(view, {10, 30}, std::nanf(""), 10), 0);

            for (int mode : {GreyPlain, GreyRedCard, GreyGreenCard}) {
                const ScanRect area{5, 60, -3, 90};
                std::vector<uint8_t> kept(grey.size(), 7), walked(grey.size(), 7);
                const RowSpan s = ClipScanRect(view, area);
                uint32_t histogram[256] = {};
                for (int y = s.yLow; y <= s.yHigh; ++y)
                    for (int x = s.x0; x < s.x1; ++x) {
                        const int v = GreyOf(bmp.At(x, y), mode);
                        walked[std::size_t(y) * CardPictureSize + std::size_t(x)] = static_cast<uint8_t>(v);
                        ++histogram[v];
                    }
                uint32_t seen = 0, median = 0;
                while ((seen += histogram[median]) <= std::uint32_t((s.yHigh - s.yLow + 1) * (s.x1 - s.x0) / 2))
                    ++median;
                EXPECT_EQ(KeepGrey(view, area, mode, kept.data()), int(median));
                EXPECT_EQ(kept, walked);
            }
        }
    });
}

// One histogram for both: the same kept greys, paper, threshold and pixels
// as KeepGrey followed by BinariseAdaptive, for areas inside, across and
// outside the picture, in every grey mode.
TEST(CellWindows, KeepGreyAndBinariseAsTheTwoInTurn)
{
    std::mt19937 rng(7);
    Bitmap picture(CardPictureSize, CardPictureSize, 3);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            SetPixel(picture.At(x, y), static_cast<uint8_t>(120 + (x * y) % 136), static_cast<uint8_t>(rng() % 256),
                     static_cast<uint8_t>(x < 300 ? 40 + rng() % 60 : 200 + rng() % 56));
    const ScanRect areas[] = {{100, 60, 250, 120}, {-20, 50, 780, 60}, {900, 10, 10, 10}, {0, 800, 0, 800}};
    for (int mode : {GreyPlain, GreyRedCard, GreyGreenCard})
        for (const ScanRect& area : areas) {
            Bitmap one = picture.Copy(), two = picture.Copy();
            std::vector<uint8_t> keptOne(std::size_t(CardPictureSize) * CardPictureSize, 7), keptTwo = keptOne;
            const int paperTwo = KeepGrey(two.View(), area, mode, keptTwo.data());
            const int thresholdTwo = BinariseAdaptive(two.View(), area, mode, mode);
            int paperOne = -1;
            EXPECT_EQ(KeepGreyAndBinarise(one.View(), area, mode, keptOne.data(), paperOne), thresholdTwo);
            EXPECT_EQ(paperOne, paperTwo);
            EXPECT_EQ(keptOne, keptTwo);
            EXPECT_EQ(std::memcmp(one.Data(), two.Data(), one.ByteSize()), 0) << mode << " " << area.x;
        }
}

// Every one of the 2^24 colours kept as its plain grey by the histogram's
// pass (sixteen pixels a vector where the processor has SSSE3, the sum
// divided by 100 with a multiply and shifts) as GreyOf gives it.
TEST(CellWindows, EveryColourKeepsItsPlainGrey)
{
    OnEveryPath([] {
        constexpr int side = CardPictureSize, perTile = side * side, colours = 1 << 24;
        Bitmap tile(side, side, 3);
        std::vector<uint8_t> kept(static_cast<std::size_t>(perTile));
        for (int first = 0; first < colours; first += perTile) {
            for (int i = 0; i < perTile; ++i) {
                const int colour = std::min(first + i, colours - 1);
                SetPixel(tile.At(i % side, i / side), static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                         static_cast<uint8_t>(colour >> 16));
            }
            KeepGrey(tile.View(), WholePicture(tile.View()), GreyPlain, kept.data());
            for (int i = 0; i < perTile; ++i)
                if (kept[static_cast<std::size_t>(i)] != GreyOf(tile.At(i % side, i / side), GreyPlain))
                    FAIL() << "colour " << std::min(first + i, colours - 1);
        }
    });
}

// A context with a known geometry and an already binarised card picture, so
// that the reading rules can be tested cell by cell.
struct SamplingFixture : ::testing::Test {
    RecognitionContext ctx;
    SamplingExam exam;

    void SetUp() override
    {
        ctx.SetUp(640, 480, 3);
        CardTemplate t{};
        t.LineLength = 100;
        t.LineDistance = 50;
        t.CellWidth = 20;
        t.CellHeight = 15;
        t.AbMode = 1;
        t.AdmCol = 0;
        t.AdmRow = 12;
        t.AdmColumns = 3;
        t.QuestionCount = 10;
        t.DefaultOptions = 4;
        t.AnswerRow = -2;
        t.BlockColPitch = 6;
        t.BlockRowPitch = 6;
        t.Sec1Columns = 2;
        t.Sec1Rows = 1;
        SetTemplate(t, "DY测试.dat");
        exam.questionCount = 10;
        for (int q = 0; q < 10; ++q)
            exam.fullScore[q] = 1;
    }
    void SetTemplate(const CardTemplate& t, const std::string& name)
    {
        ctx.SetTemplate(t, name);
        ctx.Geometry.s = 1;
        ctx.Geometry.sx = 20;
        ctx.Geometry.sy = 15;
        ctx.Geometry.X0 = 100;
        ctx.Geometry.Y0 = 400;
        ctx.RectifiedCard.FillWhite();
        ctx.CheckCard.FillWhite();
        ASSERT_EQ(BuildSamplingGrids(ctx), GridsOk);
    }
    // Blackens `percent` of a cell's sampling window: whole rows in the
    // middle of its 13, as a mark lies on its cell.
    void Mark(Bitmap& b, PointF c, int percent)
    {
        const int rows = static_cast<int>(13 * percent / 100.0 + 0.5);
        const int low = static_cast<int>(c.y) - 13 + (13 - rows) / 2;
        FillRect(b, static_cast<int>(c.x), low, static_cast<int>(c.x) + 20, low + rows);
    }
    // A neighbour's mark spilling over the edge: the window's top `rows` rows, in both pictures.
    void Spill(PointF c, int rows)
    {
        for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
            FillRect(*b, static_cast<int>(c.x), static_cast<int>(c.y) - rows, static_cast<int>(c.x) + 20,
                     static_cast<int>(c.y));
    }
    // The same over the left edge: the window's `columns` leftmost columns.
    void SpillFromLeft(PointF c, int columns)
    {
        for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
            FillRect(*b, static_cast<int>(c.x), static_cast<int>(c.y) - 13, static_cast<int>(c.x) + columns,
                     static_cast<int>(c.y));
    }
    void ClearCell(PointF c)
    {
        for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
            FillRect(*b, static_cast<int>(c.x), static_cast<int>(c.y) - 15, static_cast<int>(c.x) + 20,
                     static_cast<int>(c.y), 255);
    }
    void MarkBoth(PointF c, int percent)
    {
        Mark(ctx.RectifiedCard, c, percent);
        Mark(ctx.CheckCard, c, percent);
    }
};

TEST_F(SamplingFixture, LayoutPutsQuestionsInBlocksOfFive)
{
    EXPECT_FLOAT_EQ(ctx.Questions[0].corner[0].x, 100);
    EXPECT_FLOAT_EQ(ctx.Questions[0].corner[0].y, 370);
    EXPECT_FLOAT_EQ(ctx.Questions[1].corner[2].x, 140);
    EXPECT_FLOAT_EQ(ctx.Questions[1].corner[2].y, 355);
    EXPECT_FLOAT_EQ(ctx.Questions[5].corner[0].x, 100 + 120);
    EXPECT_FLOAT_EQ(ctx.AdmGrid.corner[2][9].y, 400 + 180 - 135);
}

TEST_F(SamplingFixture, SingleChoiceTieReadsTheFirstOptionMultipleReadsAll)
{
    MarkBoth(ctx.Questions[0].corner[1], 100);
    MarkBoth(ctx.Questions[0].corner[2], 100);
    MarkBoth(ctx.Questions[3].corner[3], 60);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "B");
    EXPECT_EQ(ctx.Reading.questionResults[3].answer.View(), "D");
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "");
    exam.multipleChoice[0] = 1;
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "BC");
    // Questions without a full score are not read.
    exam.fullScore[3] = 0;
    ClearReading(ctx.Reading);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[3].answer.View(), "");
}

// Ink at a cell's edge, from a mark beside it that overflows its bubble, is
// no option chosen: not an extra letter of a multiple-choice answer.
// Confirmed ink in a question where no option holds it at its centre cannot be
// told from a mark the grid missed: the card is read again.
TEST_F(SamplingFixture, MarkSpillingOverACellEdgeIsNoOption)
{
    exam.multipleChoice[0] = 1;
    MarkBoth(ctx.Questions[0].corner[1], 60);
    MarkBoth(ctx.Questions[0].corner[3], 60);
    SpillFromLeft(ctx.Questions[0].corner[2], 4); // B's mark over C's left edge: 20 per cent of its window
    Spill(ctx.Questions[1].corner[1], 3);  // the top of question 1's B, under question 0's B
    MarkBoth(ctx.Questions[1].corner[0], 50);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "BD");
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "A");
    // Question 2 holds nothing but the overflow of question 1's A, which
    // runs down into its window: blank.
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, 100, 340 - 3, 120, 340 + 6);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");
    // Ink at the edge of question 2's D with no mark beside it to come
    // from: a mark the grid missed, so the card is read again.
    Spill(ctx.Questions[2].corner[3], 3);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    ClearCell(ctx.Questions[2].corner[3]);
    // A small mark on the cell itself counts.
    MarkBoth(ctx.Questions[2].corner[2], 12);
    MarkBoth(ctx.Questions[0].corner[2], 12);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "BCD");
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "C");
}

// A digit's mark spilling into the next row confirms nothing there: the
// column reads as written, neither blank nor unclear.
TEST_F(SamplingFixture, DigitMarkSpillingIntoTheNextRowReadsAsWritten)
{
    MarkBoth(ctx.AdmGrid.corner[0][4], 70);
    Spill(ctx.AdmGrid.corner[0][5], 3);
    MarkBoth(ctx.AdmGrid.corner[1][9], 50);
    Spill(ctx.AdmGrid.corner[1][8], 2);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 2, 10), "49");
}

TEST_F(SamplingFixture, PencilMarkThatCheckCardDoesNotConfirmIsNotRead)
{
    Mark(ctx.RectifiedCard, ctx.Questions[2].corner[0], 15);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");
    // Four black CheckCard pixels are not enough, five are.
    PointF c = ctx.Questions[2].corner[0];
    for (int k = 0; k < 4; ++k)
        SetBlack(ctx.CheckCard.At(static_cast<int>(c.x) + k, static_cast<int>(c.y) - 3));
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");
    SetBlack(ctx.CheckCard.At(static_cast<int>(c.x) + 4, static_cast<int>(c.y) - 3));
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "A");
}

TEST_F(SamplingFixture, JdFaintMarkInAnEmptyBlockIsALightingFailure)
{
    CardTemplate t = ctx.Template;
    SetTemplate(t, "JD测试.dat");
    Mark(ctx.RectifiedCard, ctx.Questions[2].corner[1], 15);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    // With ink elsewhere in the block, a patch this small is a rubbed-out
    // mark's residue: the question stays empty.
    MarkBoth(ctx.Questions[0].corner[0], 100);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");
    // A pale mark of a fifth of the cell or more is a doubtful question, read as marked.
    Mark(ctx.RectifiedCard, ctx.Questions[2].corner[1], 25);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");
    // One doubtful question fails once the exam has a multiple-choice question.
    exam.multipleChoice[9] = 1;
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
}

TEST_F(SamplingFixture, DigitColumnWithoutACellAbove9PercentIsBlank)
{
    MarkBoth(ctx.AdmGrid.corner[0][7], 100);
    MarkBoth(ctx.AdmGrid.corner[2][0], 80);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[1][3], 8); // below 10 per cent, and no confirming ink
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "7 0");
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 2, 10), "7 ");
}

// Ink in the reference-framed picture with no cell standing out in the
// adaptive one: a digit was written and not read; the column is unclear.
TEST_F(SamplingFixture, DigitColumnWithInkButNoCellAbove9PercentIsUnclear)
{
    MarkBoth(ctx.AdmGrid.corner[0][5], 100);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[1][1], 8);
    Mark(ctx.CheckCard, ctx.AdmGrid.corner[1][1], 30);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "5? ");
}

// A shadow over the lower rows: the adaptive picture shows their printed
// cells black, the reference-framed picture only the real mark in row 3;
// the row that holds the confirming ink is read. Ink in two marked rows is
// unclear (never blank: something is written there).
TEST_F(SamplingFixture, DigitWhoseConfirmingInkLiesInOneRowReadsThatRow)
{
    MarkBoth(ctx.AdmGrid.corner[0][3], 50);
    for (int j = 7; j < 10; ++j)
        Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[0][j], 100);
    // Row 9 wins by fill in the adaptive picture; the ink is in row 3.
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 1, 10), "3");
    // Ink in row 9 as well: two marks.
    FillRect(ctx.CheckCard, static_cast<int>(ctx.AdmGrid.corner[0][9].x) + 2,
             static_cast<int>(ctx.AdmGrid.corner[0][9].y) - 6, static_cast<int>(ctx.AdmGrid.corner[0][9].x) + 6,
             static_cast<int>(ctx.AdmGrid.corner[0][9].y) - 4);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 1, 10), "?");
    // Ink in a second row that would count as a mark of its own: not read.
    MarkBoth(ctx.AdmGrid.corner[1][6], 50);
    MarkBoth(ctx.AdmGrid.corner[1][7], 20);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 2, 10).substr(1), "?");
    // A few stray pixels elsewhere, fewer than in the chosen row, still read.
    MarkBoth(ctx.AdmGrid.corner[2][6], 50);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[2][8], 8);
    FillRect(ctx.CheckCard, static_cast<int>(ctx.AdmGrid.corner[2][8].x), static_cast<int>(ctx.AdmGrid.corner[2][8].y) - 3,
             static_cast<int>(ctx.AdmGrid.corner[2][8].x) + 1, static_cast<int>(ctx.AdmGrid.corner[2][8].y));
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10).substr(2), "6");
}

TEST_F(SamplingFixture, AbCellsBothMarkedInDifferentColumnsAreAmbiguous)
{
    CardTemplate t = ctx.Template;
    t.AbMode = 0;
    t.AbACol = 5;
    t.AbARow = 3;
    t.AbBCol = 7;
    t.AbBRow = 3;
    t.BExtraRows = 1;
    ctx.SetTemplate(t, "DY测试.dat");
    const PointF a{100 + 20 * 5, 400 + 15 * 3}, b{100 + 20 * 7, 400 + 15 * 3};
    Mark(ctx.RectifiedCard, a, 50);
    Mark(ctx.RectifiedCard, b, 50);
    EXPECT_EQ(BuildSamplingGrids(ctx), AbAmbiguous);
    ctx.RectifiedCard.FillWhite();
    EXPECT_EQ(BuildSamplingGrids(ctx), AbNotMarked);
    Mark(ctx.RectifiedCard, b, 50);
    EXPECT_EQ(BuildSamplingGrids(ctx), GridsOk);
    EXPECT_EQ(ctx.Reading.paperType, 1);
    // B layout: every block in the first column.
    EXPECT_FLOAT_EQ(ctx.Questions[5].corner[0].x, 100);
    EXPECT_FLOAT_EQ(ctx.Questions[5].corner[0].y, 370 - 90);
}

TEST_F(SamplingFixture, AbCellsInOneColumnCompareAfterAdaptiveBinarisation)
{
    CardTemplate t = ctx.Template;
    t.AbMode = 0;
    t.AbACol = 5;
    t.AbARow = 4;
    t.AbBCol = 5;
    t.AbBRow = 3;
    ctx.SetTemplate(t, "DY测试.dat");
    const PointF a{200, 460}, b{200, 445};
    // A printed frame darkens both cells above 10 %; the pencil fills A.
    ctx.RectifiedCard.FillWhite();
    FillRect(ctx.RectifiedCard, 200, 430, 220, 432, 90);
    FillRect(ctx.RectifiedCard, 200, 445, 220, 447, 90);
    FillRect(ctx.RectifiedCard, 202, 447, 218, 458, 40);
    EXPECT_EQ(BuildSamplingGrids(ctx), GridsOk);
    EXPECT_EQ(ctx.Reading.paperType, 0);
    (void)a;
    (void)b;
}

TEST(MarkingTexts, EveryFailureCodeHasItsTexts)
{
    EXPECT_EQ(StatusTextOf(1), "未获得正确的检测线。请注意光线,答题卡不要倾斜太多,摄像头不要太远。");
    EXPECT_EQ(MemoTextOf(1, StatusTextOf(1)), StatusTextOf(1));
    EXPECT_EQ(MemoTextOf(2, StatusTextOf(2)), "未获得正确的检测线，请移动答题卡。");
    EXPECT_EQ(MemoTextOf(11, StatusTextOf(11)), "图像倒立，请移动答题卡。");
    EXPECT_EQ(MemoTextOf(12, StatusTextOf(12)), "黑点过多，请检查是否已垫白纸");
    EXPECT_EQ(StatusTextOf(102), "阅卷出错102 请移动一下答题卡再阅卷");
    EXPECT_EQ(StatusTextOf(103), "阅卷出错103 请移动一下答题卡再阅卷");
    EXPECT_EQ(MemoTextOf(105, StatusTextOf(105)), StatusTextOf(105));
    for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 100, 101, 102, 103, 104, 105, 106})
        EXPECT_FALSE(StatusTextOf(code).empty()) << code;
    EXPECT_TRUE(StatusTextOf(0).empty());
    EXPECT_TRUE(StatusTextOf(13).empty());
}

// Acceptance that records how often it is asked.
struct CountingAcceptance : CardAcceptance {
    int calls = 0;
    bool AcceptReading(RecognitionContext&) override
    {
        ++calls;
        return true;
    }
};

TEST(MarkingAttempt, BlankAndBlackFramesGiveTheirCodesAndTexts)
{
    RecognitionContext ctx;
    ctx.SetUp(640, 480, 4);
    CardTemplate t{};
    t.LineLength = 100;
    t.LineDistance = 50;
    t.CellWidth = 5;
    t.CellHeight = 5;
    ctx.SetTemplate(t, "DY测试.dat");
    CountingAcceptance acceptance;
    ctx.FrameBitmap.FillWhite();
    PrepareFrame(ctx);
    MarkingOutcome out = RunMarkingAttempt(ctx, acceptance);
    EXPECT_EQ(out.code, 1);
    EXPECT_EQ(out.sound, PromptSound::Wrong);
    EXPECT_EQ(ctx.MemoTiShi, StatusTextOf(1));
    ctx.FrameBitmap.Fill(0, 0, 0);
    PrepareFrame(ctx);
    out = RunMarkingAttempt(ctx, acceptance);
    EXPECT_EQ(out.code, 12);
    EXPECT_EQ(ctx.StatusText, "黑点过多，请检查是否已垫白纸");
    EXPECT_EQ(acceptance.calls, 0);
}

// Rules for marks as students make them on printed cards.

// A light hand's AB mark stays paler than the fixed grey level: found
// against the strip's own grey levels, while an unmarked strip (only its
// pale print) stays unmarked and two equal marks stay undecided.
TEST_F(SamplingFixture, PaleAbMarkIsFoundAgainstTheStripsOwnGreyLevels)
{
    CardTemplate t = ctx.Template;
    t.AbMode = 0;
    t.AbACol = 8;
    t.AbBCol = 8;
    t.AbARow = 10;
    t.AbBRow = 8;
    ctx.SetTemplate(t, "DY测试.dat");
    const PointF a{100 + 20 * 8, 400 + 15 * 10}, b{100 + 20 * 8, 400 + 15 * 8};
    auto outline = [&](PointF c) { // pale printed bubble outline
        FillRect(ctx.RectifiedCard, static_cast<int>(c.x) + 3, static_cast<int>(c.y) - 12, static_cast<int>(c.x) + 17,
                 static_cast<int>(c.y) - 11, 200);
        FillRect(ctx.RectifiedCard, static_cast<int>(c.x) + 3, static_cast<int>(c.y) - 3, static_cast<int>(c.x) + 17,
                 static_cast<int>(c.y) - 2, 200);
    };
    auto reset = [&] {
        ctx.RectifiedCard.FillWhite();
        outline(a);
        outline(b);
    };
    reset();
    EXPECT_EQ(BuildSamplingGrids(ctx), AbNotMarked);
    reset();
    FillRect(ctx.RectifiedCard, static_cast<int>(b.x) + 4, static_cast<int>(b.y) - 11, static_cast<int>(b.x) + 16,
             static_cast<int>(b.y) - 3, 150);
    ASSERT_EQ(BuildSamplingGrids(ctx), GridsOk);
    EXPECT_EQ(ctx.Reading.paperType, 1);
    // Reading binarises the strip: the next case starts from the grey picture again.
    reset();
    FillRect(ctx.RectifiedCard, static_cast<int>(b.x) + 4, static_cast<int>(b.y) - 11, static_cast<int>(b.x) + 16,
             static_cast<int>(b.y) - 3, 150);
    FillRect(ctx.RectifiedCard, static_cast<int>(a.x) + 4, static_cast<int>(a.y) - 11, static_cast<int>(a.x) + 16,
             static_cast<int>(a.y) - 3, 150);
    EXPECT_EQ(BuildSamplingGrids(ctx), AbNotMarked);
    // A small pale mark off the middle of its cell (15 per cent of it, in
    // its left quarter) counts where the other cell holds no ink at all.
    auto smallMark = [&](PointF c) {
        FillRect(ctx.RectifiedCard, static_cast<int>(c.x), static_cast<int>(c.y) - 12, static_cast<int>(c.x) + 5,
                 static_cast<int>(c.y) - 3, 150);
    };
    ctx.RectifiedCard.FillWhite();
    smallMark(a);
    ASSERT_EQ(BuildSamplingGrids(ctx), GridsOk);
    EXPECT_EQ(ctx.Reading.paperType, 0);
    ctx.RectifiedCard.FillWhite();
    smallMark(a);
    FillRect(ctx.RectifiedCard, static_cast<int>(b.x) + 8, static_cast<int>(b.y) - 8, static_cast<int>(b.x) + 11,
             static_cast<int>(b.y) - 6, 150);
    EXPECT_EQ(BuildSamplingGrids(ctx), AbNotMarked);
    // A pale mark in the cell's two lowest rows and the one above, centred
    // below the answers' window but within the cell the AB cells are
    // measured by, is the cell's own.
    ctx.RectifiedCard.FillWhite();
    FillRect(ctx.RectifiedCard, static_cast<int>(a.x), static_cast<int>(a.y) - 15, static_cast<int>(a.x) + 20,
             static_cast<int>(a.y) - 12, 150);
    ASSERT_EQ(BuildSamplingGrids(ctx), GridsOk);
    EXPECT_EQ(ctx.Reading.paperType, 0);
}

// A pale digit the grey reference does not confirm still reads when it
// stands alone in its column; beside a second pale mark it does not, and
// with a little confirming ink the column is unclear rather than blank.
TEST_F(SamplingFixture, PaleDigitReadsWhenItStandsAlone)
{
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[0][6], 40);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[1][2], 40);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[1][5], 30);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[2][2], 40);
    Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[2][5], 30);
    const PointF c = ctx.AdmGrid.corner[2][5];
    FillRect(ctx.CheckCard, static_cast<int>(c.x) + 8, static_cast<int>(c.y) - 7, static_cast<int>(c.x) + 11,
             static_cast<int>(c.y) - 6);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "6 ?");
}

// A big mark reaching into the next row's centre leaves less ink there,
// leaning towards it: the digit is read, not refused as two marks. Two
// marks of their own stay unclear.
TEST_F(SamplingFixture, BigDigitMarkReachingTheNextRowsCentreReadsAsWritten)
{
    const PointF m = ctx.AdmGrid.corner[0][4];
    FillRect(ctx.RectifiedCard, static_cast<int>(m.x), static_cast<int>(m.y) - 13, static_cast<int>(m.x) + 20,
             static_cast<int>(m.y));
    FillRect(ctx.CheckCard, static_cast<int>(m.x), static_cast<int>(m.y) - 13, static_cast<int>(m.x) + 20,
             static_cast<int>(m.y));
    // Row 5 lies below row 4: the overflow fills its top rows down past its centre.
    const PointF n = ctx.AdmGrid.corner[0][5];
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, static_cast<int>(n.x) + 3, static_cast<int>(n.y) - 7, static_cast<int>(n.x) + 17,
                 static_cast<int>(n.y));
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 1, 10), "4");
    MarkBoth(ctx.AdmGrid.corner[0][8], 100);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 1, 10), "?");
}

// Marks of a block all sitting low in their windows (a card not lying
// flat): the block is read where its clear marks lie, so that a small mark
// as low as they are still holds its window's centre instead of sending
// the card back as a mark the grid missed.
TEST_F(SamplingFixture, BlockWhoseMarksSitOffTheirWindowsReadsAtTheMarks)
{
    exam.multipleChoice[1] = 1;
    auto markLow = [&](PointF c, int left, int right, int top, int bottom) {
        for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
            FillRect(*b, static_cast<int>(c.x) + left, static_cast<int>(c.y) - bottom, static_cast<int>(c.x) + right,
                     static_cast<int>(c.y) - top);
    };
    markLow(ctx.Questions[0].corner[2], 3, 17, 5, 17);
    markLow(ctx.Questions[1].corner[0], 3, 17, 5, 17);
    markLow(ctx.Questions[1].corner[3], 3, 17, 5, 17);
    markLow(ctx.Questions[2].corner[1], 5, 15, 11, 17);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "C");
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "AD");
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");
    EXPECT_EQ(ctx.Reading.questionResults[3].answer.View(), "");
}

// A lone mark lying across the line between two options of a
// multiple-choice question: either could be meant, so the card is read again.
TEST_F(SamplingFixture, MarkAstrideTwoOptionsIsReadAgain)
{
    exam.multipleChoice[4] = 1;
    const PointF c = ctx.Questions[4].corner[1];
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, static_cast<int>(c.x) + 12, static_cast<int>(c.y) - 11, static_cast<int>(c.x) + 28,
                 static_cast<int>(c.y) - 3);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
}

// A pale mark that the grey reference lost (a light hand under a shadow)
// in a block with confirmed marks is never read as an empty question: a
// clear single choice is read, a multiple-choice question is read again.
TEST_F(SamplingFixture, PaleMarkWithoutConfirmingInkIsNeverReadAsEmpty)
{
    MarkBoth(ctx.Questions[0].corner[0], 60);
    Mark(ctx.RectifiedCard, ctx.Questions[1].corner[2], 50);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "C");
    exam.multipleChoice[1] = 1;
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    // Alone in an empty block it stays the printed letter it may be: empty.
    exam.multipleChoice[1] = 0;
    Mark(ctx.RectifiedCard, ctx.Questions[6].corner[1], 50);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[6].answer.View(), "");
}

// In a multiple-choice question, a letter whose own confirming ink is a
// mere trace beside confirmed letters (a rubbed-out mark's residue) makes
// the card doubtful; confirmed ink on an option that is not marked at its
// centre, beside a marked one, has the card read again.
TEST_F(SamplingFixture, TracesBesideConfirmedLettersAreReadAgain)
{
    exam.multipleChoice[0] = 1;
    MarkBoth(ctx.Questions[0].corner[0], 60);
    Mark(ctx.RectifiedCard, ctx.Questions[0].corner[2], 40);
    PointF c = ctx.Questions[0].corner[2];
    FillRect(ctx.CheckCard, static_cast<int>(c.x) + 8, static_cast<int>(c.y) - 7, static_cast<int>(c.x) + 10,
             static_cast<int>(c.y) - 6);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    Mark(ctx.CheckCard, c, 40);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "AC");
    // Ink at the bottom edge of D with nothing below it to come from.
    PointF d = ctx.Questions[0].corner[3];
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, static_cast<int>(d.x), static_cast<int>(d.y) - 13, static_cast<int>(d.x) + 20,
                 static_cast<int>(d.y) - 10);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
}

// A blackened box overflows deep into the next question's window, reaching
// its middle: a small patch leaning hard towards the box is no answer there.
// Holding confirmed ink, its shape tells: the box's tip narrowing into the
// window is no answer; a patch standing apart is a small mark of its own
// pushed against the box; a patch joined to the box by a narrow bridge is two
// marks run together, and the card is read again.
TEST_F(SamplingFixture, WholeBoxOverflowReachingTheNextWindowsMiddleIsNoAnswer)
{
    MarkBoth(ctx.Questions[1].corner[1], 100);
    const PointF c = ctx.Questions[2].corner[1]; // below question 1's B
    auto patch = [&](Bitmap& b, int top) {
        FillRect(b, static_cast<int>(c.x) + 4, static_cast<int>(c.y) - 5, static_cast<int>(c.x) + 16, top);
    };
    const int boxBottom = static_cast<int>(ctx.Questions[1].corner[1].y) - 13;
    patch(ctx.RectifiedCard, boxBottom); // the box's tip, reaching down into C2's window
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "B");
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");
    patch(ctx.CheckCard, boxBottom);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");

    // Standing apart from the box: a mark of its own.
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, static_cast<int>(c.x), static_cast<int>(c.y), static_cast<int>(c.x) + 20, boxBottom, 255);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");

    // Joined to the box by a bridge two pixels wide: two marks run together.
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, static_cast<int>(c.x) + 9, static_cast<int>(c.y), static_cast<int>(c.x) + 11, boxBottom);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_STREQ(ctx.RereadRule, "overflow holds the only ink");

    // The same patch beside no mark is an answer.
    ClearCell(ctx.Questions[1].corner[1]);
    MarkBoth(ctx.Questions[0].corner[0], 60); // keeps the block inked
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");
}

// Two marks of like weight in a single-choice question: one is a rubbed-out
// mark as dark as the other, or the student changed their mind. The question
// is doubtful: read as the first while the card has few doubtful questions,
// read again where the exam has a multiple-choice question. A clearly lighter
// second mark is not doubtful. In a multiple-choice question, a small patch
// beside letters twice its size is a residue: doubtful too.
TEST_F(SamplingFixture, LikeMarksInASingleChoiceAndSmallResiduesAreDoubtful)
{
    MarkBoth(ctx.Questions[0].corner[1], 50);
    MarkBoth(ctx.Questions[0].corner[2], 46);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "B");
    exam.multipleChoice[4] = 1;
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 0);
    ClearCell(ctx.Questions[0].corner[2]);
    MarkBoth(ctx.Questions[0].corner[2], 30);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "B");

    MarkBoth(ctx.Questions[4].corner[0], 60);
    MarkBoth(ctx.Questions[4].corner[3], 60);
    MarkBoth(ctx.Questions[4].corner[1], 16);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[4].answer.View(), "ABD");
    ClearCell(ctx.Questions[4].corner[1]);
    const PointF b = ctx.Questions[4].corner[1];
    for (Bitmap* picture : {&ctx.RectifiedCard, &ctx.CheckCard}) // 12 per cent, at the middle
        FillRect(*picture, static_cast<int>(b.x) + 2, static_cast<int>(b.y) - 7, static_cast<int>(b.x) + 18,
                 static_cast<int>(b.y) - 5);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 4);
}

// A single choice whose mark leans towards the next question's mark, while
// another of its options holds confirmed ink: the leaning mark may be the
// next question's overflow and the other the student's own. Standing apart
// from the next mark, both are marks and the card is read again; joined to
// it, it is that mark's tip. Alone, the leaning mark is the answer.
TEST_F(SamplingFixture, LeaningMarkBesideAnotherCandidateIsReadAgain)
{
    const PointF a0 = ctx.Questions[0].corner[0];
    MarkBoth(ctx.Questions[1].corner[0], 100); // a blackened box: it does not move the grid
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard}) // the window's lowest six rows
        FillRect(*b, static_cast<int>(a0.x) + 2, static_cast<int>(a0.y) - 13, static_cast<int>(a0.x) + 18,
                 static_cast<int>(a0.y) - 7);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "A");
    MarkBoth(ctx.Questions[0].corner[2], 15);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_STREQ(ctx.RereadRule, "leaning mark beside another candidate");
    // Joined to the box below, the leaning patch is the box's tip: the other
    // option is the student's mark.
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*b, static_cast<int>(a0.x) + 2, static_cast<int>(a0.y) - 16, static_cast<int>(a0.x) + 18,
                 static_cast<int>(a0.y) - 13);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "C");
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "A");
}

// A rubbed-out mark's residue that the binarisation still blackens is much
// paler than the marks of the hand that filled the card: where the fill and
// the confirming ink leave a question doubtful, its paleness decides. The
// grey levels are those kept before binarisation (paper at 220 here).
TEST_F(SamplingFixture, PaleResidueBesideTheHandsMarksIsNoLetter)
{
    ctx.MarkGrey.assign(ctx.MarkGrey.size(), 220);
    ctx.BlockPaper.fill(220);
    auto grey = [&](PointF c, int level) {
        for (int y = static_cast<int>(c.y) - 15; y < static_cast<int>(c.y); ++y)
            for (int x = static_cast<int>(c.x); x < static_cast<int>(c.x) + 20; ++x)
                ctx.MarkGrey[static_cast<std::size_t>(y) * CardPictureSize + static_cast<std::size_t>(x)] =
                    static_cast<uint8_t>(level);
    };
    // Six clear marks of the hand, 120 levels below the paper.
    for (int q = 5; q < 10; ++q) {
        MarkBoth(ctx.Questions[q].corner[q % 4], 60);
        grey(ctx.Questions[q].corner[q % 4], 100);
    }
    MarkBoth(ctx.Questions[0].corner[0], 60);
    grey(ctx.Questions[0].corner[0], 100);

    // Multiple choice: a letter with a trace of confirming ink.
    exam.multipleChoice[0] = 1;
    const PointF c = ctx.Questions[0].corner[2];
    Mark(ctx.RectifiedCard, c, 40);
    FillRect(ctx.CheckCard, static_cast<int>(c.x) + 8, static_cast<int>(c.y) - 7, static_cast<int>(c.x) + 10,
             static_cast<int>(c.y) - 6);
    grey(c, 180); // 40 below the paper: a third of the hand's depth
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_GT(ctx.MarkDepth, 100);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "A");
    grey(c, 140); // two thirds of the hand's depth: a pale mark or a residue, doubtful
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 0);
    grey(c, 120); // a whole mark as dark as the hand's others: a letter
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "AC");
    // A small patch (12 per cent) beside a letter five times its size: as dark
    // as the hand's marks and confirmed over half of it, a small mark; paler,
    // doubtful; that pale, a residue.
    ClearCell(c);
    for (Bitmap* picture : {&ctx.RectifiedCard, &ctx.CheckCard})
        FillRect(*picture, static_cast<int>(c.x) + 2, static_cast<int>(c.y) - 7, static_cast<int>(c.x) + 18,
                 static_cast<int>(c.y) - 5);
    grey(c, 105);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "AC");
    grey(c, 140);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    grey(c, 160);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "A");

    // Single choice, two marks of like weight where the heavier is the pale
    // one: the other is the answer, without doubt.
    exam.multipleChoice[0] = 0;
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card
    ClearCell(c);
    grey(c, 220);
    const PointF b = ctx.Questions[1].corner[1], d = ctx.Questions[1].corner[3];
    MarkBoth(b, 54);
    grey(b, 175);
    MarkBoth(d, 50);
    grey(d, 105);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "D");
    grey(b, 110);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 1);
}

// Grey levels kept before binarisation for the tests below: paper at 220,
// and a window's sampled rows set to `level`.
static void SetGrey(RecognitionContext& ctx, PointF c, int level)
{
    for (int y = static_cast<int>(c.y) - 15; y < static_cast<int>(c.y); ++y)
        for (int x = static_cast<int>(c.x); x < static_cast<int>(c.x) + 20; ++x)
            ctx.MarkGrey[static_cast<std::size_t>(y) * CardPictureSize + static_cast<std::size_t>(x)] =
                static_cast<uint8_t>(level);
}

// Paper at 220 in the kept grey levels, and five clear marks of the hand
// that filled the card (questions 6 to 10) at `level`.
static void PaperAndHandMarks(SamplingFixture& f, int level)
{
    f.ctx.MarkGrey.assign(f.ctx.MarkGrey.size(), 220);
    f.ctx.BlockPaper.fill(220);
    for (int q = 5; q < 10; ++q) {
        f.MarkBoth(f.ctx.Questions[q].corner[q % 4], 60);
        SetGrey(f.ctx, f.ctx.Questions[q].corner[q % 4], level);
    }
}

// A light hand's marks that the grey reference does not confirm, on a card
// whose other marks tell how dark that hand marks: a whole mark as dark as
// those is read without doubt, in a single choice on the machine card and in
// a multiple choice on any card; a residue beside it is no letter, and a
// patch between the two has the card read again, never read as empty.
TEST_F(SamplingFixture, LightHandsWholeMarksReadWithoutDoubt)
{
    CardTemplate t = ctx.Template;
    SetTemplate(t, "JD测试.dat");
    PaperAndHandMarks(*this, 130);
    MarkBoth(ctx.Questions[0].corner[0], 60);
    SetGrey(ctx, ctx.Questions[0].corner[0], 130);
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card

    const PointF c = ctx.Questions[1].corner[2];
    Mark(ctx.RectifiedCard, c, 45);
    SetGrey(ctx, c, 150); // 70 of the hand's 90 levels
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "C");
    SetGrey(ctx, c, 170); // 50 of 90: doubtful, as the machine card's rule has it
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 1);

    exam.multipleChoice[1] = 1;
    SetGrey(ctx, c, 150);
    const PointF a = ctx.Questions[1].corner[0];
    Mark(ctx.RectifiedCard, a, 40);
    SetGrey(ctx, a, 145);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "AC");
    SetGrey(ctx, a, 180); // 40 of 90: a residue
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "C");
    SetGrey(ctx, a, 160); // 60 of 90: neither
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 1);
}

// A column the binarisation blackened in every row (a light hand's digit
// among faint print): the grey levels show the row whose window was twice
// as dark as any other's. A second patch more than half as dark, such as a
// rubbed-out digit's residue, leaves the column unread.
TEST_F(SamplingFixture, DigitColumnBlackenedInEveryRowReadsByItsGreyLevels)
{
    ctx.MarkGrey.assign(ctx.MarkGrey.size(), 220);
    for (int j = 0; j < 10; ++j) {
        Mark(ctx.RectifiedCard, ctx.AdmGrid.corner[0][j], 45);
        SetGrey(ctx, ctx.AdmGrid.corner[0][j], 212); // faint print
    }
    MarkBoth(ctx.AdmGrid.corner[1][3], 60);
    MarkBoth(ctx.AdmGrid.corner[2][8], 60);
    SetGrey(ctx, ctx.AdmGrid.corner[0][7], 160);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "738");
    SetGrey(ctx, ctx.AdmGrid.corner[0][2], 190);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "738");
    SetGrey(ctx, ctx.AdmGrid.corner[0][2], 180);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), " 38");
    // Nothing darker than the print anywhere: no digit.
    SetGrey(ctx, ctx.AdmGrid.corner[0][2], 212);
    SetGrey(ctx, ctx.AdmGrid.corner[0][7], 212);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), " 38");
}

// A single choice whose second candidate is the tip of the next question's
// big mark reaching over the edge: the shapes tell that it is that mark's,
// and the own mark is read without doubt. Beside the tip, the own mark could
// be run together with it: doubtful again.
TEST_F(SamplingFixture, NextQuestionsMarkReachingIntoAWindowIsNoRival)
{
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card
    const PointF d0 = ctx.Questions[0].corner[3], d1 = ctx.Questions[1].corner[3];
    ASSERT_FLOAT_EQ(d0.x, d1.x);
    for (Bitmap* picture : {&ctx.RectifiedCard, &ctx.CheckCard}) {
        if (d1.y < d0.y) // the next question's mark reaching 6 rows into this window from below
            FillRect(*picture, static_cast<int>(d0.x) + 2, static_cast<int>(d1.y) - 13, static_cast<int>(d0.x) + 18,
                     static_cast<int>(d0.y) - 7);
        else
            FillRect(*picture, static_cast<int>(d0.x) + 2, static_cast<int>(d0.y) - 6, static_cast<int>(d0.x) + 18,
                     static_cast<int>(d1.y));
    }
    MarkBoth(ctx.Questions[0].corner[1], 55);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "B");
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "D");

    ClearCell(ctx.Questions[0].corner[1]);
    MarkBoth(ctx.Questions[0].corner[2], 55);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 0);
}

// Confirmed ink that does not reach its window's middle: a small mark off
// its bubble's centre when it is the question's only ink, a patch of its
// own and as dark as the hand's marks; else (paler, or beside another
// candidate) the card is read again.
TEST_F(SamplingFixture, SmallMarkOffTheWindowsMiddleReadsWhenAloneAndDark)
{
    PaperAndHandMarks(*this, 100);
    const PointF c = ctx.Questions[2].corner[1];
    for (Bitmap* picture : {&ctx.RectifiedCard, &ctx.CheckCard}) // the window's left quarter
        FillRect(*picture, static_cast<int>(c.x), static_cast<int>(c.y) - 12, static_cast<int>(c.x) + 5,
                 static_cast<int>(c.y) - 4);
    SetGrey(ctx, c, 110);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");
    SetGrey(ctx, c, 160); // half the hand's depth
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_STREQ(ctx.RereadRule, "ink off the centre");
    SetGrey(ctx, c, 110);
    MarkBoth(ctx.Questions[2].corner[3], 50);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_STREQ(ctx.RereadRule, "ink off the centre");
}

// A digit whose confirmed ink does not reach its window's middle (a small
// mark off its bubble's centre) reads when it is the column's only ink and a
// patch of its row's own; two such patches leave the column unclear.
TEST_F(SamplingFixture, SmallDigitMarkOffTheWindowsMiddleReadsWhenAlone)
{
    auto smallMark = [&](PointF c) {
        for (Bitmap* picture : {&ctx.RectifiedCard, &ctx.CheckCard}) // the window's left quarter
            FillRect(*picture, static_cast<int>(c.x), static_cast<int>(c.y) - 12, static_cast<int>(c.x) + 5,
                     static_cast<int>(c.y) - 4);
    };
    MarkBoth(ctx.AdmGrid.corner[1][3], 60);
    MarkBoth(ctx.AdmGrid.corner[2][8], 60);
    smallMark(ctx.AdmGrid.corner[0][4]);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "438");
    smallMark(ctx.AdmGrid.corner[0][7]);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "?38");
}

// A big pale patch with little confirming ink as a single choice's only
// candidate is likely a rubbed-out mark's residue: doubtful, so the card is
// read again. As dark as the hand's marks it is the answer; well confirmed
// but as pale, it stays doubtful (rubbed-out marks came so).
TEST_F(SamplingFixture, FaintWeaklyConfirmedLoneLetterIsDoubtful)
{
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card
    PaperAndHandMarks(*this, 100);
    const PointF c = ctx.Questions[2].corner[1];
    Mark(ctx.RectifiedCard, c, 40); // fill 38
    FillRect(ctx.CheckCard, static_cast<int>(c.x) + 2, static_cast<int>(c.y) - 7, static_cast<int>(c.x) + 17,
             static_cast<int>(c.y) - 6); // 15 confirming pixels
    SetGrey(ctx, c, 150);                // 70 of the hand's 120 levels
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 2);
    SetGrey(ctx, c, 120); // 100 of 120
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");
    SetGrey(ctx, c, 150);
    Mark(ctx.CheckCard, c, 40);
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 2);
}

// An ellipse of black in both pictures, centred at (cx, cy) with radii rx, ry.
static void FillEllipse(RecognitionContext& ctx, float cx, float cy, float rx, float ry)
{
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
        for (int y = static_cast<int>(cy - ry); y <= static_cast<int>(cy + ry) + 1; ++y)
            for (int x = static_cast<int>(cx - rx); x <= static_cast<int>(cx + rx) + 1; ++x) {
                const float dx = (static_cast<float>(x) + 0.5f - cx) / rx;
                const float dy = (static_cast<float>(y) + 0.5f - cy) / ry;
                if (dx * dx + dy * dy <= 1 && b->View().Contains(x, y))
                    SetBlack(b->At(x, y));
            }
}

// A big digit mark reaching over the edges of the columns beside it, into
// their windows' middles: the edges are that mark's, not digits of those
// columns. Before, a blank column beside it read as the same digit.
// A small mark of a column's own beside it still reads.
TEST_F(SamplingFixture, DigitMarkReachingIntoTheNextColumnsIsNoDigitThere)
{
    const PointF c = ctx.AdmGrid.corner[1][5];
    FillEllipse(ctx, c.x + 10, c.y - 6.5f, 17, 6);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), " 5 ");
    // Column 0's own small mark in row 2, apart from the big one.
    const PointF own = ctx.AdmGrid.corner[0][2];
    FillEllipse(ctx, own.x + 10, own.y - 6.5f, 5, 4);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "25 ");
    // Column 2's own mark run into the big one: column 2 reads it, and the
    // edge in column 0, now part of a patch too big to follow, is unclear
    // (the card is refused) rather than read.
    const PointF joined = ctx.AdmGrid.corner[2][5];
    FillEllipse(ctx, joined.x + 8, joined.y - 6.5f, 5, 4);
    EXPECT_EQ(ReadDigitColumns(ctx, ctx.AdmGrid, 3, 10), "?55");
}

// A block whose marks sit low in their windows is read lower down (the
// grid's shift), which brings the window of question 1's B onto the top of
// the blackened box of question 2's B below it. That ink is the box's: no
// extra letter of the multiple-choice answer AD.
TEST_F(SamplingFixture, ShiftOntoTheEdgeOfTheNextQuestionsBoxIsNoLetter)
{
    exam.multipleChoice[1] = 1;
    auto markLow = [&](PointF c) {
        for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard})
            FillRect(*b, static_cast<int>(c.x) + 3, static_cast<int>(c.y) - 17, static_cast<int>(c.x) + 17,
                     static_cast<int>(c.y) - 5);
    };
    markLow(ctx.Questions[0].corner[2]);
    markLow(ctx.Questions[1].corner[0]);
    markLow(ctx.Questions[1].corner[3]);
    markLow(ctx.Questions[3].corner[1]);
    // Question 2's B blackened whole, with rounded corners, 3 px over its cell's top.
    const PointF box = ctx.Questions[2].corner[1];
    const int bx = static_cast<int>(box.x), by = static_cast<int>(box.y);
    for (Bitmap* b : {&ctx.RectifiedCard, &ctx.CheckCard}) {
        FillRect(*b, bx + 1, by - 15, bx + 19, by + 2);
        FillRect(*b, bx + 3, by + 2, bx + 17, by + 3);
    }
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read) << ctx.RereadRule;
    EXPECT_EQ(ctx.Reading.questionResults[0].answer.View(), "C");
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "AD");
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "B");
    EXPECT_EQ(ctx.Reading.questionResults[3].answer.View(), "B");
}

// A confirmed letter as pale beside the hand's marks as the darkest
// rubbed-out residues (under 64 % of their depth): doubtful, so the card is
// read again where the exam has a multiple-choice question, as a letter of a
// multiple choice too, and however well confirmed. As deep as the hand's
// marks go, it is read. Before, such a residue among a light hand's marks
// was read as a letter.
TEST_F(SamplingFixture, ConfirmedLetterAsPaleAsAResidueIsDoubtful)
{
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card
    exam.multipleChoice[2] = 1;
    PaperAndHandMarks(*this, 120); // the hand's marks 100 levels below the paper
    const PointF b = ctx.Questions[2].corner[1], d = ctx.Questions[2].corner[3];
    MarkBoth(b, 40);
    MarkBoth(d, 40);
    SetGrey(ctx, b, 150); // 70 of 100
    SetGrey(ctx, d, 110);
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read);
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "BD");
    SetGrey(ctx, b, 160); // 60 of 100
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_EQ(ctx.RereadQuestion, 2);
}

// Question 2's patch at `c`, at the grey level `deep`, makes the question
// doubtful (the exam's multiple choice has the card read again); at 50 of
// the hand's 100 levels it is blank.
static void ExpectDoubtfulDeepBlankPale(SamplingFixture& f, PointF c, int deep)
{
    SetGrey(f.ctx, c, deep);
    EXPECT_EQ(ReadAnswers(f.ctx, f.exam), AnswersResult::LightingFailure);
    EXPECT_EQ(f.ctx.RereadQuestion, 2);
    SetGrey(f.ctx, c, 170);
    ASSERT_EQ(ReadAnswers(f.ctx, f.exam), AnswersResult::Read);
    EXPECT_EQ(f.ctx.Reading.questionResults[2].answer.View(), "");
}

// A small patch at its window's middle that the grey reference confirms
// with only a few pixels is no answer, but no sure blank either when it is
// as deep as the hand's marks: doubtful (a small pale mark was read as no
// answer). Paler, it is a rubbed-out mark's or the print's trace: blank.
TEST_F(SamplingFixture, SmallBarelyConfirmedMarkIsNoSureBlank)
{
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card
    PaperAndHandMarks(*this, 120); // the hand's marks 100 levels below the paper
    const PointF c = ctx.Questions[2].corner[1];
    FillRect(ctx.RectifiedCard, static_cast<int>(c.x) + 7, static_cast<int>(c.y) - 9, static_cast<int>(c.x) + 13,
             static_cast<int>(c.y) - 4); // fill 11
    FillRect(ctx.CheckCard, static_cast<int>(c.x) + 8, static_cast<int>(c.y) - 7, static_cast<int>(c.x) + 12,
             static_cast<int>(c.y) - 6); // 4 confirming pixels
    ExpectDoubtfulDeepBlankPale(*this, c, 130); // 90 of 100
}

// A mark whose binarised patch is too small to count as marked, or larger
// but confirmed by only two pixels of the grey reference, at its window's
// middle and as deep as the hand's marks: no sure blank; doubtful. Both
// were read as no answer. Paler, they are blank.
TEST_F(SamplingFixture, TooSmallOrBarelyConfirmedDeepMarkIsNoSureBlank)
{
    exam.multipleChoice[9] = 1; // one doubtful question refuses the card
    PaperAndHandMarks(*this, 120); // the hand's marks 100 levels below the paper
    const PointF c = ctx.Questions[2].corner[1];
    const int x = static_cast<int>(c.x), y = static_cast<int>(c.y);
    FillRect(ctx.RectifiedCard, x + 8, y - 9, x + 13, y - 5); // fill 7: not marked
    FillRect(ctx.CheckCard, x + 8, y - 9, x + 11, y - 6);     // 9 confirming pixels
    ExpectDoubtfulDeepBlankPale(*this, c, 130);                // 90 of 100

    ClearCell(c);
    FillRect(ctx.RectifiedCard, x + 6, y - 10, x + 14, y - 4); // fill 18
    FillRect(ctx.CheckCard, x + 9, y - 7, x + 11, y - 6);      // 2 confirming pixels
    ExpectDoubtfulDeepBlankPale(*this, c, 135);                 // 85 of 100
}

// A question's only mark, small, run by a two-pixel neck into the big mark
// of the question above: the patch narrows into the window and then widens
// again by a quarter of its widest row. Two marks run together, not that
// mark's tip: the card is read again (it was read as no answer).
TEST_F(SamplingFixture, SmallMarkRunIntoTheMarkAboveIsNoTip)
{
    const PointF c = ctx.Questions[2].corner[1];
    ASSERT_EQ(static_cast<int>(ctx.Questions[1].corner[1].y), static_cast<int>(c.y) + 15);
    const int x = static_cast<int>(c.x), y = static_cast<int>(c.y);
    for (Bitmap* bmp : {&ctx.RectifiedCard, &ctx.CheckCard}) {
        FillRect(*bmp, x + 2, y + 3, x + 18, y + 14); // question 1's B, 16 wide
        FillRect(*bmp, x + 9, y, x + 11, y + 3);      // the neck
        FillRect(*bmp, x + 7, y - 5, x + 13, y);      // question 2's small B, 6 wide
    }
    EXPECT_EQ(ReadAnswers(ctx, exam), AnswersResult::LightingFailure);
    EXPECT_STREQ(ctx.RereadRule, "overflow holds the only ink");
    EXPECT_EQ(ctx.RereadQuestion, 2);

    // Narrowing all the way, it is the tip of question 1's mark.
    for (Bitmap* bmp : {&ctx.RectifiedCard, &ctx.CheckCard}) {
        FillRect(*bmp, x, y - 5, x + 20, y, 255);
        FillRect(*bmp, x + 7, y - 1, x + 13, y);
        FillRect(*bmp, x + 8, y - 3, x + 12, y - 1);
        FillRect(*bmp, x + 9, y - 5, x + 11, y - 3);
        FillRect(*bmp, x + 3, y, x + 17, y + 3);
    }
    ASSERT_EQ(ReadAnswers(ctx, exam), AnswersResult::Read) << ctx.RereadRule;
    EXPECT_EQ(ctx.Reading.questionResults[1].answer.View(), "B");
    EXPECT_EQ(ctx.Reading.questionResults[2].answer.View(), "");
}
