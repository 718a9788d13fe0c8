#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QToolButton>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "StudentExamSupport.h"
#include "exam/ui/CardChooser.h"
#include "marking/MarkingJournal.h"
#include "marking/RawFile.h"
#include "platform/qt/HelpWindow.h"

namespace {

TEST(MainForm, StartsOnPageOneWithTheSixPagesAndControls)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    EXPECT_EQ(fx.started, TMainForm::StartResult::Run);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Scorivo-摄像头阅卷版"));
    EXPECT_EQ(f.minimumWidth(), 840);
    EXPECT_EQ(f.size(), QSize(840, 688));
    auto* tabs = f.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabPosition(), QTabWidget::South);
    const char* captions[6] = {"准备答题卡", "连接摄像头", "学生信息设置", "考试信息设置", "进行阅卷", "成绩输出"};
    ASSERT_EQ(tabs->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(captions[i]));
        EXPECT_EQ(tabs->widget(i)->objectName(), QStringLiteral("TabSheet%1").arg(i + 1));
    }
    EXPECT_EQ(f.ActivePage(), 1);
    for (const char* name : {"BtnNewYJ", "BtnOpenYJFile1", "BtnBack1", "BtnNext1", "BtnHelp1", "BtnConn",
                             "BtnViewCapProperty", "BtnBack2", "BtnNext2", "BtnHelp2", "BtnBack3", "BtnNext3",
                             "BtnHelp3", "BtnBack4", "BtnNext4", "BtnHelp4", "BtnBack5", "BtnNext5", "BtnHelp5",
                             "BtnAutoAnswerCard", "BtnYJSet", "BtnBack6", "BtnGoToFirst", "BtnHelp6"})
        EXPECT_NE(f.findChild<QPushButton*>(QString::fromUtf8(name)), nullptr) << name;
    for (const char* name : {"LCardName", "LblLianJie", "ImageCheShi"})
        EXPECT_NE(f.findChild<QLabel*>(QString::fromUtf8(name)), nullptr) << name;
    for (const char* name : {"BtnSave", "N16", "N21", "N18", "N19", "N13", "NSave"})
        EXPECT_NE(f.findChild<QAction*>(QString::fromUtf8(name)), nullptr) << name;
    EXPECT_FALSE(f.BtnBack1->isEnabled());
    EXPECT_FALSE(f.BtnNext1->isEnabled());
    EXPECT_FALSE(f.BtnSave->isEnabled());
    EXPECT_FALSE(f.BtnOpenYJFile1->isEnabled());  // no "biaoji.bj" yet
    EXPECT_FALSE(f.BtnViewCapProperty->isEnabled());
    EXPECT_TRUE(f.LCardName->text().isEmpty());
    EXPECT_TRUE(f.LblLianJie->text().isEmpty());
    EXPECT_EQ(f.CheckCardColour, 1);
    EXPECT_TRUE(fx.prompts.shown.empty());
}

TEST(MainForm, MarkerFilesDecideColourCheckAndOpenButton)
{
    GuiFixture fx;
    fx.WriteFile("ncm.set", "");
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    TestMainForm& f = fx.Start();
    EXPECT_EQ(f.CheckCardColour, 0);
    EXPECT_TRUE(f.BtnOpenYJFile1->isEnabled());
}

TEST(MainForm, MissingInstallationFoldersAreCreated)
{
    GuiFixture fx;
    std::filesystem::remove_all(fx.home / files::FromUtf8("原始图片"));
    fx.Start();
    EXPECT_TRUE(std::filesystem::is_directory(fx.home / files::FromUtf8("原始图片")));
}

TEST(MainForm, SecondInstanceEndsSilently)
{
    GuiFixture fx;
    fx.Start();
    TestMainForm second(fx.services);
    EXPECT_EQ(second.FormCreate(), TMainForm::StartResult::EndProcess);
    EXPECT_TRUE(fx.prompts.shown.empty());
}

TEST(MainForm, ClickingAnotherTabIsRefused)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    QTabBar* bar = f.PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(f.ActivePage(), 1);
    ASSERT_EQ(fx.prompts.shown.size(), 1u);
    EXPECT_EQ(fx.prompts.shown[0].text, "请点上一步或下一步进行换页");
    QTest::keyClick(f.PageControl1, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(f.ActivePage(), 1);
    EXPECT_EQ(fx.prompts.shown.size(), 2u);
}

