#pragma once
// The editable tables of the student and exam pages (grades, students,
// question scores, special rules) share one behaviour: captions in the
// header, the row numbers 1..n in column 0, white cells without a selection
// highlight while the table lacks the focus, a row selected by its number,
// and per-column key filters whose length limit is lifted while part of the
// cell's text is selected.

#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <functional>
#include <set>

class QKeyEvent;

namespace grid {

// True when the key is a character to be typed (not a movement or command key).
bool IsTypedCharacter(const QKeyEvent& key);

// Typing `c` into `editor` is allowed by a filter that accepts `allowed`
// characters and at most `maxLength` characters (<= 0: no limit).
bool AcceptsCharacter(const QLineEdit& editor, QChar c, const QString& allowed, int maxLength);

// The decimal filter of score cells: digits, one "." only as the second
// character (after exactly one digit), optionally one "/", at most
// `maxLength` characters unless text is selected.
bool AcceptsDecimalCharacter(const QLineEdit& editor, QChar c, bool allowSlash, int maxLength);

// The text of a cell, empty when the cell has no item.
QString Text(const QTableWidget* table, int row, int column);
void SetText(QTableWidget* table, int row, int column, const QString& text);

// Header captions of the data columns; column 0 gets the caption `numberCaption`.
void SetUp(QTableWidget* table, const QString& numberCaption, const QStringList& captions);
// Appends an empty row (items created, editable by `editable`), numbered
// unless the caller numbers all rows once after a long fill.
int AppendRow(QTableWidget* table, const std::set<int>& editable, bool number = true);
void NumberRows(QTableWidget* table);
// Cursor into a data cell, the table focused, and optionally its editor opened.
void FocusCell(QTableWidget* table, int row, int column, bool openEditor);

// The delegate that applies the key filters, reports every edit at once and
// paints the unfocused table without selection.
class CellDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // True: the key is dropped (the filter may move the caret first).
    using KeyFilter = std::function<bool(int row, int column, QLineEdit& editor, const QKeyEvent& key)>;
    // After each change of the editor's text by the user.
    using Edited = std::function<void(int row, int column, QLineEdit& editor)>;

    CellDelegate(QTableWidget* table, KeyFilter filter, Edited edited = {}, std::set<int> numericColumns = {});

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    // Writes the open editor's text into its cell and closes it.
    void CommitOpenEditor();
    QLineEdit* OpenEditor() const { return editor_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableWidget* table_;
    KeyFilter filter_;
    Edited edited_;
    std::set<int> numericColumns_;
    mutable QPointer<QLineEdit> editor_;
};

} // namespace grid
