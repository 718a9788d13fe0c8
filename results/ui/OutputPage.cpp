// The output page "成绩输出": the score table of the chosen grade and class
// with the chosen columns, the list of students not marked yet, and the
// statistics workbook with its options; beside them the figures and the
// score distribution of the statistics' students.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/MainWindow.h"
#include "platform/qt/Prompts.h"
#include "results/ScoreOutput.h"
#include "results/Statistics.h"
#include "results/ui/Progress.h"
#include "results/ui/ScoreChart.h"
#include "results/ui/TjProgress.h"
#include "results/ui/WindowDesktop.h"
#include "students/ui/EditableGrid.h"

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string U(const QString& s)
{
    return s.toStdString();
}

constexpr char kOutputNotes[] =
    "输出说明：\n"
    "\n"
    "1、为了能正常显示输出结果，请务必安装\n"
    "WPS表格软件或Excel软件。如还没有，推荐\n"
    "下载安装WPS表格软件，它有免费的个人\n"
    "版，可从其官方网站下载。\n"
    "\n"
    "2、如果电脑上有WPS表格或Excel软件时会输\n"
    "出.xls文件。\n"
    "\n"
    "3、如果电脑上无WPS表格或Excel软件软件，\n"
    "将会输出.csv文件。csv文件用WPS表格软件\n"
    "打开后可以编辑并另存成.xls文件";

constexpr char kRangeNotes[] =
    "注意：小题范围文本框里可直接输入题号，中间用逗号“,”隔开，比如1,2,3,4,5,11 另外\n"
    "，表示连续的题时可以使用“-”符号，所以也可以写成 1-5,11 （“,”和“-”符号为英文\n"
    "输入状态下的半角字符）";

QPlainTextEdit* NoteMemo(QWidget* parent, const char* name, const char* text, const char* background)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromUtf8(name));
    memo->setReadOnly(true);
    memo->setPlainText(QString::fromUtf8(text));
    memo->setStyleSheet(QStringLiteral("QPlainTextEdit { background: %1; }").arg(QString::fromUtf8(background)));
    memo->setFocusPolicy(Qt::NoFocus);
    return memo;
}

// Calls the window's key handler for every key typed into an entry; a true
// answer drops the key.
class KeyPressHook final : public QObject {
public:
    KeyPressHook(QWidget* widget, std::function<bool(const QKeyEvent&)> handler)
        : QObject(widget), handler_(std::move(handler))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        return event->type() == QEvent::KeyPress && handler_(*static_cast<QKeyEvent*>(event));
    }

private:
    std::function<bool(const QKeyEvent&)> handler_;
};

// A score with one decimal, without a ".0" that says nothing.
QString Figure(double v)
{
    QString text = QString::number(v, 'f', 1);
    if (text.endsWith(QStringLiteral(".0")))
        text.chop(2);
    return text;
}

QString Percent(double share)
{
    return share < 0 ? QStringLiteral("—") : QString::number(share * 100, 'f', 1) + QLatin1Char('%');
}

} // namespace

