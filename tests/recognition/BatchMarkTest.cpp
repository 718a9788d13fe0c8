// The whole road from pictures to a marking raw file through scorivo-cli:
// session new, then mark over the demo card stack, checked against totals
// computed here from what was filled in and the exam's rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cardprint/DemoStack.h"
#include "cardprint/SynthCamera.h"
#include "marking/RawFile.h"
#include "platform/Files.h"
#include "platform/NumberFormat.h"
#include "recognition/BatchCli.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

int EnvCount(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

using namespace batch_test;

// The raw text of a field of a flat JSON object line (strings keep their quotes off).
std::string Field(const std::string& line, const std::string& key)
{
    std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "<missing>";
    at += key.size() + 3;
    if (line[at] == '"') {
        std::string value;
        for (std::size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\')
                ++i;
            value += line[i];
        }
        return value;
    }
    std::size_t end = line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

// The demo card's template from the installation beside the binaries.
CardTemplate DemoTemplate()
{
    CardTemplate t{};
    std::string message;
    EXPECT_TRUE(LoadCardTemplate(files::FromUtf8(SCORIVO_BINARY_DIR), cardprint::DemoTemplateName(), t, message))
        << message;
    return t;
}

float ScoreDigits(const std::string& digits)
{
    std::string d;
    for (char c : digits)
        if (c >= '0' && c <= '9')
            d += c;
    return d.empty() ? 0.0f : static_cast<float>(std::stoi(d));
}

TEST(BatchMark, DemoStackGivesEveryStudentItsTotal)
{
    TempDir dir;
    const std::string binary = SCORIVO_BINARY_DIR;
    const std::string templateName = cardprint::DemoTemplateName();
    CardTemplate t{};
    std::string message;
    ASSERT_TRUE(LoadCardTemplate(files::FromUtf8(binary), templateName, t, message)) << message;

    const auto stack = cardprint::DemoCardStack();
    std::vector<std::string> images;
    for (std::size_t i = 0; i < stack.size(); ++i) {
        cardprint::SynthOptions o;
        o.seed = 100 + i;
        o.rotateDeg = (i % 3 == 1) ? 3.0 : -2.0;
        o.shiftX = static_cast<double>(i % 5) * 4 - 8;
        QImage picture = cardprint::SynthesizeCameraImage(t, templateName, stack[i].card, o);
        std::string file = files::ToUtf8(dir / ("card" + std::to_string(i) + ".png"));
        ASSERT_TRUE(picture.save(QString::fromStdString(file)));
        images.push_back(file);
    }

    // Questions 1-40 single choice at 1 point, 41-85 multiple choice at 2
    // points with 0.5 for a partial answer (all demo answers are one letter).
    const std::string session = files::ToUtf8(dir / "demo.yj");
    CliRun created = RunCli("session new --out " + Quote(session) + " --template " + Quote(templateName) +
                         " --roster " + Quote(ShippedRosterFile()) +
                         " --exam-name 演示考试 --subject " + cardprint::DemoSubjectCode() +
                         " --subjective --groups 1-40:1:S,41-85:2:M --rules 41-85:0.5");
    ASSERT_EQ(created.status, 0) << created.errors;

    std::string list;
    for (const std::string& f : images)
        list += " " + Quote(f);
    CliRun marked = RunCli("mark --session " + Quote(session) + list);
    ASSERT_EQ(marked.lines.size(), stack.size()) << marked.errors;

    const std::vector<std::string>& key = stack[0].card.answers;
    auto expectedTotal = [&](const cardprint::FilledCard& card) {
        float choice = 0;
        for (int q = 0; q < 85; ++q) {
            const std::string& a = q < static_cast<int>(card.answers.size()) ? card.answers[q] : std::string();
            if (a == key[q])
                choice += q < 40 ? 1.0f : 2.0f;
            else if (q >= 40 && !a.empty() && key[q].find(a) != std::string::npos)
                choice += 0.5f;  // never with one-letter answers, kept for the rule's sake
        }
        return ScoreDigits(card.score) + choice;
    };

    std::map<std::string, int> reads;
    for (std::size_t i = 0; i < stack.size(); ++i) {
        const std::string& line = marked.lines[i];
        SCOPED_TRACE(line);
        const cardprint::DemoCard& d = stack[i];
        EXPECT_EQ(Field(line, "file"), images[i]);
        if (i == 0) {
            EXPECT_EQ(Field(line, "code"), "0");
            EXPECT_EQ(Field(line, "status"), "标准答案已经读入");
        } else if (d.studentName.empty()) {
            EXPECT_EQ(Field(line, "code"), "13");
            EXPECT_EQ(Field(line, "status"), "学生名单中没有此学生");
        } else {
            EXPECT_EQ(Field(line, "code"), "0");
            EXPECT_EQ(Field(line, "name"), d.studentName);
            EXPECT_EQ(Field(line, "admissionNumber"), d.card.admission);
            EXPECT_EQ(Field(line, "total"), FormatScore(expectedTotal(d.card)));
            EXPECT_EQ(Field(line, "readCount"), std::to_string(++reads[d.card.admission]));
        }
    }
    EXPECT_EQ(marked.status, 3);  // the stranger was refused

    // The session went back to its file with every accepted card.
    auto state = NewMarkingSessionState();
    MarkingFileResult opened = OpenMarkingFile(*state, files::FromUtf8(session));
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_EQ(state->session.recordCount, 1 + static_cast<int>(reads.size()));
    for (int r = 1; r < state->session.recordCount; ++r) {
        const MarkingRecord& rec = state->session.records[r];
        EXPECT_EQ(rec.readCount, reads[std::string(rec.admissionNumber.View())]);
    }
}

// A card of a student read earlier, with many different answers and another
// card in between: the overwrite question, answered from the command line.
TEST(BatchMark, OverwriteQuestionAnsweredAsTold)
{
    TempDir dir;
    const std::string templateName = cardprint::DemoTemplateName();
    const CardTemplate t = DemoTemplate();
    std::vector<std::string> key(85, "A");
    std::vector<std::string> changed = key;
    for (int q : {3, 9, 17, 30, 44})
        changed[q] = "C";
    auto picture = [&](const std::string& name, const std::string& admission, const std::vector<std::string>& a) {
        cardprint::FilledCard c;
        c.admission = admission;
        c.subject = "02";
        c.answers = a;
        cardprint::SynthOptions o;
        o.seed = static_cast<uint64_t>(name.size() * 31 + admission.size());
        std::string file = files::ToUtf8(dir / name);
        EXPECT_TRUE(cardprint::SynthesizeCameraImage(t, templateName, c, o).save(QString::fromStdString(file)));
        return " " + Quote(file);
    };
    const std::string cards = picture("s.png", "", key) + picture("a.png", "010000001", key) +
                              picture("b.png", "010000002", key) + picture("a2.png", "010000001", changed);
    const std::string session = files::ToUtf8(dir / "q.yj");
    const std::string create = "session new --out " + Quote(session) + " --template " + Quote(templateName) +
                               " --roster " + Quote(ShippedRosterFile()) +
                               " --exam-name 演示 --subject 02 --groups 1-85:1:S";

    ASSERT_EQ(RunCli(create).status, 0);
    CliRun cancelled = RunCli("mark --session " + Quote(session) + cards);
    ASSERT_EQ(cancelled.lines.size(), 4u) << cancelled.errors;
    EXPECT_EQ(Field(cancelled.lines[3], "code"), "13");
    // A refused card never repeats the texts of the card before it.
    EXPECT_NE(Field(cancelled.lines[3], "status"), Field(cancelled.lines[2], "status"));
    EXPECT_EQ(Field(cancelled.lines[2], "status"), "李梓涵85分");
    EXPECT_EQ(Field(cancelled.lines[3], "readCount"), "0");
    EXPECT_NE(cancelled.errors.find("这是此答题卡第2次读入，发现不相同的答题很多"), std::string::npos);
    EXPECT_NE(cancelled.errors.find("[取消]"), std::string::npos);

    EXPECT_EQ(RunCli(create).status, 1);  // the file is there: not replaced without --force
    ASSERT_EQ(RunCli(create + " --force").status, 0);
    CliRun confirmed = RunCli("mark --session " + Quote(session) + " --answer ok" + cards);
    ASSERT_EQ(confirmed.lines.size(), 4u) << confirmed.errors;
    EXPECT_EQ(Field(confirmed.lines[3], "code"), "0");
    EXPECT_EQ(Field(confirmed.lines[3], "status"), "王浩然80分");
    EXPECT_EQ(Field(confirmed.lines[3], "readCount"), "2");
    auto state = NewMarkingSessionState();
    ASSERT_TRUE(OpenMarkingFile(*state, files::FromUtf8(session)).ok);
    EXPECT_EQ(state->session.records[1].questionResults[3].answer.View(), "C");
}

TEST(BatchMark, UnreadableSessionOrPicture)
{
    TempDir dir;
    const std::string session = files::ToUtf8(dir / "s.yj");
    CliRun none = RunCli("mark --session " + Quote(session) + " " + Quote(files::ToUtf8(dir / "a.png")));
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.lines.empty());
    ASSERT_EQ(RunCli("session new --out " + Quote(session) + " --template " + Quote(cardprint::DemoTemplateName()) +
                     " --roster " + Quote(ShippedRosterFile()) + " --exam-name 演示 --subject 02 --groups 1-85:1:S")
                  .status,
              0);
    auto before = files::ReadAll(files::FromUtf8(session));
    CliRun missing = RunCli("mark --session " + Quote(session) + " " + Quote(files::ToUtf8(dir / "a.png")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.lines.empty());
    EXPECT_NE(missing.errors.find("a.png"), std::string::npos);
    EXPECT_EQ(files::ReadAll(files::FromUtf8(session)), before);  // nothing accepted, nothing saved
    EXPECT_EQ(RunCli("mark --session " + Quote(session) + " --answer maybe x.png").status, 2);

    // A picture cut short is no card: refused with the reason, nothing saved.
    QImage white(640, 480, QImage::Format_RGB888);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(QString::fromStdString(files::ToUtf8(dir / "whole.jpg"))));
    const std::string jpg = *files::ReadAll(dir / "whole.jpg");
    ASSERT_TRUE(files::WriteAll(dir / "cut.jpg", jpg.substr(0, jpg.size() / 2)));
    const std::string cut = files::ToUtf8(dir / "cut.jpg");
    CliRun cutShort = RunCli("mark --session " + Quote(session) + " " + Quote(cut));
    EXPECT_EQ(cutShort.status, 1);
    EXPECT_TRUE(cutShort.lines.empty());
    EXPECT_EQ(cutShort.errors, "scorivo-cli mark: " + cut + ": Premature end of JPEG file\n");
    EXPECT_EQ(files::ReadAll(files::FromUtf8(session)), before);

    // The card the session names is not in this installation's "模板文件/".
    TempDir elsewhere;
    CliRun noCard = RunCli("mark --session " + Quote(session) + " " + Quote(cut),
                           "SCORIVO_HOME=" + Quote(files::ToUtf8(elsewhere.path())) + " ");
    EXPECT_EQ(noCard.status, 1);
    EXPECT_TRUE(noCard.lines.empty());
    EXPECT_EQ(noCard.errors, "未发现模板文件：" + cardprint::DemoTemplateName() + "\n");

    // A damaged session is refused with its reason.
    ASSERT_TRUE(files::WriteAll(dir / "damaged.yj", "short"));
    CliRun damaged = RunCli("mark --session " + Quote(files::ToUtf8(dir / "damaged.yj")) + " " + Quote(cut));
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.errors, "打开阅卷原始文件失败！\n文件不完整（只有5字节），不是有效的阅卷原始文件。\n");
}

