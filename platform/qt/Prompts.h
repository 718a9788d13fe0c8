#pragma once
// The one place where the window shows message boxes and file dialogs. The
// window and its pages hold a `Prompts&`; tests hand in `ScriptedPrompts`.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/PromptsCore.h"

class Prompts : public PromptsCore {
public:
    // A warning while the program starts, captioned "提示：".
    virtual void ShowStartupWarning(const std::string& text) = 0;
    // The chosen file's path, or an empty string when the dialog was cancelled.
    virtual QString GetOpenFileName(const QString& title, const QString& folder, const QString& filter) = 0;
    virtual QString GetSaveFileName(const QString& title, const QString& folder, const QString& filter) = 0;
};

// Real message boxes and dialogs, owned by the window given (or the active one).
class QtPrompts final : public Prompts {
public:
    explicit QtPrompts(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void ShowMessage(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    PromptAnswer AskYesNoCancel(const std::string& text) override;
    void ShowStartupWarning(const std::string& text) override;
    QString GetOpenFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString GetSaveFileName(const QString& title, const QString& folder, const QString& filter) override;

private:
    QWidget* Owner() const;
    QPointer<QWidget> owner_;
};
