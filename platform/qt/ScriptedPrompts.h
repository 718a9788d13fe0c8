#pragma once
// The scripted user for GUI tests: records what was shown and answers
// questions and file dialogs from queues (see platform/ScriptedPromptsCore.h).

#include <QString>
#include <deque>

#include "platform/ScriptedPromptsCore.h"
#include "platform/qt/Prompts.h"

class ScriptedPrompts : public ScriptedPromptsOf<Prompts> {
public:
    std::deque<QString> fileNames;  // an empty entry answers "cancelled"

    void ShowStartupWarning(const std::string& text) override
    {
        shown.push_back({PromptKind::StartupWarning, text});
    }
    QString GetOpenFileName(const QString& title, const QString&, const QString&) override
    {
        shown.push_back({PromptKind::OpenFile, title.toStdString()});
        return NextFile();
    }
    QString GetSaveFileName(const QString& title, const QString&, const QString&) override
    {
        shown.push_back({PromptKind::SaveFile, title.toStdString()});
        return NextFile();
    }

private:
    QString NextFile()
    {
        if (fileNames.empty()) {
            ++unanswered;
            return {};
        }
        QString f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
};