// The disk fills up in the middle of a batch. The shell's file size limit
// stops the write part way as a full disk would, without a small file system
// (in a POSIX shell "ulimit -f" counts 512-byte blocks: 10 hold the journal's
// header and its first card, 3471 bytes, but not a second, 6903, nor the raw
// file it is folded into at the end). The card whose save failed gets no
// line, the run stops with the reason and exit code 1, and the file opens
// with the card reported before it, whole.
TEST(BatchMark, ADiskFullMidBatchStopsWithTheReasonAndKeepsTheCardsBefore)
{
    TempDir dir;
    const CardTemplate t = DemoTemplate();
    std::string cards;
    cardprint::FilledCard c;
    c.subject = "02";
    c.answers.assign(85, "A");
    for (const char* admission : {"", "010000001", "010000002"}) {
        c.admission = admission;
        const std::string file = files::ToUtf8(dir / (std::string("card") + admission + ".png"));
        ASSERT_TRUE(cardprint::SynthesizeCameraImage(t, cardprint::DemoTemplateName(), c, {})
                        .save(QString::fromStdString(file)));
        cards += " " + Quote(file);
    }
    const std::string session = files::ToUtf8(dir / "full.yj");
    ASSERT_EQ(RunCli("session new --out " + Quote(session) + " --template " + Quote(cardprint::DemoTemplateName()) +
                     " --roster " + Quote(ShippedRosterFile()) + " --exam-name 演示 --subject 02 --groups 1-85:1:S")
                  .status,
              0);

    CliRun full = RunCli("mark --session " + Quote(session) + cards, "trap '' XFSZ; ulimit -f 10; ");
    EXPECT_EQ(full.status, 1);
    ASSERT_EQ(full.lines.size(), 1u) << full.errors;
    EXPECT_EQ(Field(full.lines[0], "status"), "标准答案已经读入");
    EXPECT_NE(full.errors.find(std::string("保存阅卷原始文件失败！\n") + session + "\ncannot write: " +
                               std::strerror(EFBIG) + "\n"),
              std::string::npos)
        << full.errors;
    auto state = NewMarkingSessionState();
    MarkingFileResult opened = OpenMarkingFile(*state, files::FromUtf8(session));
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_EQ(state->session.recordCount, 1);
    EXPECT_EQ(files::RemoveStaleTemporaries(files::FromUtf8(session)), 0);  // the half-written copy went
}