TEST(MainForm, NewMarkingChooserCancelledDisablesNextAndClearsCardName)
{
    GuiFixture fx;
    fx.WriteFile("模板文件/JD红绿.dat", std::string(600, '\0'));
    fx.WriteFile("模板文件/DY标准.dat", std::string(600, '\0'));
    fx.WriteFile("模板文件/其他.dat", std::string(600, '\0'));
    TestMainForm& f = fx.Start();

    // The window's own card chooser: the self-printed card is offered first.
    QString title;
    int listed = 0;
    WhenShown(f.FormCard(), [&](TFormCard& d) {
        title = d.windowTitle();
        listed = d.LVCards1->topLevelItemCount() + d.LVCards2->topLevelItemCount();
        d.BtnDaiRu->click();
    });
    QTest::mouseClick(f.BtnNewYJ, Qt::LeftButton);
    EXPECT_EQ(title, QStringLiteral("新阅卷——请先选择本次阅卷要使用的答题卡"));
    EXPECT_EQ(listed, 2);  // "其他.dat" is no card type
    EXPECT_EQ(f.Session->templateName, "DY标准.dat");
    EXPECT_EQ(f.LCardName->text(), QStringLiteral("DY标准.dat"));
    EXPECT_TRUE(f.BtnNext1->isEnabled());
    EXPECT_EQ(f.SessionStarted, 0);

    fx.prompts.shown.clear();
    f.SetUnsavedChanges(true);
    fx.prompts.Answer(PromptAnswer::No);  // do not save the old session
    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    QTest::mouseClick(f.BtnNewYJ, Qt::LeftButton);
    ASSERT_EQ(fx.prompts.shown.size(), 1u);
    EXPECT_EQ(fx.prompts.shown[0].text, "是否要保存原来阅卷原始文件?");
    EXPECT_FALSE(std::filesystem::exists(fx.SavedFile()));
    EXPECT_FALSE(f.UnsavedChanges());
    EXPECT_FALSE(f.BtnNext1->isEnabled());
    EXPECT_TRUE(f.LCardName->text().isEmpty());
    EXPECT_TRUE(f.Session->templateName.empty());
    EXPECT_EQ(fx.prompts.unanswered, 0);

    QTest::mouseClick(f.BtnNext1, Qt::LeftButton);  // disabled: nothing happens
    EXPECT_EQ(f.ActivePage(), 1);
}

TEST(MainForm, NewMarkingSavesTheOldSessionWhenAsked)
{
    GuiFixture fx;
    fx.WriteFile("模板文件/DY标准.dat", std::string(600, '\0'));
    TestMainForm& f = fx.Start();
    fx.NameExam();
    f.SetUnsavedChanges(true);
    fx.prompts.Answer(PromptAnswer::Yes);
    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnNewYJClick();
    EXPECT_TRUE(std::filesystem::exists(fx.SavedFile()));
    EXPECT_FALSE(f.UnsavedChanges());
    EXPECT_TRUE(f.Session->exam.examName.Empty());  // the new session starts empty
}

TEST(MainForm, PageOneNextWithoutCardIsRefused)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.BtnNext1Click();
    EXPECT_EQ(f.ActivePage(), 1);
    EXPECT_TRUE(fx.prompts.WasShown("请点新阅卷或打开阅卷原始文件！"));
}

TEST(MainForm, PageTwoNextWithoutCameraIsRefused)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.SetActivePage(2);
    fx.camera.found = 0;
    QTest::mouseClick(f.BtnConn, Qt::LeftButton);  // a connection attempt that finds nothing
    EXPECT_FALSE(f.BtnViewCapProperty->isEnabled());
    QTest::mouseClick(f.BtnNext2, Qt::LeftButton);
    EXPECT_EQ(f.ActivePage(), 2);
    ASSERT_EQ(fx.prompts.shown.size(), 1u);
    EXPECT_EQ(fx.prompts.shown[0].text, "请点连接摄像头按钮！");

    EXPECT_TRUE(f.LblLianJie->text().isEmpty());

    fx.camera.found = 1;
    QTest::mouseClick(f.BtnConn, Qt::LeftButton);
    EXPECT_TRUE(f.BtnViewCapProperty->isEnabled());
    EXPECT_EQ(f.LblLianJie->text(), QStringLiteral("说明：要求答题卡在屏幕上显示正放 调整摄像头的距离使答题卡显示的大小合适"));
    QTest::mouseClick(f.BtnNext2, Qt::LeftButton);
    EXPECT_EQ(f.ActivePage(), 3);
}

TEST(MainForm, LaterPagesMoveBackAndForthAndRestoreTheCaption)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.SetActivePage(3);
    f.BtnNext3Click();  // no students yet
    EXPECT_EQ(f.ActivePage(), 3);
    EXPECT_TRUE(fx.prompts.WasShown("请先输入学生数据或打开学生信息文件！"));
    f.SetActivePage(4);
    // A card with one subject and ten questions, and an exam page that passes its check.
    f.Session->cardTemplate.QuestionCount = 10;
    f.Session->cardTemplate.SubjectCount = 1;
    (void)f.Session->cardTemplate.Subjects[0].name.SetUtf8("数学");
    f.ShowExamPage();
    f.EdtKSName->setText(QStringLiteral("期中"));
    f.CBSelectedKeMu->setCurrentIndex(0);
    f.BtnTFAddClick();
    f.SGridTF->item(0, 2)->setText(QStringLiteral("10"));
    f.SGridTF->item(0, 3)->setText(QStringLiteral("1"));
    f.SGridTF->item(0, 4)->setText(QStringLiteral("单选题"));
    f.BtnNext4Click();
    EXPECT_EQ(f.ActivePage(), 5);
    EXPECT_EQ(f.SessionStarted, 1);
    f.setWindowTitle(QStringLiteral("张三 85分"));
    f.BtnNext5Click();
    EXPECT_EQ(f.ActivePage(), 6);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Scorivo-摄像头阅卷版"));
    f.BtnBack6Click();
    f.setWindowTitle(QStringLiteral("张三 85分"));
    f.BtnBack5Click();
    EXPECT_EQ(f.ActivePage(), 4);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Scorivo-摄像头阅卷版"));
    f.BtnBack4Click();
    f.BtnBack3Click();
    f.BtnBack2Click();
    EXPECT_EQ(f.ActivePage(), 1);
    f.SetActivePage(6);
    f.BtnGoToFirstClick();
    EXPECT_EQ(f.ActivePage(), 1);

    f.BtnAutoAnswerCardClick();
    EXPECT_TRUE(f.AutoMarking);
    EXPECT_EQ(f.BtnAutoAnswerCard->text(), QStringLiteral("关闭自动阅卷"));
    f.BtnAutoAnswerCardClick();
    EXPECT_EQ(f.BtnAutoAnswerCard->text(), QStringLiteral("开启自动阅卷"));
}

