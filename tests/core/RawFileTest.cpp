#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "ExamTestSupport.h"
#include "marking/MarkingJournal.h"
#include "marking/RawFile.h"
#include "marking/Scoring.h"
#include "platform/Files.h"
#include "support/FileSizeLimit.h"

namespace fs = std::filesystem;
using namespace exam_test;

namespace {

template <typename T>
T At(const std::string& bytes, std::size_t offset)
{
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

std::string TextAt(const std::string& bytes, std::size_t offset, std::size_t size)
{
    return std::string(bytes.data() + offset, strnlen(bytes.data() + offset, size));
}

class RawFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("scorivo-rawfile-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / files::FromUtf8("阅卷原始文件"));
        state = NewMarkingSessionState();
        state->templateName = "DY标准85题自动AB卷.dat";
        state->cardTemplate = MakeTemplate();
        ASSERT_TRUE(CheckExamPage(state->cardTemplate,
                                  MakePage({{"1", "10", "1.5", "单选题"}, {"11", "20", "2", "多选题"}}, {{"11-15", "1"}}),
                                  state->exam)
                        .passed);
        std::vector<std::string> key = {"A", "B", "C", "A", "A", "A", "A", "A", "A", "A"};
        key.resize(20, "BD");
        ASSERT_TRUE(state->session.SetStandardAnswer(key, 9));
        state->unsavedChanges = true;
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path YjFile() const { return folder / files::FromUtf8("阅卷原始文件/期中考试数学.yj"); }

    // A roster with one student and a session with two of its records.
    void AddStudents()
    {
        StudentRoster& r = state->roster;
        r.gradeEnabled = 1;
        r.gradeCount = 1;
        (void)r.grades[0].name.SetUtf8("初一");
        (void)r.grades[0].code.Set("20231");
        StudentEntry s{};
        (void)s.admissionNumber.Set("202310101");
        (void)s.name.SetUtf8("张三");
        (void)s.gradeCode.Set("20231");
        (void)s.classCode.Set("01");
        ASSERT_TRUE(r.AppendStudent(s));
        for (const char* id : {"202310101", "202310102"}) {
            MarkingRecord m{};
            m.readCount = 1;
            m.paperType = 1;
            (void)m.admissionNumber.Set(id);
            (void)m.studentName.SetUtf8("张三");
            (void)m.gradeCode.Set("20231");
            (void)m.gradeName.SetUtf8("初一");
            (void)m.classCode.Set("01");
            m.subjectiveScore = 35.5f;
            (void)m.questionResults[0].answer.Set("A");
            (void)m.questionResults[11].answer.Set("BD");
            ScoreRecord(state->exam, state->session.records[0], m);
            ASSERT_TRUE(state->session.AppendRecord(m));
        }
        (void)state->session.gradeFilter.Set("20231");
        (void)state->session.classFilter.Set("ALL");
    }

    fs::path folder;
    std::unique_ptr<MarkingSessionState> state;
};

TEST_F(RawFileTest, StandardAnswerOnlyIs291195BytesAndMarksTheFolder)
{
    EXPECT_FALSE(MarkingFileEverSaved(folder));
    MarkingFileResult r = SaveMarkingFile(*state, folder);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.path, YjFile());
    EXPECT_EQ(fs::file_size(YjFile()), 291195u);
    EXPECT_FALSE(state->unsavedChanges);
    auto marker = files::ReadAll(folder / "biaoji.bj");
    ASSERT_TRUE(marker.has_value());
    EXPECT_EQ(*marker, std::string(1, '\x01'));
    EXPECT_TRUE(MarkingFileEverSaved(folder));
}

TEST_F(RawFileTest, EveryFieldAtItsOffset)
{
    AddStudents();
    std::string b = EncodeMarkingFile(state->roster, state->exam, state->session);
    ASSERT_EQ(b.size(), 287775u + 3 * 3420u);
    // Roster image.
    EXPECT_EQ(At<int32_t>(b, 3060), 1);  // gradeCount
    EXPECT_EQ(At<int32_t>(b, 3140), 9);  // admissionLength
    EXPECT_EQ(At<int32_t>(b, 3164), 1);  // studentCount
    EXPECT_EQ(TextAt(b, 3168, 21), "202310101");
    // Exam record.
    const std::size_t e = 283168;
    EXPECT_EQ(gbk::ToUtf8(TextAt(b, e + 0, 100)), "DY标准85题自动AB卷.dat");
    EXPECT_EQ(gbk::ToUtf8(TextAt(b, e + 100, 50)), "期中考试");
    EXPECT_EQ(TextAt(b, e + 150, 3), "02");
    EXPECT_EQ(gbk::ToUtf8(TextAt(b, e + 153, 10)), "数学");
    EXPECT_EQ(At<uint8_t>(b, e + 163), 1);
    EXPECT_EQ(At<int32_t>(b, e + 164 + 16), 11);  // groups[1].firstQuestion
    EXPECT_EQ(At<float>(b, e + 164 + 8), 1.5f);   // groups[0].score
    EXPECT_EQ(At<int32_t>(b, e + 164 + 16 + 12), 1);  // groups[1].kind
    EXPECT_EQ(At<int32_t>(b, e + 324), 2);
    EXPECT_EQ(TextAt(b, e + 328, 100), "11-15");
    EXPECT_EQ(TextAt(b, e + 428, 5), "1");
    EXPECT_EQ(At<int32_t>(b, e + 1380), 1);
    EXPECT_EQ(At<float>(b, e + 1384 + 16 * 10), 2.0f);        // question 11 score
    EXPECT_EQ(At<int32_t>(b, e + 1384 + 16 * 10 + 4), 1);     // kind
    EXPECT_EQ(At<float>(b, e + 1384 + 16 * 10 + 8), 1.0f);    // partialScore
    EXPECT_EQ(At<int32_t>(b, e + 4584), 20);
    // Filters and count.
    EXPECT_EQ(TextAt(b, 287756, 11), "20231");
    EXPECT_EQ(TextAt(b, 287767, 4), "ALL");
    EXPECT_EQ(At<int32_t>(b, 287771), 3);
    // Record 0 and record 1.
    EXPECT_EQ(TextAt(b, 287775 + 8, 21), "         ");
    EXPECT_EQ(TextAt(b, 287775 + 220, 10), "A");
    EXPECT_EQ(TextAt(b, 287775 + 220 + 32, 10), "C");
    const std::size_t r = 287775 + 3420;
    EXPECT_EQ(At<int32_t>(b, r + 0), 1);
    EXPECT_EQ(At<int32_t>(b, r + 4), 1);
    EXPECT_EQ(TextAt(b, r + 8, 21), "202310101");
    EXPECT_EQ(gbk::ToUtf8(TextAt(b, r + 29, 20)), "张三");
    EXPECT_EQ(TextAt(b, r + 49, 11), "20231");
    EXPECT_EQ(gbk::ToUtf8(TextAt(b, r + 60, 50)), "初一");
    EXPECT_EQ(TextAt(b, r + 110, 4), "01");
    EXPECT_EQ(At<uint16_t>(b, r + 114), 0);
    // Question 1 right (1.5), question 12 right (2): 3.5 + 35.5.
    EXPECT_EQ(At<float>(b, r + 116), 39.0f);
    EXPECT_EQ(At<float>(b, r + 120), 35.5f);
    EXPECT_EQ(At<float>(b, r + 124), 3.5f);
    EXPECT_EQ(At<float>(b, r + 128), 1.5f);
    EXPECT_EQ(At<float>(b, r + 132), 2.0f);
    EXPECT_EQ(At<int32_t>(b, r + 208), 0);
    EXPECT_EQ(At<int32_t>(b, r + 216), 18);  // every blank answer is wrong
    EXPECT_EQ(TextAt(b, r + 220, 10), "A");
    EXPECT_EQ(At<char>(b, r + 220 + 10), '0');
    EXPECT_EQ(At<uint8_t>(b, r + 220 + 11), 0);
    EXPECT_EQ(At<float>(b, r + 220 + 12), 1.5f);
    EXPECT_EQ(At<char>(b, r + 220 + 16 + 10), '3');
    EXPECT_EQ(TextAt(b, r + 220 + 11 * 16, 10), "BD");
}

TEST_F(RawFileTest, SaveOpenSaveGivesIdenticalBytes)
{
    AddStudents();
    ASSERT_TRUE(SaveMarkingFile(*state, folder).ok);
    std::string first = *files::ReadAll(YjFile());

    auto other = NewMarkingSessionState();
    other->unsavedChanges = true;
    other->session.rescorePending = true;
    MarkingFileResult opened = OpenMarkingFile(*other, YjFile(), folder);
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_FALSE(other->unsavedChanges);
    EXPECT_FALSE(other->session.rescorePending);
    EXPECT_TRUE(other->openedFromFile);
    EXPECT_EQ(other->session.recordCount, 3);
    EXPECT_EQ(other->session.classFilter.View(), "ALL");
    EXPECT_EQ(other->roster.students[0].name.Utf8(), "张三");
    EXPECT_EQ(other->session.records[2].totalScore, state->session.records[2].totalScore);
    EXPECT_EQ(std::memcmp(&other->exam, &state->exam, sizeof(ExamSetup)), 0);
    // No template file in this folder: the open still succeeds and says so.
    EXPECT_EQ(other->templateName, "DY标准85题自动AB卷.dat");
    EXPECT_FALSE(opened.templateLoaded);
    EXPECT_EQ(opened.templateMessage, "未发现模板文件：DY标准85题自动AB卷.dat");

    fs::remove(YjFile());
    ASSERT_TRUE(SaveMarkingFile(*other, folder).ok);
    EXPECT_EQ(*files::ReadAll(YjFile()), first);
}

TEST_F(RawFileTest, OpenLoadsTheNamedTemplate)
{
    ASSERT_TRUE(SaveMarkingFile(*state, folder).ok);
    fs::create_directories(folder / files::FromUtf8("模板文件"));
    CardTemplate t = MakeTemplate(60);
    ASSERT_TRUE(files::WriteAll(folder / files::FromUtf8("模板文件/DY标准85题自动AB卷.dat"),
                                std::string_view(reinterpret_cast<const char*>(&t), sizeof t)));
    auto other = NewMarkingSessionState();
    MarkingFileResult opened = OpenMarkingFile(*other, YjFile(), folder);
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_TRUE(opened.templateLoaded) << opened.templateMessage;
    EXPECT_EQ(other->cardTemplate.QuestionCount, 60);
}

// A raw file whose card has been deleted or renamed since it was saved.
TEST_F(RawFileTest, AMissingTemplateLeavesNoOtherCardsTemplateBehind)
{
    ASSERT_TRUE(SaveMarkingFile(*state, folder).ok);
    auto other = NewMarkingSessionState();
    other->templateName = "DY另一种卡.dat";
    other->cardTemplate = MakeTemplate(60);
    MarkingFileResult opened = OpenMarkingFile(*other, YjFile(), folder);
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_FALSE(opened.templateLoaded);
    EXPECT_EQ(opened.templateMessage, "未发现模板文件：DY标准85题自动AB卷.dat");
    EXPECT_EQ(other->templateName, "DY标准85题自动AB卷.dat");
    // The 60-question card of the session before would read this exam's cards in the wrong cells.
    EXPECT_EQ(other->cardTemplate.QuestionCount, 0);
    EXPECT_EQ(other->session.recordCount, 1);
}

TEST_F(RawFileTest, DamagedFilesAreRefusedAndChangeNothing)
{
    AddStudents();
    std::string good = EncodeMarkingFile(state->roster, state->exam, state->session);
    fs::path damaged = folder / "damaged.yj";

    auto other = NewMarkingSessionState();
    ASSERT_TRUE(other->session.SetStandardAnswer({"D"}, 4));
    other->unsavedChanges = true;
    auto snapshot = NewMarkingSessionState();
    std::memcpy(&snapshot->roster, &other->roster, sizeof(StudentRoster));
    snapshot->exam = other->exam;
    std::memcpy(&snapshot->session, &other->session, sizeof(MarkingSession));

    // `why`, when given, is the reason the message must give after its first line.
    auto expectRefused = [&](std::string bytes, const char* what, const char* why = nullptr) {
        ASSERT_TRUE(files::WriteAll(damaged, bytes));
        MarkingFileResult r = OpenMarkingFile(*other, damaged, folder);
        EXPECT_FALSE(r.ok) << what;
        EXPECT_EQ(r.message.rfind("打开阅卷原始文件失败！", 0), 0u) << what << ": " << r.message;
        EXPECT_GT(r.message.size(), std::strlen("打开阅卷原始文件失败！")) << what << ": says why";
        if (why) {
            EXPECT_EQ(r.message, std::string("打开阅卷原始文件失败！\n") + why) << what;
        }
        EXPECT_EQ(std::memcmp(&other->roster, &snapshot->roster, sizeof(StudentRoster)), 0) << what;
        EXPECT_EQ(std::memcmp(&other->exam, &snapshot->exam, sizeof(ExamSetup)), 0) << what;
        EXPECT_EQ(std::memcmp(&other->session, &snapshot->session, sizeof(MarkingSession)), 0) << what;
        EXPECT_TRUE(other->unsavedChanges) << what;
    };
    auto patch = [&](std::size_t offset, const void* value, std::size_t size) {
        std::string b = good;
        std::memcpy(b.data() + offset, value, size);
        return b;
    };
    int32_t n;
    expectRefused(good.substr(0, good.size() - 1), "one byte short", "文件比其中3条阅卷记录所需的短，文件不完整。");
    expectRefused(good.substr(0, 1000), "cut inside the roster",
                  "文件不完整（只有1000字节），不是有效的阅卷原始文件。");
    expectRefused("", "empty", "文件不完整（只有0字节），不是有效的阅卷原始文件。");
    expectRefused(good + "x", "trailing byte", "文件比其中3条阅卷记录所需的长，文件已损坏。");
    n = 5001;
    expectRefused(patch(raw_file::RecordCountOffset, &n, 4), "5001 records",
                  "文件中的阅卷记录数（5001）超出范围（0-5000），文件已损坏。");
    n = -1;
    expectRefused(patch(raw_file::RecordCountOffset, &n, 4), "negative count");
    n = 4;
    expectRefused(patch(raw_file::RecordCountOffset, &n, 4), "count beyond the records present");
    n = 5001;
    expectRefused(patch(3164, &n, 4), "roster studentCount");
    n = 11;
    expectRefused(patch(raw_file::ExamOffset + 324, &n, 4), "groupCount");
    n = 201;
    expectRefused(patch(raw_file::ExamOffset + 4584, &n, 4), "questionCount");
    expectRefused(patch(raw_file::ExamOffset + 100, "0123456789012345678901234567890123456789012345678X", 50),
                  "exam name without terminator");
    expectRefused(patch(raw_file::ClassFilterOffset, "ABCD", 4), "class filter without terminator",
                  "年级或班级筛选条件中有没有结束符的文字，文件已损坏。");
    expectRefused(patch(raw_file::RecordsOffset + 3420 * 2 + 220 + 16 * 5, "ABCDEFGHIJ", 10),
                  "answer of ten letters", "第3条阅卷记录中有没有结束符的文字，文件已损坏。");

    MarkingFileResult missing = OpenMarkingFile(*other, folder / "none.yj", folder);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.message, std::string("打开阅卷原始文件失败！\n") + std::strerror(ENOENT));

