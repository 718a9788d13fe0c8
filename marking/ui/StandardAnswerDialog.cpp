#include "marking/ui/StandardAnswerDialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "marking/StandardAnswerInput.h"
#include "platform/Gbk.h"
#include "platform/qt/Prompts.h"

namespace {

const char* const kInstructions[] = {
    "方法1：",
    "    在答题卡上涂上标准答案，准考证号空着。另外也可以使用成绩最好的",
    "学生的答题卡做标准答案（读入后可以在列表中核对修改个别错误的答案）",
    "，可以先将其答题卡准考证号先用橡皮擦擦除，作为标准答案输入后再涂回",
    "原来的准考证号",
    "",
    "方法2：",
    "    直接在下面输入，方法：每个题目答案直接用 空格或回车分开，多选",
    "题答案要连续（比如 ABC)",
};

const char* const kExample[] = {
    "例子",
    "",
    "C B D C D",
    "A B C D D",
    "BC CD ACD",
    "",
    "表示 ",
    "1.C 2.B 3.D 4.C 5.D",
    "6.A 7.B 8.C 9.D 10.D",
    "11.BC 12.CD 13.ACD",
    "",
    "",
    "",
    "注意：如果某题是错题（错",
    "题的意思是题目出错了，全",
    "部直接给分），请先随便输",
    "入该题答案，等输入完所有",
    "答案并按确定后，再在阅卷",
    "列表里将该错题答案清空。",
};

template <std::size_t N>
QString Lines(const char* const (&lines)[N])
{
    QStringList all;
    for (const char* line : lines)
        all << QString::fromUtf8(line);
    return all.join(QLatin1Char('\n'));
}

// The texts are laid out line by line as written, in 12-pixel type on
// 14-pixel lines: at that size the widest instruction line (33 characters)
// and the example's 19 lines fit the dialog's 411 x 449 pixels unscrolled.
// Only one scroll bar is offered, so that the other never takes the room the
// lines need: `across` for the wide instructions, down for the long example.
QTextEdit* ReadOnlyMemo(QWidget* parent, const char* name, const QString& text, bool across)
{
    auto* memo = new QTextEdit(parent);
    memo->setObjectName(QString::fromUtf8(name));
    QFont font = memo->font();
    font.setPixelSize(12);
    memo->setFont(font);
    memo->document()->setDefaultFont(font);
    memo->document()->setDocumentMargin(2);
    memo->setPlainText(text);
    QTextCursor all(memo->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat lines;
    lines.setLineHeight(14, QTextBlockFormat::FixedHeight);
    all.mergeBlockFormat(lines);
    memo->setReadOnly(true);
    memo->setLineWrapMode(QTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(across ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    memo->setHorizontalScrollBarPolicy(across ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    memo->setFocusPolicy(Qt::NoFocus);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setStyleSheet(QStringLiteral("QTextEdit { background: palette(window); }"));
    return memo;
}

} // namespace

TFormBZDaAn::TFormBZDaAn(Prompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts)
{
    setObjectName(QStringLiteral("FormBZDaAn"));
    setWindowTitle(QStringLiteral("标准答案输入"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Memo2 = ReadOnlyMemo(this, "Memo2", Lines(kInstructions), true);
    Memo3 = ReadOnlyMemo(this, "Memo3", Lines(kExample), false);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setFixedSize(225, 257);
    Memo1->setTabChangesFocus(true);
    Memo1->setAttribute(Qt::WA_InputMethodEnabled, false);
    Memo1->installEventFilter(this);
    BtnOK = new QPushButton(QStringLiteral("确定"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnCancel = new QPushButton(QStringLiteral("取消"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    for (QPushButton* b : {BtnOK, BtnCancel}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(80);
    }

    auto* middle = new QHBoxLayout;
    middle->setSpacing(4);
    middle->addWidget(Memo1, 0, Qt::AlignTop);
    middle->addWidget(Memo3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addSpacing(16);
    buttons->addWidget(BtnCancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(4);
    Memo2->setFixedHeight(132);
    layout->addWidget(Memo2);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    setFixedSize(411, 449);

    connect(BtnOK, &QPushButton::clicked, this, &TFormBZDaAn::BtnOKClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TFormBZDaAn::BtnCancelClick);
}

void TFormBZDaAn::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormBZDaAn::FormShow()
{
    Memo1->clear();
    Memo1->setFocus();
    ResultText.clear();
}

void TFormBZDaAn::BtnCancelClick()
{
    reject();
}

void TFormBZDaAn::BtnOKClick()
{
    const QString text = Memo1->toPlainText();
    const std::optional<std::string> bytes = gbk::FromUtf8(text.toStdString());
    if (!bytes) {
        prompts_.ShowMessage("输入的答案中有不能识别的字符，请检查");
        Memo1->setFocus();
        return;
    }
    if (!Exam) {
        prompts_.ShowMessage("请先在考试信息设置里设置题分");
        return;
    }
    const std::string fault = CheckStandardAnswerInput(*bytes, *Exam);
    if (!fault.empty()) {
        prompts_.ShowMessage(fault);
        Memo1->setFocus();
        return;
    }
    ResultText = text;
    accept();
}

bool TFormBZDaAn::Memo1KeyPress(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods) {
        // Copying and pasting pass; no other control key reaches the text.
        if (mods == Qt::ControlModifier && (key.key() == Qt::Key_C || key.key() == Qt::Key_V))
            return false;
        return key.key() != Qt::Key_Control && key.key() != Qt::Key_Alt && key.key() != Qt::Key_Meta &&
               !key.text().isEmpty();
    }
    const QString typed = key.text();
    if (typed.isEmpty())
        return false;  // movement and editing keys
    const QChar c = typed.at(0);
    if (c == QLatin1Char(' ') || c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\b') ||
        key.key() == Qt::Key_Backspace || key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)
        return false;
    if (!c.isPrint())
        return false;
    char letter = c.toLatin1();
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    const int maxOptions = std::max(1, std::min(MaxOptions, 26));
    if (letter < 'A' || letter >= 'A' + maxOptions)
        return true;
    if (letter != c.toLatin1()) {
        Memo1->insertPlainText(QString(QLatin1Char(letter)));
        return true;
    }
    return false;
}

bool TFormBZDaAn::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo1 && event->type() == QEvent::KeyPress)
        return Memo1KeyPress(*static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}
