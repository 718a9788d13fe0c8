#pragma once
// The class-size dialog of batch entry: the number of students to generate.

#include <QDialog>

class QLineEdit;
class QPushButton;
class Prompts;

class TForm3 final : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxClassSize = 1000;

    TForm3(Prompts& prompts, QWidget* parent = nullptr);

    // Empties the entry, focuses it, sets the result to 0 and runs modally;
    // returns ClassSize.
    int AskClassSize();

    int ClassSize = 0;  // the result: 0 when nothing was entered
    QLineEdit* Edit1 = nullptr;
    QPushButton* BtnOK = nullptr;

public slots:
    void FormShow();
    void BtnOKClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Prompts& prompts_;
};