TEST(MainForm, OpeningAMarkingFileThatFailsKeepsTheSessionState)
{
    GuiFixture fx;
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    TestMainForm& f = fx.Start();
    fx.NameExam();
    f.SetUnsavedChanges(true);
    fx.prompts.Answer(PromptAnswer::Yes);
    fx.prompts.fileNames.push_back(QString());  // the open dialog is cancelled
    f.BtnOpenYJFile1Click();
    EXPECT_TRUE(std::filesystem::exists(fx.SavedFile()));  // the old session was saved
    EXPECT_EQ(f.Session->exam.examName.Utf8(), "期中");      // and stays loaded
    EXPECT_FALSE(f.BtnNext1->isEnabled());                   // "下一步 >" kept its state
    EXPECT_EQ(f.SessionStarted, 0);
    EXPECT_EQ(fx.prompts.unanswered, 0);
}

TEST(MainForm, ClosingWithUnsavedChangesSavesThenStaysOpenOnNo)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    fx.NameExam();
    f.SetUnsavedChanges(true);
    fx.prompts.Answer(PromptAnswer::Yes);  // save
    fx.prompts.Answer(PromptAnswer::No);   // do not close
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(files::ReadAll(fx.SavedFile()).value_or("").size(), 287775u);  // roster, exam, no records
    EXPECT_TRUE(std::filesystem::exists(fx.home / "biaoji.bj"));
    EXPECT_FALSE(f.UnsavedChanges());
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"是否要保存本次阅卷原始文件?", "确定要关闭本软件吗？"}));
    EXPECT_EQ(fx.camera.released, 0);

    fx.prompts.shown.clear();
    fx.prompts.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"确定要关闭本软件吗？"}));
    EXPECT_EQ(fx.camera.released, 1);
}

TEST(MainForm, SaveMenuItemFollowsUnsavedChanges)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.N1Click();
    EXPECT_FALSE(f.NSave->isEnabled());
    f.SetUnsavedChanges(true);
    f.N1Click();
    EXPECT_TRUE(f.NSave->isEnabled());
    fx.NameExam();
    f.NSave->trigger();
    EXPECT_TRUE(std::filesystem::exists(fx.SavedFile()));
    EXPECT_FALSE(f.NSave->isEnabled());
}

TEST(MainForm, SavingWithoutAnExamNameSaysWhyAndKeepsTheChanges)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.SetUnsavedChanges(true);
    f.BtnSaveClick();
    EXPECT_TRUE(f.UnsavedChanges());
    ASSERT_EQ(fx.prompts.shown.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(fx.home / "biaoji.bj"));
}

// A save the file system refuses (a full disk, or as here a folder where the
// file goes): the window says so with the file and the reason, the changes
// stay unsaved, and the recovery copy of the marked cards stays.
TEST(MainForm, ASaveThatFailsIsSaidAndKeepsTheChangesAndTheRecoveryCopy)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    ASSERT_TRUE(fx.GiveUnsavedRecords());
    f.KeepRecoveryCopy();
    std::filesystem::path copy = fx.SavedFile();
    copy += ".recover";
    ASSERT_TRUE(std::filesystem::exists(copy));
    std::filesystem::create_directories(fx.SavedFile() / "inside");

    EXPECT_FALSE(f.SaveRawMarkingFile());
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"保存阅卷原始文件失败！\n" + files::ToUtf8(fx.SavedFile()) +
                                                            "\n不是普通文件，不能保存到这里"}));
    EXPECT_TRUE(f.UnsavedChanges());
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_FALSE(std::filesystem::exists(fx.home / "biaoji.bj"));
    f.Session->unsavedChanges = false;
}

// The teacher asked to keep the records before a new session, another file
// or closing, and the save failed: the action stops there with the records,
// instead of going on and dropping them.
TEST(MainForm, AFailedSaveStopsWhatWouldDropTheRecords)
{
    GuiFixture fx;
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    TestMainForm& f = fx.Start();
    ASSERT_TRUE(fx.GiveUnsavedRecords());
    std::filesystem::create_directories(fx.SavedFile() / "inside");  // no file can be saved there
    const std::string failed =
        "保存阅卷原始文件失败！\n" + files::ToUtf8(fx.SavedFile()) + "\n不是普通文件，不能保存到这里";
    auto kept = [&] {
        return f.UnsavedChanges() && f.Session->session.recordCount == 1 && !f.Session->exam.examName.Empty();
    };

    bool chooserShown = false;
    WhenShown(f.FormCard(), [&](TFormCard& d) {
        chooserShown = true;
        d.QuxiaoButton->click();
    });
    fx.prompts.Answer(PromptAnswer::Yes);
    f.BtnNewYJClick();
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"是否要保存原来阅卷原始文件?", failed}));
    EXPECT_FALSE(chooserShown);
    EXPECT_TRUE(kept());

    fx.prompts.shown.clear();
    fx.prompts.Answer(PromptAnswer::Yes);
    f.BtnOpenYJFile1Click();  // no file dialog
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"是否要保存原来阅卷原始文件?", failed}));
    EXPECT_TRUE(kept());

    fx.prompts.shown.clear();
    fx.prompts.Answer(PromptAnswer::Yes);
    EXPECT_FALSE(f.close());  // not even asked whether to close
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"是否要保存本次阅卷原始文件?", failed}));
    EXPECT_TRUE(kept());

    // Once the save goes through, so does the new session.
    std::filesystem::remove_all(fx.SavedFile());
    fx.prompts.shown.clear();
    fx.prompts.Answer(PromptAnswer::Yes);
    f.BtnNewYJClick();
    EXPECT_TRUE(chooserShown);
    EXPECT_TRUE(std::filesystem::is_regular_file(fx.SavedFile()));
    EXPECT_EQ(f.Session->session.recordCount, 0);
    f.Session->unsavedChanges = false;
}