    // Random damage never crashes and never half-loads.
    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        std::string b = good;
        for (int k = 0; k < 20; ++k)
            b[rng() % b.size()] = static_cast<char>(rng());
        auto target = NewMarkingSessionState();
        std::string message;
        if (!DecodeMarkingFile(b, *target, message)) {
            EXPECT_EQ(target->session.recordCount, 0);
        }
    }
}

TEST_F(RawFileTest, NamesTheFileSystemRefusesAreReported)
{
    (void)state->exam.examName.Set("1/2");
    MarkingFileResult r = SaveMarkingFile(*state, folder);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("/"), std::string::npos);
    EXPECT_EQ(r.message, "考试名称或科目名称中含有不能用于文件名的字符“/”，无法保存阅卷原始文件。");
    EXPECT_TRUE(state->unsavedChanges);
    EXPECT_FALSE(fs::exists(folder / "biaoji.bj"));
    EXPECT_FALSE(WriteRecoveryCopy(*state, folder));  // why the exam page refuses such a name

    state->exam.examName.Clear();
    r = SaveMarkingFile(*state, folder);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "请先在考试信息设置里填写本次考试名称，再保存阅卷原始文件。");
    EXPECT_FALSE(fs::exists(folder / files::FromUtf8("阅卷原始文件/.yj")));
}

