// Card acceptance against a scripted sampler: the order of the sampling
// calls, every refusal with its texts, the standard-answer rules, re-reads
// with their difference lists and the overwrite question.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "core/ExamTestSupport.h"
#include "marking/Acceptance.h"
#include "platform/ScriptedPromptsCore.h"
#include "support/TempDir.h"

namespace {

namespace tx = acceptance_texts;

struct Card {
    int grids = CardSampler::GridsOk;
    int ab = 0;
    int colour = CardSampler::ColourUndecided;
    std::string admission;  // as the admission grid reads it
    std::string subject = "02";
    std::string score = "035";
    std::vector<std::string> answers;
    bool lighting = false;
};

// Plays one card: what each sampling operation returns.
class ScriptedSampler : public CardSampler {
public:
    explicit ScriptedSampler(Card c) : card(std::move(c)) {}
    int BuildSamplingGrids() override { return card.grids; }
    int AbType() const override { return card.ab; }
    void DrawThumbnail() override {}
    void ResetGreyMode() override {}
    int CardColour() override { return card.colour; }
    void PrepareDigitColumns(DigitGridKind, int, int) override {}
    void PrepareAnswerBlocks() override {}
    std::string ReadDigitColumns(DigitGridKind g, int columns, int) override
    {
        const std::string& text = g == DigitGridKind::Admission ? card.admission
                                  : g == DigitGridKind::Subject ? card.subject
                                                                : card.score;
        std::string out = text.substr(0, columns);
        out.resize(columns, ' ');
        return out;
    }
    AnswersReadResult ReadAnswers(const ExamSetup& exam, std::vector<std::string>& answers) override
    {
        answers = card.answers;
        answers.resize(exam.questionCount);
        return card.lighting ? AnswersReadResult::LightingFailure : AnswersReadResult::Read;
    }

    Card card;
};

// Passes every call on and logs it.
class LoggingSampler : public CardSampler {
public:
    explicit LoggingSampler(CardSampler& inner) : inner_(inner) {}
    int BuildSamplingGrids() override { return Log("grids"), inner_.BuildSamplingGrids(); }
    int AbType() const override { return inner_.AbType(); }
    void DrawThumbnail() override { Log("thumbnail"), inner_.DrawThumbnail(); }
    void ResetGreyMode() override { Log("grey0"), inner_.ResetGreyMode(); }
    int CardColour() override { return Log("colour"), inner_.CardColour(); }
    void PrepareDigitColumns(DigitGridKind g, int columns, int rows) override
    {
        Log("prepare " + Name(g) + " " + std::to_string(columns) + "x" + std::to_string(rows));
        inner_.PrepareDigitColumns(g, columns, rows);
    }
    void PrepareAnswerBlocks() override { Log("blocks"), inner_.PrepareAnswerBlocks(); }
    std::string ReadDigitColumns(DigitGridKind g, int columns, int rows) override
    {
        Log("read " + Name(g) + " " + std::to_string(columns) + "x" + std::to_string(rows));
        return inner_.ReadDigitColumns(g, columns, rows);
    }
    AnswersReadResult ReadAnswers(const ExamSetup& exam, std::vector<std::string>& answers) override
    {
        Log("answers");
        return inner_.ReadAnswers(exam, answers);
    }

    std::vector<std::string> log;

private:
    void Log(std::string s) { log.push_back(std::move(s)); }
    static std::string Name(DigitGridKind g)
    {
        return g == DigitGridKind::Admission ? "adm" : g == DigitGridKind::Subject ? "subj" : "score";
    }
    CardSampler& inner_;
};

// Messages and questions in the order shown; OK/Cancel answered by `answerOk`.
struct ScriptedPrompts : ScriptedPromptsCore {
    bool AskOkCancel(const std::string& utf8) override
    {
        questions.push_back(utf8);
        return answerOk;
    }
    void ShowMessage(const std::string& utf8) override { messages.push_back(utf8); }
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answerOk = false;
};

const std::vector<std::string> kKey = {"A",  "B",  "C",  "D",  "A",  "B",   "C",  "D",   "A",  "B",
                                       "AB", "CD", "AC", "BD", "AD", "ABC", "BC", "ACD", "AB", "CD"};

// Every case runs twice: with acceptance sampling the card itself, and with
// the card sampled ahead by a ReadAheadSampler, as a batch marks it. Both must
// give the same records, texts and calls; the read-ahead may read further.
class AcceptanceTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        state = NewMarkingSessionState();
        state->templateName = "DY标准85题自动AB卷.dat";
        state->cardTemplate = exam_test::MakeTemplate(85, true);
        state->cardTemplate.AdmColumns = 10;
        state->cardTemplate.SubjColumns = 2;
        state->cardTemplate.SubjRows = 10;
        auto page = exam_test::MakePage({{"1", "10", "2", "单选题"}, {"11", "20", "3", "多选题"}}, {{"11-20", "1"}});
        ASSERT_TRUE(CheckExamPage(state->cardTemplate, page, state->exam).passed);

