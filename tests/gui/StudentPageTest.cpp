// The student page: the roster shown and folded back, the locked settings,
// batch entry, pasting, deleting, the checks and the student file commands.
#include <QClipboard>
#include <QGroupBox>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

#include "StudentExamSupport.h"
#include "students/StudentFile.h"
#include "students/ui/ClassSizeDialog.h"

namespace {

constexpr int kAdm = 1, kName = 2, kGrade = 3, kClass = 4;

// A window on page 3 with an empty roster; settings as the test sets them.
struct StudentPage {
    GuiFixture fx;
    TestMainForm& f;
    StudentPage() : f(fx.Start())
    {
        f.Session->roster.Reset();
        f.activateWindow();
    }
    // Enters page 3 (once the test has set up the roster).
    void Enter() { EnterStudentPage(fx, f); }
    // Classes on with code length 2 and class `code`, grades off, the link
    // switch cleared, admission length 9, prefix as given.
    void ClassesOnly(const char* code, const char* prefix)
    {
        Enter();
        f.CBAllowBJ->setChecked(true);
        f.CBAllowBJClick();
        f.EdtBJCodeLen->setText(QStringLiteral("2"));
        f.EdtBJSelected->setText(QString::fromUtf8(code));
        f.CBRelation->setChecked(false);
        f.CBRelationClick();
        f.EdtAdmissionLen->setText(QStringLiteral("9"));
        f.EdtAdmissionSub->setText(QString::fromUtf8(prefix));
    }
    void Batch(const char* count)
    {
        WhenShown(f.Form3, [count](TForm3& d) {
            QTest::keyClicks(d.Edit1, QString::fromUtf8(count));
            d.BtnOK->click();
        });
        f.BtnXueShengAddBatchClick();
    }
    void AddStudent(const char* adm, const char* name, const char* grade, const char* cls)
    {
        StudentEntry e{};
        (void)e.admissionNumber.SetUtf8(adm);
        (void)e.name.SetUtf8(name);
        (void)e.gradeCode.SetUtf8(grade);
        (void)e.classCode.SetUtf8(cls);
        ASSERT_TRUE(f.Session->roster.AppendStudent(e));
    }
    std::string RosterName(int i) const { return f.Session->roster.students[i].name.Utf8(); }
};

TEST(StudentPage, DefaultRosterIsShownLockedWithItsFileAndHint)
{
    GuiFixture fx;
    CopyShipped(fx, "学生信息文件/测试.xs");
    TestMainForm& f = fx.Start();
    f.resize(840, 688);
    StartNewMarking(fx, f);
    EnterStudentPage(fx, f);

    const StudentRoster& r = f.Session->roster;
    ASSERT_GT(r.studentCount, 0);
    int shown = 0;
    for (int i = 0; i < r.studentCount; ++i)
        shown += r.IsInView(i, r.selectedClassCode.View()) ? 1 : 0;
    EXPECT_EQ(f.SGridXS->rowCount(), shown);
    EXPECT_EQ(Cell(f.SGridXS, 0, 0), QStringLiteral("1"));
    EXPECT_EQ(f.LblCurrentXSFileName->text(), QStringLiteral("当前学生文件：测试.xs"));
    EXPECT_TRUE(f.CheshixstsLabel->isVisible());
    EXPECT_EQ(f.LblXSTiShi->text(),
              QStringLiteral("当前学生信息文件有些设置已经不能再修改。如有需要，请点击“新建学生信息文件”按钮"));
    EXPECT_FALSE(f.CBAllowNJ->isEnabled());
    EXPECT_FALSE(f.EdtAdmissionLen->isEnabled());
    EXPECT_TRUE(f.EdtBJSelected->isEnabled() || !f.CBAllowBJ->isChecked());
    EXPECT_FALSE(f.BtnXSSave->isEnabled());
    for (const char* name : {"GroupBoxNJ", "SGridNJ", "BtnNianJiAdd", "BtnNianJiDelete", "CBAllowBJ", "EdtBJCodeLen",
                             "CBNJSelected", "EdtBJSelected", "LblBJ4", "CBRelation", "EdtAdmissionSub", "SGridXS",
                             "BtnXueShengAdd", "BtnXueShengDelete", "BtnXueShengAddBatch", "BtnXueShengDeleteAll",
                             "BtnXueShengPasteFrom", "BtnXueShengPasteFromName", "BtnXSNew", "BtnXSOpenAs",
                             "BtnXSSave", "BtnXSSaveAs", "ExcelMemo"})
        EXPECT_NE(f.findChild<QWidget*>(QString::fromUtf8(name)), nullptr) << name;
    SaveScreen(f, "3-学生信息设置.png");
}

TEST(StudentPage, BatchEntryNumbersTheClassAfterThePrefix)
{
    StudentPage p;
    p.ClassesOnly("03", "2010");
    p.fx.prompts.Answer(PromptAnswer::Yes);  // enter students now
    p.Batch("3");
    EXPECT_EQ(p.fx.prompts.shown.at(0).text,
              "请先设置好其它选项，输入学生数据后其它选项将不能修改，是否要立即输入学生数据?");
    ASSERT_EQ(p.f.SGridXS->rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(Cell(p.f.SGridXS, r, kAdm), QStringLiteral("20100000%1").arg(r + 1));
        EXPECT_EQ(Cell(p.f.SGridXS, r, kClass), QStringLiteral("03"));
        EXPECT_EQ(Cell(p.f.SGridXS, r, kGrade), QString());
    }
    EXPECT_EQ(p.f.SGridXS->currentRow(), 0);
    EXPECT_EQ(p.f.SGridXS->currentColumn(), kName);
    EXPECT_TRUE(p.f.XSLocked);
    EXPECT_FALSE(p.f.CBAllowBJ->isEnabled());
    EXPECT_TRUE(p.f.BtnXSSave->isEnabled());

    // A second batch needs an empty table.
    p.f.BtnXueShengAddBatchClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "请先删除学生名单列表框中已有的所有数据！");
    EXPECT_EQ(p.fx.prompts.unanswered, 0);
}

