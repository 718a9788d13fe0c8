// The card designer from the card chooser: a 35-question card designed in
// the dialog and saved, then chosen in the chooser, printed, never
// overwritten without asking; and a few filled cards of it marked through
// scorivo-cli.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "StudentExamSupport.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "exam/ui/CardChooser.h"
#include "exam/ui/CardDesigner.h"
#include "platform/NumberFormat.h"
#include "recognition/CardLayout.h"

namespace {

constexpr char kName[] = "DY期中35题.dat";

struct Chooser {
    GuiFixture fx;
    std::vector<QUrl> opened;
    TFormCard card{[this] { return fx.home; },
                   [this](const QUrl& u) {
                       opened.push_back(u);
                       return true;
                   },
                   nullptr, &fx.prompts};
    Chooser()
    {
        for (const char* name : {"DY标准60题A卷", "DY标准85题自动AB卷", "JD机读卡60题AB卷"}) {
            CopyShipped(fx, std::string("模板文件/") + name + ".dat");
            CopyShipped(fx, std::string("模板文件/") + name + ".jpg");
        }
    }
    std::filesystem::path File(const std::string& relative) const { return fx.home / files::FromUtf8(relative); }
};

// Opens the designer from the chooser's button; `inside` drives it.
template <class F>
void RunDesigner(TFormCard& chooser, F inside)
{
    QTimer::singleShot(0, &chooser, [&chooser, inside] {
        CardDesigner* d = chooser.Designer();
        ASSERT_NE(d, nullptr);
        inside(*d);
        if (d->isVisible())
            d->reject();
    });
    chooser.BtnDesign->click();
}

void Design35(CardDesigner& d)
{
    d.EdtName->setText(QStringLiteral("期中35题"));
    d.EdtQuestions->setValue(35);
    d.EdtScore->setValue(0);
    d.CBPaper->setCurrentIndex(0);
    d.CBLandscape->setChecked(false);
}

std::string Field(const std::string& line, const std::string& key)
{
    std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "<missing>";
    at += key.size() + 3;
    std::string value;
    if (line[at] == '"') {
        for (std::size_t i = at + 1; i < line.size() && line[i] != '"'; ++i)
            value += line[i];
        return value;
    }
    for (std::size_t i = at; i < line.size() && line[i] != ',' && line[i] != '}'; ++i)
        value += line[i];
    return value;
}

struct CliRun {
    int status = -1;
    std::vector<std::string> lines;
};

CliRun RunCli(const std::string& arguments)
{
    const std::string command = "'" + std::string(SCORIVO_BINARY_DIR) + "/scorivo-cli' " + arguments + " 2>&1";
    CliRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        if (line.rfind("QStandardPaths", 0) != 0)
            r.lines.push_back(line);
        start = end == std::string::npos ? out.size() : end + 1;
    }
    return r;
}