        StudentRoster& r = state->roster;
        r.admissionLength = 4;
        r.gradeEnabled = 1;
        r.classEnabled = 1;
        r.gradeCount = 2;
        ASSERT_TRUE(r.grades[0].name.SetUtf8("高一"));
        ASSERT_TRUE(r.grades[0].code.Set("G1"));
        ASSERT_TRUE(r.grades[1].name.SetUtf8("高二"));
        ASSERT_TRUE(r.grades[1].code.Set("G2"));
        AddStudent("1001", "张三", "G1", "01");
        AddStudent("1002", "李四", "G1", "02");
        AddStudent("2001", "王五", "G2", "01");

        acceptor = std::make_unique<CardAcceptor>(*state, settings, prompts);
        acceptor->selection.gradeCode = "G1";
        acceptor->hooks.refreshGrid = [this] { ++refreshes; };
        acceptor->hooks.automaticMarkingOn = [this] { return automatic; };
        acceptor->hooks.switchAutomaticMarkingOff = [this] { automatic = false, ++switchedOff; };
    }
    void AddStudent(const char* number, const char* name, const char* grade, const char* cls)
    {
        StudentEntry s{};
        ASSERT_TRUE(s.admissionNumber.Set(number));
        ASSERT_TRUE(s.name.SetUtf8(name));
        ASSERT_TRUE(s.gradeCode.Set(grade));
        ASSERT_TRUE(s.classCode.Set(cls));
        ASSERT_TRUE(state->roster.AppendStudent(s));
    }
    static Card StudentCard(const std::string& number, std::vector<std::string> answers = kKey)
    {
        Card c;
        c.admission = number;
        c.answers = std::move(answers);
        return c;
    }
    static Card StandardCard() { return StudentCard("    "); }
    bool Mark(Card c)
    {
        ScriptedSampler script(std::move(c));
        LoggingSampler card(script);
        if (!GetParam()) {
            bool ok = acceptor->AcceptReading(card, texts);
            lastLog = card.log;
            return ok;
        }
        ReadAheadSampler ahead(card, *state, acceptor->checkCardColour);
        LoggingSampler asked(ahead);
        bool ok = acceptor->AcceptReading(asked, texts);
        lastLog = asked.log;
        readAheadLog = card.log;
        EXPECT_LE(lastLog.size(), readAheadLog.size());
        EXPECT_TRUE(std::equal(lastLog.begin(), lastLog.end(), readAheadLog.begin()))
            << "acceptance asked for calls the read-ahead did not make first";
        return ok;
    }
    // Refused with both texts as given and nothing stored.
    void ExpectRefused(Card c, const std::string& memo, const std::string& status)
    {
        int before = state->session.recordCount;
        state->unsavedChanges = false;
        EXPECT_FALSE(Mark(std::move(c)));
        EXPECT_EQ(texts.memoTiShi, memo);
        EXPECT_EQ(texts.statusText, status);
        EXPECT_EQ(state->session.recordCount, before);
        EXPECT_FALSE(state->unsavedChanges);
    }
    const MarkingRecord& Record(int i) const { return state->session.records[i]; }
    // Pictures on, saved under `folder` at 2024-01-02 03:04:05, of a grey 4 x 2 frame.
    void SavePicturesInto(const std::filesystem::path& folder)
    {
        settings.SavePictures = 1;
        acceptor->programFolder = folder;
        acceptor->clock = [] { return LocalDateTime{2024, 1, 2, 3, 4, 5}; };
        acceptor->colourFrame = {framePixels.data(), 4, 2, 3, 12};
    }
    static std::vector<std::string> WithChanges(std::initializer_list<std::pair<int, const char*>> changes)
    {
        auto a = kKey;
        for (auto [q, text] : changes)
            a[q - 1] = text;
        return a;
    }

    std::unique_ptr<MarkingSessionState> state;
    MarkingSettings settings;
    ScriptedPrompts prompts;
    std::unique_ptr<CardAcceptor> acceptor;
    AcceptanceTexts texts;
    std::vector<std::string> lastLog;
    std::vector<std::string> readAheadLog;  // with the read-ahead: what it sampled
    bool automatic = false;
    int switchedOff = 0;
    int refreshes = 0;
    std::vector<uint8_t> framePixels = std::vector<uint8_t>(4 * 2 * 3, 0x80);
};