void TMainForm::BuildOutputPage(QFrame* frame)
{
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromUtf8(name));
        return w;
    };
    auto button = [this, frame](const char* name, const char* text, int width) {
        QPushButton* b = MakeButton(frame, name, text);
        b->setMinimumWidth(width);
        return b;
    };

    // ---- 学生成绩输出 ----
    GroupBoxSC = new QGroupBox(QStringLiteral("学生成绩输出"), frame);
    GroupBoxSC->setObjectName(QStringLiteral("GroupBoxSC"));
    LblNJSC = new QLabel(QStringLiteral("年级："), GroupBoxSC);
    NJSC = new QComboBox(GroupBoxSC);
    named(NJSC, "NJSC");
    LblBJSC = new QLabel(QStringLiteral("班级："), GroupBoxSC);
    BJSC = new QComboBox(GroupBoxSC);
    named(BJSC, "BJSC");
    named(LblNJSC, "LblNJSC");
    named(LblBJSC, "LblBJSC");
    LblNJSC->setBuddy(NJSC);
    LblBJSC->setBuddy(BJSC);
    NJSC->setMinimumWidth(120);
    BJSC->setMinimumWidth(90);

    LBAll = new QListWidget(GroupBoxSC);
    named(LBAll, "LBAll");
    for (const char* item : OutputItemTexts())
        LBAll->addItem(QString::fromUtf8(item));
    LBSelected = new QListWidget(GroupBoxSC);
    named(LBSelected, "LBSelected");
    BtnAddOne = button("BtnAddOne", ">", 64);
    BtnAddAll = button("BtnAddAll", ">>", 64);
    BtnDeleteSelected = button("BtnDeleteSelected", "删除", 64);
    BtnClearSelected = button("BtnClearSelected", "清空", 64);
    for (QPushButton* b : {BtnAddOne, BtnAddAll, BtnDeleteSelected, BtnClearSelected})
        b->setParent(GroupBoxSC);

    RBSCSort1 = new QRadioButton(QStringLiteral("以学号排序"), GroupBoxSC);
    named(RBSCSort1, "RBSCSort1");
    RBSCSort2 = new QRadioButton(QStringLiteral("以总成绩排序"), GroupBoxSC);
    named(RBSCSort2, "RBSCSort2");
    RBSCSort1->setChecked(true);
    CBQueKao = new QCheckBox(QStringLiteral("输出缺考学生信息"), GroupBoxSC);
    named(CBQueKao, "CBQueKao");
    CBQueKao->setChecked(true);
    MNoReadName = new QPlainTextEdit(GroupBoxSC);
    named(MNoReadName, "MNoReadName");
    MNoReadName->setReadOnly(true);
    BtnSC = button("BtnSC", "输出", 96);
    BtnSC->setParent(GroupBoxSC);
    Memo3 = NoteMemo(GroupBoxSC, "Memo3", kOutputNotes, "silver");

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(LblNJSC);
    filterRow->addWidget(NJSC, 1);
    filterRow->addSpacing(12);
    filterRow->addWidget(LblBJSC);
    filterRow->addWidget(BJSC, 1);

    auto* allColumn = new QVBoxLayout;
    allColumn->addWidget(new QLabel(QStringLiteral("所有输出项："), GroupBoxSC));
    allColumn->addWidget(LBAll);
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->addStretch(1);
    for (QPushButton* b : {BtnAddOne, BtnAddAll, BtnDeleteSelected, BtnClearSelected})
        buttonColumn->addWidget(b);
    buttonColumn->addStretch(1);
    auto* selectedColumn = new QVBoxLayout;
    selectedColumn->addWidget(new QLabel(QStringLiteral("选定输出项："), GroupBoxSC));
    selectedColumn->addWidget(LBSelected);
    auto* listsRow = new QHBoxLayout;
    listsRow->addLayout(allColumn, 1);
    listsRow->addLayout(buttonColumn);
    listsRow->addLayout(selectedColumn, 1);

    auto* orderRow = new QHBoxLayout;
    orderRow->addWidget(RBSCSort1);
    orderRow->addWidget(RBSCSort2);
    orderRow->addStretch(1);
    auto* absentRow = new QHBoxLayout;
    absentRow->addWidget(CBQueKao);
    absentRow->addStretch(1);
    absentRow->addWidget(BtnSC);

    auto* scLayout = new QVBoxLayout(GroupBoxSC);
    scLayout->addLayout(filterRow);
    scLayout->addLayout(listsRow, 3);
    scLayout->addLayout(orderRow);
    scLayout->addLayout(absentRow);
    scLayout->addWidget(MNoReadName, 1);
    scLayout->addWidget(Memo3, 2);

    // ---- 统计 ----
    GroupBoxTJ = new QGroupBox(QStringLiteral("统计"), frame);
    GroupBoxTJ->setObjectName(QStringLiteral("GroupBoxTJ"));
    LblNJTJ = new QLabel(QStringLiteral("年级："), GroupBoxTJ);
    NJTJ = new QComboBox(GroupBoxTJ);
    named(NJTJ, "NJTJ");
    LblBJTJ = new QLabel(QStringLiteral("班级："), GroupBoxTJ);
    BJTJ = new QComboBox(GroupBoxTJ);
    named(BJTJ, "BJTJ");
    named(LblNJTJ, "LblNJTJ");
    named(LblBJTJ, "LblBJTJ");
    LblNJTJ->setBuddy(NJTJ);
    LblBJTJ->setBuddy(BJTJ);
    NJTJ->setMinimumWidth(110);
    BJTJ->setMinimumWidth(80);
    auto check = [this](const char* name, const char* text) {
        auto* c = new QCheckBox(QString::fromUtf8(text), GroupBoxTJ);
        c->setObjectName(QString::fromUtf8(name));
        return c;
    };
    TJAverage = check("TJAverage", "统计平均分");
    TJXiaoTiRate = check("TJXiaoTiRate", "统计每小题得分率");
    TJDaTiRate = check("TJDaTiRate", "统计每大题得分率");
    TJXiaoTiWrong = check("TJXiaoTiWrong", "统计小题做错名单");
    TJXiaoTiRight = check("TJXiaoTiRight", "统计小题做对名单");
    auto rangeEntry = [this](const char* name) {
        auto* e = new QLineEdit(GroupBoxTJ);
        e->setObjectName(QString::fromUtf8(name));
        // Typed with the input method off, "," and "-" are the half-width ones.
        e->setAttribute(Qt::WA_InputMethodEnabled, false);
        new KeyPressHook(e, [this](const QKeyEvent& key) { return TJRangeKeyPress(key); });
        return e;
    };
    TJWrongRange = rangeEntry("TJWrongRange");
    TJRightRange = rangeEntry("TJRightRange");
    Memo4 = NoteMemo(GroupBoxTJ, "Memo4", kRangeNotes, "#f0f0f0");
    Memo4->setStyleSheet(QStringLiteral("QPlainTextEdit { background: #f0f0f0; color: gray; }"));
    Memo4->setMaximumHeight(80);
    BtnTJ = button("BtnTJ", "输出", 96);
    BtnTJ->setParent(GroupBoxTJ);

    auto* tjFilterRow = new QHBoxLayout;
    tjFilterRow->addWidget(LblNJTJ);
    tjFilterRow->addWidget(NJTJ, 1);
    tjFilterRow->addSpacing(12);
    tjFilterRow->addWidget(LblBJTJ);
    tjFilterRow->addWidget(BJTJ, 1);
    auto* options = new QGridLayout;
    options->addWidget(TJAverage, 0, 0);
    options->addWidget(TJXiaoTiRate, 0, 1);
    options->addWidget(TJDaTiRate, 0, 2);
    options->addWidget(TJXiaoTiWrong, 1, 0);
    auto rangeLabel = [this](const char* name, QLineEdit* entry) {
        auto* label = new QLabel(QStringLiteral("小题范围："), GroupBoxTJ);
        label->setObjectName(QString::fromUtf8(name));
        label->setBuddy(entry);
        return label;
    };
    options->addWidget(rangeLabel("LblTJWrongRange", TJWrongRange), 1, 1, Qt::AlignRight);
    options->addWidget(TJWrongRange, 1, 2);
    options->addWidget(TJXiaoTiRight, 2, 0);
    options->addWidget(rangeLabel("LblTJRightRange", TJRightRange), 2, 1, Qt::AlignRight);
    options->addWidget(TJRightRange, 2, 2);
    options->setColumnStretch(2, 1);
    auto* tjButtonRow = new QHBoxLayout;
    tjButtonRow->addStretch(1);
    tjButtonRow->addWidget(BtnTJ);

    LblTJSummary = new QLabel(GroupBoxTJ);
    named(LblTJSummary, "LblTJSummary");
    LblTJSummary->setWordWrap(true);
    LblTJSummary->setTextFormat(Qt::PlainText);
    ChartTJ = new ScoreChart(GroupBoxTJ);
    named(ChartTJ, "ChartTJ");
    ChartTJ->SetTitle(QStringLiteral("总分分布（人数）"));

    auto* tjLayout = new QVBoxLayout(GroupBoxTJ);
    tjLayout->addLayout(tjFilterRow);
    tjLayout->addLayout(options);
    tjLayout->addWidget(Memo4);
    tjLayout->addLayout(tjButtonRow);
    tjLayout->addWidget(LblTJSummary);
    tjLayout->addWidget(ChartTJ, 1);

    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(GroupBoxSC, 5);
    layout->addWidget(GroupBoxTJ, 6);

    FormProgress = new TFormProgress(this);
    FormTJProgress = new TFormTJProgress(this);

    connect(BtnAddOne, &QPushButton::clicked, this, &TMainForm::BtnAddOneClick);
    connect(BtnAddAll, &QPushButton::clicked, this, &TMainForm::BtnAddAllClick);
    connect(BtnDeleteSelected, &QPushButton::clicked, this, &TMainForm::BtnDeleteSelectedClick);
    connect(BtnClearSelected, &QPushButton::clicked, this, &TMainForm::BtnClearSelectedClick);
    connect(NJSC, &QComboBox::activated, this, &TMainForm::NJSCChange);
    connect(BJSC, &QComboBox::activated, this, &TMainForm::BJSCChange);
    connect(NJTJ, &QComboBox::activated, this, &TMainForm::NJTJChange);
    connect(BJTJ, &QComboBox::activated, this, &TMainForm::BJTJChange);
    connect(BtnSC, &QPushButton::clicked, this, &TMainForm::BtnSCClick);
    connect(BtnTJ, &QPushButton::clicked, this, &TMainForm::BtnTJClick);
}

