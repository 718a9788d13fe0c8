// scorivo-cli mark and read on several workers: the same lines, the same
// messages, the same exit code and the same raw file bytes as on one worker,
// over a batch that takes every road through acceptance (standard answer,
// first reads, same and different re-reads, the overwrite question, a
// stranger, a missing number, a card upside down, no card at all, a missing
// file and a picture of the wrong size).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cardprint/DemoStack.h"
#include "cardprint/SynthCamera.h"
#include "platform/Files.h"
#include "recognition/BatchCli.h"

namespace {

using namespace batch_test;

constexpr int PictureCount = 40;

class BatchJobs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        const std::string templateName = cardprint::DemoTemplateName();
        CardTemplate t{};
        std::string message;
        ASSERT_TRUE(LoadCardTemplate(files::FromUtf8(SCORIVO_BINARY_DIR), templateName, t, message)) << message;
        const auto stack = cardprint::DemoCardStack();
        ASSERT_GE(stack.size(), 13u);

        std::vector<std::string>& list = *(pictures_ = new std::vector<std::string>);
        auto add = [&](const cardprint::FilledCard& card, const cardprint::SynthOptions& o, const char* ext = ".jpg") {
            const std::string file = files::ToUtf8(*dir_ / ("card" + std::to_string(list.size()) + ext));
            QImage picture = cardprint::SynthesizeCameraImage(t, templateName, card, o);
            ASSERT_TRUE(ext == std::string(".png") ? picture.save(QString::fromStdString(file), "PNG")
                                                   : picture.save(QString::fromStdString(file), "JPG", 90));
            list.push_back(file);
        };
        auto placed = [](uint64_t seed) {
            cardprint::SynthOptions o;
            o.seed = seed;
            o.rotateDeg = static_cast<double>(seed % 7) - 3;
            o.shiftX = static_cast<double>(seed % 5) * 4 - 8;
            o.shiftY = static_cast<double>(seed % 3) * 5 - 5;
            return o;
        };

        // The standard answer and twelve first reads (one as PNG: Qt's reader on a worker).
        for (std::size_t i = 0; i < 13; ++i)
            add(stack[i].card, placed(500 + i), i == 4 ? ".png" : ".jpg");
        // Re-reads with the same answers, one of them upside down.
        for (std::size_t i = 1; i <= 6; ++i) {
            cardprint::SynthOptions o = placed(600 + i);
            o.turned = i == 3;
            add(stack[i].card, o);
        }
        // A re-read with two answers changed: accepted, "different from last time".
        cardprint::FilledCard twoChanged = stack[2].card;
        for (int q : {4, 50})
            twoChanged.answers[q] = twoChanged.answers[q] == "A" ? "B" : "A";
        add(twoChanged, placed(700));
        // Another card in between, then a re-read with many changes: the overwrite question.
        add(stack[8].card, placed(701));
        cardprint::FilledCard manyChanged = stack[1].card;
        for (int q : {3, 9, 17, 30, 44, 60})
            manyChanged.answers[q] = manyChanged.answers[q] == "C" ? "D" : "C";
        add(manyChanged, placed(702));
        // A student the roster does not know, and a card without a number.
        cardprint::FilledCard stranger = stack[5].card;
        stranger.admission = "019999999";
        add(stranger, placed(703));
        cardprint::FilledCard noNumber = stack[6].card;
        noNumber.admission.clear();
        add(noNumber, placed(704));
        // No card at all: white paper.
        {
            QImage white(640, 480, QImage::Format_RGB888);
            white.fill(Qt::white);
            const std::string file = files::ToUtf8(*dir_ / "white.jpg");
            ASSERT_TRUE(white.save(QString::fromStdString(file), "JPG", 90));
            list.push_back(file);
        }
        // A picture that is not 640 x 480, and a file that is not there.
        {
            QImage small(320, 240, QImage::Format_RGB888);
            small.fill(Qt::white);
            const std::string file = files::ToUtf8(*dir_ / "small.jpg");
            ASSERT_TRUE(small.save(QString::fromStdString(file), "JPG", 90));
            list.push_back(file);
        }
        list.push_back(files::ToUtf8(*dir_ / "missing.jpg"));
        // The rest: more re-reads, so that the workers overtake each other often.
        for (uint64_t seed = 800; static_cast<int>(list.size()) < PictureCount; ++seed)
            add(stack[1 + seed % 12].card, placed(seed));
    }

    static void TearDownTestSuite()
    {
        delete pictures_;
        delete dir_;
        pictures_ = nullptr;
        dir_ = nullptr;
    }

    static std::string PictureArguments()
    {
        std::string list;
        for (const std::string& f : *pictures_) {
            list += ' ';
            list += Quote(f);
        }
        return list;
    }

    static std::string NewSession(const std::string& name)
    {
        const std::string session = files::ToUtf8(*dir_ / name);
        CliRun created = RunCli("session new --out " + Quote(session) + " --template " +
                                Quote(cardprint::DemoTemplateName()) + " --roster " + Quote(ShippedRosterFile()) +
                                " --exam-name 演示考试 --subject " + cardprint::DemoSubjectCode() +
                                " --subjective --groups 1-40:1:S,41-85:2:M --force");
        EXPECT_EQ(created.status, 0) << created.errors;
        return session;
    }

    struct MarkRun {
        CliRun cli;
        std::string file;  // the raw file's bytes afterwards
    };
    static MarkRun Mark(const std::string& session, const std::string& options)
    {
        MarkRun r;
        r.cli = RunCli("mark --session " + Quote(session) + " " + options + PictureArguments());
        auto bytes = files::ReadAll(files::FromUtf8(session));
        r.file = bytes ? *bytes : std::string("<unreadable>");
        return r;
    }

    static void ExpectSameRun(const MarkRun& one, const MarkRun& many)
    {
        EXPECT_EQ(many.cli.status, one.cli.status);
        EXPECT_EQ(many.cli.lines, one.cli.lines);
        EXPECT_EQ(many.cli.errors, one.cli.errors);
        EXPECT_TRUE(many.file == one.file) << "the raw files differ";
    }

    static std::size_t Count(const std::vector<std::string>& lines, const std::string& part)
    {
        std::size_t n = 0;
        for (const std::string& l : lines)
            n += l.find(part) != std::string::npos;
        return n;
    }

    static TempDir* dir_;
    static std::vector<std::string>* pictures_;
};