// A new session saved under the name of a raw file it did not come from
// (another class marked under the same exam name) asks before it replaces
// that file's records; the file the window opened or saved is saved again
// without a question.
TEST(MainForm, SavingOverAnotherSessionsFileAsksFirst)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    ASSERT_TRUE(fx.GiveUnsavedRecords());
    ASSERT_TRUE(f.SaveRawMarkingFile());
    ASSERT_TRUE(fx.SavesWithoutAWord());  // its own file: no question
    const auto first = files::ReadAll(fx.SavedFile());
    ASSERT_TRUE(first.has_value());

    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnNewYJClick();  // the first session is saved: nothing asked
    EXPECT_TRUE(fx.prompts.shown.empty());
    fx.NameExam();
    ASSERT_TRUE(f.Session->session.SetStandardAnswer({"D", "D"}, 4));
    f.SetUnsavedChanges(true);
    fx.prompts.shown.clear();
    const std::string question =
        "阅卷原始文件“期中数学.yj”已经存在，里面是另一次阅卷的记录。要用本次阅卷替换它吗？替换后那些阅卷记录将丢失。\n"
        "选“否”则不保存：可以在“考试信息设置”里改用另一个考试名称，或用“打开阅卷原始文件”接着那次阅卷。";

    fx.prompts.Answer(PromptAnswer::No);
    EXPECT_FALSE(f.SaveRawMarkingFile());
    EXPECT_EQ(fx.prompts.Texts(), std::vector<std::string>{question});
    EXPECT_TRUE(files::ReadAll(fx.SavedFile()) == first);
    EXPECT_TRUE(f.UnsavedChanges());

    fx.prompts.shown.clear();
    fx.prompts.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(f.SaveRawMarkingFile());
    EXPECT_EQ(fx.prompts.Texts(), std::vector<std::string>{question});
    EXPECT_FALSE(files::ReadAll(fx.SavedFile()) == first);
    EXPECT_FALSE(f.UnsavedChanges());
    // Now it is this session's file.
    EXPECT_TRUE(fx.SavesWithoutAWord());
}

TEST(MainForm, OpeningASavedMarkingFileRestoresTheSession)
{
    GuiFixture fx;
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    TestMainForm& f = fx.Start();
    fx.NameExam();
    (void)f.Session->exam.cardName.SetUtf8("DY标准.dat");
    f.SetUnsavedChanges(true);
    ASSERT_TRUE(f.SaveRawMarkingFile());
    fx.prompts.Answer(PromptAnswer::No);  // a new marking: do not save
    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.SetUnsavedChanges(true);
    f.BtnNewYJClick();
    ASSERT_TRUE(f.Session->exam.examName.Empty());

    fx.prompts.shown.clear();
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(fx.SavedFile())));
    f.BtnOpenYJFile1Click();
    EXPECT_EQ(f.Session->exam.examName.Utf8(), "期中");
    EXPECT_EQ(f.LCardName->text(), QStringLiteral("DY标准.dat"));
    EXPECT_TRUE(f.BtnNext1->isEnabled());
    EXPECT_FALSE(f.UnsavedChanges());
    EXPECT_EQ(f.SessionStarted, 1);
    // the template itself is missing here, which is said once
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"打开阅卷原始文件", "未发现模板文件：DY标准.dat"}));
}

// A `mark` run killed before it folded its journal in: the window opens the
// file with the journal's cards, and keeps them as unsaved changes.
TEST(MainForm, OpeningAFileAKilledRunLeftAJournalBesideShowsItsCardsUnsaved)
{
    GuiFixture fx;
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    TestMainForm& f = fx.Start();
    fx.NameExam();
    f.SetUnsavedChanges(true);
    ASSERT_TRUE(f.SaveRawMarkingFile());
    const std::string saved = *files::ReadAll(fx.SavedFile());
    MarkingRecord key{};
    key.readCount = 1;
    MarkingJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Start(fx.SavedFile(), saved.size(), ContentHash(saved), f.Session->session, error)) << error;
    ASSERT_TRUE(journal.Append(0, key, error)) << error;
    journal.Close();

    fx.prompts.Answer(PromptAnswer::No);
    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnNewYJClick();
    ASSERT_EQ(f.Session->session.recordCount, 0);
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(fx.SavedFile())));
    f.BtnOpenYJFile1Click();
    EXPECT_EQ(f.SessionStarted, 1);
    EXPECT_EQ(f.Session->session.recordCount, 1);
    EXPECT_TRUE(f.UnsavedChanges());
}

