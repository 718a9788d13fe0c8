// The synthetic camera: determinism, orientation, the camera constraints of
// the shipped cards at a normal distance, the sample buffer and the truth.
#include <gtest/gtest.h>

#include <cmath>

#include <QImage>

#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "recognition/CardLayout.h"

using namespace cardprint;

namespace {

const ShippedCard& Standard()
{
    static const std::vector<ShippedCard> cards = ShippedCards();
    return cards[0];
}

FilledCard SomeCard()
{
    FilledCard c;
    c.abType = 1;
    c.admission = "01_000007";
    c.subject = "02";
    c.score = "045";
    c.answers = ParseAnswerList("A,b,,CD,E,D");
    c.strays.push_back({PencilMark::Erased, 2, 1});
    c.markSeed = 5;
    return c;
}

int Grey(const QImage& img, double x, double y)
{
    return qGray(img.pixel(static_cast<int>(x), static_cast<int>(y)));
}

} // namespace

TEST(SynthCamera, SameSeedSamePictureOtherSeedOther)
{
    SynthOptions o;
    o.seed = 11;
    o.light = SynthOptions::LightShadow;
    o.tiltXDeg = 4;
    o.jpegQuality = 80;
    QImage a = SynthesizeCameraImage(Standard().record, Standard().fileName, SomeCard(), o);
    QImage b = SynthesizeCameraImage(Standard().record, Standard().fileName, SomeCard(), o);
    ASSERT_EQ(a.size(), QSize(640, 480));
    EXPECT_EQ(a, b);
    o.seed = 12;
    QImage c = SynthesizeCameraImage(Standard().record, Standard().fileName, SomeCard(), o);
    EXPECT_NE(a, c);
}

// A camera sample shows the card upside down: the program turns it upright.
TEST(SynthCamera, CameraSampleIsTheUprightPictureTurned)
{
    SynthOptions o;
    o.seed = 3;
    o.noise = 0;
    QImage sample = SynthesizeCameraImage(Standard().record, Standard().fileName, SomeCard(), o);
    o.upright = true;
    SynthTruth truth;
    QImage upright = SynthesizeCameraImage(Standard().record, Standard().fileName, SomeCard(), o, &truth);
    EXPECT_EQ(sample, upright.mirrored(true, true));
    // Upright, the top line lies above the bottom line and left is left.
    EXPECT_LT(truth.lineEnds[2][1], truth.lineEnds[0][1]);
    EXPECT_LT(truth.lineEnds[0][0], truth.lineEnds[1][0]);

    CameraSample s = ToCameraSample(sample, 3);
    ASSERT_EQ(s.pixels.size(), 640u * 480u * 3u);
    // The first row in memory is the picture's bottom row, pixels B, G, R.
    QRgb bottomLeft = sample.pixel(0, 479);
    EXPECT_EQ(s.pixels[0], qBlue(bottomLeft));
    EXPECT_EQ(s.pixels[1], qGreen(bottomLeft));
    EXPECT_EQ(s.pixels[2], qRed(bottomLeft));
    CameraSample s4 = ToCameraSample(sample, 4);
    ASSERT_EQ(s4.pixels.size(), 640u * 480u * 4u);
    QRgb topRight = sample.pixel(639, 0);
    std::size_t last = (479u * 640u + 639u) * 4u;
    EXPECT_EQ(s4.pixels[last + 2], qRed(topRight));
}

