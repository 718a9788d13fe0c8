// The output page: its item lists, the unmarked-student figures, the refusals
// of "输出", the range entries' keys, the two progress windows, and the score
// table and statistics workbook written through the page.
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <random>

#include "StudentExamSupport.h"
#include "marking/Scoring.h"
#include "results/Desktop.h"
#include "results/ScoreOutput.h"
#include "results/Statistics.h"
#include "results/ui/Progress.h"
#include "results/ui/ScoreChart.h"
#include "results/ui/TjProgress.h"
#include "results/ui/WindowDesktop.h"

namespace {

QStringList Items(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QStringList ComboItems(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

void Pick(QListWidget* list, const char* text)
{
    auto found = list->findItems(QString::fromUtf8(text), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text;
    list->setCurrentItem(found.front());
}

// Which programs the desktop has, and what it was asked to open.
struct FakeDesktop final : Desktop {
    bool spreadsheets = true;
    bool editor = true;
    std::vector<std::filesystem::path> spreadsheetOpened;
    std::vector<std::filesystem::path> editorOpened;
    bool CanOpenSpreadsheets() override { return spreadsheets; }
    bool OpenWithSpreadsheetProgram(const std::filesystem::path& f) override
    {
        spreadsheetOpened.push_back(f);
        return spreadsheets;
    }
    bool OpenWithTextEditor(const std::filesystem::path& f) override
    {
        editorOpened.push_back(f);
        return editor;
    }
};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder, const std::string& extension)
{
    std::vector<std::filesystem::path> found;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == extension)
            found.push_back(e.path());
    return found;
}

std::string Gbk(const char* utf8)
{
    return *gbk::FromUtf8(utf8);
}

MarkingRecord BlankRecord()
{
    MarkingRecord r;
    std::memset(&r, 0, sizeof r);
    return r;
}

// A window with a roster of two grades and three classes, an exam of three
// question groups and, when asked, records for some of the students; then
// "下一步 >" on the marking page.
struct OutputPage {
    GuiFixture fx;
    TestMainForm& f;

    FakeDesktop desktop;

    explicit OutputPage(bool fakeDesktop = true) : f(Start(fakeDesktop)) {}
    TestMainForm& Start(bool fakeDesktop)
    {
        if (fakeDesktop)
            fx.services.desktop = &desktop;
        return fx.Start();
    }

    StudentRoster& Roster() { return f.Session->roster; }

    void AddGrade(const char* name, const char* code)
    {
        StudentRoster& r = Roster();
        (void)r.grades[r.gradeCount].name.SetUtf8(name);
        (void)r.grades[r.gradeCount].code.SetUtf8(code);
        ++r.gradeCount;
    }
    void AddStudent(const char* number, const char* name, const char* grade, const char* cls)
    {
        StudentEntry s{};
        (void)s.admissionNumber.SetUtf8(number);
        (void)s.name.SetUtf8(name);
        (void)s.gradeCode.SetUtf8(grade);
        (void)s.classCode.SetUtf8(cls);
        ASSERT_TRUE(Roster().AppendStudent(s));
    }
    void AddStandardAnswer()
    {
        MarkingRecord r = BlankRecord();
        (void)r.admissionNumber.SetUtf8("    ");
        ASSERT_TRUE(f.Session->session.AppendRecord(r));
    }
    MarkingRecord& AddRecord(const char* number, const char* name, float total)
    {
        MarkingRecord r = BlankRecord();
        r.readCount = 1;
        (void)r.admissionNumber.SetUtf8(number);
        (void)r.studentName.SetUtf8(name);
        r.totalScore = total;
        r.choiceScore = total;
        EXPECT_TRUE(f.Session->session.AppendRecord(r));
        MarkingSession& s = f.Session->session;
        return s.records[s.recordCount - 1];
    }

    // Grades 七年级 (07) and 八年级 (08), classes 01 and 02 in 07, 01 in 08.
    void SchoolRoster()
    {
        Roster().gradeEnabled = 1;
        Roster().classEnabled = 1;
        AddGrade("七年级", "07");
        AddGrade("八年级", "08");
        AddStudent("0701003", "张三", "07", "01");
        AddStudent("0701001", "李四", "07", "01");
        AddStudent("0702001", "王五", "07", "02");
        AddStudent("0801001", "赵六", "08", "01");
        AddStudent("0701002", "钱七", "07", "01");
    }

    void Enter()
    {
        f.SetActivePage(5);
        f.BtnNext5Click();
        QApplication::processEvents();
    }
    void ChooseGrade(int index)
    {
        f.NJSC->setCurrentIndex(index);
        f.NJSCChange(index);
    }
    void ChooseClass(int index)
    {
        f.BJSC->setCurrentIndex(index);
        f.BJSCChange(index);
    }
    void ChooseStatisticsGroup(int grade, int cls)
    {
        f.NJTJ->setCurrentIndex(grade);
        f.NJTJChange(grade);
        f.BJTJ->setCurrentIndex(cls);
        f.BJTJChange(cls);
    }
    std::string Output()
    {
        fx.prompts.shown.clear();
        f.BtnSCClick();
        return fx.prompts.shown.empty() ? std::string() : fx.prompts.shown.back().text;
    }
    // "输出" of the statistics; waits until the workbook is written.
    std::string OutputStatistics()
    {
        fx.prompts.shown.clear();
        f.BtnTJClick();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (f.FormTJProgress->isVisible() && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(f.FormTJProgress->isVisible());
        return fx.prompts.shown.empty() ? std::string() : fx.prompts.shown.back().text;
    }
    std::filesystem::path OutputFolder() const { return fx.home / files::FromUtf8("成绩输出"); }
};

TEST(OutputPage, ItemButtonsBuildTheColumnList)
{
    OutputPage p;
    p.Enter();
    EXPECT_EQ(Items(p.f.LBAll).join(QLatin1Char('|')),
              QStringLiteral("准考证号|姓名|总得分|主观题分|选择题分|大题得分情况|多选|少选|错选|多选题号|少选题号|错选题号"));
    EXPECT_TRUE(p.f.LBSelected->count() == 0);

    // ">" with nothing chosen adds nothing; the same item twice is added once.
    p.f.BtnAddOne->click();
    EXPECT_EQ(p.f.LBSelected->count(), 0);
    Pick(p.f.LBAll, "总得分");
    p.f.BtnAddOne->click();
    p.f.BtnAddOne->click();
    Pick(p.f.LBAll, "准考证号");
    p.f.BtnAddOne->click();
    EXPECT_EQ(Items(p.f.LBSelected), (QStringList{QStringLiteral("总得分"), QStringLiteral("准考证号")}));

    // "删除" removes the chosen item only; with nothing chosen it does nothing.
    Pick(p.f.LBSelected, "总得分");
    p.f.BtnDeleteSelected->click();
    EXPECT_EQ(Items(p.f.LBSelected), QStringList{QStringLiteral("准考证号")});
    p.f.LBSelected->clearSelection();
    p.f.LBSelected->setCurrentRow(-1);
    p.f.BtnDeleteSelected->click();
    EXPECT_EQ(p.f.LBSelected->count(), 1);

    // ">>" replaces the choice with all twelve, in their order.
    p.f.BtnAddAll->click();
    EXPECT_EQ(Items(p.f.LBSelected), Items(p.f.LBAll));
    p.f.BtnClearSelected->click();
    EXPECT_EQ(p.f.LBSelected->count(), 0);

    // Entering the page again starts with an empty choice.
    p.f.BtnAddAll->click();
    p.f.BtnBack6->click();
    p.Enter();
    EXPECT_EQ(p.f.LBSelected->count(), 0);
}

TEST(OutputPage, StartsWithTheDesignedOptionsAndNotes)
{
    OutputPage p;
    p.Enter();
    EXPECT_TRUE(p.f.RBSCSort1->isChecked());
    EXPECT_FALSE(p.f.RBSCSort2->isChecked());
    EXPECT_TRUE(p.f.CBQueKao->isChecked());
    for (QCheckBox* c : {p.f.TJAverage, p.f.TJXiaoTiRate, p.f.TJDaTiRate, p.f.TJXiaoTiWrong, p.f.TJXiaoTiRight})
        EXPECT_FALSE(c->isChecked()) << c->objectName().toStdString();
    EXPECT_TRUE(p.f.MNoReadName->isReadOnly());
    EXPECT_TRUE(p.f.Memo3->isReadOnly());
    EXPECT_EQ(p.f.Memo4->toPlainText().toStdString(),
              "注意：小题范围文本框里可直接输入题号，中间用逗号“,”隔开，比如1,2,3,4,5,11 另外\n"
              "，表示连续的题时可以使用“-”符号，所以也可以写成 1-5,11 （“,”和“-”符号为英文\n"
              "输入状态下的半角字符）");
    const QStringList notes = p.f.Memo3->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(notes.size(), 13);
    EXPECT_EQ(notes[0], QStringLiteral("输出说明："));
    EXPECT_EQ(notes[2], QStringLiteral("1、为了能正常显示输出结果，请务必安装"));
    EXPECT_EQ(notes[3], QStringLiteral("WPS表格软件或Excel软件。如还没有，推荐"));
    EXPECT_EQ(notes[7], QStringLiteral("2、如果电脑上有WPS表格或Excel软件时会输"));
    EXPECT_EQ(notes[12], QStringLiteral("打开后可以编辑并另存成.xls文件"));
    const std::pair<const char*, const char*> captions[] = {
        {"BtnAddOne", ">"},          {"BtnAddAll", ">>"},           {"BtnDeleteSelected", "删除"},
        {"BtnClearSelected", "清空"}, {"RBSCSort1", "以学号排序"},   {"RBSCSort2", "以总成绩排序"},
        {"CBQueKao", "输出缺考学生信息"}, {"BtnSC", "输出"},          {"BtnTJ", "输出"},
        {"TJAverage", "统计平均分"},  {"TJXiaoTiRate", "统计每小题得分率"}, {"TJDaTiRate", "统计每大题得分率"},
        {"TJXiaoTiWrong", "统计小题做错名单"}, {"TJXiaoTiRight", "统计小题做对名单"},
        {"LblNJSC", "年级："}, {"LblBJSC", "班级："}, {"LblNJTJ", "年级："}, {"LblBJTJ", "班级："},
        {"LblTJWrongRange", "小题范围："}, {"LblTJRightRange", "小题范围："}};
    for (const auto& [name, caption] : captions) {
        QWidget* w = p.f.Page6Frame->findChild<QWidget*>(QString::fromUtf8(name));
        ASSERT_NE(w, nullptr) << name;
        const QVariant text = w->property("text");
        EXPECT_EQ(text.toString(), QString::fromUtf8(caption)) << name;
    }
    EXPECT_EQ(p.f.Page6Frame->findChild<QLabel*>(QStringLiteral("LblTJWrongRange"))->buddy(), p.f.TJWrongRange);
    EXPECT_EQ(p.f.GroupBoxSC->title(), QStringLiteral("学生成绩输出"));
    EXPECT_EQ(p.f.GroupBoxTJ->title(), QStringLiteral("统计"));
}

TEST(OutputPage, GradeAndClassListsFollowTheRoster)
{
    OutputPage p;
    p.SchoolRoster();
    p.Enter();
    for (QComboBox* box : {p.f.NJSC, p.f.NJTJ}) {
        EXPECT_EQ(ComboItems(box), (QStringList{QStringLiteral("七年级"), QStringLiteral("八年级")}));
        EXPECT_EQ(box->currentIndex(), -1);
        EXPECT_TRUE(box->isEnabled());
    }
    for (QComboBox* box : {p.f.BJSC, p.f.BJTJ}) {
        EXPECT_EQ(ComboItems(box),
                  (QStringList{QStringLiteral("所有班级"), QStringLiteral("01"), QStringLiteral("02")}));
        EXPECT_EQ(box->currentIndex(), -1);
    }

    p.Roster().classEnabled = 0;
    p.Roster().gradeEnabled = 0;
    p.f.BtnBack6->click();
    p.Enter();
    for (QComboBox* box : {p.f.NJSC, p.f.NJTJ, p.f.BJSC, p.f.BJTJ})
        EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(p.f.LblNJSC->isEnabled());
    EXPECT_FALSE(p.f.LblBJTJ->isEnabled());
}

TEST(OutputPage, UnmarkedStudentsOfTheChosenGradeAndClass)
{
    OutputPage p;
    p.SchoolRoster();
    p.AddStandardAnswer();
    p.AddRecord("0701001", "李四", 90);
    p.Enter();
    auto lines = [&] { return p.f.MNoReadName->toPlainText().toStdString(); };

    // With classes in use, choosing the grade alone lists nothing yet.
    p.ChooseGrade(0);
    EXPECT_EQ(lines(), "");
    p.ChooseClass(1);  // 01
    EXPECT_EQ(lines(), "学生人数：3\n未阅卷学生人数：2\n未阅卷学生名单：张三，钱七");
    p.ChooseClass(0);  // 所有班级
    EXPECT_EQ(lines(), "学生人数：4\n未阅卷学生人数：3\n未阅卷学生名单：张三，王五，钱七");
    // Once a class is chosen the grade change lists at once.
    p.ChooseGrade(1);
    EXPECT_EQ(lines(), "学生人数：1\n未阅卷学生人数：1\n未阅卷学生名单：赵六");

    p.AddRecord("0801001", "赵六", 70);
    p.ChooseClass(0);
    EXPECT_EQ(lines(), "学生人数：1\n未阅卷学生人数：0");
}

TEST(OutputPage, WithoutGradesTheFiguresShowOnEntering)
{
    OutputPage p;
    p.AddStudent("001", "张三", "", "");
    p.AddStudent("002", "李四", "", "");
    p.AddStandardAnswer();
    p.AddRecord("002", "李四", 90);
    p.Enter();
    EXPECT_EQ(p.f.MNoReadName->toPlainText().toStdString(), "学生人数：2\n未阅卷学生人数：1\n未阅卷学生名单：张三");
}

TEST(OutputPage, OutputRefusesWithoutGradeClassOrItems)
{
    OutputPage p;
    p.SchoolRoster();
    p.Enter();
    EXPECT_EQ(p.Output(), "请选择年级！");
    p.ChooseGrade(0);
    EXPECT_EQ(p.Output(), "请选择班级");
    p.ChooseClass(1);
    EXPECT_EQ(p.Output(), "请选择要输出的各个项");
    EXPECT_TRUE(FilesIn(p.OutputFolder(), ".csv").empty());
    EXPECT_TRUE(FilesIn(p.OutputFolder(), ".xlsx").empty());
    EXPECT_TRUE(p.desktop.spreadsheetOpened.empty());
}

// Class 01 of 七年级: two students marked, 钱七 absent.
void ClassWithAnAbsentStudent(OutputPage& p)
{
    p.SchoolRoster();
    (void)p.f.Session->exam.examName.SetUtf8("期中考试");
    (void)p.f.Session->exam.subjectName.SetUtf8("数学");
    p.AddStandardAnswer();
    p.AddRecord("0701003", "张三", 72.5f);
    p.AddRecord("0701001", "李四", 85);
    p.AddRecord("0702001", "王五", 60);
    p.Enter();
    p.ChooseGrade(0);
    p.ChooseClass(1);
    for (const char* item : {"准考证号", "姓名", "总得分"}) {
        Pick(p.f.LBAll, item);
        p.f.BtnAddOne->click();
    }
}

TEST(OutputPage, WritesTheCsvWhenNoProgramShowsWorkbooks)
{
    OutputPage p;
    p.desktop.spreadsheets = false;
    ClassWithAnAbsentStudent(p);

    EXPECT_EQ(p.Output(), output_texts::InstallSpreadsheet);
    const std::filesystem::path csv = p.OutputFolder() / "Result.csv";
    auto bytes = files::ReadAll(csv);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, Gbk("准考证号,姓名,总得分,\r\n"
                          "'0701001,李四,85,\r\n"
                          "'0701002,钱七\r\n"
                          "'0701003,张三,72.5,\r\n"));
    EXPECT_EQ(p.desktop.editorOpened, std::vector<std::filesystem::path>{csv});
    EXPECT_FALSE(p.f.FormProgress->isVisible());

    // By total, without the absent student.
    p.f.RBSCSort2->setChecked(true);
    p.f.CBQueKao->setChecked(false);
    (void)p.Output();
    EXPECT_EQ(*files::ReadAll(csv), Gbk("准考证号,姓名,总得分,\r\n"
                                        "'0701001,李四,85,\r\n"
                                        "'0701003,张三,72.5,\r\n"));
}

TEST(OutputPage, WritesAWorkbookAndOpensIt)
{
    OutputPage p;
    ClassWithAnAbsentStudent(p);
    EXPECT_EQ(p.Output(), "");
    const auto books = FilesIn(p.OutputFolder(), ".xlsx");
    ASSERT_EQ(books.size(), 1u);
    auto bytes = files::ReadAll(books.front());
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->substr(0, 2), "PK");  // a zip, as every .xlsx
    EXPECT_NE(bytes->find("xl/worksheets/sheet1.xml"), std::string::npos);
    EXPECT_EQ(p.desktop.spreadsheetOpened, books);
    EXPECT_TRUE(FilesIn(p.OutputFolder(), ".csv").empty());
    EXPECT_EQ(p.f.FormProgress->windowTitle(), QStringLiteral("成绩输出进度"));
    EXPECT_EQ(p.f.FormProgress->ProgressBar1->value(), 100);
    EXPECT_FALSE(p.f.FormProgress->isVisible());
}

// A desktop of its own: .xlsx files belong to a program, CSV files to none.
class XdgDesktop {
public:
    explicit XdgDesktop(const std::filesystem::path& root)
    {
        std::filesystem::create_directories(root / "config");
        std::filesystem::create_directories(root / "data/applications");
        (void)files::WriteAll(root / "config/mimeapps.list",
                              std::string("[Default Applications]\n") + kXlsxMimeType + "=calc.desktop\n");
        (void)files::WriteAll(root / "data/applications/calc.desktop",
                              std::string("[Desktop Entry]\nType=Application\nName=Calc\nExec=true %f\nMimeType=") +
                                  kXlsxMimeType + ";\n");
        Set("XDG_CONFIG_HOME", root / "config");
        Set("XDG_CONFIG_DIRS", root / "config");
        Set("XDG_DATA_HOME", root / "data");
        Set("XDG_DATA_DIRS", root / "data");
    }
    ~XdgDesktop()
    {
        for (const auto& [name, value] : saved_)
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
    }

private:
    void Set(const char* name, const std::filesystem::path& value)
    {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(OutputPage, WithoutADesktopGivenTheWindowOpensThroughItsOpener)
{
    if (std::system("command -v xdg-mime >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdg-mime is not installed";
    OutputPage p(false);
    XdgDesktop desktop(p.fx.home / "xdg");
    ClassWithAnAbsentStudent(p);

    EXPECT_EQ(p.Output(), "");
    const auto books = FilesIn(p.OutputFolder(), ".xlsx");
    ASSERT_EQ(books.size(), 1u);
    ASSERT_EQ(p.fx.opened.size(), 1u);
    EXPECT_EQ(QUrl(QString::fromStdString(p.fx.opened[0])).toLocalFile().toStdString(), files::ToUtf8(books[0]));

    // No program for CSV files: the window's opener is not asked to show one.
    WindowDesktop own([&](const QUrl& url) {
        p.fx.opened.push_back(url.toString().toStdString());
        return true;
    });
    EXPECT_TRUE(own.CanOpenSpreadsheets());
    EXPECT_FALSE(own.OpenWithSpreadsheetProgram(p.OutputFolder() / "Result.csv"));
    EXPECT_EQ(p.fx.opened.size(), 1u);
}

TEST(OutputPage, StatisticsAreCheckedThenWrittenBesideTheWindow)
{
    OutputPage p;
    ClassWithAnAbsentStudent(p);
    ExamSetup& e = p.f.Session->exam;
    e.groupCount = 1;
    e.groups[0] = {1, 5, 2.0f, 0};
    e.questionCount = 5;
    for (int i = 0; i < 5; ++i)
        e.questions[i] = {2.0f, 0, 0, 0};

    EXPECT_EQ(p.OutputStatistics(), statistics_texts::ChooseGrade);
    p.ChooseStatisticsGroup(0, 1);
    EXPECT_EQ(p.OutputStatistics(), statistics_texts::ChooseOption);
    EXPECT_TRUE(FilesIn(p.OutputFolder(), ".xlsx").empty());

    p.f.TJAverage->setChecked(true);
    p.f.TJXiaoTiWrong->setChecked(true);
    p.f.TJWrongRange->setText(QStringLiteral("1-3"));
    EXPECT_EQ(p.OutputStatistics(), "");
    const auto books = FilesIn(p.OutputFolder(), ".xlsx");
    ASSERT_EQ(books.size(), 1u);
    EXPECT_EQ(files::ReadAll(books.front())->substr(0, 2), "PK");
    EXPECT_EQ(p.desktop.spreadsheetOpened, books);
    // The figures beside the options are those of the written students.
    EXPECT_TRUE(p.f.LblTJSummary->text().contains(QStringLiteral("学生人数：3　已阅卷：2　缺考：1")));
    EXPECT_TRUE(p.f.LblTJSummary->text().contains(QStringLiteral("最高分：85　最低分：72.5")));
}

// Characters that no key of the test's keyboard gives, sent as typed text.
void TypeText(QLineEdit* entry, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(entry, &press);
    }
}

TEST(OutputPage, RangeEntriesTakeDigitsCommasAndDashesOnly)
{
    OutputPage p;
    p.Enter();
    for (QLineEdit* entry : {p.f.TJWrongRange, p.f.TJRightRange}) {
        entry->clear();
        QTest::keyClicks(entry, QStringLiteral("1-5,11"));
        EXPECT_EQ(entry->text(), QStringLiteral("1-5,11")) << entry->objectName().toStdString();
        QTest::keyClicks(entry, QStringLiteral("a 7Z"));
        EXPECT_EQ(entry->text(), QStringLiteral("1-5,117"));
        TypeText(entry, QStringLiteral("，－１,2"));  // full-width comma, dash and digit
        EXPECT_EQ(entry->text(), QStringLiteral("1-5,117,2"));
        QTest::keyClick(entry, Qt::Key_Backspace);
        QTest::keyClick(entry, Qt::Key_Backspace);
        EXPECT_EQ(entry->text(), QStringLiteral("1-5,117"));
        EXPECT_FALSE(entry->testAttribute(Qt::WA_InputMethodEnabled));
    }
}

TEST(OutputPage, BusyBlockRunsInTwentyPixelStepsAndWraps)
{
    TFormTJProgress dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("正在输出。。。"));
    EXPECT_EQ(dialog.size(), QSize(315, 47));
    EXPECT_EQ(dialog.ImageProgress->geometry(), QRect(8, 16, 300, 20));
    EXPECT_EQ(dialog.Timer1->interval(), 50);
    EXPECT_FALSE(dialog.Timer1->isActive());

    dialog.show();
    EXPECT_TRUE(dialog.Timer1->isActive());
    dialog.Timer1->stop();  // the test ticks by hand
    EXPECT_EQ(dialog.Position(), 0);
    std::vector<int> seen;
    for (int i = 0; i < 14; ++i) {
        dialog.Timer1Timer();
        seen.push_back(dialog.Position());
    }
    EXPECT_EQ(seen, (std::vector<int>{20, 40, 60, 80, 100, 120, 140, 160, 180, 200, 220, 240, 0, 20}));

    // The block at 20: three bands (colours given blue-high), white around it,
    // the strip's black border.
    const QImage strip = dialog.Strip().toImage();
    EXPECT_EQ(strip.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(strip.pixelColor(299, 19), QColor(Qt::black));
    EXPECT_EQ(strip.pixelColor(19, 5), QColor(Qt::white));
    EXPECT_EQ(strip.pixelColor(20 + 5, 1 + 5), QColor(0xB5, 0xE7, 0xEC));
    EXPECT_EQ(strip.pixelColor(20 + 25, 1 + 5), QColor(0x59, 0xC8, 0xD5));
    EXPECT_EQ(strip.pixelColor(20 + 45, 1 + 5), QColor(0x25, 0x85, 0x8F));
    EXPECT_EQ(strip.pixelColor(20 + 18, 1), QColor(0xB5, 0xE7, 0xEC));
    EXPECT_EQ(strip.pixelColor(20 + 19, 1), QColor(0x59, 0xC8, 0xD5));  // no gap between bands
    EXPECT_EQ(strip.pixelColor(20 + 70, 1 + 5), QColor(Qt::white));

    dialog.hide();
    EXPECT_FALSE(dialog.Timer1->isActive());
    // Shown again, it starts from the left edge.
    dialog.show();
    EXPECT_EQ(dialog.Position(), 0);
    dialog.hide();
}

TEST(OutputPage, ProgressWindowShowsTheOutputCaption)
{
    TFormProgress dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("进度"));
    EXPECT_EQ(dialog.ProgressBar1->minimum(), 0);
    EXPECT_EQ(dialog.ProgressBar1->maximum(), 100);
    dialog.Start(QStringLiteral("成绩输出进度"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("成绩输出进度"));
    dialog.SetPosition(150);
    EXPECT_EQ(dialog.ProgressBar1->value(), 100);
    dialog.Finish();
    EXPECT_FALSE(dialog.isVisible());
}

TEST(OutputPage, ChartDrawsOneBarPerBand)
{
    ScoreChart chart;
    chart.resize(300, 180);
    chart.SetBands({{QStringLiteral("0-59"), 2}, {QStringLiteral("60-69"), 0}, {QStringLiteral("90-100"), 6}});
    const QImage shot = chart.grab().toImage();
    // The larger count gives the taller bar; the empty band has none.
    auto barTop = [&](int x) {
        for (int y = 0; y < shot.height(); ++y)
            if (shot.pixelColor(x, y) == QColor(0x59, 0xC8, 0xD5))
                return y;
        return -1;
    };
    int tops[3] = {-1, -1, -1};
    for (int x = 0; x < shot.width(); ++x) {
        int band = x * 3 / shot.width();
        int t = barTop(x);
        if (t >= 0 && (tops[band] < 0 || t < tops[band]))
            tops[band] = t;
    }
    EXPECT_GT(tops[0], 0);
    EXPECT_EQ(tops[1], -1);
    EXPECT_GT(tops[2], 0);
    EXPECT_LT(tops[2], tops[0]);
}

// A class test of 30 questions worth 100 points, two classes of 20 with two
// absent, answers drawn with a fixed seed and scored as marking scores them.
void MarkedGrade(OutputPage& p)
{
    StudentRoster& r = p.Roster();
    r.gradeEnabled = 1;
    r.classEnabled = 1;
    p.AddGrade("七年级", "07");
    const char* family[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
    const char* given[] = {"明", "芳", "伟", "娜", "强", "静", "磊", "洋"};
    for (int i = 0; i < 40; ++i) {
        const std::string cls = i < 20 ? "01" : "02";
        const std::string number = "07" + cls + (i % 20 + 1 < 10 ? "0" : "") + std::to_string(i % 20 + 1);
        const std::string name = std::string(family[i % 10]) + given[(i * 3) % 8] + (i >= 10 ? given[i % 8] : "");
        p.AddStudent(number.c_str(), name.c_str(), "07", cls.c_str());
    }
    ExamSetup& e = p.f.Session->exam;
    (void)e.examName.SetUtf8("期中考试");
    (void)e.subjectName.SetUtf8("数学");
    e.groupCount = 2;
    e.groups[0] = {1, 20, 3.0f, 0};
    e.groups[1] = {21, 30, 4.0f, 1};
    e.questionCount = 30;
    for (int q = 0; q < 30; ++q)
        e.questions[q] = {q < 20 ? 3.0f : 4.0f, q < 20 ? 0 : 1, 0, 0};

    MarkingRecord standard = BlankRecord();
    (void)standard.admissionNumber.SetUtf8("       ");
    const char* multi[] = {"AB", "ACD", "BD", "BC", "ABD"};
    for (int q = 0; q < 30; ++q)
        (void)standard.questionResults[q].answer.Set(q < 20 ? std::string(1, char('A' + q % 4)) : multi[q % 5]);
    ASSERT_TRUE(p.f.Session->session.AppendRecord(standard));

    std::mt19937 random(20261207);
    for (int i = 0; i < 40; ++i) {
        if (i == 7 || i == 33)
            continue;  // absent
        const StudentEntry& s = r.students[i];
        MarkingRecord rec = BlankRecord();
        rec.readCount = 1;
        rec.admissionNumber = s.admissionNumber;
        rec.studentName = s.name;
        rec.gradeCode = s.gradeCode;
        rec.classCode = s.classCode;
        const double ability = 0.35 + 0.6 * std::uniform_real_distribution<double>(0, 1)(random);
        for (int q = 0; q < 30; ++q) {
            const bool right = std::bernoulli_distribution(ability)(random);
            const std::string key(standard.questionResults[q].answer.View());
            (void)rec.questionResults[q].answer.Set(right ? key : std::string(1, char('A' + (q + i) % 4)));
        }
        ScoreRecord(e, standard, rec);
        ASSERT_TRUE(p.f.Session->session.AppendRecord(rec));
    }
}

TEST(OutputPage, ChartCountsEveryMarkedStudentOfTheChosenClass)
{
    OutputPage p;
    MarkedGrade(p);
    p.f.resize(840, 688);
    p.Enter();
    EXPECT_TRUE(p.f.ChartTJ->Bands().empty());  // no grade chosen yet

    auto charted = [&] {
        int n = 0;
        for (const ScoreChart::Band& b : p.f.ChartTJ->Bands())
            n += b.count;
        return n;
    };
    p.ChooseStatisticsGroup(0, 0);
    EXPECT_EQ(charted(), 38);
    p.ChooseStatisticsGroup(0, 1);
    EXPECT_EQ(charted(), 19);
    EXPECT_TRUE(p.f.LblTJSummary->text().startsWith(QStringLiteral("学生人数：20　已阅卷：19　缺考：1")));

    p.ChooseStatisticsGroup(0, 0);
    p.ChooseGrade(0);
    p.ChooseClass(1);
    p.f.BtnAddAll->click();
    p.f.TJAverage->setChecked(true);
    p.f.TJXiaoTiRate->setChecked(true);
    p.f.TJXiaoTiWrong->setChecked(true);
    p.f.TJWrongRange->setText(QStringLiteral("1-5,21"));
    SaveScreen(p.f, "6-成绩输出.png");

    // Both outputs of the whole grade go through; with SCORIVO_SCREENS_DIR set
    // the workbooks are kept beside the screens for a look in a spreadsheet.
    EXPECT_EQ(p.Output(), "");
    p.f.TJDaTiRate->setChecked(true);
    p.f.TJXiaoTiRight->setChecked(true);
    p.f.TJRightRange->setText(QStringLiteral("21-25"));
    EXPECT_EQ(p.OutputStatistics(), "");
    ASSERT_EQ(FilesIn(p.OutputFolder(), ".xlsx").size(), 2u);
    ASSERT_EQ(p.desktop.spreadsheetOpened.size(), 2u);
    EXPECT_EQ(files::ToUtf8(p.desktop.spreadsheetOpened[0].filename()).rfind("期中考试数学-", 0), 0u);
    EXPECT_EQ(files::ToUtf8(p.desktop.spreadsheetOpened[1].filename()).rfind("期中考试数学统计-", 0), 0u);
    if (const char* dir = std::getenv("SCORIVO_SCREENS_DIR"); dir && *dir) {
        const std::filesystem::path out = files::FromUtf8(dir);
        std::filesystem::copy_file(p.desktop.spreadsheetOpened[0], out / files::FromUtf8("成绩表.xlsx"),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(p.desktop.spreadsheetOpened[1], out / files::FromUtf8("统计.xlsx"),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // The busy window as it looks a few ticks in.
    TFormTJProgress& busy = *p.f.FormTJProgress;
    busy.show();
    busy.Timer1->stop();
    for (int i = 0; i < 4; ++i)
        busy.Timer1Timer();
    SaveScreen(busy, "统计进度.png");
    busy.hide();
}

} // namespace
