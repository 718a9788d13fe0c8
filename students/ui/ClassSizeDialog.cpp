#include "students/ui/ClassSizeDialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/Prompts.h"
#include "students/ui/EditableGrid.h"

TForm3::TForm3(Prompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("请输入班级人数"));
    setModal(true);
    auto* label = new QLabel(QStringLiteral("班级人数："), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(4);
    Edit1->setFixedWidth(90);
    Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
    Edit1->installEventFilter(this);
    BtnOK = new QPushButton(QStringLiteral("确定"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setAutoDefault(false);
    BtnOK->setMinimumWidth(80);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(Edit1);
    row->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(14);
    layout->addLayout(row);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(260, 110)));

    connect(BtnOK, &QPushButton::clicked, this, &TForm3::BtnOKClick);
}

int TForm3::AskClassSize()
{
    FormShow();
    exec();
    return ClassSize;
}

void TForm3::FormShow()
{
    Edit1->clear();
    Edit1->setFocus();
    ClassSize = 0;
}

void TForm3::BtnOKClick()
{
    const QString text = Edit1->text();
    if (text.isEmpty()) {
        ClassSize = 0;
        accept();
        return;
    }
    int n = text.toInt();
    if (n > MaxClassSize) {
        prompts_.ShowMessage("班级人数不能大于1000，请重新输入");
        Edit1->clear();
        Edit1->setFocus();
        return;
    }
    ClassSize = n;
    accept();
}

// Edit1KeyPress: digits only; Enter acts as the button.
bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            BtnOKClick();
            return true;
        }
        if (grid::IsTypedCharacter(*key) && !QStringLiteral("0123456789").contains(key->text().at(0)))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