void TMainForm::PrepareOutputPage()
{
    SetUpOutputPage();
    ShowStatisticsSummary();
}

// ---- the item lists ----

void TMainForm::BtnAddOneClick()
{
    QListWidgetItem* chosen = LBAll->currentItem();
    if (!chosen || !chosen->isSelected())
        return;
    if (!LBSelected->findItems(chosen->text(), Qt::MatchExactly).isEmpty())
        return;
    LBSelected->addItem(chosen->text());
}

void TMainForm::BtnAddAllClick()
{
    LBSelected->clear();
    for (int i = 0; i < LBAll->count(); ++i)
        LBSelected->addItem(LBAll->item(i)->text());
}

void TMainForm::BtnDeleteSelectedClick()
{
    QListWidgetItem* chosen = LBSelected->currentItem();
    if (chosen && chosen->isSelected())
        delete LBSelected->takeItem(LBSelected->row(chosen));
}

void TMainForm::BtnClearSelectedClick()
{
    LBSelected->clear();
}

// TJWrongRangeKeyPress, TJRightRangeKeyPress: question numbers, "," and "-"
// only; editing keys (backspace, arrows, delete) are no typed characters.
bool TMainForm::TJRangeKeyPress(const QKeyEvent& key)
{
    return grid::IsTypedCharacter(key) && !QStringLiteral("0123456789,-").contains(key.text().at(0));
}