TEST(StudentPage, ClassSizeAboveAThousandKeepsTheDialogOpen)
{
    StudentPage p;
    p.ClassesOnly("01", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    bool stayedOpen = false;
    WhenShown(p.f.Form3, [&](TForm3& d) {
        QTest::keyClicks(d.Edit1, QStringLiteral("1001"));
        d.BtnOK->click();
        stayedOpen = d.isVisible() && d.Edit1->text().isEmpty();
        QTest::keyClicks(d.Edit1, QStringLiteral("10x00"));  // the letter is dropped
        QTest::keyClick(d.Edit1, Qt::Key_Return);
    });
    p.f.BtnXueShengAddBatchClick();
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(p.fx.prompts.WasShown("班级人数不能大于1000，请重新输入"));
    ASSERT_EQ(p.f.SGridXS->rowCount(), 1000);
    EXPECT_EQ(Cell(p.f.SGridXS, 999, kAdm), QStringLiteral("000001000"));
}

TEST(StudentPage, NoToTheFirstEntryQuestionAddsNothing)
{
    StudentPage p;
    p.ClassesOnly("01", "");
    p.fx.prompts.Answer(PromptAnswer::No);
    p.f.BtnXueShengAddClick();
    EXPECT_EQ(p.f.SGridXS->rowCount(), 0);
    EXPECT_FALSE(p.f.XSLocked);
}

TEST(StudentPage, PastedNumbersAreCompletedOnlyWhenAllAreShort)
{
    StudentPage p;
    p.ClassesOnly("03", "2010");
    QGuiApplication::clipboard()->setText(QStringLiteral("1\t张三\r\n12\t李四\r\n"));
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.f.BtnXueShengPasteFromClick();
    ASSERT_EQ(p.f.SGridXS->rowCount(), 2);
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kAdm), QStringLiteral("201000001"));
    EXPECT_EQ(Cell(p.f.SGridXS, 1, kAdm), QStringLiteral("201000012"));
    EXPECT_EQ(Cell(p.f.SGridXS, 1, kName), QStringLiteral("李四"));
    EXPECT_EQ(Cell(p.f.SGridXS, 1, kClass), QStringLiteral("03"));
    EXPECT_TRUE(p.f.XSLocked);

    // Names of the same number of rows replace the names.
    QGuiApplication::clipboard()->setText(QStringLiteral("王五\n赵六"));
    p.f.BtnXueShengPasteFromNameClick();
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kName), QStringLiteral("王五"));
    QGuiApplication::clipboard()->setText(QStringLiteral("王五"));
    p.f.BtnXueShengPasteFromNameClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "复制的行数和现在列表中的行数不一致，请确保一致！");
    QGuiApplication::clipboard()->setText(QStringLiteral("1\t王五\n2\t赵六"));
    p.f.BtnXueShengPasteFromNameClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "只需复制姓名一列的数据，请重新复制！");
    // A name the student file cannot hold is refused; nothing changes.
    QGuiApplication::clipboard()->setText(QStringLiteral("王五\n🙂"));
    p.f.BtnXueShengPasteFromNameClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "姓名中有无法保存的字符：🙂");
    EXPECT_EQ(Cell(p.f.SGridXS, 1, kName), QStringLiteral("赵六"));
}

