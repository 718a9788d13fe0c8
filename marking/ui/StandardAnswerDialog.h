#pragma once
// "标准答案输入": the standard answer typed in, one answer per question,
// checked against the exam's question kinds and count before it is taken.

#include <QDialog>
#include <QString>

class QKeyEvent;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;
class Prompts;
struct ExamSetup;

class TFormBZDaAn final : public QDialog {
    Q_OBJECT
public:
    TFormBZDaAn(Prompts& prompts, QWidget* parent = nullptr);

    // Set by the caller before every showing.
    int MaxOptions = 4;                 // letters A .. the MaxOptions-th may be typed
    const ExamSetup* Exam = nullptr;    // the question kinds and count the answers must fit
    // Empty unless the dialog was closed with an accepted 确定.
    QString ResultText;

    QPlainTextEdit* Memo1 = nullptr;
    QTextEdit* Memo2 = nullptr;  // instructions
    QTextEdit* Memo3 = nullptr;  // the example
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;

    // True when the key is dropped (it may be typed upper-cased instead).
    bool Memo1KeyPress(const QKeyEvent& key);

public slots:
    void FormShow();
    void BtnOKClick();
    void BtnCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Prompts& prompts_;
};
