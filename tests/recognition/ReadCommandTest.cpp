// The "read" command end to end: a synthetic camera picture in, one JSON
// line per picture out, with the texts of a refusal.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <QBuffer>
#include <QTransform>

#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "cli/CliOptions.h"
#include "fuzz/FuzzEntries.h"
#include "marking/RawFile.h"
#include "platform/Files.h"
#include "recognition/BatchCli.h"
#include "support/TempDir.h"

namespace {

using batch_test::CliRun;
using batch_test::RunCli;

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

// The card's template as a file "DY卡.dat" in `dir`.
std::filesystem::path WriteTemplate(const TempDir& dir, const cardprint::ShippedCard& card)
{
    const auto path = dir / "DY卡.dat";
    EXPECT_TRUE(
        files::WriteAll(path, std::string_view(reinterpret_cast<const char*>(&card.record), sizeof card.record)));
    return path;
}

TEST(ReadCommand, PrintsOneJsonLinePerPicture)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = WriteTemplate(dir, card);
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
    const auto templatePath = WriteTemplate(dir, card);
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

std::string Bytes(const std::filesystem::path& file) { return files::ReadAll(file).value_or(""); }

// Pictures cut short (a copy that stopped, a download broken off) or that are
// no pictures at all: each is refused with its reason, the whole pictures
// around them are read, and the exit code says not all were. A JPEG cut short
// used to be read with its missing rows grey, and a card cut 6 KB short came
// out accepted with the grey read as marks.
TEST(ReadCommand, PicturesCutShortOrNoPicturesAreRefusedOneByOne)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = WriteTemplate(dir, card);
    cardprint::FilledCard filled;
    filled.answers = {"A", "B"};
    const QImage picture = cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, {});
    for (const char* name : {"card.jpg", "card.png", "card.bmp"})
        ASSERT_TRUE(picture.save(QString::fromStdString(files::ToUtf8(dir / name))));
    const std::string jpg = Bytes(dir / "card.jpg"), png = Bytes(dir / "card.png"), bmp = Bytes(dir / "card.bmp");
    ASSERT_TRUE(files::WriteAll(dir / "cut.jpg", jpg.substr(0, jpg.size() - 200)));
    ASSERT_TRUE(files::WriteAll(dir / "cut.png", png.substr(0, png.size() / 2)));
    ASSERT_TRUE(files::WriteAll(dir / "cut.bmp", bmp.substr(0, 100)));
    ASSERT_TRUE(files::WriteAll(dir / "text.jpg", "hello"));
    ASSERT_TRUE(files::WriteAll(dir / "text.png", "hello"));
    ASSERT_TRUE(files::WriteAll(dir / "empty.jpg", ""));

    std::string arguments = "read --jobs 1 --template " + Quoted(templatePath);
    for (const char* name :
         {"card.jpg", "cut.jpg", "cut.png", "cut.bmp", "text.jpg", "text.png", "empty.jpg", "card.bmp"})
        arguments += " " + Quoted(dir / name);
    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 2u) << run.errors;
    EXPECT_EQ(run.lines[0].rfind("{\"file\":\"" + files::ToUtf8(dir / "card.jpg") + "\",\"code\":", 0), 0u);
    EXPECT_EQ(run.lines[1].rfind("{\"file\":\"" + files::ToUtf8(dir / "card.bmp") + "\",\"code\":", 0), 0u);
    // Qt's PNG reader adds its own note; our lines are the ones that name the file.
    std::vector<std::string> refused;
    for (const std::string& line : batch_test::SplitLines(run.errors))
        if (line.rfind("scorivo-cli read: ", 0) == 0)
            refused.push_back(line);
    auto why = [&](const char* name, const std::string& reason) {
        return "scorivo-cli read: " + files::ToUtf8(dir / name) + ": " + reason;
    };
    EXPECT_EQ(refused, (std::vector<std::string>{
                           why("cut.jpg", "Premature end of JPEG file"),
                           why("cut.png", "not a picture this command can read"),
                           why("cut.bmp", "the picture is cut short: 100 of the " + std::to_string(bmp.size()) +
                                              " bytes its header gives"),
                           why("text.jpg", "Not a JPEG file: starts with 0x68 0x65"),
                           why("text.png", "not a picture this command can read"),
                           why("empty.jpg", "Empty input file"),
                       }));
}