// ---- filling the page ----

void TMainForm::SetUpOutputPage()
{
    const StudentRoster& roster = Session->roster;
    auto fill = [](QComboBox* list, bool used, const std::vector<std::string>& items) {
        list->clear();
        if (used)
            for (const std::string& item : items)
                list->addItem(Q(item));
        list->setCurrentIndex(-1);
        list->setEnabled(used);
    };
    const bool grades = roster.gradeEnabled == 1;
    const std::vector<std::string> gradeItems = GradeListItems(roster);
    fill(NJSC, grades, gradeItems);
    fill(NJTJ, grades, gradeItems);
    LblNJSC->setEnabled(grades);
    LblNJTJ->setEnabled(grades);

    const bool classes = roster.classEnabled == 1;
    const std::vector<std::string> classItems = ClassListItems(roster);
    fill(BJSC, classes, classItems);
    fill(BJTJ, classes, classItems);
    LblBJSC->setEnabled(classes);
    LblBJTJ->setEnabled(classes);

    LBSelected->clear();
    // Without grades the filter is settled before anything is chosen: the
    // figures are shown at once instead of waiting for a choice that the
    // disabled lists cannot give.
    MNoReadName->clear();
    if (!grades)
        ListUnmarkedStudents();
}

GradeClassChoice TMainForm::OutputChoice() const
{
    return ChoiceFromLists(Session->roster, NJSC->currentIndex(), BJSC->currentIndex());
}

GradeClassChoice TMainForm::StatisticsChoice() const
{
    return ChoiceFromLists(Session->roster, NJTJ->currentIndex(), BJTJ->currentIndex());
}

void TMainForm::NJSCChange(int)
{
    if (Session->roster.classEnabled != 1 || BJSC->currentIndex() >= 0)
        ListUnmarkedStudents();
}

void TMainForm::BJSCChange(int)
{
    ListUnmarkedStudents();
}

void TMainForm::NJTJChange(int)
{
    ShowStatisticsSummary();
}

void TMainForm::BJTJChange(int)
{
    ShowStatisticsSummary();
}

// ---- the unmarked students ----

void TMainForm::ListUnmarkedStudents()
{
    const UnmarkedStudents unmarked =
        ::ListUnmarkedStudents(Session->roster, Session->session, OutputChoice());
    QStringList lines;
    for (const std::string& line : unmarked.lines)
        lines << Q(line);
    MNoReadName->setPlainText(lines.join(QLatin1Char('\n')));
    MNoReadName->verticalScrollBar()->setValue(0);
}

// ---- 输出: the score table ----

