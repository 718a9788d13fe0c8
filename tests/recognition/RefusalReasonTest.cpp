// Every reason a refusal gives the teacher, from a camera frame of a card
// filled to earn it, through recognition and the session's acceptance: the
// place and reason in the result, the memo's line, and the box in the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include <QPolygonF>

#include "cardprint/RefusalExamples.h"
#include "recognition/BatchCli.h"
#include "recognition/SyntheticSession.h"
#include "support/TempDir.h"

namespace {

class RefusalReasons : public ::testing::TestWithParam<int>, protected SyntheticSession {
protected:
    void SetUp() override { Open(cardprint::DemoTemplateName(), cardprint::RefusalExampleScoreRows()); }
    int Mark(const QImage& sample)
    {
        ctx.StartPicture();
        return MarkSample(sample);
    }
};

// The example's card as a student's, after the standard answer: refused,
// with the place and reason the card was filled to earn; the texts of the
// refusal as they were, the memo adding where and why; and the place's cells
// outlined in the frame around the marks there.
TEST_P(RefusalReasons, EachCardNamesItsPlaceAndReason)
{
    const cardprint::RefusalExample e = cardprint::RefusalExamples()[static_cast<std::size_t>(GetParam())];
    cardprint::FilledCard standard = cardprint::RefusalExampleStudent();
    standard.admission.clear();
    cardprint::SynthOptions o;
    o.seed = 3;
    ASSERT_EQ(Mark(cardprint::SynthesizeCameraImage(state->cardTemplate, state->templateName, standard, o)), 0)
        << ctx.StatusText;

    ASSERT_EQ(Mark(cardprint::PhotographRefusalExample(e, o)), 13) << e.pictureName << ": " << ctx.StatusText;
    EXPECT_EQ(ctx.Refusal.field, e.expected.field) << e.pictureName;
    EXPECT_EQ(ctx.Refusal.index, e.expected.index) << e.pictureName;
    EXPECT_EQ(ctx.Refusal.reason, e.expected.reason)
        << e.pictureName << " gave " << RefusalReasonText(ctx.Refusal.reason);
    EXPECT_EQ(ctx.Refusal.doubt, e.expected.doubt) << e.pictureName;
    EXPECT_EQ(ctx.Refusal.doubtful, e.expected.doubtful) << e.pictureName;
    const std::string line = RefusalPlace(e.expected) + "：" + RefusalReasonText(e.expected.reason);
    EXPECT_NE(ctx.MemoTiShi.find("\r\n" + line), std::string::npos) << ctx.MemoTiShi;
    const std::string statuses[] = {acceptance_texts::LightingStatus, acceptance_texts::BlankDigitStatus,
                                    acceptance_texts::SubjectStatus};
    EXPECT_NE(std::find(std::begin(statuses), std::end(statuses), ctx.StatusText), std::end(statuses))
        << ctx.StatusText;

    EXPECT_EQ(ctx.HasRefusalOutline, e.expected.index >= 0 || e.expected.field == RefusalField::Subject);
    if (!ctx.HasRefusalOutline || e.expected.field != RefusalField::Question)
        return;
    // The box is a few cells, not the card, and holds the marks that earned
    // the refusal: the frame photographed again without them (the same
    // camera, noise and all) differs there.
    QPolygonF box;
    for (const PointF& p : ctx.RefusalOutline)
        box << QPointF(p.x, p.y);
    const QRectF bounds = box.boundingRect();
    EXPECT_LT(bounds.width() * bounds.height(), 640.0 * 480 / 100) << e.pictureName;
    cardprint::RefusalExample clean = e;
    clean.extra.clear();
    const QImage with = cardprint::PhotographRefusalExample(e, o);
    const QImage without = cardprint::PhotographRefusalExample(clean, o);
    int changed = 0, inside = 0;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            if (std::abs(qGreen(with.pixel(x, y)) - qGreen(without.pixel(x, y))) > 12) {
                ++changed;
                // The program turns the camera sample by 180 degrees and counts rows upward.
                inside += box.containsPoint(QPointF(with.width() - 1 - x, y), Qt::OddEvenFill);
            }
    EXPECT_GE(inside, 10) << e.pictureName;
    EXPECT_GE(inside * 3, changed) << e.pictureName;
}

INSTANTIATE_TEST_SUITE_P(Examples, RefusalReasons,
                         ::testing::Range(0, static_cast<int>(cardprint::RefusalExamples().size())));

// "read" prints the place and the reason in the picture's JSON line.
TEST(RefusalReasonsCli, ReadPrintsQuestionAndReason)
{
    const auto examples = cardprint::RefusalExamples();
    const auto two = std::find_if(examples.begin(), examples.end(), [](const cardprint::RefusalExample& e) {
        return e.expected.reason == RefusalReason::TwoMarks;
    });
    ASSERT_NE(two, examples.end());
    TempDir dir;
    cardprint::SynthOptions o;
    o.seed = 3;
    ASSERT_TRUE(cardprint::PhotographRefusalExample(*two, o).save(QString::fromStdString(files::ToUtf8(dir / "c.png"))));
    const std::string templatePath =
        std::string(SCORIVO_BINARY_DIR) + "/模板文件/" + cardprint::DemoTemplateName();
    const batch_test::CliRun run = batch_test::RunCli("read --template " + batch_test::Quote(templatePath) +
                                                      " --multiple 81-85 " + batch_test::Quote(files::ToUtf8(dir / "c.png")));
    ASSERT_EQ(run.lines.size(), 1u) << run.errors;
    EXPECT_NE(run.lines[0].find("\"code\":13,"), std::string::npos) << run.lines[0];
    EXPECT_NE(run.lines[0].find("\"question\":\"第52题\",\"reason\":\"单选题涂了两个选项\""), std::string::npos)
        << run.lines[0];
}

// The memo's line, as the teacher reads it.
TEST(RefusalLine, PlaceReasonAndAdvice)
{
    RefusalDetail d;
    d.field = RefusalField::Question;
    d.index = 11;
    d.reason = RefusalReason::InkOffCentre;
    EXPECT_EQ(RefusalMemoLine(d), "第12题：涂点不在选项中间。请把涂点涂在选项正中，擦干净选项外的笔迹。");
    d.reason = RefusalReason::TooManyDoubtful;
    d.doubt = RefusalReason::ErasedResidue;
    d.doubtful = 3;
    EXPECT_EQ(RefusalMemoLine(d).substr(0, RefusalMemoLine(d).find("。")),
              "第12题：可疑的题太多（共3道，这道题像是擦过的痕迹）");
    // Digit fields: the first unclear column, else a blank among digits (or
    // anywhere, for the admission number), else the whole field not filled.
    const auto none = [](int) { return RefusalReason::None; };
    EXPECT_EQ(RefusalPlace(UnreadDigitColumn(RefusalField::AdmissionNumber, "01 0?", true, none)), "准考证号第5位");
    EXPECT_EQ(UnreadDigitColumn(RefusalField::AdmissionNumber, "01 0?", true, none).reason,
              RefusalReason::UnclearDigit);
    EXPECT_EQ(RefusalPlace(UnreadDigitColumn(RefusalField::AdmissionNumber, "01 02", true, none)), "准考证号第3位");
    EXPECT_EQ(RefusalPlace(UnreadDigitColumn(RefusalField::SubjectiveScore, " 8 5", false, none)), "主观分第3位");
    EXPECT_FALSE(UnreadDigitColumn(RefusalField::SubjectiveScore, " 85 ", false, none).Any());
    const RefusalDetail empty = UnreadDigitColumn(RefusalField::AdmissionNumber, "   ", true, none);
    EXPECT_EQ(RefusalPlace(empty), "准考证号");
    EXPECT_EQ(empty.reason, RefusalReason::NotFilled);
}

} // namespace