// At the normal distance every shipped card meets the camera constraints the
// recognition checks: a cell row 230/34 to 300/34 pixels, both lines inside
// the central 480 x 480 and longer than 170 pixels; lines black under the
// frame threshold of 100, paper white, and the card corners of the placement
// checks inside the picture.
TEST(SynthCamera, ShippedCardsMeetTheCameraConstraints)
{
    for (const ShippedCard& c : ShippedCards()) {
        SCOPED_TRACE(c.fileName);
        for (double scale : {0.93, 1.0, 1.07}) {
            SynthOptions o;
            o.seed = 7;
            o.scale = scale;
            o.upright = true;
            o.light = SynthOptions::LightGradient;
            SynthTruth truth;
            QImage img = SynthesizeCameraImage(c.record, c.fileName, FilledCard{}, o, &truth);
            const auto& e = truth.lineEnds;
            double d = std::hypot(e[2][0] - e[0][0], e[2][1] - e[0][1]);
            double k = c.record.LineDistance / c.record.CellHeight;
            EXPECT_GT(d, k * 230 / 34);
            EXPECT_LT(d, k * 300 / 34);
            for (const auto& p : e) {
                EXPECT_GE(p[0], 80);
                EXPECT_LE(p[0], 560);
            }
            EXPECT_GT(e[1][0] - e[0][0], 170);
            // Along the lines: black. Half a cell above the bottom line: paper.
            for (double t : {0.1, 0.5, 0.9}) {
                double x = e[0][0] + t * (e[1][0] - e[0][0]);
                double y = e[0][1] + t * (e[1][1] - e[0][1]);
                EXPECT_LT(Grey(img, x, y), 100);
                EXPECT_GT(Grey(img, x, y - truth.rowPixels * 0.7), 130);
                double xt = e[2][0] + t * (e[3][0] - e[2][0]);
                double yt = e[2][1] + t * (e[3][1] - e[2][1]);
                EXPECT_LT(Grey(img, xt, yt), 100);
            }
            // Twelve rows above the top line and one below the bottom line, in the picture.
            EXPECT_GT(e[2][1] - 12 * truth.rowPixels, 0);
            EXPECT_LT(e[0][1] + truth.rowPixels, 480);
        }
    }
}

TEST(SynthCamera, MarksGoToTheFilledCells)
{
    const CardTemplate& t = Standard().record;
    FilledCard card = SomeCard();
    std::vector<PencilMark> marks = MarksFor(t, card);
    auto has = [&](CellPos p, PencilMark::Kind kind) {
        for (const PencilMark& m : marks)
            if (m.cell.col == p.col && m.cell.row == p.row && m.kind == kind)
                return true;
        return false;
    };
    EXPECT_TRUE(has({t.AbBCol, t.AbBRow}, PencilMark::Pencil));
    EXPECT_FALSE(has({t.AbACol, t.AbARow}, PencilMark::Pencil));
    EXPECT_TRUE(has(DigitCell(t.AdmCol, t.AdmRow, 0, 0), PencilMark::Pencil));
    EXPECT_TRUE(has(DigitCell(t.AdmCol, t.AdmRow, 8, 7), PencilMark::Pencil));
    EXPECT_TRUE(has(DigitCell(t.SubjCol, t.SubjRow, 1, 2), PencilMark::Pencil));
    EXPECT_TRUE(has(DigitCell(t.ScoreCol, t.ScoreRow, 2, 5), PencilMark::Pencil));
    // B layout: question 4 (CD) in block 0 of the first column, its fourth row.
    QuestionLayout q4 = LayoutQuestion(t, 1, 3);
    EXPECT_TRUE(has(OptionCell(q4, 3, 2), PencilMark::Pencil));
    EXPECT_TRUE(has(OptionCell(q4, 3, 3), PencilMark::Pencil));
    QuestionLayout q3 = LayoutQuestion(t, 1, 2);
    EXPECT_TRUE(has(OptionCell(q3, 2, 1), PencilMark::Erased));
    // 1 AB + 8 admission digits (one blank) + 2 + 3 + answers A, B, CD, D (E is not an option) + 1 stray.
    EXPECT_EQ(marks.size(), 1u + 8 + 2 + 3 + 5 + 1);

    SynthTruth truth;
    SynthesizeCameraImage(t, Standard().fileName, card, SynthOptions{}, &truth);
    EXPECT_EQ(truth.abType, 1);
    EXPECT_EQ(truth.admission, "01 000007");
    ASSERT_EQ(truth.answers.size(), 85u);
    EXPECT_EQ(truth.answers[1], "B");
    EXPECT_EQ(truth.answers[3], "CD");
    EXPECT_EQ(truth.answers[4], "");
    std::string json = TruthToJson(truth);
    EXPECT_NE(json.find("\"admission\": \"01 000007\""), std::string::npos);
    EXPECT_NE(json.find("\"paper\": \"B\""), std::string::npos);
    EXPECT_NE(json.find("{\"kind\": \"erased\", \"question\": 3, \"option\": \"B\"}"), std::string::npos);
}