TEST(BatchMark, ASessionInUseIsRefusedAndAnExistingOneIsNotReplaced)
{
    TempDir dir;
    const std::string session = files::ToUtf8(dir / "s.yj");
    const std::string create = "session new --out " + Quote(session) + " --template " +
                               Quote(cardprint::DemoTemplateName()) + " --roster " + Quote(ShippedRosterFile()) +
                               " --exam-name 演示 --subject 02 --groups 1-85:1:S";
    ASSERT_EQ(RunCli(create).status, 0);
    const auto before = files::ReadAll(files::FromUtf8(session));

    CliRun again = RunCli(create);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.errors.find("已经存在"), std::string::npos) << again.errors;
    EXPECT_EQ(files::ReadAll(files::FromUtf8(session)), before);

    // Another run (or the window) holds the session: refused before anything is read or written.
    files::FileLock held;
    ASSERT_TRUE(held.TryLock(files::FromUtf8(session)));
    ASSERT_TRUE(files::WriteAll(dir / "s.yj.tmpAbCdEf", "half a save"));
    CliRun locked = RunCli("mark --session " + Quote(session) + " " + Quote(files::ToUtf8(dir / "a.png")));
    EXPECT_EQ(locked.status, 4);
    EXPECT_NE(locked.errors.find("正被另一个程序"), std::string::npos) << locked.errors;
    EXPECT_EQ(RunCli(create + " --force").status, 4);
    EXPECT_TRUE(std::filesystem::exists(dir / "s.yj.tmpAbCdEf"));  // not ours to clean while locked
    held.Release();

    // Once free, opening the session clears what an interrupted save left.
    CliRun free = RunCli("mark --session " + Quote(session) + " " + Quote(files::ToUtf8(dir / "a.png")));
    EXPECT_EQ(free.status, 1);  // the picture is missing
    EXPECT_FALSE(std::filesystem::exists(dir / "s.yj.tmpAbCdEf"));
}

