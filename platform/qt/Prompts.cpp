#include "platform/qt/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

static const QString kCaption = QStringLiteral("Scorivo");

QWidget* QtPrompts::Owner() const
{
    if (owner_)
        return owner_;
    return QApplication::activeWindow();
}

// Button texts are set here because Qt's own are English unless a
// translation happens to be installed.
static QMessageBox::StandardButton RunBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                                          const std::string& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton escape)
{
    QMessageBox box(icon, caption, QString::fromStdString(text), buttons, owner);
    const std::pair<QMessageBox::StandardButton, const char*> names[] = {
        {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是(&Y)"}, {QMessageBox::No, "否(&N)"}};
    for (const auto& [button, name] : names)
        if (auto* b = box.button(button))
            b->setText(QString::fromUtf8(name));
    box.setEscapeButton(escape);
    int result = box.exec();
    return static_cast<QMessageBox::StandardButton>(result);
}

void QtPrompts::ShowMessage(const std::string& text)
{
    RunBox(Owner(), QMessageBox::NoIcon, kCaption, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtPrompts::AskOkCancel(const std::string& text)
{
    return RunBox(Owner(), QMessageBox::Question, kCaption, text, QMessageBox::Ok | QMessageBox::Cancel,
                  QMessageBox::Cancel) == QMessageBox::Ok;
}

bool QtPrompts::AskYesNo(const std::string& text)
{
    return RunBox(Owner(), QMessageBox::Question, kCaption, text, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::No) == QMessageBox::Yes;
}

PromptAnswer QtPrompts::AskYesNoCancel(const std::string& text)
{
    auto r = RunBox(Owner(), QMessageBox::Question, kCaption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    if (r == QMessageBox::Yes)
        return PromptAnswer::Yes;
    if (r == QMessageBox::No)
        return PromptAnswer::No;
    return PromptAnswer::Cancel;
}

void QtPrompts::ShowStartupWarning(const std::string& text)
{
    RunBox(Owner(), QMessageBox::Information, QStringLiteral("提示："), text, QMessageBox::Ok, QMessageBox::Ok);
}

QString QtPrompts::GetOpenFileName(const QString& title, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(Owner(), title, folder, filter);
}

QString QtPrompts::GetSaveFileName(const QString& title, const QString& folder, const QString& filter)
{
    return QFileDialog::getSaveFileName(Owner(), title, folder, filter);
}
