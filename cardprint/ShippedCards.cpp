#include "cardprint/ShippedCards.h"

#include <cstdio>

// Design rules for every card here (camera 640 x 480):
// - one template unit is 1 mm; cells are 5 mm wide and 4 mm tall. At the
//   middle of the accepted camera distance a cell row is 265/34 = 7.8 px, so
//   the camera sees about 1.95 px per mm; the lines (145-180 mm) are then
//   280-350 px long, inside the central 480 px and far above 170 px;
// - header grids (admission, subject, score, AB) have their top row 11.5
//   cells above the top line and end 1.5 cells above it, so the row below each
//   column (the grey reference frame's place) is free;
// - answer blocks start 1.5 cells below the top line; a block is a 2-cell
//   number column, the options, and one free column (the reference frame's
//   place), so the column pitch is options + 3; block rows are 6 cells apart;
// - the orientation mark stands half a cell beyond the top line's right end
//   ("JD": beyond the two dashes), its bars well clear of the line.

namespace cardprint {

namespace {

void SetSubjects(CardTemplate& t)
{
    static const char* const names[][2] = {{"01", "语文"}, {"02", "数学"}, {"03", "英语"},
                                           {"04", "物理"}, {"05", "化学"}, {"06", "生物"},
                                           {"07", "政治"}, {"08", "历史"}, {"09", "地理"}};
    t.SubjectCount = 0;
    for (const auto& s : names) {
        SubjectEntry& e = t.Subjects[t.SubjectCount++];
        (void)e.code.SetUtf8(s[0]);
        (void)e.name.SetUtf8(s[1]);
    }
}

// Shared header: ten admission columns, a two-digit subject, and (optional)
// a subjective score, all with ten rows.
void SetHeader(CardTemplate& t, int scoreColumns)
{
    t.AdmCol = 0;
    t.AdmRow = 11.5f;
    t.AdmColumns = 10;
    t.SubjCol = 11.5f;
    t.SubjRow = 11.5f;
    t.SubjColumns = 2;
    t.SubjRows = 10;
    SetSubjects(t);
    t.ScoreCol = 15;
    t.ScoreRow = 11.5f;
    t.ScoreColumns = scoreColumns;
}

// What the cards share: 5 x 4 mm cells, room for the first block's question
// numbers left of it (2.5 cells), answer blocks from 1.5 rows below the top
// line in block rows 6 cells apart, options across; 60 questions of four
// options in three block rows of four blocks, 7 cells apart.
CardTemplate SharedLayout(float lineLength, float lineDistance, int scoreColumns)
{
    CardTemplate t;
    t.Clear();
    t.CellWidth = 5;
    t.CellHeight = 4;
    t.OriginOffset = 12.5f;
    t.LineLength = lineLength;
    t.LineDistance = lineDistance;
    SetHeader(t, scoreColumns);
    t.QuestionCount = 60;
    t.AnswerRow = -1.5f;
    t.BlockColPitch = 7;
    t.BlockRowPitch = 6;
    t.DefaultOrientation = 0;
    t.DefaultOptions = 4;
    t.Sec1Columns = 4;
    t.Sec1Rows = 3;
    t.Sec1FirstCol = 0;
    t.Sec2Columns = 0;
    t.Sec2FirstCol = 0;
    t.BExtraRows = 0;
    t.OverrideCount = 0;
    return t;
}

// A and B cells in one column, one free row between them: the AB strip
// read when both look marked is 3 rows.
void SetAbColumn(CardTemplate& t, float column)
{
    t.AbMode = 0;
    t.AbACol = column;
    t.AbARow = 11.5f;
    t.AbBCol = column;
    t.AbBRow = 9.5f;
}

CardTemplate Standard85AutoAb()
{
    // Lines 180 long (right end at column 33.5) and 106 apart (26.5 rows:
    // 4 block rows of 6 from row -1.5, 2 rows spare).
    CardTemplate t = SharedLayout(180, 106, 3);
    SetAbColumn(t, 21);
    t.UprightCol = 34;
    t.QuestionCount = 85;
    // A: 12 blocks in block columns 1-4 of rows 0-2, then 5 across row 3.
    t.Sec1FirstCol = 1;
    t.Sec2Columns = 5;
    // B: columns of 3 + 1 = 4 blocks, top to bottom, over the same 5 x 4 grid.
    t.BExtraRows = 1;
    return t;
}

CardTemplate Standard60FixedA()
{
    // Right end at column 26.5; 20.5 rows: 3 block rows; no subjective score.
    CardTemplate t = SharedLayout(145, 82, 0);
    t.AbMode = 1;
    t.UprightCol = 27;
    return t;
}

CardTemplate FiveOptions60WithJudgement()
{
    // Block pitch 8: right end at column 30.5.
    CardTemplate t = SharedLayout(165, 82, 3);
    t.AbMode = 2;  // always read with the B layout: blocks fill columns top to bottom
    t.UprightCol = 31;
    t.BlockColPitch = 8;
    t.DefaultOptions = 5;
    // Questions 51-55: true/false, two options, in block column 3, row 1.
    t.BlockOverrides[0] = {10, 24, -7.5f, 2, 0};
    // Questions 56-60: four options running down, one question per column,
    // one row lower than a plain block so the numbers fit above.
    t.BlockOverrides[1] = {11, 24, -14.5f, 4, 1};
    t.OverrideCount = 2;
    return t;
}

CardTemplate Machine60Ab()
{
    // Right end at column 26.5, dashes to 28.5; 3 block rows.
    CardTemplate t = SharedLayout(145, 82, 0);
    SetAbColumn(t, 17);  // A on red print, B on green print
    t.UprightCol = 29;
    // A: 4 x 3 blocks row by row; B: 3 blocks per column, the same grid.
    return t;
}

} // namespace

std::vector<ShippedCard> ShippedCards()
{
    return {
        {"DY标准85题自动AB卷.dat", Standard85AutoAb()},
        {"DY标准60题A卷.dat", Standard60FixedA()},
        {"DY五选项60题含判断题.dat", FiveOptions60WithJudgement()},
        {"JD机读卡60题AB卷.dat", Machine60Ab()},
    };
}

StudentRoster ShippedRoster()
{
    static const char* const names[40] = {
        "王浩然", "李梓涵", "张欣怡", "刘宇轩", "陈思远", "杨雨桐", "赵子墨", "黄诗琪", "周俊杰", "吴佳怡",
        "徐一鸣", "孙若曦", "胡晨阳", "朱可馨", "高子轩", "林雨欣", "何嘉豪", "郭晓彤", "马天宇", "罗梦瑶",
        "梁浩宇", "宋雅琪", "郑博文", "谢安琪", "韩志强", "唐紫萱", "冯俊熙", "于静怡", "董明轩", "萧雨涵",
        "程子涵", "曹文博", "袁思琪", "邓海洋", "许欣然", "傅宇航", "沈佳琪", "曾凡宇", "彭诗涵", "吕昊天"};
    StudentRoster r;
    r.Reset();
    r.gradeEnabled = 0;
    r.classEnabled = 1;
    r.classCodeLength = 2;
    r.admissionLinked = 1;
    r.admissionLength = 9;
    (void)r.selectedClassCode.SetUtf8("01");
    (void)r.admissionPrefix.SetUtf8("01");
    for (int i = 0; i < 40; ++i) {
        int cls = i / 20 + 1;
        // Room for any int, so that no build's range analysis (the sanitizer
        // build's is looser) sees a possible truncation.
        char classCode[12];
        char number[32];
        std::snprintf(classCode, sizeof classCode, "%02d", cls);
        // The admission number of a new student: the class code, then the
        // student's number padded to the remaining seven digits.
        std::snprintf(number, sizeof number, "%s%07d", classCode, i % 20 + 1);
        StudentEntry s{};
        (void)s.admissionNumber.SetUtf8(number);
        (void)s.name.SetUtf8(names[i]);
        (void)s.classCode.SetUtf8(classCode);
        (void)r.AppendStudent(s);
    }
    return r;
}

} // namespace cardprint
