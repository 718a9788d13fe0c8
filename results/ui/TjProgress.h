#pragma once
// The busy window shown while the statistics workbook is written: a block
// of three blue bands runs along a white strip, 20 pixels every 50 ms.
// Created once with the main window and reused.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QTimer;

class TFormTJProgress final : public QDialog {
    Q_OBJECT
public:
    static constexpr int StripWidth = 300;
    static constexpr int StripHeight = 20;
    static constexpr int BlockWidth = 60;
    static constexpr int BlockHeight = 18;
    static constexpr int Step = 20;
    static constexpr int Wrap = 260;  // the position after 240 starts again at 0

    explicit TFormTJProgress(QWidget* parent = nullptr);

    // The block's left edge in the strip.
    int Position() const { return position_; }
    // The strip as last drawn.
    const QPixmap& Strip() const { return strip_; }

    QLabel* ImageProgress = nullptr;
    QTimer* Timer1 = nullptr;

public slots:
    void FormShow();
    void Timer1Timer();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The work, not the user, ends the window.
    void reject() override {}

private:
    void ClearStrip();

    QPixmap strip_;
    QPixmap block_;  // null while the window is closed
    int position_ = 0;
};