TEST_F(RawFileTest, AFailedSaveKeepsTheEarlierFile)
{
    ASSERT_TRUE(SaveMarkingFile(*state, folder).ok);
    std::string before = *files::ReadAll(YjFile());
    fs::remove(folder / "biaoji.bj");

    // The target is now a folder's place taken by a directory: rename fails.
    fs::path blocked = folder / "blocked";
    fs::create_directories(blocked / files::FromUtf8("阅卷原始文件") /
                           files::FromUtf8("期中考试数学.yj") / "inside");
    state->unsavedChanges = true;
    MarkingFileResult r = SaveMarkingFile(*state, blocked);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message.rfind("保存阅卷原始文件失败！", 0), 0u) << r.message;
    EXPECT_TRUE(state->unsavedChanges);
    EXPECT_FALSE(fs::exists(blocked / "biaoji.bj"));
    EXPECT_TRUE(fs::exists(blocked / files::FromUtf8("阅卷原始文件/期中考试数学.yj/inside")));

    // A folder that cannot be created (a file in its place) is reported too.
    fs::path noFolder = folder / "nofolder";
    fs::create_directories(noFolder);
    ASSERT_TRUE(files::WriteAll(noFolder / files::FromUtf8("阅卷原始文件"), "x"));
    EXPECT_FALSE(SaveMarkingFile(*state, noFolder).ok);
    EXPECT_EQ(*files::ReadAll(YjFile()), before);
}