// The truth is what the picture shows: digits past the card's columns, or in
// a row the card lacks, are not drawn and so not claimed.
TEST(SynthCamera, TruthClaimsOnlyTheDigitsDrawn)
{
    CardTemplate t = Standard().record;
    ASSERT_LT(t.AdmColumns, 13);
    t.SubjRows = 3;  // subjects 0, 1 and 2 only
    FilledCard card;
    card.admission = "0100000071234";
    card.subject = "31";
    card.score = "04567";
    SynthTruth truth;
    SynthesizeCameraImage(t, Standard().fileName, card, SynthOptions{}, &truth);
    EXPECT_EQ(truth.admission, card.admission.substr(0, static_cast<std::size_t>(t.AdmColumns)));
    EXPECT_EQ(truth.subject, " 1");
    EXPECT_EQ(truth.score, std::string("04567").substr(0, static_cast<std::size_t>(t.ScoreColumns)));
    // Paper A's mark, the admission's and the score's columns, the subject's second digit.
    EXPECT_EQ(MarksFor(t, card).size(), static_cast<std::size_t>(1 + t.AdmColumns + 1 + t.ScoreColumns));
}

TEST(SynthCamera, FixedAbModeOverridesThePaper)
{
    for (const ShippedCard& c : ShippedCards()) {
        if (c.record.AbMode == 0)
            continue;
        FilledCard card;
        card.abType = c.record.AbMode == 1 ? 1 : 0;  // asks for the other paper
        card.answers = {"A"};
        SynthTruth truth;
        SynthesizeCameraImage(c.record, c.fileName, card, SynthOptions{}, &truth);
        EXPECT_EQ(truth.abType, c.record.AbMode - 1);
        for (const PencilMark& m : MarksFor(c.record, card)) {
            CellPos expected = OptionCell(LayoutQuestion(c.record, c.record.AbMode - 1, 0), 0, 0);
            EXPECT_EQ(m.cell.col, expected.col);
            EXPECT_EQ(m.cell.row, expected.row);
        }
    }
}

TEST(SynthCamera, AnswerListParsing)
{
    EXPECT_EQ(ParseAnswerList("A,B,,CD"), (std::vector<std::string>{"A", "B", "", "CD"}));
    EXPECT_EQ(ParseAnswerList("a, bd ,"), (std::vector<std::string>{"A", "BD", ""}));
    EXPECT_TRUE(ParseAnswerList("").empty());
}

// A template `read` loads may still be too large to draw (a line 1e7 units
// long): the face is then refused with the reason and no picture is made
// from it; a null face (no memory for it) photographs as a null picture, not
// a crash.
TEST(SynthCamera, AFaceTooLargeToDrawIsRefusedNotSampled)
{
    CardTemplate t = Standard().record;
    EXPECT_EQ(CardImageSizeProblem(t, Standard().fileName, SynthPixelsPerMm), "");
    for (float CardTemplate::*field : {&CardTemplate::LineLength, &CardTemplate::LineDistance}) {
        CardTemplate huge = t;
        huge.*field = 1e7f;
        EXPECT_NE(CardImageSizeProblem(huge, Standard().fileName, SynthPixelsPerMm).find("画出来超出能画的大小"),
                  std::string::npos);
        EXPECT_TRUE(RenderFilledFace(huge, Standard().fileName, SomeCard()).isNull());
        EXPECT_TRUE(SynthesizeCameraImage(huge, Standard().fileName, SomeCard(), {}).isNull());
    }
    EXPECT_TRUE(PhotographFace(t, Standard().fileName, QImage(), SynthPixelsPerMm, {}).isNull());
}
