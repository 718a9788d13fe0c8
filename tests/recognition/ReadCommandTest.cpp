// The "read" command end to end: a synthetic camera picture in, one JSON
// line per picture out, with the texts of a refusal.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "marking/RawFile.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace {

std::string RunRead(const std::string& args, int& exitCode)
{
    const std::string command = std::string(SCORIVO_BINARY_DIR) + "/scorivo-cli read " + args + " 2>/dev/null";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        exitCode = -1;
        return out;
    }
    char buf[4096];
    while (std::fgets(buf, sizeof buf, pipe))
        out += buf;
    const int status = pclose(pipe);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Quoted(const std::filesystem::path& p)
{
    return "'" + files::ToUtf8(p) + "'";
}

TEST(ReadCommand, PrintsOneJsonLinePerPicture)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = dir / "DY卡.dat";
    ASSERT_TRUE(files::WriteAll(templatePath,
                                std::string_view(reinterpret_cast<const char*>(&card.record), sizeof card.record)));
    cardprint::FilledCard filled;
    filled.abType = 1;
    filled.admission = "20241 7";
    filled.subject = "03";
    filled.score = "85";
    filled.answers = {"A", "", "C", "BD"};
    cardprint::SynthOptions o;
    o.seed = 9;
    o.rotateDeg = 2;
    ASSERT_TRUE(cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, o)
                    .save(QString::fromStdString(files::ToUtf8(dir / "card.png"))));
    o.scale = 1.2;
    ASSERT_TRUE(cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, o)
                    .save(QString::fromStdString(files::ToUtf8(dir / "near.png"))));

    int code = 0;
    std::string out = RunRead("--template " + Quoted(templatePath) + " --multiple 4 --admission-length 7 " +
                                  Quoted(dir / "card.png") + " " + Quoted(dir / "near.png"),
                              code);
    EXPECT_EQ(code, 0);
    const std::size_t newline = out.find('\n');
    ASSERT_NE(newline, std::string::npos) << out;
    const std::string first = out.substr(0, newline), second = out.substr(newline + 1);
    EXPECT_NE(first.find("\"code\":0,"), std::string::npos) << first;
    EXPECT_NE(first.find("\"paperType\":\"B\""), std::string::npos) << first;
    EXPECT_NE(first.find("\"admissionNumber\":\"20241 7\""), std::string::npos) << first;
    EXPECT_NE(first.find("\"subjectCode\":\"03\""), std::string::npos) << first;
    EXPECT_NE(first.find("\"subjectiveScore\":85"), std::string::npos) << first;
    EXPECT_NE(first.find("\"answers\":[\"A\",\"\",\"C\",\"BD\",\"\""), std::string::npos) << first;
    EXPECT_NE(second.find(
                  "\"code\":100,\"status\":\"摄像头离答题卡太近\",\"memo\":\"摄像头离答题卡太近\",\"paperType\":null"),
              std::string::npos)
        << second;

    // A missing picture is reported and makes the exit code 1.
    out = RunRead("--template " + Quoted(templatePath) + " " + Quoted(dir / "missing.png"), code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(out.empty());
}

TEST(ReadCommand, SessionGivesQuestionsKindsScoresAndAdmissionLength)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = dir / "DY卡.dat";
    ASSERT_TRUE(files::WriteAll(templatePath,
                                std::string_view(reinterpret_cast<const char*>(&card.record), sizeof card.record)));
    auto state = NewMarkingSessionState();
    state->roster.admissionLength = 4;
    state->exam.hasSubjectiveScore = 0;
    state->exam.questionCount = 5;
    for (int q = 0; q < 5; ++q) {
        state->exam.questions[q].score = q == 2 ? 0 : 2; // question 3 scores nothing and is not read
        state->exam.questions[q].kind = q == 3 ? 1 : 0;
    }
    ASSERT_TRUE(files::WriteAll(dir / "s.yj", EncodeMarkingFile(state->roster, state->exam, state->session)));
    cardprint::FilledCard filled;
    filled.abType = 0;
    filled.admission = "1234567";
    filled.subject = "03";
    filled.score = "";
    filled.answers = {"A", "B", "C", "BD", "D"};
    cardprint::SynthOptions o;
    o.seed = 4;
    ASSERT_TRUE(cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, o)
                    .save(QString::fromStdString(files::ToUtf8(dir / "card.png"))));
    int code = 0;
    const std::string out = RunRead("--template " + Quoted(templatePath) + " --session " + Quoted(dir / "s.yj") + " " +
                                        Quoted(dir / "card.png"),
                                    code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("\"code\":0,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"admissionNumber\":\"1234\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"answers\":[\"A\",\"B\",\"\",\"BD\",\"D\"]"), std::string::npos) << out;
}

} // namespace
