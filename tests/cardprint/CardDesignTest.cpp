// The card designer's layout: every design either lays out into a template
// that recognition accepts, fits its paper and the camera envelope, and keeps
// its cells apart from each other, the header and the detection lines; or it
// is refused with one sentence that says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cardprint/CardGeometry.h"
#include "cardprint/Prng.h"
#include "exam/CardDesign.h"

namespace {

using cardprint::RectU;
using cardprint::SplitMix64;

CardDesign RandomDesign(SplitMix64& rng, int i)
{
    CardDesign d;
    d.name = "随机" + std::to_string(i);
    // Mostly valid choices, now and then one out of range.
    // Mostly the sizes exams have; now and then up to the limits.
    d.questions = rng.Chance(0.03) ? 3 + rng.Below(300) : 5 * (1 + rng.Below(rng.Chance(0.7) ? 20 : 40));
    d.options = rng.Chance(0.03) ? rng.Below(13) : 2 + rng.Below(rng.Chance(0.7) ? 4 : 9);
    d.admissionDigits = rng.Chance(0.03) ? rng.Below(25) : 2 + rng.Below(19);
    d.subjectDigits = rng.Below(3);
    d.scoreDigits = rng.Below(4);
    d.abMode = rng.Below(3);
    d.colour = static_cast<CardPrintColour>(rng.Below(3));
    d.paper = static_cast<CardPaper>(rng.Below(3));
    d.landscape = rng.Chance(0.5);
    if (rng.Chance(0.4)) {
        const int n = 1 + rng.Below(4);
        for (int k = 0; k < n; ++k) {
            CardBlockException e;
            e.block = 1 + rng.Below(std::max(1, d.questions / 5));
            e.options = rng.Chance(0.5) ? 2 + rng.Below(7) : 0;
            e.down = rng.Chance(0.5);
            d.exceptions.push_back(e);
        }
    }
    // Teachers mostly choose what goes together; sometimes they do not.
    if (!rng.Chance(0.1)) {
        if (d.colour == CardPrintColour::Red && d.abMode == 2)
            d.abMode = rng.Below(2);
        if (d.colour == CardPrintColour::Green && d.abMode == 1)
            d.abMode = 2 * rng.Below(2);
        if (!d.exceptions.empty() && d.abMode == 0)
            d.abMode = d.colour == CardPrintColour::Red ? 1 : 2;
    }
    return d;
}

bool Overlap(const RectU& a, const RectU& b)
{
    constexpr double eps = 1e-3;
    return a.left < b.right - eps && b.left < a.right - eps && a.bottom < b.top - eps && b.bottom < a.top - eps;
}

// Everything one layout (AB type) puts on the card that must stay apart:
// the mark cells, and the free cell beside each block where recognition
// draws its grey reference frame.
std::vector<RectU> TakenCells(const cardprint::CardGeometry& g, int abType, std::string& problem)
{
    const CardTemplate& t = g.Template();
    std::vector<RectU> taken;
    for (const cardprint::FaceCell& c : g.Cells(abType))
        taken.push_back(g.Cell(c.pos));
    for (int q = 0; q < t.QuestionCount; q += 5) {
        const QuestionLayout l = LayoutQuestion(t, abType, q);
        const CellPos last = OptionCell(l, 0, l.options - 1);
        // Across: the column after the first question's last option; down:
        // the row under the first question's last option.
        const CellPos frame = l.orientation == 0 ? CellPos{last.col + 1, last.row} : CellPos{last.col, last.row - 1};
        taken.push_back(g.Cell(frame));
    }
    for (std::size_t i = 0; i < taken.size() && problem.empty(); ++i)
        for (std::size_t j = i + 1; j < taken.size(); ++j)
            if (Overlap(taken[i], taken[j])) {
                problem = "cells " + std::to_string(i) + " and " + std::to_string(j) + " overlap";
                break;
            }
    return taken;
}

TEST(CardDesign, RandomDesignsLayOutValidlyOrSayWhyNot)
{
    SplitMix64 rng(20261207);
    int laidOut = 0, refused = 0;
    for (int i = 0; i < 300; ++i) {
        const CardDesign d = RandomDesign(rng, i);
        const CardLayoutResult r = LayOutCard(d);
        SCOPED_TRACE("design " + std::to_string(i) + ": " + std::to_string(d.questions) + " questions, " +
                     std::to_string(d.options) + " options, " + std::to_string(d.exceptions.size()) +
                     " exceptions, ab " + std::to_string(d.abMode) + ", " + PaperText(d.paper, d.landscape));
        if (!r.ok) {
            ++refused;
            if (std::getenv("SCORIVO_DESIGN_VERBOSE"))
                std::printf("  %s\n", r.reason.c_str());
            // One sentence: it ends with the only full stop.
            ASSERT_FALSE(r.reason.empty());
            EXPECT_EQ(r.reason.find("。"), r.reason.size() - std::string("。").size()) << r.reason;
            continue;
        }
        ++laidOut;
        const CardTemplate& t = r.record;
        ASSERT_EQ(ValidateCardTemplate(t), "");
        EXPECT_TRUE(r.reason.empty());
        const bool jd = d.colour != CardPrintColour::Black;
        EXPECT_EQ(r.fileName, (jd ? "JD" : "DY") + d.name + ".dat");
        EXPECT_EQ(t.QuestionCount, d.questions);
        EXPECT_EQ(t.AdmColumns, d.admissionDigits);
        EXPECT_EQ(t.ScoreColumns, d.scoreDigits);
        EXPECT_EQ(t.AbMode, d.abMode);

        // The camera envelope, in cell rows (what recognition measures by).
        EXPECT_LE(t.LineLength / t.CellHeight, 47.5 + 1e-4);
        EXPECT_GE(t.LineLength / t.CellHeight, 30 - 1e-4);
        EXPECT_LE(t.LineDistance / t.CellHeight, 30.5 + 1e-4);
        EXPECT_GE(t.LineDistance / t.CellHeight, 20.5 - 1e-4);

        // The printed card fits its sheet with room for margins and the note,
        // and the layout's own idea of its size is the renderer's.
        const cardprint::CardGeometry g(t, jd);
        const RectU paper = g.Paper();
        const CardExtentMm e = PrintedCardExtent(t, jd);
        EXPECT_NEAR(e.left, paper.left, 1e-3);
        EXPECT_NEAR(e.right, paper.right, 1e-3);
        EXPECT_NEAR(e.top, paper.top, 1e-3);
        EXPECT_NEAR(e.bottom, paper.bottom, 1e-3);
        const PaperSizeMm sheet = PaperSize(d.paper, d.landscape);
        EXPECT_LE(paper.Width() + 16, sheet.width + 1e-6);
        EXPECT_LE(paper.Height() + 26, sheet.height + 1e-6);

        const double lineHalf = std::max(g.LineThickness(), g.DashThickness()) / 2;
        std::vector<int> layouts;
        if (t.AbMode != 2)
            layouts.push_back(0);
        if (t.AbMode != 1)
            layouts.push_back(1);
        for (int ab : layouts) {
            std::string problem;
            const std::vector<RectU> taken = TakenCells(g, ab, problem);
            EXPECT_EQ(problem, "") << "layout " << ab;
            for (const cardprint::FaceCell& c : g.Cells(ab)) {
                const RectU cell = g.Cell(c.pos);
                // Inside the lines' span, clear of the lines and the orientation mark.
                EXPECT_GE(cell.left, 0.0);
                EXPECT_LE(cell.right, t.LineLength);
                for (const RectU& bar : g.UprightBars())
                    EXPECT_FALSE(Overlap(cell, bar));
                if (c.kind == cardprint::FaceCell::Option) {
                    EXPECT_LT(cell.top, t.LineDistance - lineHalf) << "answer cell reaches the top line";
                    EXPECT_GT(cell.bottom, lineHalf) << "answer cell reaches the bottom line";
                } else {
                    EXPECT_GT(cell.bottom, t.LineDistance + lineHalf) << "header cell reaches the top line";
                    // The header lies below the 12 rows above the top line that the corner checks expect.
                    EXPECT_LE(cell.top, t.LineDistance + 12 * t.CellHeight + 1e-3);
                }
            }
            for (const cardprint::QuestionLabel& q : g.QuestionLabels(ab)) {
                EXPECT_GE(q.box.left, -t.OriginOffset + 0.5 * t.CellWidth - 1e-3);
                EXPECT_LT(q.box.top, t.LineDistance - lineHalf);
            }
            (void)taken;
        }
    }
    // The generator must exercise both outcomes.
    EXPECT_GT(laidOut, 150);
    EXPECT_GT(refused, 20);
}

TEST(CardDesign, RefusalsNameTheirReason)
{
    CardDesign d;
    d.name = "期中";
    d.questions = 37;
    EXPECT_EQ(LayOutCard(d).reason, "题数必须是5到200之间5的倍数（每5题一组）。");
    d.questions = 200;
    d.options = 4;
    const CardLayoutResult many = LayOutCard(d);
    EXPECT_FALSE(many.ok);
    EXPECT_EQ(many.reason, "每题4个选项时一张答题卡最多放125题（再多摄像头就拍不清每个格了），请减少题数或选项数。");
    d.questions = 100;
    d.paper = CardPaper::A5;
    d.landscape = true;
    const CardLayoutResult small = LayOutCard(d);
    EXPECT_FALSE(small.ok);
    EXPECT_EQ(small.reason.rfind("A5纸（横放）放不下这张答题卡（卡面至少", 0), 0u) << small.reason;
    d = CardDesign{};
    d.name = "a/b";
    EXPECT_EQ(LayOutCard(d).reason, "答题卡名称中不能有 / \\ : * ? \" < > | 这些符号。");
    d.name = "判断";
    d.exceptions = {{3, 2, false}};
    EXPECT_EQ(LayOutCard(d).reason,
              "AB卷自动识别时两种卷的题组位置不同，不能设特殊题组；请选“总是A卷”或“总是B卷”。");
    d.abMode = 1;
    EXPECT_TRUE(LayOutCard(d).ok);
    d.exceptions = {{13, 2, false}};
    EXPECT_EQ(LayOutCard(d).reason, "特殊题组13不存在：60题共有12组（第1组是1-5题）。");
    d.exceptions.clear();
    d.colour = CardPrintColour::Red;
    d.abMode = 2;
    EXPECT_EQ(LayOutCard(d).reason, "红色机读卡是A卷，不能设为“总是B卷”；B卷请用绿色。");
}

TEST(CardDesign, ShippedStyleWhenItFits)
{
    // A 60-question card of four options in the shipped cards' spacing:
    // 5 x 4 mm cells, blocks seven columns and six rows apart, from 1.5 rows
    // below the top line, the header from row 11.5.
    CardDesign d;
    d.name = "六十题";
    d.landscape = true;
    const CardLayoutResult r = LayOutCard(d);
    ASSERT_TRUE(r.ok) << r.reason;
    const CardTemplate& t = r.record;
    EXPECT_EQ(t.CellWidth, 5.0f);
    EXPECT_EQ(t.CellHeight, 4.0f);
    EXPECT_EQ(t.BlockColPitch, 7.0f);
    EXPECT_EQ(t.BlockRowPitch, 6.0f);
    EXPECT_EQ(t.AnswerRow, -1.5f);
    EXPECT_EQ(t.AdmRow, 11.5f);
    EXPECT_EQ(t.SubjCol, 10.5f);
    EXPECT_EQ(t.ScoreCol, 14.0f);
    EXPECT_EQ(t.AbACol, t.AbBCol);
    EXPECT_EQ(t.AbBRow, 9.5f);
    EXPECT_EQ(t.UprightCol * t.CellWidth + t.OriginOffset, t.LineLength + 0.5f * t.CellWidth);
    EXPECT_EQ(t.SubjectCount, 9);
    EXPECT_EQ(t.Subjects[1].code.Utf8(), "02");
    EXPECT_EQ(t.Subjects[1].name.Utf8(), "数学");
    EXPECT_EQ(r.papers, (std::vector<int>{0, 1}));
    EXPECT_FALSE(r.compact);

    // Two hundred true/false questions need the tighter spacing.
    d.questions = 200;
    d.options = 2;
    const CardLayoutResult dense = LayOutCard(d);
    ASSERT_TRUE(dense.ok) << dense.reason;
    EXPECT_TRUE(dense.compact);
}

TEST(CardDesign, ExceptionsTakeTheirBlocksPlace)
{
    // Questions 51-55 true/false, 56-60 running down, read as paper B: the
    // blocks stay in their own slots of the column-by-column layout.
    CardDesign d;
    d.name = "五选项";
    d.options = 5;
    d.abMode = 2;
    d.exceptions = {{11, 2, false}, {12, 4, true}};
    const CardLayoutResult r = LayOutCard(d);
    ASSERT_TRUE(r.ok) << r.reason;
    const CardTemplate& t = r.record;
    ASSERT_EQ(t.OverrideCount, 2);
    EXPECT_EQ(t.BlockOverrides[0].blockIndex, 10);
    EXPECT_EQ(t.BlockOverrides[0].options, 2);
    EXPECT_EQ(t.BlockOverrides[0].orientation, 0);
    EXPECT_EQ(t.BlockOverrides[1].blockIndex, 11);
    EXPECT_EQ(t.BlockOverrides[1].orientation, 1);
    // Block 10 lies where paper B would have put it anyway.
    const CellPos plain = BlockOffsetCells(t, 1, 10);
    EXPECT_EQ(t.BlockOverrides[0].column, plain.col);
    EXPECT_EQ(t.BlockOverrides[0].row, t.AnswerRow - plain.row);
    const QuestionLayout q56 = LayoutQuestion(t, 1, 55);
    EXPECT_EQ(q56.orientation, 1);
    EXPECT_EQ(q56.options, 4);
}

TEST(CardDesign, ListsParseAsTeachersWriteThem)
{
    std::vector<CardBlockException> ex;
    std::string why;
    ASSERT_TRUE(ParseBlockOptions("7:2, 8：2", ex, why)) << why;
    ASSERT_TRUE(ParseDownBlocks("8，9", ex, why)) << why;
    ASSERT_EQ(ex.size(), 3u);
    EXPECT_EQ(ex[0].block, 7);
    EXPECT_EQ(ex[0].options, 2);
    EXPECT_FALSE(ex[0].down);
    EXPECT_EQ(ex[1].block, 8);
    EXPECT_TRUE(ex[1].down);
    EXPECT_EQ(ex[2].block, 9);
    EXPECT_EQ(ex[2].options, 0);
    EXPECT_FALSE(ParseBlockOptions("7-2", ex, why));
    EXPECT_EQ(why, "特殊题组的选项数写法不对：“7-2”，应写成“组号:选项数”，如“7:2,8:2”。");
    EXPECT_FALSE(ParseDownBlocks("x", ex, why));

    std::vector<CardSubject> subjects;
    ASSERT_TRUE(ParseSubjectList("01:语文,02：数学", subjects, why));
    ASSERT_EQ(subjects.size(), 2u);
    EXPECT_EQ(subjects[1].code, "02");
    EXPECT_EQ(subjects[1].name, "数学");
    EXPECT_FALSE(ParseSubjectList("01", subjects, why));

    CardDesign d;
    d.name = "科目";
    d.subjects = {{"1", "语文"}};
    EXPECT_EQ(LayOutCard(d).reason, "科目代码“1”必须是2位数字。");
    d.subjects = {{"01", "语文"}, {"01", "数学"}};
    EXPECT_EQ(LayOutCard(d).reason, "科目代码“01”重复了。");
    d.subjects = {{"01", "思想品德与法治"}};
    EXPECT_EQ(LayOutCard(d).reason, "科目名称“思想品德与法治”无效：最多4个汉字。");
}

} // namespace
