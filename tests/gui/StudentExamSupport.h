#pragma once
// Helpers of the student page, exam page and card chooser tests: the shipped
// installation data in the temporary home, modal dialogs driven from inside,
// and saving screens when SCORIVO_SCREENS_DIR is set.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "GuiTestSupport.h"
#include "exam/ui/CardChooser.h"

inline std::filesystem::path ShippedData()
{
    return std::filesystem::path(SCORIVO_SOURCE_DIR) / "data";
}

// Copies a file of the shipped installation folders into the test's home.
inline void CopyShipped(const GuiFixture& fx, const std::string& relative)
{
    auto bytes = files::ReadAll(ShippedData() / files::FromUtf8(relative));
    ASSERT_TRUE(bytes.has_value()) << relative;
    fx.WriteFile(relative, *bytes);
}

// Runs `inside` once the next modal dialog is up; `inside` must close it
// (it is rejected if it forgets).
template <class Dialog, class F>
void WhenShown(Dialog* dialog, F inside)
{
    QTimer::singleShot(0, dialog, [dialog, inside] {
        inside(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

inline void SaveScreen(QWidget& w, const char* name)
{
    const char* dir = std::getenv("SCORIVO_SCREENS_DIR");
    if (!dir || !*dir)
        return;
    QDir().mkpath(QString::fromUtf8(dir));
    QApplication::processEvents();
    w.grab().save(QDir(QString::fromUtf8(dir)).filePath(QString::fromUtf8(name)));
}

inline QString Cell(const QTableWidget* t, int row, int column)
{
    const QTableWidgetItem* item = t->item(row, column);
    return item ? item->text() : QString();
}

inline void SetCell(QTableWidget* t, int row, int column, const char* text)
{
    if (!t->item(row, column))
        t->setItem(row, column, new QTableWidgetItem);
    t->item(row, column)->setText(QString::fromUtf8(text));
}

// Page 3 as the wizard enters it: a camera is found, Next on page 2.
inline void EnterStudentPage(GuiFixture& fx, TestMainForm& f)
{
    fx.camera.found = 1;
    f.BtnConnClick();
    f.SetActivePage(2);
    f.BtnNext2Click();
    QApplication::processEvents();
}

// "新阅卷" with the window's card chooser confirming whatever it offers:
// the roster starts again from the file used last.
inline void StartNewMarking(GuiFixture&, TestMainForm& f)
{
    WhenShown(f.FormCard(), [](TFormCard& d) { d.BtnDaiRu->click(); });
    f.BtnNewYJClick();
}

// The cell editor that has the focus inside `table`, or null.
inline QLineEdit* OpenEditor(QTableWidget* table)
{
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return editor && table->viewport()->isAncestorOf(editor) ? editor : nullptr;
}
