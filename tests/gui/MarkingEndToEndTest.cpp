// A whole marking session through the window, as a teacher runs it: 新阅卷
// with the 85-question card, a roster with a grade and two classes pasted
// into the student page, the exam page filled, the virtual camera playing the
// demo stack while automatic marking reads it, then the raw file saved,
// the session started anew and the file opened again. With
// SCORIVO_SCREENS_DIR set, the page is saved as a picture in mid-run.
//
// The camera is at manual pace and the test hands over one frame per tick
// of Timer1; the stillness of automatic marking is timed in frames (100 ms
// each), so the run does not depend on how busy the machine is.
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <map>

#include "../capture/FakeV4l2.h"
#include "StudentExamSupport.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"
#include "capture/ui/CameraDriver.h"
#include "capture/ui/DemoCardPictures.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "marking/Acceptance.h"
#include "marking/ui/MarkingGridModel.h"
#include "platform/NumberFormat.h"

namespace {

constexpr char kCard[] = "DY标准85题自动AB卷.dat";
constexpr int kTotalColumn = 7;

// Time as the frames handed over so far: 10 frames a second.
struct FrameClock final : TickClock {
    int64_t frames = 0;
    int64_t NowMs() override { return frames * 100; }
};

struct EndToEnd : GuiFixture {
    EndToEnd()
    {
        CopyShipped(*this, std::string("模板文件/") + kCard);
        MakeDriver();
    }
    // The window closed and the program started again on the same folder.
    TMainForm& StartAgain()
    {
        form.reset();
        driver.reset();
        camera.reset();
        MakeDriver();
        TMainForm& f = Start();
        driver->Attach(f);
        return f;
    }
    void MakeDriver()
    {
        CaptureController::Services s;
        s.io = std::make_shared<FakeV4l2Io>();  // no real cameras: only the virtual one
        s.makeVirtual = [this]() -> std::shared_ptr<CameraSource> {
            camera = std::make_shared<VirtualCamera>(std::make_shared<DemoCardPictures>(), subtype::Yuy2,
                                                     VirtualCamera::Pace::Manual);
            return camera;
        };
        driver = std::make_unique<CameraDriver>(prompts, s, &clock);
        services.camera = driver->Port();
    }
    // One frame to the camera, one tick of Timer1.
    void Frame()
    {
        ASSERT_TRUE(camera->DeliverNextFrame());
        ++clock.frames;
        driver->findChild<FrameTimer*>()->Timer1Timer();
    }
    MarkingGridModel& Grid() const { return *form->SGridYJModel(); }
    std::vector<std::vector<QString>> GridTexts() const
    {
        std::vector<std::vector<QString>> rows;
        for (int r = 0; r < Grid().rowCount(); ++r) {
            rows.emplace_back();
            for (int c = 0; c < Grid().columnCount(); ++c)
                rows.back().push_back(Grid().Text(r, c));
        }
        return rows;
    }