TEST(CardDesigner, DesignedCardIsSavedAndChosenInTheChooser)
{
    Chooser c;
    std::string chosen = "unset";
    WhenShown(&c.card, [&](TFormCard& chooser) {
        EXPECT_EQ(chooser.BtnDesign->text(), QStringLiteral("设计答题卡"));
        RunDesigner(chooser, [&](CardDesigner& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("设计答题卡"));
            // No name yet: nothing to save, and the reason is shown.
            d.EdtName->clear();
            EXPECT_FALSE(d.BtnSave->isEnabled());
            EXPECT_EQ(d.LblInfo->text(), QStringLiteral("请填写答题卡名称。"));
            Design35(d);
            ASSERT_TRUE(d.Layout().ok) << d.Layout().reason;
            EXPECT_TRUE(d.BtnSave->isEnabled());
            EXPECT_TRUE(d.LblInfo->text().startsWith(QStringLiteral("DY期中35题.dat：卡面"))) << d.LblInfo->text().toStdString();
            EXPECT_FALSE(d.ImagePreview->pixmap().isNull());
            // Too many questions for ten options: refused with the reason, preview empty.
            d.EdtOptions->setValue(10);
            d.EdtQuestions->setValue(120);
            EXPECT_FALSE(d.BtnSave->isEnabled());
            EXPECT_TRUE(d.LblInfo->text().startsWith(QStringLiteral("每题10个选项时一张答题卡最多放")));
            EXPECT_TRUE(d.ImagePreview->pixmap().isNull());
            d.EdtOptions->setValue(4);
            Design35(d);
            SaveScreen(d, "1-设计答题卡.png");
            d.BtnSave->click();
            EXPECT_FALSE(d.isVisible());
        });
        // The new card is listed and chosen, with its picture.
        auto selected = chooser.LVCards1->selectedItems();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.front()->text(0), QString::fromUtf8(kName));
        EXPECT_EQ(chooser.CardName, kName);
        EXPECT_TRUE(chooser.PictureShown());
        SaveScreen(chooser, "1-准备答题卡-设计的卡.png");
        // 打印答题卡 opens the card's own sheet, not the shipped cards' document.
        chooser.BtnPrint->click();
        ASSERT_EQ(c.opened.size(), 1u);
        EXPECT_EQ(c.opened.back().toLocalFile().toStdString(), files::ToUtf8(c.File("答题卡/DY期中35题.pdf")));
        chooser.LVCards1Click(chooser.LVCards1->topLevelItem(1));
        chooser.BtnPrint->click();
        EXPECT_EQ(c.opened.back().toLocalFile().toStdString(), files::ToUtf8(c.fx.home / files::FromUtf8("答题卡.pdf")));
        chooser.LVCards1Click(selected.front());
        chooser.BtnDaiRu->click();
    });
    chosen = c.card.Choose("", "新阅卷——请先选择本次阅卷要使用的答题卡");
    EXPECT_EQ(chosen, kName);
    EXPECT_TRUE(c.fx.prompts.WasShown("答题卡已保存。打印用的答题卡在“答题卡/DY期中35题.pdf”，也可以点“打印”直接打印。"));
    EXPECT_EQ(c.fx.prompts.unanswered, 0);

    // The three files: a template that loads, its picture, its sheet.
    CardTemplate t{};
    std::string message;
    ASSERT_TRUE(LoadCardTemplate(c.fx.home, kName, t, message)) << message;
    EXPECT_EQ(t.QuestionCount, 35);
    EXPECT_EQ(t.ScoreColumns, 0);
    EXPECT_EQ(t.AdmColumns, 9);
    EXPECT_TRUE(std::filesystem::exists(c.File("模板文件/DY期中35题.jpg")));
    auto pdf = files::ReadAll(c.File("答题卡/DY期中35题.pdf"));
    ASSERT_TRUE(pdf.has_value());
    EXPECT_EQ(pdf->substr(0, 5), "%PDF-");

    // Saving again under the same name asks first; No keeps the old card.
    const auto before = files::ReadAll(c.File("模板文件/DY期中35题.dat"));
    c.fx.prompts.Answer(PromptAnswer::No);
    WhenShown(&c.card, [&](TFormCard& chooser) {
        RunDesigner(chooser, [&](CardDesigner& d) {
            Design35(d);
            d.EdtQuestions->setValue(40);
            d.BtnSave->click();
            EXPECT_TRUE(d.isVisible());  // not saved: the designer stays open
        });
        chooser.QuxiaoButton->click();
    });
    (void)c.card.Choose(kName, "重新选择答题卡");
    EXPECT_TRUE(c.fx.prompts.WasShown("答题卡“DY期中35题.dat”已经存在，要用新设计的答题卡替换它吗？"));
    EXPECT_EQ(files::ReadAll(c.File("模板文件/DY期中35题.dat")), before);

    // Yes replaces it.
    c.fx.prompts.Answer(PromptAnswer::Yes);
    WhenShown(&c.card, [&](TFormCard& chooser) {
        RunDesigner(chooser, [&](CardDesigner& d) {
            Design35(d);
            d.EdtQuestions->setValue(40);
            d.BtnSave->click();
        });
        chooser.QuxiaoButton->click();
    });
    (void)c.card.Choose(kName, "重新选择答题卡");
    ASSERT_TRUE(LoadCardTemplate(c.fx.home, kName, t, message)) << message;
    EXPECT_EQ(t.QuestionCount, 40);
    EXPECT_EQ(c.fx.prompts.unanswered, 0);
}