// The disk fills up part way through a save. The process's file size limit
// stops the write as a full disk would (what fits is written, then the next
// write fails), without needing a small file system: in a child, so the limit
// and the ignored SIGXFSZ stay there.
TEST_F(RawFileTest, ADiskFullPartWayThroughASaveKeepsTheEarlierFile)
{
    ASSERT_TRUE(SaveMarkingFile(*state, folder).ok);
    const std::string before = *files::ReadAll(YjFile());
    AddStudents();  // two records more: the next save is longer than the limit
    state->unsavedChanges = true;
    const fs::path report = folder / "report.txt";
    const int result = RunWithFileSizeLimit(before.size() + 1000, [&] {
        MarkingFileResult r = SaveMarkingFile(*state, folder);
        (void)files::WriteAll(report, r.message);  // a short file, well within the limit
        return r.ok ? 1 : state->unsavedChanges ? 0 : 2;
    });
    EXPECT_EQ(result, 0) << "1: reported as saved, 2: marked as saved, 255: no limit";
    EXPECT_EQ(files::ReadAll(report), "保存阅卷原始文件失败！\n" + files::ToUtf8(YjFile()) + "\ncannot write: " +
                                          std::strerror(EFBIG));
    EXPECT_EQ(files::ReadAll(YjFile()), before);
    int left = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(YjFile().parent_path()))
        ++left;
    EXPECT_EQ(left, 1) << "the half-written temporary file is gone";
}

} // namespace