// A picture there is no memory for (a small machine, many workers) is an
// error that names it, never a blank frame read as "no card": Qt answers a
// failed allocation with a null image, which drawn into the frame left it white.
TEST(ReadCommand, APictureThereIsNoMemoryForIsAnErrorNamingIt)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit this test sets";
#endif
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = WriteTemplate(dir, card);
    cardprint::FilledCard filled;
    filled.answers = {"A", "B"};
    // A phone camera's 8000 x 6000 pixels, blown up from a card that reads.
    const QImage picture = cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, {})
                               .scaled(8000, 6000, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    ASSERT_TRUE(picture.save(QString::fromStdString(files::ToUtf8(dir / "big.png"))));
    const std::string arguments = "read --jobs 1 --fit --template " + Quoted(templatePath) + " " + Quoted(dir / "big.png");

    const CliRun enough = RunCli(arguments);
    ASSERT_EQ(enough.status, 0) << enough.errors;
    ASSERT_EQ(enough.lines.size(), 1u);
    EXPECT_NE(enough.lines[0].find("\"paperType\":\"A\""), std::string::npos) << enough.lines[0];  // the card was found

    const CliRun starved = RunCli(arguments, "ulimit -v 600000; ");
    EXPECT_EQ(starved.status, 1);
    EXPECT_TRUE(starved.lines.empty());
    EXPECT_NE(starved.errors.find("scorivo-cli read: " + files::ToUtf8(dir / "big.png") +
                                  ": not enough memory for the picture's 8000 x 6000 pixels"),
              std::string::npos)
        << starved.errors;
}

// A file name is whatever bytes its folder holds; one copied from a Windows
// disk is GBK. Its line is valid JSON all the same: the name as its GBK
// reading, bytes no encoding reads as U+FFFD (they went into the line raw).
TEST(ReadCommand, AFileNameThatIsNotUtf8StillGivesALineThatParses)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = WriteTemplate(dir, card);
    const QImage picture = cardprint::SynthesizeCameraImage(card.record, card.fileName, {}, {});
    const std::string folder = dir.path().string() + "/";
    const std::string gbkName = folder + "\xB3\xC9\xBC\xA8.png";  // 成绩.png in GBK
    const std::string noName = folder + "\xFF\xFE.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(files::ToUtf8(dir / "card.png"))));
    for (const std::string& name : {gbkName, noName})
        std::filesystem::copy_file(dir / "card.png", std::filesystem::path(name));  // the bytes as they are
    const CliRun run = RunCli("read --jobs 1 --template " + Quoted(templatePath) + " " + batch_test::Quote(gbkName) +
                              " " + batch_test::Quote(noName));
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[0].rfind("{\"file\":\"" + folder + "成绩.png\",\"code\":", 0), 0u) << run.lines[0];
    EXPECT_EQ(run.lines[1].rfind("{\"file\":\"" + folder + "\xEF\xBF\xBD\xEF\xBF\xBD.png\",\"code\":", 0), 0u)
        << run.lines[1];
    for (const std::string& line : run.lines)
        EXPECT_TRUE(cli::IsUtf8(line));
}