TEST(StudentPage, LongPastedNumbersAreTakenAsTheyAreAndTheCheckRefusesTheShortOne)
{
    StudentPage p;
    p.ClassesOnly("03", "2010");
    QGuiApplication::clipboard()->clear();
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.f.BtnXueShengPasteFromClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "非法粘贴");
    EXPECT_EQ(p.f.SGridXS->rowCount(), 0);

    QGuiApplication::clipboard()->setText(QStringLiteral("201000001\t张三\n5\t李四\n"));
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.f.BtnXueShengPasteFromClick();
    ASSERT_EQ(p.f.SGridXS->rowCount(), 2);
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kAdm), QStringLiteral("201000001"));
    EXPECT_EQ(Cell(p.f.SGridXS, 1, kAdm), QStringLiteral("5"));

    p.f.BtnNext3Click();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "（学生：李四）输入的准考证长度和设置的准考证长度不符合！");
    EXPECT_EQ(p.f.ActivePage(), 3);
    EXPECT_EQ(p.f.SGridXS->currentRow(), 1);
    EXPECT_EQ(p.f.SGridXS->currentColumn(), kAdm);
    EXPECT_NE(OpenEditor(p.f.SGridXS), nullptr);
}

TEST(StudentPage, MissingNamesAskBelowHalfAndRefuseFromHalf)
{
    StudentPage p;
    p.ClassesOnly("01", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.Batch("8");
    for (int r = 0; r < 5; ++r)
        SetCell(p.f.SGridXS, r, kName, "某某");
    p.fx.prompts.Answer(PromptAnswer::Cancel);
    p.f.BtnNext3Click();
    EXPECT_EQ(p.fx.prompts.shown.back().kind, PromptKind::OkCancel);
    EXPECT_EQ(p.fx.prompts.shown.back().text.rfind("以下准考证号的学生姓名未输入：000000006 000000007 000000008 ", 0), 0u);
    EXPECT_EQ(p.f.ActivePage(), 3);

    SetCell(p.f.SGridXS, 4, kName, "");
    p.f.BtnNext3Click();
    EXPECT_EQ(p.fx.prompts.shown.back().kind, PromptKind::Message);
    EXPECT_EQ(p.fx.prompts.shown.back().text,
              "请输入准考证号对应的学生姓名，以便阅卷时立即核对学生姓名和准卡证号是否对应。");
    EXPECT_EQ(p.f.ActivePage(), 3);
}

TEST(StudentPage, DeleteAllKeepsTheStudentsOfOtherGrades)
{
    StudentPage p;
    StudentRoster& r = p.f.Session->roster;
    r.gradeEnabled = 1;
    r.gradeCount = 2;
    (void)r.grades[0].name.SetUtf8("初一");
    (void)r.grades[0].code.SetUtf8("00001");
    (void)r.grades[1].name.SetUtf8("初二");
    (void)r.grades[1].code.SetUtf8("00002");
    r.selectedGrade = r.grades[0];
    p.AddStudent("000010001", "甲", "00001", "");
    p.AddStudent("000020001", "乙", "00002", "");
    p.AddStudent("000010002", "丙", "00001", "");
    p.Enter();
    ASSERT_EQ(p.f.CBNJSelected->currentIndex(), 0);
    ASSERT_EQ(p.f.SGridXS->rowCount(), 2);

    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.f.BtnXueShengDeleteAllClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "确定要删除学生名单列表框中的所有数据吗？");
    EXPECT_EQ(p.f.SGridXS->rowCount(), 0);
    ASSERT_EQ(r.studentCount, 1);
    EXPECT_TRUE(p.f.XSLocked);  // grade B's student keeps the settings locked

    p.f.CBNJSelected->setCurrentIndex(1);
    ASSERT_EQ(p.f.SGridXS->rowCount(), 1);
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kName), QStringLiteral("乙"));
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kGrade), QStringLiteral("00002"));

    // Deleting the last student unlocks the settings.
    p.f.BtnXueShengDeleteClick();
    EXPECT_EQ(r.studentCount, 0);
    EXPECT_FALSE(p.f.XSLocked);
    EXPECT_TRUE(p.f.CBAllowNJ->isEnabled());
    EXPECT_TRUE(p.f.LblXSTiShi->text().isEmpty());
}