TEST_P(AcceptanceTest, StandardAnswerFirstWithCallOrderAndEmptyKeyMessage)
{
    Card c = StandardCard();
    c.answers[2] = "";
    c.answers[14] = "";
    ASSERT_TRUE(Mark(c));
    std::vector<std::string> order = {"grids",         "thumbnail",    "grey0",         "prepare adm 10x10",
                                      "prepare subj 2x10", "prepare score 3x10", "blocks", "read adm 4x10",
                                      "read subj 2x10", "read score 3x10", "answers"};
    EXPECT_EQ(lastLog, order);
    EXPECT_EQ(state->session.recordCount, 1);
    EXPECT_EQ(Record(0).readCount, 1);
    EXPECT_EQ(Record(0).admissionNumber.View(), "    ");
    EXPECT_EQ(Record(0).questionResults[10].answer.View(), "AB");
    EXPECT_EQ(Record(0).totalScore, 0.0f);  // the standard answer is not scored
    EXPECT_EQ(Record(0).questionResults[0].status, '\0');
    EXPECT_EQ(texts.memoTiShi, tx::StandardReadMemo);
    EXPECT_EQ(texts.statusText, tx::StandardReadStatus);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0],
              "标准答案中，第3、15题答案为空，请仔细检查是否确实将以上题作为错题处理。"
              "如果不是错题，请检查是否漏涂或涂写太淡，如果涂写无误，请移动答题卡重新判断。");
    EXPECT_TRUE(state->unsavedChanges);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(acceptor->LastAdmission(), "    ");
    EXPECT_TRUE(texts.windowCaption.empty());
}

TEST_P(AcceptanceTest, FirstCardNeedsBlankNumberAndNextIsCandidateAgain)
{
    ExpectRefused(StudentCard("1001"),
                  "　　标准答案答题卡准考证号必须全空。\r\n　　如果需要使用成绩最好的学生的答题卡做标准答案"
                  "（读入后可以核对修改个别错误的答案），可以先将其答题卡准考证号先用橡皮擦擦除，"
                  "作为标准答案输入后再涂回原来的准考证号。",
                  "标准答案答题卡准考证号必须全空");
    ExpectRefused(StudentCard("  1 "), tx::StandardNumberMemo, tx::StandardNumberStatus);
    ASSERT_TRUE(Mark(StandardCard()));
    EXPECT_EQ(state->session.recordCount, 1);
}

TEST_P(AcceptanceTest, BlankNumberRereadsStandardOnlyWhileItIsAlone)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StandardCard()));
    EXPECT_EQ(state->session.recordCount, 1);
    EXPECT_EQ(Record(0).readCount, 2);
    EXPECT_EQ(texts.memoTiShi, "该答题卡这次阅卷结果和上次相同，已经阅卷次数：2");
    EXPECT_EQ(texts.statusText, "结果和上次相同");
    // A re-read of the standard answer is scored against the previous key.
    EXPECT_EQ(Record(0).choiceScore, 50.0f);

    ASSERT_TRUE(Mark(StudentCard("    ", WithChanges({{1, "B"}}))));
    EXPECT_EQ(texts.statusText, "结果和上次不同");
    EXPECT_EQ(Record(0).questionResults[0].answer.View(), "B");
    EXPECT_EQ(switchedOff, 0);

    ASSERT_TRUE(Mark(StudentCard("1001")));
    ExpectRefused(StandardCard(),
                  std::string("准考证号漏填（如果是想修改标准答案，请直接在列表中修改）。如检查准考证确实已涂则可能是") +
                      tx::LightingAdvice,
                  "准考证号漏填或光线有问题");
}

TEST_P(AcceptanceTest, StudentReadTwiceIdentically)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001", WithChanges({{1, "B"}, {11, "A"}, {12, "BCD"}}))));
    EXPECT_EQ(texts.memoTiShi, "该答题卡第一次阅读！");
    // 2 x 9 + 3 x 8 + partial 1 + subjective 35
    EXPECT_EQ(texts.statusText, "张三78分");
    EXPECT_EQ(texts.windowCaption, "Scorivo-摄像头阅卷版 张三78分");
    const MarkingRecord& r = Record(1);
    EXPECT_EQ(r.readCount, 1);
    EXPECT_EQ(r.studentName.Utf8(), "张三");
    EXPECT_EQ(r.gradeName.Utf8(), "高一");
    EXPECT_EQ(r.classCode.View(), "01");
    EXPECT_EQ(r.subjectiveScore, 35.0f);
    EXPECT_EQ(r.groupScores[0], 18.0f);
    EXPECT_EQ(r.groupScores[1], 25.0f);
    EXPECT_EQ(r.wrongCount, 1);
    EXPECT_EQ(r.missingCount, 1);
    EXPECT_EQ(r.extraCount, 1);

    ASSERT_TRUE(Mark(StudentCard("1001", WithChanges({{1, "B"}, {11, "A"}, {12, "BCD"}}))));
    EXPECT_EQ(state->session.recordCount, 2);
    EXPECT_EQ(Record(1).readCount, 2);
    EXPECT_EQ(texts.memoTiShi, "该答题卡这次阅卷结果和上次相同，已经阅卷次数：2");
    EXPECT_EQ(texts.statusText, "张三78分");
    EXPECT_EQ(acceptor->LastAdmission(), "1001");
}