// A phone held upright stores its picture on its side, with an Exif
// orientation saying how to turn it: the card reads as from the camera.
TEST(ReadCommand, APhonePictureOnItsSideReadsAsTheUprightOne)
{
    const cardprint::ShippedCard card = cardprint::ShippedCards().front();
    TempDir dir;
    const auto templatePath = WriteTemplate(dir, card);
    cardprint::FilledCard filled;
    filled.admission = "3141592";
    filled.subject = "05";
    filled.score = "72";
    filled.answers = {"A", "B", "", "C", "D"};
    const QImage upright = cardprint::SynthesizeCameraImage(card.record, card.fileName, filled, {});
    ASSERT_TRUE(upright.save(QString::fromStdString(files::ToUtf8(dir / "upright.jpg")), "JPG", 95));
    // Stored turned anticlockwise; orientation 6 turns it back clockwise.
    QByteArray stored;
    QBuffer buffer(&stored);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(upright.transformed(QTransform().rotate(-90)).save(&buffer, "JPG", 95));
    const std::string jpeg(stored.constData(), static_cast<std::size_t>(stored.size()));
    ASSERT_TRUE(files::WriteAll(dir / "phone.jpg", fuzz::WithExifOrientation(jpeg, 6, true)));

    const CliRun run = RunCli("read --jobs 1 --template " + Quoted(templatePath) + " --admission-length 7 " +
                              Quoted(dir / "upright.jpg") + " " + Quoted(dir / "phone.jpg"));
    EXPECT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 2u) << run.errors;
    auto withoutFile = [](const std::string& line) { return line.substr(line.find("\",\"code\":")); };
    EXPECT_NE(run.lines[1].find("\"code\":0,"), std::string::npos) << run.lines[1];
    EXPECT_NE(run.lines[1].find("\"admissionNumber\":\"3141592\""), std::string::npos) << run.lines[1];
    EXPECT_NE(run.lines[1].find("\"answers\":[\"A\",\"B\",\"\",\"C\",\"D\""), std::string::npos)
        << run.lines[1];
    EXPECT_EQ(withoutFile(run.lines[1]), withoutFile(run.lines[0]));
}

// A template path that names no file: said before any picture is looked at,
// by every command that takes one, and nothing is written.
TEST(ReadCommand, AMissingTemplateIsSaidBeforeAnythingElse)
{
    TempDir dir;
    const std::string missing = " --template " + Quoted(dir / "没有.dat");
    const CliRun read = RunCli("read" + missing + " " + Quoted(dir / "card.png"));
    EXPECT_EQ(read.status, 1);
    EXPECT_TRUE(read.lines.empty());
    EXPECT_EQ(read.errors, "scorivo-cli read: 未发现模板文件：没有.dat\n");
    for (const char* command : {"print", "synth"}) {
        const CliRun run = RunCli(command + missing + " --out " + Quoted(dir / "out.png"));
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.errors, "未发现模板文件：没有.dat\n") << command;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
}

// The session read opens as mark opens it, and says why it cannot.
TEST(ReadCommand, ASessionThatCannotBeOpenedSaysWhy)
{
    TempDir dir;
    const std::string base =
        "read --template " + Quoted(std::filesystem::path(SCORIVO_BINARY_DIR) / "模板文件/DY标准85题自动AB卷.dat");
    ASSERT_TRUE(files::WriteAll(dir / "short.yj", "12345"));
    const std::pair<std::string, std::string> cases[] = {
        {"short.yj", "打开阅卷原始文件失败！\n文件不完整（只有5字节），不是有效的阅卷原始文件。"},
        {"none.yj", std::string("打开阅卷原始文件失败！\n") + std::strerror(ENOENT)},
    };
    for (const auto& [name, message] : cases) {
        const CliRun run = RunCli(base + " --session " + Quoted(dir / name) + " " + Quoted(dir / "card.png"));
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_TRUE(run.lines.empty()) << name;
        EXPECT_EQ(run.errors, "scorivo-cli read: " + files::ToUtf8(dir / name) + ": " + message + "\n");
    }
}

} // namespace

// A number option that is no number of its kind is refused with the usage,
// before any template or picture is read: "300x" was taken as 300 dpi, and an
// admission length of 2147483648 wrapped to "not given".
TEST(ReadCommand, NumbersThatAreNoNumbersAreRefusedWithTheUsage)
{
    TempDir dir;
    const std::string templatePath =
        Quoted(std::filesystem::path(SCORIVO_BINARY_DIR) / "模板文件/DY标准85题自动AB卷.dat");
    for (const char* dpi : {"300x", "x", "\"\"", "1e9"}) {
        const CliRun run = RunCli("print --template " + templatePath + " --dpi " + dpi + " --out " +
                                  Quoted(dir / "card.png"));
        EXPECT_EQ(run.status, 2) << dpi;
        EXPECT_NE(run.errors.find("usage: scorivo-cli print"), std::string::npos) << dpi;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "card.png"));
    for (const char* length : {"2147483648", "1000", "-1", "7a"}) {
        const CliRun run = RunCli("read --template " + templatePath + " --admission-length " + length + " " +
                                  Quoted(dir / "card.png"));
        EXPECT_EQ(run.status, 2) << length;
        EXPECT_TRUE(run.lines.empty()) << length;
    }
}
