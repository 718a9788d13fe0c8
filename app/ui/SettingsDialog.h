#pragma once
// The settings dialog "阅卷设置": speech, checks, automatic marking speed and
// saving card pictures. Created once, reused; `Settled` says how it closed.

#include <QCheckBox>
#include <QDialog>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "app/MarkingSettings.h"

class QPushButton;
class QRadioButton;
class QSlider;
class QUrl;
class Prompts;

// A check box that warns before it is ticked (by mouse or keyboard).
class WarnedCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;
    std::function<void()> beforeTick;

protected:
    void nextCheckState() override
    {
        if (!isChecked() && beforeTick)
            beforeTick();
        QCheckBox::nextCheckState();
    }
};

class TFormYJSet final : public QDialog {
    Q_OBJECT
public:
    // `settings` is the program's record; `programFolder` returns where
    // "YJSet.dat" and "原始图片/" live (read when needed, as start-up sets it).
    TFormYJSet(MarkingSettings& settings, std::function<std::filesystem::path()> programFolder, Prompts& prompts,
               std::function<bool(const QUrl&)> openUrl, QWidget* parent = nullptr);

    int32_t Settled = 0;  // 1 when closed with OK

    WarnedCheckBox* CBYuYin = nullptr;
    QSlider* TBSpeed = nullptr;
    QCheckBox* CBIgnoreKeMuJC = nullptr;
    QCheckBox* CBIgnoreJDKColor = nullptr;
    QRadioButton* RBSpeed1 = nullptr;
    QRadioButton* RBSpeed2 = nullptr;
    QRadioButton* RBSpeed3 = nullptr;
    QCheckBox* CBISavePicture = nullptr;
    QPushButton* BtnOpenDir = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;

public slots:
    void FormShow();
    void BtnOKClick();
    void BtnCancelClick();
    void CBYuYinMouseDown();
    void BtnOpenDirClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    MarkingSettings& settings_;
    std::function<std::filesystem::path()> programFolder_;
    Prompts& prompts_;
    std::function<bool(const QUrl&)> openUrl_;
};

// The three speeds of automatic marking: delay in ms and stillness factor.
struct AutoSpeedChoice {
    int32_t delay;
    float tolerance;
};
inline constexpr AutoSpeedChoice kAutoSpeeds[3] = {{2000, 1.0f}, {1500, 1.5f}, {800, 2.0f}};