TEST_P(AcceptanceTest, AReadCountAtItsTopNeverWrapsNegative)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    state->session.records[1].readCount = INT32_MAX;  // as a foreign raw file may carry it
    ASSERT_TRUE(Mark(StudentCard("1001")));
    EXPECT_EQ(Record(1).readCount, INT32_MAX);
}

TEST_P(AcceptanceTest, ThreeDifferencesOverwriteFourAskUnlessSameCardWasLast)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    ASSERT_TRUE(Mark(StudentCard("1002")));

    ASSERT_TRUE(Mark(StudentCard("1001", WithChanges({{2, "A"}, {11, "ABC"}, {20, ""}}))));
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(Record(1).readCount, 2);
    EXPECT_EQ(texts.memoTiShi,
              "该答题卡这次阅卷结果和上次不同，不同的题如下：\r\n"
              "2 B->A\r\n11 AB->ABC\r\n20 CD->\r\n"
              "请移动这张答题卡，多阅卷几次，直到几次都得到相同结果为止。也可以人工核实一下答题卡上出现不同的题,"
              "看是否是涂写不规范。\r\n"
              "如果频繁出现两次阅卷结果不同的情况，请检查是否是光线有问题,检查是否有光线太亮或灯光上方直射等情况。");
    EXPECT_EQ(texts.statusText, "结果和上次不同,请看文字提示信息");
    EXPECT_EQ(texts.windowCaption, "Scorivo-摄像头阅卷版 结果和上次不同,请看文字提示信息");

    ASSERT_TRUE(Mark(StudentCard("1002")));  // another card in between
    AcceptanceTexts before = texts;
    // Four answers differ from the stored record (2, 11 and 20 as before).
    Card four = StudentCard("1001", WithChanges({{2, "A"}, {11, "ABC"}, {20, ""}, {1, "B"}, {3, "D"}, {4, "A"}, {5, "C"}}));
    prompts.answerOk = false;
    EXPECT_FALSE(Mark(four));
    ASSERT_EQ(prompts.questions.size(), 1u);
    const std::string pad(9, ' ');  // each 6-byte entry fills a 15-byte column
    std::string compact = "1 A->B" + pad + "3 C->D" + pad + "4 D->A" + pad + "5 A->C" + pad;
    EXPECT_EQ(prompts.questions[0],
              "准考证号：1001 姓名：张三。这是此答题卡第3次读入，发现不相同的答题很多，如下：\r\n \r\n" + compact +
                  "\r\n本软件认为有可能是学生准卡证号涂错了造成的，请仔细检查当前答题卡上填写的姓名是否是 张三，"
                  "如果不是请按 取消 按钮，然后先把当前答题卡放一边，等最后再将此答题卡的准卡证号修改正确后再读入；"
                  "如果当前答题卡上填写的姓名是 张三，请按 确定 按钮，然后稍微移动答题卡位置多读一次，"
                  "防止光线等原因造成误读。确定要覆盖上一次的阅卷记录吗？");
    // Cancel: nothing stored, texts as they were.
    EXPECT_EQ(Record(1).readCount, 2);
    EXPECT_EQ(Record(1).questionResults[0].answer.View(), "A");
    EXPECT_EQ(texts.memoTiShi, before.memoTiShi);
    EXPECT_EQ(texts.statusText, before.statusText);
    EXPECT_EQ(acceptor->LastAdmission(), "1002");

    // OK: overwritten, and the confirmed differences do not count as a misread.
    automatic = true;
    prompts.answerOk = true;
    ASSERT_TRUE(Mark(four));
    EXPECT_EQ(Record(1).readCount, 3);
    EXPECT_EQ(Record(1).questionResults[0].answer.View(), "B");
    EXPECT_EQ(prompts.questions.size(), 2u);
    EXPECT_EQ(switchedOff, 0);
    EXPECT_EQ(texts.statusText, "张三69分");

    // The same card again with seven differences: it was the last one, no question.
    ASSERT_TRUE(Mark(StudentCard("1001")));
    EXPECT_EQ(prompts.questions.size(), 2u);
    EXPECT_EQ(Record(1).readCount, 4);
    EXPECT_EQ(switchedOff, 1);
    EXPECT_EQ(texts.statusText, "结果和上次不同,已停止自动阅卷,请看文字提示信息");
}