TEST(StudentPage, AddNeedsASelectedGradeWhileGradesAreOn)
{
    StudentPage p;
    p.Enter();
    p.f.CBAllowNJ->setChecked(true);
    p.f.CBAllowNJClick();
    p.f.BtnXueShengAddClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "已启用年级，请先选择年级！");
    EXPECT_EQ(QApplication::focusWidget(), p.f.CBNJSelected);
    EXPECT_EQ(p.f.SGridXS->rowCount(), 0);
}

TEST(StudentPage, SwitchingTheClassFoldsEditedNamesFirst)
{
    StudentPage p;
    StudentRoster& r = p.f.Session->roster;
    r.classEnabled = 1;
    (void)r.selectedClassCode.SetUtf8("01");
    p.AddStudent("000000001", "甲", "", "01");
    p.AddStudent("000000002", "乙", "", "02");
    p.Enter();
    ASSERT_EQ(p.f.SGridXS->rowCount(), 1);
    SetCell(p.f.SGridXS, 0, kName, "甲乙");
    p.f.EdtBJSelected->setText(QStringLiteral("02"));
    EXPECT_EQ(p.RosterName(0), "甲乙");
    ASSERT_EQ(p.f.SGridXS->rowCount(), 1);
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kName), QStringLiteral("乙"));

    // Class "00" is out of range and becomes the first class.
    p.f.EdtBJSelected->setText(QStringLiteral("00"));
    EXPECT_TRUE(p.fx.prompts.WasShown("请注意范围！"));
    EXPECT_EQ(p.f.EdtBJSelected->text(), QStringLiteral("01"));
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kName), QStringLiteral("甲乙"));
}

TEST(StudentPage, TheCaretNeverEntersThePrefixAndDuplicatesAreRefused)
{
    StudentPage p;
    p.ClassesOnly("01", "2010");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.f.BtnXueShengAddClick();
    ASSERT_EQ(p.f.SGridXS->rowCount(), 1);
    QLineEdit* editor = OpenEditor(p.f.SGridXS);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("2010"));
    editor->setCursorPosition(0);
    QTest::keyClick(editor, Qt::Key_5);
    EXPECT_EQ(editor->text(), QStringLiteral("2010"));
    EXPECT_EQ(editor->cursorPosition(), 4);
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->text(), QStringLiteral("2010"));
    QTest::keyClicks(editor, QStringLiteral("0a0001"));
    EXPECT_EQ(editor->text(), QStringLiteral("201000001"));
    QTest::keyClick(editor, Qt::Key_7);  // admission length 9 reached
    EXPECT_EQ(editor->text(), QStringLiteral("201000001"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Cell(p.f.SGridXS, 0, kAdm), QStringLiteral("201000001"));

    p.f.BtnXueShengAddClick();
    editor = OpenEditor(p.f.SGridXS);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QStringLiteral("00001"));
    EXPECT_TRUE(p.fx.prompts.WasShown("准考证号不能重复！"));
    EXPECT_EQ(Cell(p.f.SGridXS, 1, kAdm), QStringLiteral("2010"));
}

