// The shipped templates, pictures, printable cards and default roster.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "cardprint/CardFace.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "platform/Files.h"
#include "recognition/CardLayout.h"
#include "students/StudentFile.h"
#include "support/TempDir.h"

using namespace cardprint;

namespace {
std::filesystem::path DataDir() { return files::FromUtf8(SCORIVO_SOURCE_DIR) / "data"; }

int CountOccurrences(const std::string& hay, const std::string& needle)
{
    int n = 0;
    for (std::size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1))
        ++n;
    return n;
}
} // namespace

TEST(ShippedCards, DesignsCoverTheRequiredKinds)
{
    auto cards = ShippedCards();
    ASSERT_GE(cards.size(), 4u);
    bool autoAb85 = false, fixedA = false, fiveWithOverrides = false, jdAb = false;
    for (const auto& c : cards) {
        const CardTemplate& t = c.record;
        if (c.fileName == "DY标准85题自动AB卷.dat" && t.AbMode == 0 && t.DefaultOptions == 4 && t.QuestionCount == 85)
            autoAb85 = true;
        if (c.fileName.rfind("DY", 0) == 0 && t.AbMode == 1)
            fixedA = true;
        if (c.fileName.rfind("DY", 0) == 0 && t.DefaultOptions == 5 && t.OverrideCount > 0)
            fiveWithOverrides = true;
        if (IsJdTemplate(c.fileName) && t.AbMode == 0)
            jdAb = true;
    }
    EXPECT_TRUE(autoAb85 && fixedA && fiveWithOverrides && jdAb);
}

// The files in data/ are exactly what the definitions give, and load.
TEST(ShippedCards, DataFilesMatchDefinitionsAndLoad)
{
    for (const auto& c : ShippedCards()) {
        SCOPED_TRACE(c.fileName);
        auto bytes = files::ReadAll(DataDir() / files::FromUtf8("模板文件") / files::FromUtf8(c.fileName));
        ASSERT_TRUE(bytes.has_value());
        ASSERT_EQ(bytes->size(), 600u);
        EXPECT_EQ(std::memcmp(bytes->data(), &c.record, 600), 0) << "regenerate with scorivo-cardgen data";
        CardTemplate t;
        t.Clear();
        std::string message;
        ASSERT_TRUE(LoadCardTemplate(DataDir(), c.fileName, t, message)) << message;
        EXPECT_EQ(ValidateCardTemplate(t), "");
        std::string jpg = c.fileName.substr(0, c.fileName.size() - 4) + ".jpg";
        auto picture = files::ReadAll(DataDir() / files::FromUtf8("模板文件") / files::FromUtf8(jpg));
        ASSERT_TRUE(picture.has_value());
        ASSERT_GT(picture->size(), 1000u);
        EXPECT_EQ(static_cast<unsigned char>((*picture)[0]), 0xFF);
        EXPECT_EQ(static_cast<unsigned char>((*picture)[1]), 0xD8);
    }
}

// Every question of every layout has cells, and no two questions share a cell.
TEST(ShippedCards, LayoutsPlaceEveryQuestionOnItsOwnCells)
{
    for (const auto& c : ShippedCards()) {
        SCOPED_TRACE(c.fileName);
        const CardTemplate& t = c.record;
        ASSERT_EQ(t.QuestionCount % 5, 0);
        for (int ab : {0, 1}) {
            if ((t.AbMode == 1 && ab == 1) || (t.AbMode == 2 && ab == 0))
                continue;
            std::set<std::pair<float, float>> used;
            for (int q = 0; q < t.QuestionCount; ++q) {
                QuestionLayout lay = LayoutQuestion(t, ab, q);
                ASSERT_TRUE(lay.placed);
                for (int j = 0; j < lay.options; ++j) {
                    CellPos p = OptionCell(lay, q % 5, j);
                    EXPECT_TRUE(used.insert({p.col, p.row}).second) << "question " << q + 1 << " option " << j;
                    // Between the lines, clear of both (the top line is row 0).
                    EXPECT_LE(p.row, -1.0f);
                    EXPECT_GE(p.row - 1, -t.LineDistance / t.CellHeight + 1.0f);
                    double u = t.OriginOffset + p.col * t.CellWidth;
                    EXPECT_GE(u, 0);
                    EXPECT_LE(u + t.CellWidth, t.LineLength);
                }
            }
        }
    }
}

TEST(ShippedCards, PrintableCardsDocumentHasOnePagePerPaper)
{
    auto pdf = files::ReadAll(DataDir() / files::FromUtf8(kPrintableCardsFile));
    ASSERT_TRUE(pdf.has_value());
    ASSERT_EQ(pdf->rfind("%PDF", 0), 0u);
    int expected = 0;
    for (const auto& c : ShippedCards())
        expected += c.record.AbMode == 0 ? 2 : 1;
    EXPECT_EQ(CountOccurrences(*pdf, "/Type /Page\n") + CountOccurrences(*pdf, "/Type /Page\r") +
                  CountOccurrences(*pdf, "/Type /Page/") + CountOccurrences(*pdf, "/Type /Page "),
              expected);
}