namespace {

// A `mark` run's journal: each card costs one entry whatever the session
// holds; every open replays the whole entries of a journal that continues
// the file (a kill during an entry's write leaves it cut: that card was never
// reported), never a stale one; folding writes the raw file a save of the same
// session writes, and removes the journal.
TEST_F(RawFileTest, AJournalIsReplayedByEveryOpenAndFoldedIntoTheFileItContinues)
{
    AddStudents();
    const fs::path file = YjFile();
    ASSERT_TRUE(SaveMarkingFileTo(*state, file).ok);
    const std::string base = *files::ReadAll(file);

    // The run re-reads the second student and adds a third, under its own filters.
    MarkingRecord reread = state->session.records[2];
    reread.readCount = 2;
    (void)reread.questionResults[0].answer.Set("C");
    MarkingRecord added = state->session.records[1];
    (void)added.admissionNumber.Set("202310103");
    auto run = NewMarkingSessionState();  // 17 MB: not on the stack
    MarkingSession& filters = run->session;
    filters = state->session;
    (void)filters.classFilter.Set("01");
    MarkingJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Start(file, base.size(), ContentHash(base), filters, error)) << error;
    ASSERT_TRUE(journal.Append(2, reread, error)) << error;
    const auto oneCard = fs::file_size(JournalPath(file));
    ASSERT_TRUE(journal.Append(3, added, error)) << error;
    EXPECT_EQ(fs::file_size(JournalPath(file)) - oneCard, journal_file::EntrySize);  // one record, not the session
    journal.Close();
    EXPECT_EQ(*files::ReadAll(file), base);