// Exit 4 means "another run holds it, try again later": a script that
// retries on it never stopped when the folder was missing. Such failures exit
// 1 with the reason, and no run leaves the lock file it made behind.
TEST(BatchMark, OnlyAnotherHolderOfTheLockExitsFourAndNoRunLeavesItsLockFile)
{
    TempDir dir;
    const std::string session = files::ToUtf8(dir / "s.yj");
    const auto lockFile = files::FileLock::LockFileFor(files::FromUtf8(session));
    const std::string picture = Quote(files::ToUtf8(dir / "a.png"));
    CliRun created = RunCli("session new --out " + Quote(session) + " --template " +
                            Quote(cardprint::DemoTemplateName()) + " --roster " + Quote(ShippedRosterFile()) +
                            " --exam-name 演示 --subject 02 --groups 1-85:1:S");
    ASSERT_EQ(created.status, 0) << created.errors;
    EXPECT_FALSE(std::filesystem::exists(lockFile));
    CliRun marked = RunCli("mark --session " + Quote(session) + " " + picture);
    EXPECT_EQ(marked.status, 1);  // the picture is missing
    EXPECT_FALSE(std::filesystem::exists(lockFile));

    ASSERT_TRUE(files::WriteAll(dir / "file", "x"));
    for (const std::string& where : {files::ToUtf8(dir / "nodir" / "x.yj"), files::ToUtf8(dir / "file" / "x.yj")}) {
        CliRun run = RunCli("mark --session " + Quote(where) + " " + picture);
        EXPECT_EQ(run.status, 1) << where;
        EXPECT_NE(run.errors.find("不能建立锁文件: "), std::string::npos) << run.errors;
    }

    files::FileLock held;
    ASSERT_EQ(held.Lock(files::FromUtf8(session)), files::FileLock::Result::Taken);
    EXPECT_EQ(RunCli("mark --session " + Quote(session) + " " + picture).status, 4);
    held.Release();
    EXPECT_FALSE(std::filesystem::exists(lockFile));

    // A lock file this run did not make (an older version's) stays.
    ASSERT_TRUE(files::WriteAll(lockFile, ""));
    EXPECT_EQ(RunCli("mark --session " + Quote(session) + " " + picture).status, 1);
    EXPECT_TRUE(std::filesystem::exists(lockFile));
}