TempDir* BatchJobs::dir_ = nullptr;
std::vector<std::string>* BatchJobs::pictures_ = nullptr;

TEST_F(BatchJobs, MarkOnSeveralWorkersGivesWhatOneWorkerGives)
{
    for (const char* answer : {"cancel", "ok"}) {
        SCOPED_TRACE(std::string("--answer ") + answer);
        const std::string options = std::string("--answer ") + answer;
        const MarkRun one = Mark(NewSession("one.yj"), options + " --jobs 1");

        // The batch really went every way: otherwise equal runs would prove little.
        ASSERT_EQ(one.cli.lines.size(), static_cast<std::size_t>(PictureCount - 2)) << one.cli.errors;
        EXPECT_EQ(one.cli.status, 1);  // the missing file and the small picture
        EXPECT_EQ(Count(one.cli.lines, "\"status\":\"标准答案已经读入\""), 1u);
        EXPECT_EQ(Count(one.cli.lines, "\"status\":\"学生名单中没有此学生\""), 1u);
        EXPECT_EQ(Count(one.cli.lines, "\"status\":\"准考证号漏填或光线有问题\""), 1u);
        EXPECT_EQ(Count(one.cli.lines, "\"code\":1,"), 1u);  // the white paper
        EXPECT_GE(Count(one.cli.lines, "该答题卡这次阅卷结果和上次相同"), 5u);
        EXPECT_GE(Count(one.cli.lines, "该答题卡这次阅卷结果和上次不同"), 1u);
        EXPECT_NE(one.cli.errors.find("发现不相同的答题很多"), std::string::npos);
        EXPECT_NE(one.cli.errors.find(std::string("[") + (answer == std::string("ok") ? "确定" : "取消") + "]"),
                  std::string::npos);
        EXPECT_NE(one.cli.errors.find("missing.jpg"), std::string::npos);
        EXPECT_NE(one.cli.errors.find("not 640 x 480"), std::string::npos);

        for (const char* jobs : {"2", "3"}) {
            SCOPED_TRACE(std::string("--jobs ") + jobs);
            ExpectSameRun(one, Mark(NewSession(std::string("many") + jobs + ".yj"), options + " --jobs " + jobs));
        }
    }
}

// A save that fails at the first accepted card stops the batch there on every
// worker count: nothing printed for it or after it, the file as it was.
TEST_F(BatchJobs, AFailedSaveStopsAtTheSameCard)
{
    const std::string session = NewSession("readonly.yj");
    const auto before = files::ReadAll(files::FromUtf8(session));
    ASSERT_TRUE(before);
    ASSERT_EQ(::chmod(session.c_str(), 0444), 0);
    const MarkRun one = Mark(session, "--jobs 1");
    const MarkRun two = Mark(session, "--jobs 2");
    EXPECT_EQ(one.cli.status, 1);
    EXPECT_TRUE(one.cli.lines.empty());
    EXPECT_NE(one.cli.errors.find("保存阅卷原始文件失败"), std::string::npos) << one.cli.errors;
    EXPECT_TRUE(one.file == *before);
    ExpectSameRun(one, two);
}

TEST_F(BatchJobs, ReadOnSeveralWorkersGivesWhatOneWorkerGives)
{
    const std::string session = NewSession("read.yj");
    const std::string command =
        "read --template " + Quote(std::string(SCORIVO_BINARY_DIR) + "/模板文件/" + cardprint::DemoTemplateName()) +
        " --session " + Quote(session);
    const CliRun one = RunCli(command + " --jobs 1" + PictureArguments());
    ASSERT_EQ(one.lines.size(), static_cast<std::size_t>(PictureCount - 2)) << one.errors;
    EXPECT_EQ(one.status, 1);
    EXPECT_GE(Count(one.lines, "\"code\":0,"), 30u);
    for (const char* jobs : {"2", "3"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const CliRun many = RunCli(command + " --jobs " + jobs + PictureArguments());
        EXPECT_EQ(many.status, one.status);
        EXPECT_EQ(many.lines, one.lines);
        EXPECT_EQ(many.errors, one.errors);
    }
}

TEST(BatchJobsOption, RefusesAWorkerCountThatIsNotOneToSixtyFour)
{
    for (const char* bad : {"0", "65", "x", "-1", "2.5", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(RunCli(std::string("mark --session s.yj --jobs '") + bad + "' a.jpg").status, 2);
        EXPECT_EQ(RunCli(std::string("read --template t.dat --jobs '") + bad + "' a.jpg").status, 2);
    }
}

} // namespace