TEST(MainForm, TheOpenRawFileIsLockedAgainstOtherRunsAndALockedOneIsRefused)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    fx.NameExam();
    f.SetUnsavedChanges(true);
    ASSERT_TRUE(f.SaveRawMarkingFile());
    files::FileLock other;
    EXPECT_FALSE(other.TryLock(fx.SavedFile()));  // a scorivo-cli run now waits its turn

    // A new marking lets go of it; another run takes it; the window cannot open it then.
    WhenShown(f.FormCard(), [](TFormCard& d) { d.QuxiaoButton->click(); });
    f.BtnNewYJClick();
    ASSERT_TRUE(other.TryLock(fx.SavedFile()));
    fx.prompts.shown.clear();
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(fx.SavedFile())));
    f.BtnOpenYJFile1Click();
    EXPECT_EQ(f.SessionStarted, 0);
    ASSERT_EQ(fx.prompts.shown.size(), 2u);
    EXPECT_NE(fx.prompts.shown[1].text.find("正被另一个程序"), std::string::npos) << fx.prompts.shown[1].text;
}

// A crash or power cut during marking: the cards accepted since the last save
// are in the recovery copy, offered at the next start.
TEST(MainForm, ARecoveryCopyLeftByACrashIsOfferedAtTheNextStart)
{
    std::filesystem::path copy;
    {
        GuiFixture fx;
        TestMainForm& f = fx.Start();
        fx.NameExam();
        (void)f.Session->exam.cardName.SetUtf8("DY标准.dat");
        ASSERT_TRUE(f.Session->session.SetStandardAnswer({"A", "B", "C"}, 4));
        f.KeepRecoveryCopy();  // as after an accepted card
        copy = fx.SavedFile();
        copy += ".recover";
        ASSERT_TRUE(std::filesystem::exists(copy));
        EXPECT_FALSE(std::filesystem::exists(fx.SavedFile()));  // the raw file only when the teacher saves

        // The same home, started again without a normal close: Yes restores an unsaved session.
        const auto bytes = files::ReadAll(copy);
        GuiFixture again;
        again.WriteFile("阅卷原始文件/期中数学.yj.recover", *bytes);
        again.prompts.Answer(PromptAnswer::Yes);
        TestMainForm& g = again.Start();
        ASSERT_GE(again.prompts.shown.size(), 1u);
        EXPECT_NE(again.prompts.shown[0].text.find("“期中数学.yj”还有没保存的阅卷记录"), std::string::npos);
        EXPECT_EQ(g.Session->session.recordCount, 1);
        EXPECT_EQ(g.Session->session.records[0].questionResults[1].answer.View(), "B");
        EXPECT_TRUE(g.UnsavedChanges());
        EXPECT_TRUE(g.BtnNext1->isEnabled());
        EXPECT_EQ(g.SessionStarted, 1);
        // Saving writes the raw file and the copy is no longer needed.
        ASSERT_TRUE(g.SaveRawMarkingFile());
        EXPECT_TRUE(std::filesystem::exists(again.SavedFile()));
        EXPECT_FALSE(std::filesystem::exists(again.home / files::FromUtf8("阅卷原始文件/期中数学.yj.recover")));
    }

    // No deletes the copy and starts as usual.
    GuiFixture fx;
    fx.WriteFile("阅卷原始文件/期中数学.yj.recover", "whatever");
    fx.prompts.Answer(PromptAnswer::No);
    TestMainForm& f = fx.Start();
    EXPECT_EQ(f.Session->session.recordCount, 0);
    EXPECT_FALSE(f.UnsavedChanges());
    EXPECT_FALSE(std::filesystem::exists(fx.home / files::FromUtf8("阅卷原始文件/期中数学.yj.recover")));
}

