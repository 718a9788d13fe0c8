#pragma once
// "设计答题卡": a teacher chooses what the card holds on the left and sees the
// printed face on the right, drawn by the same renderer as the printed cards.
// 保存 writes the template with its picture into "模板文件/" and the
// printable sheet into "答题卡/"; 打印 sends the sheet to a printer.

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>

#include "exam/CardDesign.h"

class Prompts;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QScrollArea;
class QSpinBox;

class CardDesigner final : public QDialog {
    Q_OBJECT
public:
    CardDesigner(std::function<std::filesystem::path()> programFolder, Prompts& prompts, QWidget* parent = nullptr);

    // Shows the dialog modally; the file name of the saved template
    // ("DY….dat"), or empty when nothing was saved.
    std::string Design();

    // The design the controls hold, and its layout.
    CardDesign Current() const;
    const CardLayoutResult& Layout() const { return layout_; }

    // The system's print dialog; tests put their own answer here.
    std::function<bool(QPrinter&)> runPrintDialog;

    QLineEdit* EdtName = nullptr;
    QSpinBox* EdtQuestions = nullptr;
    QSpinBox* EdtOptions = nullptr;
    QLineEdit* EdtBlockOptions = nullptr;
    QLineEdit* EdtDown = nullptr;
    QSpinBox* EdtAdmission = nullptr;
    QSpinBox* EdtSubject = nullptr;
    QLineEdit* EdtSubjects = nullptr;
    QSpinBox* EdtScore = nullptr;
    QComboBox* CBAb = nullptr;
    QComboBox* CBColour = nullptr;
    QComboBox* CBPaper = nullptr;
    QCheckBox* CBLandscape = nullptr;
    QLabel* LblInfo = nullptr;
    QScrollArea* ScrollPreview = nullptr;
    QLabel* ImagePreview = nullptr;
    QPushButton* BtnSave = nullptr;
    QPushButton* BtnPrint = nullptr;
    QPushButton* BtnClose = nullptr;

public slots:
    void DesignChanged();
    void BtnSaveClick();
    void BtnPrintClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowPreview();
    std::string ListProblem(CardDesign& d) const;

    std::function<std::filesystem::path()> programFolder_;
    Prompts& prompts_;
    CardLayoutResult layout_;
    std::string listProblem_;
    std::string savedName_;
    int subjectDigits_ = 2;
};