TEST(StudentPage, SettingEntriesAndTheGradeTableAreChecked)
{
    StudentPage p;
    p.Enter();
    p.f.EdtNJCodeLen->setText(QStringLiteral("11"));
    p.f.EdtNJCodeLenExit();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "年级编码长度范围为1-10之间！");
    EXPECT_EQ(p.f.EdtNJCodeLen->text(), QStringLiteral("5"));
    p.f.EdtAdmissionLen->setText(QStringLiteral("1"));
    p.f.EdtAdmissionLenExit();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "准考证长度范围为2-20之间！");
    EXPECT_EQ(p.f.EdtAdmissionLen->text(), QStringLiteral("9"));
    p.f.EdtBJCodeLen->setText(QString());
    p.f.EdtBJCodeLenExit();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "班级编码长度不能空！");

    // Grades on without a grade: switched off again.
    p.f.CBAllowNJ->setChecked(true);
    p.f.CBAllowNJClick();
    p.f.GroupBoxNJExit();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "如果选中启用年级，至少要设置一个有效年级信息才可以。");
    EXPECT_FALSE(p.f.CBAllowNJ->isChecked());

    p.f.CBAllowNJ->setChecked(true);
    p.f.CBAllowNJClick();
    p.f.BtnNianJiAddClick();
    p.f.BtnNianJiAddClick();
    SetCell(p.f.SGridNJ, 0, 1, "初一");
    SetCell(p.f.SGridNJ, 0, 2, "00001");
    SetCell(p.f.SGridNJ, 1, 1, "初二");
    SetCell(p.f.SGridNJ, 1, 2, "00001");
    p.f.GroupBoxNJExit();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "年级编码不能重复！");
    EXPECT_EQ(p.f.SGridNJ->currentRow(), 1);
    EXPECT_EQ(p.f.SGridNJ->currentColumn(), 2);

    // Typing a code: digits only, at most the code length, duplicates emptied.
    QLineEdit* editor = OpenEditor(p.f.SGridNJ);
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    p.fx.prompts.shown.clear();
    QTest::keyClicks(editor, QStringLiteral("0x0001"));
    EXPECT_EQ(editor->text(), QString());
    ASSERT_EQ(p.fx.prompts.shown.size(), 1u);
    EXPECT_EQ(p.fx.prompts.shown.back().text, "年级编码不能重复！");
    QTest::keyClicks(editor, QStringLiteral("000029"));
    EXPECT_EQ(editor->text(), QStringLiteral("00002"));
}

// The exits run when the focus really moves: the entries on leaving them,
// the grade table check on leaving the grade group.
TEST(StudentPage, LeavingAnEntryOrTheGradeGroupRunsItsCheck)
{
    StudentPage p;
    p.Enter();
    p.f.CBAllowNJ->setChecked(true);
    p.f.CBAllowNJClick();
    p.f.BtnNianJiAddClick();
    SetCell(p.f.SGridNJ, 0, 1, "初一");
    SetCell(p.f.SGridNJ, 0, 2, "12345");
    p.f.EdtNJCodeLen->setFocus();
    p.f.EdtNJCodeLen->setText(QStringLiteral("0"));
    p.f.EdtAdmissionSub->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(p.fx.prompts.WasShown("年级编码长度范围为1-10之间！"));
    EXPECT_EQ(p.f.EdtNJCodeLen->text(), QStringLiteral("5"));
    EXPECT_EQ(p.fx.prompts.shown.size(), 1u);  // the grade table itself is fine

    SetCell(p.f.SGridNJ, 0, 2, "123");
    p.f.SGridNJ->setFocus();
    p.fx.prompts.shown.clear();
    p.f.EdtAdmissionSub->setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(p.fx.prompts.shown.empty());
    EXPECT_EQ(p.fx.prompts.shown.back().text, "输入的年级编码的长度和设置的年级编码长度不符！");
    EXPECT_EQ(p.f.SGridNJ->currentRow(), 0);
    EXPECT_EQ(p.f.SGridNJ->currentColumn(), 2);
    EXPECT_NE(OpenEditor(p.f.SGridNJ), nullptr);
}