TEST(CardDesigner, PrintSendsTheSheetToThePrinter)
{
    Chooser c;
    QTemporaryDir out;
    const QString printed = out.filePath(QStringLiteral("printed.pdf"));
    bool asked = false;
    WhenShown(&c.card, [&](TFormCard& chooser) {
        RunDesigner(chooser, [&](CardDesigner& d) {
            Design35(d);
            // The print dialog's answer: print to a file.
            d.runPrintDialog = [&](QPrinter& printer) {
                asked = true;
                EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
                EXPECT_NEAR(printer.pageLayout().fullRect(QPageLayout::Millimeter).width(), 210, 0.5);
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(printed);
                return true;
            };
            d.BtnPrint->click();
            EXPECT_TRUE(d.isVisible());
        });
        chooser.QuxiaoButton->click();
    });
    (void)c.card.Choose("", "重新选择答题卡");
    EXPECT_TRUE(asked);
    auto pdf = files::ReadAll(files::FromUtf8(printed.toStdString()));
    ASSERT_TRUE(pdf.has_value());
    EXPECT_EQ(pdf->substr(0, 5), "%PDF-");
    // Nothing was saved by printing.
    EXPECT_FALSE(std::filesystem::exists(c.File("模板文件/DY期中35题.dat")));
}

// The designed card marked from camera pictures: the standard answer, then
// three students of the shipped roster on papers A and B.
TEST(CardDesigner, DesignedCardMarksThroughTheCommandLine)
{
    Chooser c;
    WhenShown(&c.card, [&](TFormCard& chooser) {
        RunDesigner(chooser, [&](CardDesigner& d) {
            Design35(d);
            d.BtnSave->click();
        });
        chooser.BtnDaiRu->click();
    });
    ASSERT_EQ(c.card.Choose("", "新阅卷——请先选择本次阅卷要使用的答题卡"), kName);
    CardTemplate t{};
    std::string message;
    ASSERT_TRUE(LoadCardTemplate(c.fx.home, kName, t, message)) << message;

    std::vector<std::string> key;
    for (int q = 0; q < 35; ++q)
        key.push_back(std::string(1, static_cast<char>('A' + (q * 7) % 4)));
    struct Student {
        std::string admission;
        std::string name;
        int abType;
        int wrong;  // questions answered wrong (the first ones)
    };
    const std::vector<Student> students = {{"         ", "", 0, 0},
                                           {"010000001", "王浩然", 0, 0},
                                           {"010000002", "李梓涵", 1, 5},
                                           {"020000001", "梁浩宇", 1, 12}};
    std::string pictures;
    for (std::size_t i = 0; i < students.size(); ++i) {
        cardprint::FilledCard card;
        card.abType = students[i].abType;
        card.admission = students[i].admission;
        card.subject = "02";
        card.answers = key;
        for (int q = 0; q < students[i].wrong; ++q)
            card.answers[static_cast<std::size_t>(q)] = key[static_cast<std::size_t>(q)] == "A" ? "B" : "A";
        card.markSeed = 40 + i;
        cardprint::SynthOptions o;
        o.seed = 7 + i;
        o.rotateDeg = i % 2 ? 2.5 : -1.5;
        o.turned = i == 2;
        const QImage picture = cardprint::SynthesizeCameraImage(t, kName, card, o);
        const std::string file = files::ToUtf8(c.fx.home / ("card" + std::to_string(i) + ".png"));
        ASSERT_TRUE(picture.save(QString::fromStdString(file)));
        pictures += " '" + file + "'";
    }
    const std::string session = files::ToUtf8(c.fx.home / "阅卷原始文件/期中.yj");
    const std::string roster = std::string(SCORIVO_BINARY_DIR) + "/学生信息文件/测试.xs";
    // The command line reads the card from SCORIVO_HOME, where the designer saved it.
    CliRun created = RunCli("session new --out '" + session + "' --template '" + kName + "' --roster '" + roster +
                            "' --exam-name 期中 --subject 02 --groups 1-35:1:S");
    ASSERT_EQ(created.status, 0) << (created.lines.empty() ? "" : created.lines.back());
    CliRun marked = RunCli("mark --session '" + session + "'" + pictures);
    ASSERT_EQ(marked.lines.size(), students.size()) << marked.status;
    for (std::size_t i = 0; i < students.size(); ++i) {
        SCOPED_TRACE(marked.lines[i]);
        EXPECT_EQ(Field(marked.lines[i], "code"), "0");
        if (i == 0)
            continue;
        EXPECT_EQ(Field(marked.lines[i], "name"), students[i].name);
        EXPECT_EQ(Field(marked.lines[i], "admissionNumber"), students[i].admission);
        EXPECT_EQ(Field(marked.lines[i], "total"), FormatScore(static_cast<float>(35 - students[i].wrong)));
    }
    EXPECT_EQ(marked.status, 0);
}

} // namespace