TEST_P(AcceptanceTest, DifferingRereadSwitchesAutomaticMarkingOff)
{
    ASSERT_TRUE(Mark(StandardCard()));
    automatic = true;
    ASSERT_TRUE(Mark(StudentCard("1001")));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    EXPECT_EQ(switchedOff, 0);
    EXPECT_TRUE(automatic);
    ASSERT_TRUE(Mark(StudentCard("1001", WithChanges({{5, "B"}}))));
    EXPECT_EQ(switchedOff, 1);
    EXPECT_FALSE(automatic);
    EXPECT_EQ(texts.statusText, "结果和上次不同,已停止自动阅卷,请看文字提示信息");
    EXPECT_EQ(texts.windowCaption, "Scorivo-摄像头阅卷版 结果和上次不同,已停止自动阅卷,请看文字提示信息");
}

TEST_P(AcceptanceTest, GradeClassAndRosterRefusals)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ExpectRefused(StudentCard("2001"),
                  "准考证号：2001不属于当前选定的年级！\r\n　　如果是准考证号读取有误请移动答题卡重新判断；\r\n"
                  "　　如果是准考证号读取无误,建议把此答题卡先放一边，最后再来核对处理",
                  "不属于当前年级");
    acceptor->selection.allClasses = false;
    acceptor->selection.classText = "01";
    ExpectRefused(StudentCard("1002"),
                  "准考证号：1002不属于当前选定的班级！\r\n　　如果是准考证号读取有误请移动答题卡重新判断；\r\n"
                  "　　如果是准考证号读取无误,建议把此答题卡先放一边，最后再来核对处理",
                  "不属于当前班级");
    EXPECT_TRUE(Mark(StudentCard("1001")));
    ExpectRefused(StudentCard("1 03"),
                  std::string("准考证号：1 03,请检查准考证涂写是否正确。如未发现错误,可能是") + tx::LightingAdvice,
                  "准考证涂写错误或光线有问题");
    EXPECT_EQ(RefusalPlace(texts.refusal), "准考证号第2位");
    EXPECT_EQ(texts.refusal.reason, RefusalReason::NotFilled);
    ExpectRefused(StudentCard("1003"),
                  "准考证号：1003，学生名单中没有此学生,请检查是否填写错误,如果没有填写错误请移动一下答题卡重新读入。",
                  "学生名单中没有此学生");
    // A refusal of the card as a whole names no place.
    EXPECT_FALSE(texts.refusal.Any());
    // Without grade and class coding the other grade's student is taken.
    state->roster.gradeEnabled = 0;
    state->roster.classEnabled = 0;
    EXPECT_TRUE(Mark(StudentCard("2001")));
    EXPECT_EQ(Record(2).gradeName.Utf8(), "高二");
}

TEST_P(AcceptanceTest, SubjectScoreLightingAndAbRefusals)
{
    ASSERT_TRUE(Mark(StandardCard()));
    Card wrongSubject = StudentCard("1001");
    wrongSubject.subject = "01";
    ExpectRefused(wrongSubject,
                  "科目有误请检查，如果填写无误，请移动一下答题卡重新判断。如果确实有误，请修改。"
                  "也可以点 阅卷设置按钮 设置忽略科目检查。",
                  "科目有误");
    Card badScore = StudentCard("1001");
    badScore.score = "3 5";
    ExpectRefused(badScore, "主观分读取失败，如果填写无误，请移动一下答题卡重新判断。如果确实有误，请修改。",
                  "主观分读取失败");
    badScore.score = "   ";
    ExpectRefused(badScore, tx::ScoreMemo, tx::ScoreStatus);
    Card dark = StudentCard("1001");
    dark.lighting = true;
    ExpectRefused(dark, tx::LightingAdvice, "阅卷环境照射光线有问题,请看文字提示信息");
    Card noAb = StudentCard("1001");
    noAb.grids = CardSampler::AbNotMarked;
    ExpectRefused(noAb, "AB卷识别失败,AB卷位置没选中", "AB卷识别失败,AB卷位置没选中");
    EXPECT_EQ(lastLog, std::vector<std::string>{"grids"});
    noAb.grids = CardSampler::AbAmbiguous;
    ExpectRefused(noAb, "AB卷识别失败,可能是光线太暗或AB卷位置有阴影造成",
                  "AB卷识别失败,可能是光线太暗或AB卷位置有阴影造成");

    settings.IgnoreSubjectCheck = 1;
    Card blanksScore = wrongSubject;
    blanksScore.score = " 7 ";
    ASSERT_TRUE(Mark(blanksScore));
    EXPECT_EQ(Record(1).subjectiveScore, 7.0f);
    Card typeB = StudentCard("1001");
    typeB.ab = 1;
    ExpectRefused(typeB, "AB卷类型和上次阅卷时不同,可能是光照有问题或准考证号填错造成,请仔细检查。",
                  "AB卷类型和上次阅卷时不同,请看文字提示信息");
}