// A recovery copy restored over a raw file of the same name: when the file
// holds cards the copy lacks, the copy was of another session (a new one saved
// under a taken name, cut off before its first save), and saving asks before
// it replaces the file; a copy of the file's own session is saved without a
// question.
TEST(MainForm, ARestoredCopyOfAnotherSessionAsksBeforeReplacingTheFile)
{
    auto student = [](const char* number) {
        auto r = std::make_unique<MarkingRecord>();
        std::memset(r.get(), 0, sizeof *r);
        r->readCount = 1;
        (void)r->admissionNumber.Set(number);
        return r;
    };
    // The bytes of a session with the standard answer and these students.
    auto sessionBytes = [&](std::vector<const char*> numbers) {
        GuiFixture made;
        TestMainForm& f = made.Start();
        EXPECT_TRUE(made.GiveUnsavedRecords());
        for (const char* n : numbers)
            EXPECT_TRUE(f.Session->session.AppendRecord(*student(n)));
        EXPECT_TRUE(f.SaveRawMarkingFile());
        return *files::ReadAll(made.SavedFile());
    };
    const std::string fileOfClass1 = sessionBytes({"1001"});
    const std::string copyOfClass2 = sessionBytes({"2001", "2002"});
    const std::string copyOfClass1Later = sessionBytes({"1001", "1002"});

    for (const bool own : {false, true}) {
        SCOPED_TRACE(own ? "the file's own session" : "another session");
        GuiFixture fx;
        fx.WriteFile("阅卷原始文件/期中数学.yj", fileOfClass1);
        fx.WriteFile("阅卷原始文件/期中数学.yj.recover", own ? copyOfClass1Later : copyOfClass2);
        fx.prompts.Answer(PromptAnswer::Yes);  // restore
        TestMainForm& f = fx.Start();
        ASSERT_EQ(f.Session->session.recordCount, 3);
        fx.prompts.shown.clear();
        if (own) {
            EXPECT_TRUE(f.SaveRawMarkingFile());
            EXPECT_TRUE(fx.prompts.shown.empty());
            EXPECT_TRUE(files::ReadAll(fx.SavedFile()) == copyOfClass1Later);
            continue;
        }
        fx.prompts.Answer(PromptAnswer::No);
        EXPECT_FALSE(f.SaveRawMarkingFile());
        ASSERT_EQ(fx.prompts.shown.size(), 1u);
        EXPECT_EQ(fx.prompts.shown[0].text.find("阅卷原始文件“期中数学.yj”里有恢复的阅卷记录中没有的答题卡（可能是另一次"
                                                "阅卷的记录，也可能是恢复前删除的记录）。要用恢复的阅卷记录替换它吗？"),
                  0u);
        EXPECT_TRUE(files::ReadAll(fx.SavedFile()) == fileOfClass1);
        EXPECT_TRUE(f.UnsavedChanges());
        fx.prompts.Answer(PromptAnswer::Yes);
        EXPECT_TRUE(f.SaveRawMarkingFile());
        EXPECT_TRUE(files::ReadAll(fx.SavedFile()) == copyOfClass2);
        EXPECT_TRUE(fx.SavesWithoutAWord());  // its own file now
    }

    // The file's own session with a card deleted before the crash: asked as
    // well, in words that fit both cases.
    {
        GuiFixture fx;
        fx.WriteFile("阅卷原始文件/期中数学.yj", copyOfClass1Later);
        fx.WriteFile("阅卷原始文件/期中数学.yj.recover", fileOfClass1);  // 1002 deleted
        fx.prompts.Answer(PromptAnswer::Yes);                            // restore
        TestMainForm& f = fx.Start();
        fx.prompts.shown.clear();
        fx.prompts.Answer(PromptAnswer::Yes);
        EXPECT_TRUE(f.SaveRawMarkingFile());
        ASSERT_EQ(fx.prompts.shown.size(), 1u);
        EXPECT_NE(fx.prompts.shown[0].text.find("也可能是恢复前删除的记录"), std::string::npos);
        EXPECT_TRUE(files::ReadAll(fx.SavedFile()) == fileOfClass1);
    }

    // Restored from another session's copy, then the file itself opened
    // instead: the session is the file's, saved without a question.
    GuiFixture fx;
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    fx.WriteFile("阅卷原始文件/期中数学.yj", fileOfClass1);
    fx.WriteFile("阅卷原始文件/期中数学.yj.recover", copyOfClass2);
    fx.prompts.Answer(PromptAnswer::Yes);  // restore
    TestMainForm& f = fx.Start();
    fx.prompts.Answer(PromptAnswer::No);  // do not keep the restored records
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(fx.SavedFile())));
    f.BtnOpenYJFile1Click();
    ASSERT_EQ(f.Session->session.recordCount, 2);
    EXPECT_TRUE(fx.SavesWithoutAWord());
}

// Records dropped with 否 before 打开阅卷原始文件 leave no recovery copy behind
// to be offered as a crash's at the next start; a cancelled dialog keeps the
// session and its copy.
TEST(MainForm, RecordsDroppedForAnotherFileLeaveNoRecoveryCopy)
{
    GuiFixture fx;
    fx.WriteFile("biaoji.bj", std::string(1, '\1'));
    TestMainForm& f = fx.Start();
    ASSERT_TRUE(fx.GiveUnsavedRecords());
    ASSERT_TRUE(f.SaveRawMarkingFile());
    f.SetUnsavedChanges(true);
    f.KeepRecoveryCopy();
    std::filesystem::path copy = fx.SavedFile();
    copy += ".recover";
    ASSERT_TRUE(std::filesystem::exists(copy));

    fx.prompts.Answer(PromptAnswer::No);
    fx.prompts.fileNames.push_back(QString());  // cancelled
    f.BtnOpenYJFile1Click();
    EXPECT_TRUE(f.UnsavedChanges());
    EXPECT_TRUE(std::filesystem::exists(copy));

    fx.prompts.Answer(PromptAnswer::No);
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(fx.SavedFile())));
    f.BtnOpenYJFile1Click();
    EXPECT_FALSE(f.UnsavedChanges());
    EXPECT_FALSE(std::filesystem::exists(copy));
}