Desktop& TMainForm::OutputDesktop()
{
    if (services_.desktop)
        return *services_.desktop;
    if (!ownDesktop_)
        ownDesktop_ = std::make_shared<WindowDesktop>([this](const QUrl& url) { return OpenUrl(url); });
    return *ownDesktop_;
}

void TMainForm::BtnSCClick()
{
    ScoreOutputRequest request;
    request.roster = &Session->roster;
    request.exam = &Session->exam;
    request.session = &Session->session;
    request.choice = OutputChoice();
    for (int i = 0; i < LBSelected->count(); ++i)
        if (auto item = OutputItemFromText(U(LBSelected->item(i)->text())))
            request.items.push_back(*item);
    request.order = RBSCSort2->isChecked() ? RowOrder::ByTotal : RowOrder::ByNumber;
    request.includeAbsent = CBQueKao->isChecked();

    // The progress window comes up with the first row: a refused output
    // shows only its message.
    OutputScores(request, ProgramFolder, OutputDesktop(), Ask(), [this](int percent) {
        if (!FormProgress->isVisible())
            FormProgress->Start(QString::fromUtf8(output_texts::ProgressCaption));
        FormProgress->SetPosition(percent);
    });
    FormProgress->Finish();
}

// ---- 统计 ----

void TMainForm::ShowStatisticsSummary()
{
    StatisticsOptions options;
    options.average = true;
    ShowStatisticsModel(ComputeStatistics(Session->roster, Session->exam, Session->session, StatisticsChoice(),
                                          options));
}

void TMainForm::ShowStatisticsModel(const StatisticsModel& model)
{
    const ScoreSummary& t = model.total;
    QString text = QStringLiteral("学生人数：%1　已阅卷：%2　缺考：%3").arg(model.students).arg(model.marked).arg(model.absent);
    if (t.count > 0) {
        text += QStringLiteral("\n平均分：%1　最高分：%2　最低分：%3　中位数：%4")
                    .arg(Figure(t.mean), Figure(t.highest), Figure(t.lowest), Figure(t.median));
        text += QStringLiteral("\n标准差：%1　及格率：%2　优秀率：%3")
                    .arg(QString::number(t.standardDeviation, 'f', 2), Percent(model.passRate),
                         Percent(model.excellentRate));
    }
    LblTJSummary->setText(text);

    std::vector<ScoreChart::Band> bands;
    if (t.count > 0)
        for (const HistogramBin& bin : model.histogram)
            bands.push_back({Q(bin.label), bin.count});
    ChartTJ->SetBands(std::move(bands), model.students == 0 ? QStringLiteral("请选择要统计的年级和班级")
                                                            : QStringLiteral("还没有已阅卷的学生"));
}

void TMainForm::BtnTJClick()
{
    StatisticsOptions options;
    options.average = TJAverage->isChecked();
    options.questionRates = TJXiaoTiRate->isChecked();
    options.groupRates = TJDaTiRate->isChecked();
    options.wrongList = TJXiaoTiWrong->isChecked();
    options.rightList = TJXiaoTiRight->isChecked();
    options.wrongRange = U(TJWrongRange->text());
    options.rightRange = U(TJRightRange->text());
    const GradeClassChoice choice = StatisticsChoice();
    const std::string problem = CheckStatistics(Session->roster, Session->exam, choice, options);
    if (!problem.empty()) {
        Ask().ShowMessage(problem);
        return;
    }

    // The figures come from the records at once (25 ms for 5000 records of
    // 200 questions in bench/ResultsBench); building and saving the workbook
    // takes about four times as long and runs beside the window while the
    // busy window moves.
    auto model = std::make_shared<StatisticsModel>(
        ComputeStatistics(Session->roster, Session->exam, Session->session, choice, options));
    ShowStatisticsModel(*model);
    FormTJProgress->show();
    tjWorker_ = std::jthread([this, model, options, folder = ProgramFolder] {
        auto error = std::make_shared<std::string>();
        auto saved = std::make_shared<StatisticsOutputResult>(SaveStatisticsWorkbook(*model, options, folder, *error));
        QMetaObject::invokeMethod(
            this, [this, saved, error] { StatisticsWritten(*saved, *error); }, Qt::QueuedConnection);
    });
}

void TMainForm::StatisticsWritten(StatisticsOutputResult saved, const std::string& error)
{
    FormTJProgress->hide();
    ShowStatisticsWorkbook(saved, error, OutputDesktop(), Ask());
}