TEST_P(AcceptanceTest, JdCardColourMustMatchAbType)
{
    state->templateName = "JD红绿卡.dat";
    Card a = StandardCard();
    a.colour = CardSampler::ColourGreen;
    ExpectRefused(a,
                  "颜色与AB卡类型不符合,可能是光照太弱或不是白色光等原因造成摄像头偏色导致,可以想办法改变光照解决"
                  "（比如开灯）。或者可以点 阅卷设置 按钮,到设置窗体里选中 忽略机读卡颜色 选项。",
                  "颜色与AB卡类型不符合,请看文字提示信息");
    EXPECT_EQ(lastLog, (std::vector<std::string>{"grids", "thumbnail", "grey0", "colour"}));
    a.colour = CardSampler::ColourUndecided;
    ExpectRefused(a, tx::ColourMemo, tx::ColourStatus);
    a.colour = CardSampler::ColourRed;
    ASSERT_TRUE(Mark(a));

    Card b = StudentCard("1001");
    b.ab = 1;
    b.colour = CardSampler::ColourRed;
    ExpectRefused(b, tx::ColourMemo, tx::ColourStatus);
    // With the check off the colour is not even looked at.
    acceptor->checkCardColour = false;
    Card b2 = StudentCard("1002");
    b2.ab = 1;
    b2.colour = CardSampler::ColourRed;
    ASSERT_TRUE(Mark(b2));
    EXPECT_EQ(std::count(lastLog.begin(), lastLog.end(), "colour"), 0);
    EXPECT_EQ(Record(1).paperType, 1);
}

TEST_P(AcceptanceTest, FullStoreRefusesTheNextStudent)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    state->session.recordCount = MarkingSession::MaxRecords;  // slots 2.. hold no admission number
    ExpectRefused(StudentCard("1002"), "阅卷记录已达5000条的上限，不能再保存更多的答题卡。", "阅卷记录已满");
    // A card already stored can still be read again.
    ASSERT_TRUE(Mark(StudentCard("1001")));
    EXPECT_EQ(Record(1).readCount, 2);
}

TEST_P(AcceptanceTest, TenLettersAreRefusedNotCut)
{
    ASSERT_TRUE(Mark(StandardCard()));
    ExpectRefused(StudentCard("1001", WithChanges({{11, "ABCDEFGHIJ"}})),
                  "第11题涂写的选项过多（ABCDEFGHIJ），答案最多只能有9个字母，请检查这道题的涂写。",
                  "答案涂写的选项过多");
}

TEST_P(AcceptanceTest, SavesThePictureOfStudentCardsOnly)
{
    TempDir dir;
    SavePicturesInto(dir.path());
    ASSERT_TRUE(Mark(StandardCard()));
    EXPECT_FALSE(std::filesystem::exists(dir / "原始图片"));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    auto file = dir / "原始图片" / "张三1001-20240102-030405.bmp";
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 54u + 24u);
    EXPECT_TRUE(prompts.messages.empty());

    // A name the file system cannot hold keeps the searchable pattern.
    StudentEntry& s = state->roster.students[1];
    ASSERT_TRUE(s.name.SetUtf8("李/四"));
    ASSERT_TRUE(Mark(StudentCard("1002")));
    EXPECT_TRUE(std::filesystem::exists(dir / "原始图片" / "李_四1002-20240102-030405.bmp"));
    EXPECT_EQ(CardPictureStem("李/四", "1002"), "李_四1002-");
}

TEST_P(AcceptanceTest, FailedPictureSaveShowsMessageAndKeepsTheCard)
{
    TempDir dir;
    settings.SavePictures = 1;
    acceptor->programFolder = dir / "not-a-folder";
    std::ofstream(acceptor->programFolder) << "x";
    std::vector<uint8_t> pixels(4 * 2 * 4, 0x80);
    acceptor->colourFrame = {pixels.data(), 4, 2, 4, 16};
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    EXPECT_EQ(state->session.recordCount, 2);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0],
              "保存原始图片失败,可能是硬盘空间不足造成。可以点 阅卷设置 按钮,在设置窗体中点 浏览图片文件保存文件夹 "
              "按钮,在文件夹里删除以前的文件释放空间;或者去掉 阅卷时保存每张答题卡的原始图片 这个选项的选中");
    EXPECT_EQ(texts.statusText, "张三85分");
}