// The recovery copy follows the exam's name: a copy left under the name the
// exam had before would be offered at the next start as a crash's.
TEST(MainForm, ARenamedExamTakesItsRecoveryCopyAlong)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    ASSERT_TRUE(fx.GiveUnsavedRecords());
    f.KeepRecoveryCopy();
    const std::filesystem::path folder = fx.home / files::FromUtf8("阅卷原始文件");
    auto copies = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().extension() == ".recover")
                names.push_back(files::ToUtf8(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(copies(), std::vector<std::string>{"期中数学.yj.recover"});

    (void)f.Session->exam.examName.SetUtf8("期末");
    f.KeepRecoveryCopy();
    EXPECT_EQ(copies(), std::vector<std::string>{"期末数学.yj.recover"});

    // Renamed once more and closed without saving: no copy stays.
    (void)f.Session->exam.examName.SetUtf8("月考");
    fx.prompts.Answer(PromptAnswer::No);   // do not save
    fx.prompts.Answer(PromptAnswer::Yes);  // close
    EXPECT_TRUE(f.close());
    EXPECT_TRUE(copies().empty());
}

// A recovery copy that cannot be written (a full disk; here a folder stands
// where it goes) is said once, not after every card, and again only after a
// copy was written in between.
TEST(MainForm, ARecoveryCopyThatCannotBeWrittenIsSaidOnce)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    fx.NameExam();
    std::filesystem::path copy = fx.SavedFile();
    copy += ".recover";
    std::filesystem::create_directories(copy / "blocked");
    fx.prompts.shown.clear();
    f.KeepRecoveryCopy();
    f.KeepRecoveryCopy();
    ASSERT_EQ(fx.prompts.Texts(), (std::vector<std::string>{kRecoveryCopyFailed}));
    EXPECT_EQ(std::string(kRecoveryCopyFailed),
              "阅卷记录的恢复副本无法写入（可能是硬盘空间不足）。程序出错或断电时，上次保存以后阅的答题卡会丢失，"
              "请尽快保存阅卷原始文件。");

    std::filesystem::remove_all(copy);
    f.KeepRecoveryCopy();
    EXPECT_TRUE(std::filesystem::is_regular_file(copy));
    EXPECT_EQ(fx.prompts.shown.size(), 1u);
    std::filesystem::remove(copy);
    std::filesystem::create_directories(copy / "blocked");
    f.KeepRecoveryCopy();
    EXPECT_EQ(fx.prompts.shown.size(), 2u);
}

TEST(MainForm, ClosingWithoutSavingDropsTheRecoveryCopy)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    fx.NameExam();
    f.KeepRecoveryCopy();
    std::filesystem::path copy = fx.SavedFile();
    copy += ".recover";
    ASSERT_TRUE(std::filesystem::exists(copy));
    f.SetUnsavedChanges(true);
    fx.prompts.Answer(PromptAnswer::No);   // do not save
    fx.prompts.Answer(PromptAnswer::No);   // and do not close after all
    f.close();
    EXPECT_TRUE(std::filesystem::exists(copy));  // still open: the copy stays
    fx.prompts.Answer(PromptAnswer::No);
    fx.prompts.Answer(PromptAnswer::Yes);
    f.close();
    EXPECT_FALSE(std::filesystem::exists(copy));
}

TEST(MainForm, AnUnreadableMarkingFileIsRefused)
{
    GuiFixture fx;
    fx.WriteFile("阅卷原始文件/坏.yj", "short");
    TestMainForm& f = fx.Start();
    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(fx.home / files::FromUtf8("阅卷原始文件/坏.yj"))));
    f.BtnOpenYJFile1Click();
    EXPECT_FALSE(f.BtnNext1->isEnabled());
    EXPECT_EQ(f.SessionStarted, 0);
    ASSERT_EQ(fx.prompts.shown.size(), 2u);
    EXPECT_EQ(fx.prompts.shown[1].kind, PromptKind::Message);
    EXPECT_EQ(fx.prompts.shown[1].text, "打开阅卷原始文件失败！\n文件不完整（只有5字节），不是有效的阅卷原始文件。");
}

// A raw file whose card has been deleted or renamed since: it opens and says
// so, but the card of the session before does not stay in its place, where it
// would read this exam's cards in another card's cells. The exam page then
// does not let marking begin until a card is chosen again, and says why.
TEST(MainForm, ARawFileWhoseCardIsGoneOpensWithoutTheCardBefore)
{
    GuiFixture fx;
    CopyShipped(fx, "模板文件/DY标准85题自动AB卷.dat");
    TestMainForm& f = fx.Start();
    f.Session->templateName = "DY标准85题自动AB卷.dat";
    std::string message;
    ASSERT_TRUE(LoadCardTemplate(fx.home, f.Session->templateName, f.Session->cardTemplate, message)) << message;

    // Last term's exam on a card of the same layout, saved under a name no card has now.
    auto old = NewMarkingSessionState();
    ExamPageContent page = ShowExamPage(f.Session->cardTemplate, "DY旧卡.dat", old->exam);
    page.examName = "期末";
    page.subjectIndex = 1;
    page.subjectiveIndex = 0;
    page.scoreRows = {{"1", "85", "1", "单选题"}};
    ASSERT_TRUE(CheckExamPage(f.Session->cardTemplate, page, old->exam).passed);
    const auto file = fx.home / files::FromUtf8("阅卷原始文件/期末.yj");
    ASSERT_TRUE(SaveMarkingFileTo(*old, file).ok);

    fx.prompts.fileNames.push_back(QString::fromStdString(files::ToUtf8(file)));
    f.BtnOpenYJFile1Click();
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"打开阅卷原始文件", "未发现模板文件：DY旧卡.dat"}));
    EXPECT_EQ(f.LCardName->text(), QStringLiteral("DY旧卡.dat"));
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 0);

    f.SetActivePage(4);
    f.ShowExamPage();
    fx.prompts.shown.clear();
    f.BtnNext4Click();
    EXPECT_EQ(f.ActivePage(), 4);
    EXPECT_EQ(fx.prompts.Texts(),
              (std::vector<std::string>{"答题卡“DY旧卡.dat”的模板文件没有读入，请点“重新选择答题卡”另选答题卡。"}));
}