TEST(ShippedCards, EveryCardPrintsToPdfAndPng)
{
    TempDir dir;
    for (const auto& c : ShippedCards()) {
        SCOPED_TRACE(c.fileName);
        FaceOptions face;
        face.fileName = c.fileName;
        std::string error;
        std::string pdf = files::ToUtf8(dir / "card.pdf");
        ASSERT_TRUE(WriteCardPdf(pdf, {{c.record, face}}, &error)) << error;
        auto bytes = files::ReadAll(files::FromUtf8(pdf));
        ASSERT_TRUE(bytes.has_value());
        // A4 landscape in points: the card is drawn at its size in millimetres on it.
        // (Read by hand: std::regex draws false warnings from GCC 12 in the sanitizer build.)
        const std::string box = "/MediaBox [0 0 ";
        const std::size_t at = bytes->find(box);
        ASSERT_NE(at, std::string::npos);
        std::istringstream size(bytes->substr(at + box.size(), 40));
        double width = 0, height = 0;
        ASSERT_TRUE(size >> width >> height);
        EXPECT_NEAR(width, 841.89, 0.5);
        EXPECT_NEAR(height, 595.28, 0.5);

        std::string png = files::ToUtf8(dir / "card.png");
        ASSERT_TRUE(WriteCardPng(png, c.record, face, 150, &error)) << error;
        QImage img(QString::fromStdString(png));
        ASSERT_FALSE(img.isNull());
        CardGeometry g(c.record, IsJdTemplate(c.fileName));
        EXPECT_NEAR(img.width(), g.Paper().Width() * 150 / 25.4, 1.0);
        EXPECT_NEAR(img.height(), g.Paper().Height() * 150 / 25.4, 1.0);
    }
}

TEST(ShippedRoster, FileMatchesDefinitionAndRules)
{
    auto roster = std::make_unique<StudentRoster>();
    std::string error;
    ASSERT_TRUE(ReadStudentFile(DataDir() / files::FromUtf8("学生信息文件") / files::FromUtf8(kDefaultRosterFile),
                                *roster, &error))
        << error;
    auto expected = std::make_unique<StudentRoster>(ShippedRoster());
    auto bytes = files::ReadAll(DataDir() / files::FromUtf8("学生信息文件") / files::FromUtf8(kDefaultRosterFile));
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, EncodeStudentFile(*expected));
    EXPECT_EQ(ValidateRoster(*roster), "");
    EXPECT_EQ(roster->gradeEnabled, 0);
    EXPECT_EQ(roster->classEnabled, 1);
    EXPECT_EQ(roster->classCodeLength, 2);
    EXPECT_EQ(roster->admissionLength, 9);
    ASSERT_EQ(roster->studentCount, 40);
    EXPECT_EQ(roster->DistinctClassCodes(), (std::vector<std::string>{"01", "02"}));
    for (int i = 0; i < roster->studentCount; ++i) {
        const StudentEntry& s = roster->students[i];
        ASSERT_EQ(s.admissionNumber.View().size(), 9u);
        // Admission numbers start with the class code, as the linked coding makes them.
        EXPECT_EQ(s.admissionNumber.View().substr(0, 2), s.classCode.View());
        EXPECT_FALSE(s.name.Empty());
        EXPECT_EQ(roster->FindStudent(s.admissionNumber.View()), i) << "duplicate admission number";
    }
}

TEST(DemoStack, StandardAnswerFirstThenRosterStudentsRereadAndStranger)
{
    auto roster = std::make_unique<StudentRoster>(ShippedRoster());
    auto stack = DemoCardStack();
    ASSERT_GE(stack.size(), 14u);
    EXPECT_EQ(stack[0].card.admission.find_first_not_of(" _"), std::string::npos);
    EXPECT_EQ(stack[0].card.answers.size(), 85u);
    int onRoster = 0, strangers = 0, rereads = 0;
    for (std::size_t i = 1; i < stack.size(); ++i) {
        const FilledCard& c = stack[i].card;
        EXPECT_EQ(c.subject, DemoSubjectCode());
        int idx = roster->FindStudent(c.admission);
        if (idx < 0)
            ++strangers;
        else
            ++onRoster;
        for (std::size_t j = 1; j < i; ++j)
            if (stack[j].card.admission == c.admission && stack[j].card.answers == c.answers)
                ++rereads;
    }
    EXPECT_GE(onRoster, 12);
    EXPECT_EQ(strangers, 1);
    EXPECT_EQ(rereads, 1);
    // Deterministic.
    auto again = DemoCardStack();
    ASSERT_EQ(again.size(), stack.size());
    for (std::size_t i = 0; i < stack.size(); ++i)
        EXPECT_EQ(again[i].card.answers, stack[i].card.answers);
}