    FrameClock clock;
    std::unique_ptr<CameraDriver> driver;
    std::shared_ptr<VirtualCamera> camera;
};

// The demo roster's students as the clipboard holds them, one class.
QString ClassOnClipboard(const StudentRoster& demo, const char* classCode)
{
    QString text;
    for (int i = 0; i < demo.studentCount; ++i)
        if (demo.students[i].classCode.View() == classCode)
            text += QString::fromUtf8(demo.students[i].admissionNumber.Utf8()) + QLatin1Char('\t') +
                    QString::fromUtf8(demo.students[i].name.Utf8()) + QStringLiteral("\r\n");
    return text;
}

// A text as the prompt memo shows it: its line breaks without carriage returns.
std::string Shown(std::string text)
{
    std::erase(text, '\r');
    return text;
}

// The total of a demo card under this test's exam: questions 1-40 single
// choice at 1 point, 41-85 multiple choice at 2, plus the subjective score.
float ExpectedTotal(const cardprint::FilledCard& card, const std::vector<std::string>& key)
{
    float total = 0;
    for (int q = 0; q < 85; ++q)
        if (q < int(card.answers.size()) && card.answers[q] == key[q])
            total += q < 40 ? 1.0f : 2.0f;
    std::string digits;
    for (char c : card.score)
        if (c >= '0' && c <= '9')
            digits += c;
    return total + (digits.empty() ? 0.0f : float(std::stoi(digits)));
}

TEST(MarkingEndToEnd, DemoStackMarkedSavedAndOpenedAgain)
{
    EndToEnd fx;
    TestMainForm& f = fx.Start();
    fx.driver->Attach(f);
    f.activateWindow();

    // Page 1: 新阅卷 with the 85-question card.
    WhenShown(f.FormCard(), [](TFormCard& d) {
        for (QTreeWidget* list : {d.LVCards1, d.LVCards2})
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                if (list->topLevelItem(i)->text(0) == QString::fromUtf8(kCard)) {
                    list->setCurrentItem(list->topLevelItem(i));
                    if (list == d.LVCards1)
                        d.LVCards1Click(list->topLevelItem(i));
                    else
                        d.LVCards2Click(list->topLevelItem(i));
                }
        d.BtnDaiRu->click();
    });
    f.BtnNewYJClick();
    ASSERT_EQ(f.Session->templateName, kCard);
    ASSERT_EQ(f.Session->cardTemplate.QuestionCount, 85);
    f.BtnNext1Click();
    ASSERT_EQ(f.ActivePage(), 2);

    // Page 2: the virtual camera.
    f.BtnConn->click();
    ASSERT_NE(fx.camera, nullptr);
    f.BtnNext2Click();
    ASSERT_EQ(f.ActivePage(), 3);

    // Page 3: grade 初三 (code 00003), classes of two digits, the demo
    // roster's admission numbers taken as they are (no prefix link).
    f.CBAllowNJ->setChecked(true);
    f.CBAllowNJClick();
    f.BtnNianJiAddClick();
    SetCell(f.SGridNJ, 0, 1, "初三");
    SetCell(f.SGridNJ, 0, 2, "00003");
    f.GroupBoxNJExit();
    f.CBNJSelectedEnter();
    f.CBNJSelected->setCurrentIndex(0);
    ASSERT_EQ(f.Session->roster.selectedGrade.code.Utf8(), "00003");
    f.CBAllowBJ->setChecked(true);
    f.CBAllowBJClick();
    f.EdtBJCodeLen->setText(QStringLiteral("2"));
    f.EdtBJSelected->setText(QStringLiteral("01"));
    f.CBRelation->setChecked(false);
    f.CBRelationClick();
    f.EdtAdmissionLen->setText(QStringLiteral("9"));
    f.EdtAdmissionLenExit();
    const StudentRoster demo = cardprint::ShippedRoster();
    QGuiApplication::clipboard()->setText(ClassOnClipboard(demo, "01"));
    fx.prompts.Answer(PromptAnswer::Yes);  // enter students now
    f.BtnXueShengPasteFromClick();
    ASSERT_EQ(f.SGridXS->rowCount(), 20);
    f.EdtBJSelected->setText(QStringLiteral("02"));
    ASSERT_EQ(f.SGridXS->rowCount(), 0);
    QGuiApplication::clipboard()->setText(ClassOnClipboard(demo, "02"));
    f.BtnXueShengPasteFromClick();
    ASSERT_EQ(f.SGridXS->rowCount(), 20);
    fx.prompts.Answer(PromptAnswer::No);  // no student file; the session keeps the students
    f.BtnNext3Click();
    ASSERT_EQ(f.ActivePage(), 4);
    const StudentRoster& roster = f.Session->roster;
    ASSERT_EQ(roster.studentCount, 40);
    EXPECT_EQ(roster.gradeEnabled, 1);
    EXPECT_EQ(roster.classEnabled, 1);
    for (int i = 0; i < 40; ++i) {
        const int d = demo.FindStudent(roster.students[i].admissionNumber.View());
        ASSERT_GE(d, 0) << i;
        EXPECT_EQ(roster.students[i].name.View(), demo.students[d].name.View());
        EXPECT_EQ(roster.students[i].classCode.View(), demo.students[d].classCode.View());
        EXPECT_EQ(roster.students[i].gradeCode.Utf8(), "00003");
    }

    // Page 4: the exam, the demo subject with its subjective score.
    f.EdtKSName->setText(QStringLiteral("期中考试"));
    f.CBSelectedKeMu->setCurrentIndex(f.CBSelectedKeMu->findText(QStringLiteral("数学")));
    f.CBSelectedZG->setCurrentIndex(f.CBSelectedZG->findText(QStringLiteral("有主观题分")));
    while (f.SGridTF->rowCount() < 2)
        f.SGridTF->insertRow(f.SGridTF->rowCount());
    SetCell(f.SGridTF, 0, 1, "1");
    SetCell(f.SGridTF, 0, 2, "40");
    SetCell(f.SGridTF, 0, 3, "1");
    SetCell(f.SGridTF, 0, 4, "单选题");
    SetCell(f.SGridTF, 1, 1, "41");
    SetCell(f.SGridTF, 1, 2, "85");
    SetCell(f.SGridTF, 1, 3, "2");
    SetCell(f.SGridTF, 1, 4, "多选题");
    f.BtnNext4Click();
    ASSERT_EQ(f.ActivePage(), 5) << (fx.prompts.shown.empty() ? "" : fx.prompts.shown.back().text);
    EXPECT_EQ(f.Session->exam.subjectCode.Utf8(), cardprint::DemoSubjectCode());
    EXPECT_EQ(f.Session->exam.questionCount, 85);
    EXPECT_EQ(f.Session->exam.hasSubjectiveScore, 1);

    // Page 5: grade 初三, class 01, automatic marking on.
    f.resize(1180, 820);
    QApplication::processEvents();
    ASSERT_EQ(f.NJYJ->count(), 1);
    EXPECT_EQ(f.NJYJ->itemText(0), QStringLiteral("初三"));
    ASSERT_EQ(f.BJYJ->count(), 3);  // 所有班级, 01, 02
    f.NJYJ->setCurrentIndex(0);
    f.BJYJ->setCurrentIndex(1);
    EXPECT_EQ(f.BJYJ->currentText(), QStringLiteral("01"));
    f.BtnAutoAnswerCard->click();
    ASSERT_EQ(f.BtnAutoAnswerCard->text(), QStringLiteral("关闭自动阅卷"));

    // One pass through the stack; what each card left when it was about to
    // slide out again.
    const auto stack = cardprint::DemoCardStack();
    const int perCard = int(fx.camera->FramesPerCard());
    const VirtualCamera::Timing timing;
    ASSERT_EQ(fx.camera->PassFrames(), int64_t(perCard) * int64_t(stack.size()));
    std::vector<std::string> status(stack.size());
    std::vector<std::string> memo(stack.size());
    std::vector<int> records(stack.size());
    const std::size_t screenCard = 5;  // a student with many wrong answers
    for (std::size_t c = 0; c < stack.size(); ++c) {
        for (int i = 0; i < timing.slideFrames + timing.stillFrames; ++i)
            fx.Frame();
        status[c] = f.StatusText;
        memo[c] = f.MemoTiShi->toPlainText().toStdString();
        records[c] = f.Session->session.recordCount;
        if (c == screenCard)
            SaveScreen(f, "5-阅卷中.png");
        for (int i = 0; i < timing.slideFrames; ++i)
            fx.Frame();
    }
    f.BtnAutoAnswerCard->click();

    // Record 0 is the standard answer, then each class-01 student once; the
    // class-02 cards and the stranger are refused; the re-read counts twice.
    const std::vector<std::string>& key = stack[0].card.answers;
    const MarkingSession& session = f.Session->session;
    EXPECT_EQ(status[0], acceptance_texts::StandardReadStatus);
    std::map<std::string, int> marked;  // admission number -> record
    int expectedRecords = 1;
    for (std::size_t c = 1; c < stack.size(); ++c) {
        SCOPED_TRACE(stack[c].note + " " + stack[c].card.admission);
        const std::string& adm = stack[c].card.admission;
        const int d = demo.FindStudent(adm);
        const std::string result = stack[c].studentName + FormatScore(ExpectedTotal(stack[c].card, key)) + "分";
        if (d < 0) {
            EXPECT_EQ(status[c], acceptance_texts::NotInRosterStatus);
            EXPECT_EQ(memo[c], Shown(acceptance_texts::NumberPrefix + adm + acceptance_texts::NotInRosterMemo));
        } else if (demo.students[d].classCode.View() != "01") {
            EXPECT_EQ(status[c], acceptance_texts::OtherClassStatus);
            EXPECT_EQ(memo[c], Shown(acceptance_texts::NumberPrefix + adm + acceptance_texts::OtherClassMemo));
        } else if (marked.count(adm)) {
            // Read again with the same answers: the same result, counted twice.
            EXPECT_EQ(status[c], result);
            EXPECT_EQ(memo[c], std::string(acceptance_texts::SameAgainMemo) + "2");
        } else {
            marked[adm] = expectedRecords++;
            EXPECT_EQ(status[c], result);
            EXPECT_EQ(memo[c], acceptance_texts::FirstReading);
        }
        EXPECT_EQ(records[c], expectedRecords);
    }
    ASSERT_EQ(session.recordCount, 9);
    EXPECT_EQ(session.records[0].admissionNumber.View().find_first_not_of(' '), std::string_view::npos);
    for (const auto& [adm, record] : marked) {
        SCOPED_TRACE(adm);
        const MarkingRecord& r = session.records[record];
        EXPECT_EQ(r.admissionNumber.View(), adm);
        EXPECT_EQ(r.readCount, adm == stack[2].card.admission ? 2 : 1);
    }

    // The grid: the standard answer and the eight students, their totals, and
    // red exactly where the student's answer is not the key.
    MarkingGridModel& grid = fx.Grid();
    ASSERT_EQ(grid.rowCount(), 9);
    EXPECT_EQ(grid.RecordAt(0), 0);
    for (int row = 1; row < grid.rowCount(); ++row) {
        const MarkingRecord& r = session.records[grid.RecordAt(row)];
        const std::string adm(r.admissionNumber.View());
        SCOPED_TRACE(adm);
        std::size_t c = 1;
        while (c < stack.size() && stack[c].card.admission != adm)
            ++c;
        ASSERT_LT(c, stack.size());
        EXPECT_EQ(grid.RecordAt(row), marked[adm]);
        EXPECT_EQ(grid.Text(row, marking_grid::AdmissionColumn).toStdString(), adm);
        EXPECT_EQ(grid.Text(row, marking_grid::NameColumn).toStdString(), stack[c].studentName);
        EXPECT_EQ(grid.Text(row, kTotalColumn).toStdString(), FormatScore(ExpectedTotal(stack[c].card, key)));
        for (int q = 0; q < 85; ++q)
            EXPECT_EQ(grid.DiffersFromKey(row, marking_grid::FixedColumns + q), stack[c].card.answers[q] != key[q])
                << "question " << q + 1;
    }
    const auto before = fx.GridTexts();

    // Saved, started anew, opened again.
    f.BtnSaveClick();
    const std::filesystem::path saved = fx.home / files::FromUtf8("阅卷原始文件/期中考试数学.yj");
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_FALSE(f.UnsavedChanges());
    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnNewYJClick();
    EXPECT_EQ(f.Session->session.recordCount, 0);
    EXPECT_EQ(f.Session->roster.studentCount, 0);
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(saved)));
    f.BtnOpenYJFile1Click();
    EXPECT_EQ(f.Session->templateName, kCard);
    f.BtnNext1Click();
    f.BtnNext2Click();
    f.BtnNext3Click();
    f.BtnNext4Click();
    ASSERT_EQ(f.ActivePage(), 5);
    EXPECT_EQ(f.NJYJ->currentText(), QStringLiteral("初三"));
    EXPECT_EQ(f.BJYJ->currentText(), QStringLiteral("01"));
    EXPECT_EQ(fx.GridTexts(), before);
    EXPECT_EQ(f.Session->session.records[marked[stack[2].card.admission]].readCount, 2);
    EXPECT_EQ(fx.prompts.unanswered, 0);

    // The same in a program started again: nothing is left over in the window.
    f.Session->unsavedChanges = false;
    TMainForm& g = fx.StartAgain();
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(saved)));
    g.BtnOpenYJFile1Click();
    g.BtnNext1Click();
    g.BtnConn->click();
    g.BtnNext2Click();
    EXPECT_TRUE(g.CBAllowNJ->isChecked());
    EXPECT_TRUE(g.CBAllowBJ->isChecked());
    g.BtnNext3Click();
    g.BtnNext4Click();
    ASSERT_EQ(g.ActivePage(), 5);
    EXPECT_EQ(g.NJYJ->currentText(), QStringLiteral("初三"));
    EXPECT_EQ(g.BJYJ->currentText(), QStringLiteral("01"));
    EXPECT_EQ(fx.GridTexts(), before);
    g.Session->unsavedChanges = false;

    // Nothing but the questions of the student page and the open dialog came up:
    // no message while the stack was marked, saved and opened again.
    std::vector<std::string> asked;
    for (const auto& shown : fx.prompts.shown)
        asked.push_back(shown.text);
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0], "请先设置好其它选项，输入学生数据后其它选项将不能修改，是否要立即输入学生数据?");
    EXPECT_EQ(asked[1].rfind("是否保存对当前学生信息文件的更改？", 0), 0u);
    EXPECT_EQ(asked[2], "打开阅卷原始文件");
    EXPECT_EQ(asked[3], "打开阅卷原始文件");
    EXPECT_EQ(fx.prompts.unanswered, 0);
}

} // namespace