TEST(MainForm, HelpTopicsOpenTheirPagesInTheHelpWindow)
{
    GuiFixture fx;
    for (int t = 0; t <= 6; ++t)
        fx.WriteFile(std::string("帮助/") + TMainForm::HelpTopicFile(t), "<html><body>help</body></html>");
    TestMainForm& f = fx.Start();
    f.SetActivePage(4);
    f.activateWindow();
    QTest::keyClick(&f, Qt::Key_F1);
    QApplication::processEvents();
    EXPECT_TRUE(f.Help()->CurrentPage().endsWith(QStringLiteral("帮助/考试信息设置.htm")));
    QTest::mouseClick(f.BtnHelp4, Qt::LeftButton);
    f.SetActivePage(1);
    QTest::mouseClick(f.BtnHelp1, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(f.Help()->CurrentPage().endsWith(QStringLiteral("帮助/准备答题卡.htm")));
    f.BtnHelpTool->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(f.Help()->CurrentPage().endsWith(QStringLiteral("帮助/简介.htm")));
    f.Help()->close();
}

TEST(MainForm, MissingHelpPageFallsBackToTheStartPage)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    // No help folder at all: said, instead of nothing or a browser on a missing file.
    f.ShowHelpTopic(2);
    QApplication::processEvents();
    EXPECT_TRUE(fx.opened.empty());
    EXPECT_EQ(fx.prompts.Texts(), (std::vector<std::string>{"没有找到帮助页面：" +
                                                            files::ToUtf8(fx.home / files::FromUtf8("帮助/连接摄像头.htm")) +
                                                            "（帮助文件夹可能没有装好）"}));

    fx.prompts.shown.clear();
    fx.WriteFile("帮助/简介.htm", "<html><body>start</body></html>");
    f.ShowHelpTopic(2);
    QApplication::processEvents();
    ASSERT_EQ(fx.opened.size(), 1u);
    EXPECT_EQ(QUrl(QString::fromStdString(fx.opened[0])).toLocalFile().toStdString(),
              files::ToUtf8(fx.home / files::FromUtf8("帮助/简介.htm")));
    EXPECT_TRUE(fx.prompts.shown.empty());
}

TEST(MainForm, DemoPictureAnnouncesItsPageAddress)
{
    GuiFixture fx;
    fx.WriteFile("帮助/演示动画.htm", "<html><body>demo</body></html>");
    TestMainForm& f = fx.Start();
    QTest::mouseClick(f.ImageDemo, Qt::LeftButton);
    ASSERT_EQ(fx.prompts.shown.size(), 1u);
    EXPECT_EQ(fx.prompts.shown[0].text.rfind("现在将自动打开演示动画网页,如果未能自动打开,请手动访问 file://", 0), 0u);
    EXPECT_TRUE(f.Help()->CurrentPage().endsWith(QStringLiteral("演示动画.htm")));
    f.Help()->close();
}

TEST(MainForm, FolderMenuItemsOpenTheInstallationFolders)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.N16->trigger();
    f.N19->trigger();
    ASSERT_EQ(fx.opened.size(), 2u);
    EXPECT_EQ(QUrl(QString::fromStdString(fx.opened[0])).toLocalFile().toStdString(),
              files::ToUtf8(fx.home / files::FromUtf8("阅卷原始文件")));
    EXPECT_EQ(QUrl(QString::fromStdString(fx.opened[1])).toLocalFile().toStdString(),
              files::ToUtf8(fx.home / files::FromUtf8("语音引擎")));
    EXPECT_TRUE(fx.prompts.shown.empty());

    // No program opens folders: the item says where the folder is instead of doing nothing.
    fx.desktopOpens = false;
    f.N21->trigger();
    ASSERT_EQ(fx.prompts.shown.size(), 1u);
    EXPECT_EQ(fx.prompts.shown[0].text, "无法打开文件夹（这台电脑上可能没有文件管理器），请手工打开：" +
                                            files::ToUtf8(fx.home / files::FromUtf8("原始图片")));
}

} // namespace

namespace {

TEST(MainForm, NewMarkingLoadsAShippedTemplate)
{
    GuiFixture fx;
    const std::filesystem::path shipped = std::filesystem::path(SCORIVO_SOURCE_DIR) / "data" / files::FromUtf8("模板文件");
    std::filesystem::copy(shipped, fx.home / files::FromUtf8("模板文件"),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    TestMainForm& f = fx.Start();
    // The real chooser: a double click on the 85-question card takes it.
    WhenShown(f.FormCard(), [](TFormCard& d) {
        const auto found = d.LVCards1->findItems(QStringLiteral("DY标准85题自动AB卷.dat"), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        d.LVCards1DblClick(found.front());
    });
    f.BtnNewYJClick();
    EXPECT_EQ(f.Session->templateName, "DY标准85题自动AB卷.dat");
    EXPECT_EQ(f.Session->cardTemplate.QuestionCount, 85);
    EXPECT_TRUE(fx.prompts.shown.empty());  // the template loaded without a message
    f.BtnNext1Click();
    EXPECT_EQ(f.ActivePage(), 2);
}

} // namespace