// Leaving the page with unsaved changes asks; each answer carries the
// page's students into the session.
TEST(StudentPage, LeavingWithChangesAsksYesNoCancel)
{
    StudentPage p;
    p.ClassesOnly("01", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.Batch("2");
    SetCell(p.f.SGridXS, 0, kName, "甲");
    SetCell(p.f.SGridXS, 1, kName, "乙");

    p.fx.prompts.Answer(PromptAnswer::Cancel);
    p.f.BtnNext3Click();
    EXPECT_EQ(p.fx.prompts.shown.back().kind, PromptKind::YesNoCancel);
    EXPECT_EQ(p.fx.prompts.shown.back().text,
              "是否保存对当前学生信息文件的更改？（学生信息文件可以被用于以后的其他阅卷中，不需要重复输入）"
              "不管选是或否,本次阅卷都是使用修改后学生信息，修改后的学生信息将自动保存到原始阅卷文件中。");
    EXPECT_EQ(p.f.ActivePage(), 3);

    // Yes without a current file: the save dialog; cancelled, the students still go on.
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.fx.prompts.fileNames.push_back(QString());
    p.f.BtnNext3Click();
    EXPECT_EQ(p.fx.prompts.shown.back().kind, PromptKind::SaveFile);
    EXPECT_EQ(p.fx.prompts.shown.back().text, "另存学生信息文件");
    EXPECT_EQ(p.f.ActivePage(), 4);
    ASSERT_EQ(p.f.Session->roster.studentCount, 2);
    EXPECT_EQ(p.RosterName(1), "乙");
    EXPECT_EQ(p.f.Session->roster.students[1].classCode.Utf8(), "01");
    EXPECT_EQ(p.fx.prompts.unanswered, 0);

    // Back and forward again without changes: no question.
    p.f.BtnBack4Click();
    p.f.SetRosterModified(false);
    const std::size_t asked = p.fx.prompts.shown.size();
    p.f.BtnNext3Click();
    EXPECT_EQ(p.fx.prompts.shown.size(), asked);
    EXPECT_EQ(p.f.ActivePage(), 4);
}

TEST(StudentPage, FileCommandsSaveOpenAndRememberTheFile)
{
    StudentPage p;
    const auto base = p.fx.home / "base.dat";
    p.ClassesOnly("01", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.Batch("3");
    for (int r = 0; r < 3; ++r)
        SetCell(p.f.SGridXS, r, kName, "学生");

    const std::string saved = files::ToUtf8(p.fx.home / files::FromUtf8("学生信息文件/一班"));
    p.fx.prompts.fileNames.push_back(QString::fromStdString(saved));
    p.f.BtnXSSaveAsClick();
    const auto file = files::FromUtf8(saved + ".xs");
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 3158u + 3u * 56u);
    EXPECT_EQ(p.f.LblCurrentXSFileName->text(), QStringLiteral("当前学生文件：一班.xs"));
    EXPECT_FALSE(p.f.BtnXSSave->isEnabled());
    auto remembered = files::ReadAll(base);
    ASSERT_TRUE(remembered.has_value());
    EXPECT_EQ(gbk::ToUtf8(std::string_view(remembered->c_str())), saved + ".xs");

    // A plain save writes the current file and leaves "base.dat" alone.
    std::filesystem::remove(base);
    SetCell(p.f.SGridXS, 2, kName, "丙");
    p.f.SetRosterModified(true);
    p.f.BtnXSSaveClick();
    EXPECT_FALSE(std::filesystem::exists(base));
    StudentRoster* back = new StudentRoster;
    back->Reset();
    ASSERT_TRUE(ReadStudentFile(file, *back, nullptr));
    EXPECT_EQ(back->students[2].name.Utf8(), "丙");
    EXPECT_EQ(back->classEnabled, 1);
    delete back;

    // New answered No changes nothing; Yes empties the page and forgets the file.
    p.f.BtnXSNewClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "当前打开的文件将会被关闭，如有需要请先保存。是否继续新建？");
    EXPECT_EQ(p.f.SGridXS->rowCount(), 3);
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.f.BtnXSNewClick();
    EXPECT_EQ(p.f.SGridXS->rowCount(), 0);
    EXPECT_EQ(p.f.Session->roster.studentCount, 0);
    EXPECT_TRUE(p.f.LblCurrentXSFileName->text().isEmpty());
    EXPECT_FALSE(p.f.XSLocked);

    // Opening reads it back, locked, unmodified, remembered.
    p.fx.prompts.fileNames.push_back(QString::fromStdString(saved + ".xs"));
    p.f.BtnXSOpenAsClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text, "打开学生信息文件");
    EXPECT_EQ(p.f.SGridXS->rowCount(), 3);
    EXPECT_EQ(Cell(p.f.SGridXS, 2, kName), QStringLiteral("丙"));
    EXPECT_TRUE(p.f.XSLocked);
    EXPECT_FALSE(p.f.BtnXSSave->isEnabled());
    EXPECT_TRUE(std::filesystem::exists(base));

    // A file that is not a student file is refused and changes nothing.
    p.fx.WriteFile("学生信息文件/坏.xs", std::string(100, '\x7f'));
    p.fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(p.fx.home / files::FromUtf8("学生信息文件/坏.xs"))));
    p.f.BtnXSOpenAsClick();
    EXPECT_EQ(p.fx.prompts.shown.back().kind, PromptKind::Message);
    EXPECT_EQ(p.fx.prompts.shown.back().text, "学生信息文件已损坏（文件太短）：坏.xs");
    EXPECT_EQ(p.f.Session->roster.studentCount, 3);
    EXPECT_EQ(p.f.LblCurrentXSFileName->text(), QStringLiteral("当前学生文件：一班.xs"));
}

