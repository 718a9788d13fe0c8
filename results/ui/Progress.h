#pragma once
// The progress window of the score output: one bar from 0 to 100, shown
// while the rows are written and closed afterwards. Created once with the
// main window and reused.

#include <QDialog>

class QProgressBar;

class TFormProgress final : public QDialog {
    Q_OBJECT
public:
    explicit TFormProgress(QWidget* parent = nullptr);

    // Shows the window at 0 with the given caption.
    void Start(const QString& caption);
    // Sets the bar (clamped to 0 .. 100) and repaints it at once: the rows
    // are written on the window's own thread, so no event loop runs between.
    void SetPosition(int percent);
    void Finish();

    QProgressBar* ProgressBar1 = nullptr;
};