    auto expected = NewMarkingSessionState();
    *expected = *state;
    ASSERT_TRUE(expected->session.ReplaceRecord(2, reread));
    ASSERT_TRUE(expected->session.AppendRecord(added));
    expected->session.classFilter = filters.classFilter;
    const std::string folded = EncodeMarkingFile(expected->roster, expected->exam, expected->session);

    auto opened = NewMarkingSessionState();
    MarkingFileResult result = OpenMarkingFile(*opened, file);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.journalCards, 2);
    EXPECT_TRUE(opened->unsavedChanges);  // the window offers to save them
    EXPECT_EQ(EncodeMarkingFile(opened->roster, opened->exam, opened->session), folded);

    // A kill during the second entry's write: the first card alone.
    const std::string whole = *files::ReadAll(JournalPath(file));
    ASSERT_TRUE(files::WriteAll(JournalPath(file), whole.substr(0, whole.size() - 100)));
    result = OpenMarkingFile(*opened, file);
    EXPECT_EQ(result.journalCards, 1);
    EXPECT_EQ(opened->session.recordCount, 3);
    EXPECT_EQ(opened->session.records[2].readCount, 2);

    // Folding writes what a save of the replayed session writes.
    ASSERT_TRUE(files::WriteAll(JournalPath(file), whole));
    std::string message;
    ASSERT_TRUE(FoldMarkingJournal(file, message)) << message;
    EXPECT_EQ(*files::ReadAll(file), folded);
    EXPECT_FALSE(fs::exists(JournalPath(file)));

    // A journal of a file saved since is stale: never replayed, removed by the fold.
    ASSERT_TRUE(files::WriteAll(JournalPath(file), whole));
    result = OpenMarkingFile(*opened, file);
    EXPECT_EQ(result.journalCards, 0);
    EXPECT_FALSE(opened->unsavedChanges);
    ASSERT_TRUE(FoldMarkingJournal(file, message));
    EXPECT_EQ(*files::ReadAll(file), folded);
    EXPECT_FALSE(fs::exists(JournalPath(file)));

    // A raw file the fold may not replace keeps the journal, and says why.
    ASSERT_TRUE(journal.Start(file, folded.size(), ContentHash(folded), filters, error)) << error;
    ASSERT_TRUE(journal.Append(1, added, error));
    journal.Close();
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_FALSE(FoldMarkingJournal(file, message));
    EXPECT_NE(message.find("文件是只读的，没有保存"), std::string::npos) << message;
    EXPECT_TRUE(fs::exists(JournalPath(file)));
    EXPECT_FALSE(journal.Start(file, folded.size(), ContentHash(folded), filters, error));  // refused up front
}

} // namespace