TEST(StudentPage, ANewMarkingStartsWithTheFileSavedUnderANewName)
{
    StudentPage p;
    p.ClassesOnly("02", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.Batch("1");
    SetCell(p.f.SGridXS, 0, kName, "唯一");
    const std::string saved = files::ToUtf8(p.fx.home / files::FromUtf8("学生信息文件/二班.xs"));
    p.fx.prompts.fileNames.push_back(QString::fromStdString(saved));
    p.f.BtnXSSaveAsClick();

    p.f.Session->roster.Reset();
    StartNewMarking(p.fx, p.f);
    EXPECT_EQ(p.f.Session->roster.studentCount, 1);
    EXPECT_EQ(p.RosterName(0), "唯一");
    EXPECT_EQ(p.f.LblCurrentXSFileName->text(), QStringLiteral("当前学生文件：二班.xs"));
    EXPECT_FALSE(p.f.CheshixstsLabel->isVisibleTo(&p.f));
}

} // namespace

namespace {

// Saving the marking raw file from page 3 checks the shown students first
// and takes the page into the session.
TEST(StudentPage, SavingTheMarkingFileFromThePageChecksAndTakesItIn)
{
    StudentPage p;
    p.ClassesOnly("01", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.Batch("2");
    p.fx.NameExam();
    p.f.SetUnsavedChanges(true);
    p.f.BtnSaveClick();
    EXPECT_EQ(p.fx.prompts.shown.back().text,
              "请输入准考证号对应的学生姓名，以便阅卷时立即核对学生姓名和准卡证号是否对应。");
    EXPECT_FALSE(std::filesystem::exists(p.fx.SavedFile()));

    SetCell(p.f.SGridXS, 0, kName, "甲");
    SetCell(p.f.SGridXS, 1, kName, "乙");
    p.f.BtnSaveClick();
    EXPECT_TRUE(std::filesystem::exists(p.fx.SavedFile()));
    ASSERT_EQ(p.f.Session->roster.studentCount, 2);
    EXPECT_EQ(p.f.Session->roster.students[0].name.Utf8(), "甲");
}

} // namespace

namespace {

// Once marking has begun (a marking file opened or the marking page entered),
// the roster is part of the marking raw file: changing or saving it on the
// student page leaves the session unsaved. Before that, only the student
// file is concerned.
TEST(StudentPage, RosterChangesAfterMarkingBeganAreUnsavedChanges)
{
    StudentPage p;
    p.ClassesOnly("02", "");
    p.fx.prompts.Answer(PromptAnswer::Yes);
    p.Batch("2");
    EXPECT_TRUE(p.f.RosterModified);
    EXPECT_FALSE(p.f.UnsavedChanges());

    p.f.SessionStarted = 1;
    p.f.SGridXS->setCurrentCell(0, kName);
    SetCell(p.f.SGridXS, 0, kName, "李四");
    EXPECT_TRUE(p.f.UnsavedChanges());

    // Saving the student file: the session's roster is what was saved.
    p.f.SetUnsavedChanges(false);
    const std::string saved = files::ToUtf8(p.fx.home / files::FromUtf8("学生信息文件/二班.xs"));
    p.fx.prompts.fileNames.push_back(QString::fromStdString(saved));
    p.f.BtnXSSaveAsClick();
    EXPECT_FALSE(p.f.RosterModified);
    EXPECT_TRUE(p.f.UnsavedChanges());

    // Coming back to the page changes nothing.
    p.f.SetUnsavedChanges(false);
    p.f.SetActivePage(2);
    p.f.BtnNext2Click();
    EXPECT_FALSE(p.f.UnsavedChanges());
}

} // namespace