// A full disk: the picture's file can be made but no byte written to it.
// Linux's /dev/full, linked in where the picture goes, fails every write with
// ENOSPC. The message is shown, the card kept, and nothing is left that the
// marking grid would later take for the card's picture.
TEST_P(AcceptanceTest, APictureAFullDiskCannotHoldIsNotLeftHalfWritten)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    TempDir dir;
    SavePicturesInto(dir.path());
    const auto picture = dir / "原始图片" / "张三1001-20240102-030405.bmp";
    std::filesystem::create_directories(picture.parent_path());
    std::filesystem::create_symlink("/dev/full", picture);
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    EXPECT_EQ(state->session.recordCount, 2);
    EXPECT_EQ(prompts.messages, (std::vector<std::string>{card_picture::SaveFailed}));
    EXPECT_EQ(texts.statusText, "张三85分");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(picture)));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST(EncodeBmp, HeadersAndPaddedBottomUpRows)
{
    // 3 x 2 pixels, 24 bits: 9 bytes a row, padded to 12.
    std::vector<uint8_t> px = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    std::string bmp = EncodeBmp({px.data(), 3, 2, 3, 9});
    ASSERT_EQ(bmp.size(), 54u + 24u);
    auto u32 = [&](int at) {
        return uint32_t(uint8_t(bmp[at])) | uint32_t(uint8_t(bmp[at + 1])) << 8 |
               uint32_t(uint8_t(bmp[at + 2])) << 16 | uint32_t(uint8_t(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 78u);   // file size
    EXPECT_EQ(u32(10), 54u);  // pixel data offset
    EXPECT_EQ(u32(14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(u32(22), 2u);  // positive: bottom-up
    EXPECT_EQ(uint8_t(bmp[28]), 24);
    EXPECT_EQ(u32(34), 24u);
    EXPECT_EQ(bmp.substr(54, 12), std::string("\1\2\3\4\5\6\7\10\11\0\0\0", 12));
    EXPECT_EQ(uint8_t(bmp[66]), 10);
    // 32 bits need no padding; other pixel sizes are refused.
    std::vector<uint8_t> px4(2 * 1 * 4, 7);
    EXPECT_EQ(EncodeBmp({px4.data(), 2, 1, 4, 8}).size(), 54u + 8u);
    EXPECT_TRUE(EncodeBmp({px4.data(), 2, 1, 2, 4}).empty());
    EXPECT_EQ(CardPictureFileName("张三", "1001", {2023, 12, 31, 23, 59, 8}), "张三1001-20231231-235908.bmp");
}

TEST(CompareAnswers, CompactListColumnsAndLines)
{
    MarkingRecord a{}, b{};
    for (int q = 0; q < 7; ++q) {
        ASSERT_TRUE(a.questionResults[q].answer.Set("A"));
        ASSERT_TRUE(b.questionResults[q].answer.Set("B"));
    }
    ASSERT_TRUE(a.questionResults[7].answer.Set("ABCDEFGHI"));  // question 8: a 20-byte entry
    auto d = CompareAnswers(a, b, 8);
    EXPECT_EQ(d.count, 8);
    std::string expected;
    for (int q = 1; q <= 5; ++q)
        expected += std::to_string(q) + " A->B" + std::string(9, ' ');
    expected += "\r\n";  // 75 bytes: a new line
    // After the line break the columns count from the start of the list: 77 + 6 pads to 90.
    expected += "6 A->B" + std::string(7, ' ');
    expected += "7 A->B" + std::string(9, ' ');         // 105
    expected += "8 ABCDEFGHI->" + std::string(2, ' ');  // 118 pads to 120
    EXPECT_EQ(d.compact, expected);
    EXPECT_EQ(d.detail, "1 A->B\r\n2 A->B\r\n3 A->B\r\n4 A->B\r\n5 A->B\r\n6 A->B\r\n7 A->B\r\n8 ABCDEFGHI->\r\n");
}

TEST(ParseScoreDigits, BlanksAroundOnly)
{
    float v = -1;
    EXPECT_TRUE(ParseScoreDigits(" 12 ", v));
    EXPECT_EQ(v, 12.0f);
    EXPECT_TRUE(ParseScoreDigits("0075", v));
    EXPECT_EQ(v, 75.0f);
    EXPECT_FALSE(ParseScoreDigits("1 2", v));
    EXPECT_FALSE(ParseScoreDigits("    ", v));
    EXPECT_FALSE(ParseScoreDigits("", v));
    // A column of ink without a clear row, wherever it stands, gives no number.
    v = -1;
    EXPECT_FALSE(ParseScoreDigits("51?", v));
    EXPECT_FALSE(ParseScoreDigits("?11", v));
    EXPECT_FALSE(ParseScoreDigits(" ? ", v));
    EXPECT_EQ(v, -1.0f);
    EXPECT_TRUE(ParseScoreDigits("  7", v));
    EXPECT_EQ(v, 7.0f);
}

// A column that holds ink but picks no row stops the card in every digit
// field, whether the rest would name a student, the standard answer or a score.
TEST_P(AcceptanceTest, UnclearDigitColumnsAreRefusedNeverDropped)
{
    const std::string blankDigit = std::string(tx::BlankDigitMemo) + tx::LightingAdvice;
    // As the first card: "   ?" is not an empty number, and not a number either.
    ExpectRefused(StudentCard("   ?"), "准考证号：   ?" + blankDigit, tx::BlankDigitStatus);
    ASSERT_TRUE(Mark(StandardCard()));
    ASSERT_TRUE(Mark(StudentCard("1001")));
    // The number read so far is a student's; the unclear column could be any digit.
    ExpectRefused(StudentCard("100?"), "准考证号：100?" + blankDigit, tx::BlankDigitStatus);
    // The texts stay as they are; the place is named beside them. A sampler
    // that cannot tell why a column is unclear leaves it "unclear".
    EXPECT_EQ(RefusalPlace(texts.refusal), "准考证号第4位");
    EXPECT_EQ(texts.refusal.reason, RefusalReason::UnclearDigit);
    ExpectRefused(StudentCard("?   "), "准考证号：?   " + blankDigit, tx::BlankDigitStatus);

    Card score = StudentCard("1002");
    score.score = "51?";  // 511 written, the last digit unread
    ExpectRefused(score, tx::ScoreMemo, tx::ScoreStatus);
    EXPECT_EQ(RefusalPlace(texts.refusal), "主观分第3位");
    score.score = "?11";
    ExpectRefused(score, tx::ScoreMemo, tx::ScoreStatus);
    Card subject = StudentCard("1002");
    subject.subject = "0?";
    ExpectRefused(subject, tx::SubjectMemo, tx::SubjectStatus);

    // Leading blanks of a score are columns left empty.
    score.score = "  7";
    ASSERT_TRUE(Mark(score));
    EXPECT_EQ(Record(2).subjectiveScore, 7.0f);
    EXPECT_EQ(Record(1).readCount, 1);
}

INSTANTIATE_TEST_SUITE_P(SamplingAsked, AcceptanceTest, ::testing::Values(false),
                         [](const auto&) { return std::string("Directly"); });
INSTANTIATE_TEST_SUITE_P(SamplingReadAhead, AcceptanceTest, ::testing::Values(true),
                         [](const auto&) { return std::string("Ahead"); });

// The read-ahead stops only where the card alone decides a refusal; a refusal
// that needs the session (a number not in the roster) is read past, and
// acceptance still stops where it always did.
TEST(ReadAheadSampler, ReadsPastRefusalsThatNeedTheSessionOnlyAndRefusesCallsOutOfStep)
{
    auto state = NewMarkingSessionState();
    state->templateName = "DY标准85题自动AB卷.dat";
    state->cardTemplate = exam_test::MakeTemplate(85, true);
    state->cardTemplate.AdmColumns = 10;
    state->cardTemplate.SubjColumns = 2;
    state->cardTemplate.SubjRows = 10;
    state->roster.admissionLength = 4;
    auto page = exam_test::MakePage({{"1", "10", "2", "单选题"}}, {});
    ASSERT_TRUE(CheckExamPage(state->cardTemplate, page, state->exam).passed);

    Card unknown;
    unknown.admission = "9999";
    unknown.answers.assign(10, "A");
    ScriptedSampler script(unknown);
    LoggingSampler card(script);
    ReadAheadSampler ahead(card, *state, true);
    EXPECT_EQ(card.log, (std::vector<std::string>{"grids", "thumbnail", "grey0", "prepare adm 10x10",
                                                  "prepare subj 2x10", "prepare score 3x10", "blocks", "read adm 4x10",
                                                  "read subj 2x10", "read score 3x10", "answers"}));
    // Asked in its order, each call gets what the card gave.
    EXPECT_EQ(ahead.BuildSamplingGrids(), CardSampler::GridsOk);
    ahead.DrawThumbnail();
    ahead.ResetGreyMode();
    // Out of step: the answer blocks before the digit columns.
    EXPECT_THROW(ahead.PrepareAnswerBlocks(), std::logic_error);

    // An unclear admission digit ends the reading, as it ends acceptance.
    unknown.admission = "99?9";
    ScriptedSampler unclear(unknown);
    LoggingSampler unclearCard(unclear);
    ReadAheadSampler stopped(unclearCard, *state, true);
    EXPECT_EQ(unclearCard.log.back(), "read adm 4x10");
    // A JD card whose print does not fit its paper: nothing after the colour.
    state->templateName = "JD红绿卡.dat";
    unknown.colour = CardSampler::ColourGreen;
    ScriptedSampler green(unknown);
    LoggingSampler greenCard(green);
    ReadAheadSampler colour(greenCard, *state, true);
    EXPECT_EQ(greenCard.log, (std::vector<std::string>{"grids", "thumbnail", "grey0", "colour"}));
}

} // namespace
