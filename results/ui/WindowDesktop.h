#pragma once
// The desktop as the output page uses it when nothing else is handed in:
// the MIME database says which programs exist, the window's own opener
// (MainServices::openUrl, the desktop's default program) opens the files,
// and the first text editor found shows a CSV nothing else can show.

#include <QUrl>
#include <functional>

#include "results/Desktop.h"

class WindowDesktop final : public Desktop {
public:
    explicit WindowDesktop(std::function<bool(const QUrl&)> openUrl) : openUrl_(std::move(openUrl)) {}

    bool CanOpenSpreadsheets() override { return system_.CanOpenSpreadsheets(); }
    bool OpenWithSpreadsheetProgram(const std::filesystem::path& file) override;
    bool OpenWithTextEditor(const std::filesystem::path& file) override { return system_.OpenWithTextEditor(file); }

private:
    std::function<bool(const QUrl&)> openUrl_;
    SystemDesktop system_;
};