// A mark run killed at any moment: the file always opens, holds every card
// the run reported (a card's line is printed after its save), and the next
// open leaves no temporary file behind.
TEST(BatchMark, AKilledRunKeepsEveryReportedCard)
{
    TempDir dir;
    const std::string templateName = cardprint::DemoTemplateName();
    CardTemplate t{};
    std::string message;
    ASSERT_TRUE(LoadCardTemplate(files::FromUtf8(SCORIVO_BINARY_DIR), templateName, t, message)) << message;
    const auto stack = cardprint::DemoCardStack();
    // SCORIVO_KILL_CARDS=200 SCORIVO_KILL_ROUNDS=30 is the full run; past the
    // demo stack the students come round again as re-reads.
    const int cards = std::max(2, EnvCount("SCORIVO_KILL_CARDS", 8));
    const int rounds = std::max(1, EnvCount("SCORIVO_KILL_ROUNDS", 6));
    std::vector<std::string> args = {std::string(SCORIVO_BINARY_DIR) + "/scorivo-cli", "mark", "--session",
                                     files::ToUtf8(dir / "k.yj")};
    for (int i = 0; i < cards && !stack.empty(); ++i) {
        cardprint::SynthOptions o;
        o.seed = 300 + static_cast<uint64_t>(i);
        const std::size_t k = i == 0 ? 0 : 1 + static_cast<std::size_t>(i - 1) % std::max<std::size_t>(stack.size() - 1, 1);
        const std::string file = files::ToUtf8(dir / ("card" + std::to_string(i) + ".png"));
        ASSERT_TRUE(cardprint::SynthesizeCameraImage(t, templateName, stack[std::min(k, stack.size() - 1)].card, o)
                        .save(QString::fromStdString(file)));
        args.push_back(file);
    }
    const std::string create = "session new --out " + Quote(files::ToUtf8(dir / "k.yj")) + " --template " +
                               Quote(templateName) + " --roster " + Quote(ShippedRosterFile()) +
                               " --exam-name 演示 --subject " + cardprint::DemoSubjectCode() + " --groups 1-85:1:S";

    std::mt19937 random(20261207);
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(RunCli(create + " --force").status, 0);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);

        // Read the reported cards until a random moment, then kill without warning.
        const int reportedBeforeKill = std::uniform_int_distribution<int>(0, cards - 3)(random);
        const int extraMicros = std::uniform_int_distribution<int>(0, 150000)(random);
        std::string text;
        int reported = 0;
        char c;
        while (reported < reportedBeforeKill && ::read(out[0], &c, 1) == 1) {
            text += c;
            reported += c == '\n';
        }
        ::usleep(static_cast<useconds_t>(extraMicros));
        ::kill(child, SIGKILL);
        while (::read(out[0], &c, 1) == 1) {  // what the run still printed before it died
            text += c;
            reported += c == '\n';
        }
        ::close(out[0]);
        int status = 0;
        ::waitpid(child, &status, 0);

        int acceptedReported = 0;
        for (const std::string& line : SplitLines(text))
            acceptedReported += Field(line, "code") == "0";
        auto state = NewMarkingSessionState();
        MarkingFileResult opened = OpenMarkingFile(*state, dir / "k.yj");
        ASSERT_TRUE(opened.ok) << opened.message;
        // Every reported acceptance is a new record here: the cards are distinct students or the standard answer.
        EXPECT_GE(state->session.recordCount, acceptedReported > 0 ? 1 : 0);
        int readsInFile = 0;
        for (int r = 0; r < state->session.recordCount; ++r)
            readsInFile += r == 0 ? 1 : state->session.records[r].readCount;
        EXPECT_GE(readsInFile, acceptedReported);

        // The next run opens the session and clears what an interrupted save left.
        ASSERT_TRUE(RunCli("mark --session " + Quote(files::ToUtf8(dir / "k.yj")) + " " + Quote(args.back())).status >= 0);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(files::ToUtf8(entry.path().filename()).find(".tmp"), std::string::npos)
                << files::ToUtf8(entry.path().filename());
    }
}

} // namespace
