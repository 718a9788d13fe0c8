#include "students/ui/EditableGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPalette>

namespace grid {

bool IsTypedCharacter(const QKeyEvent& key)
{
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString t = key.text();
    return !t.isEmpty() && t.at(0).isPrint();
}

bool AcceptsCharacter(const QLineEdit& editor, QChar c, const QString& allowed, int maxLength)
{
    if (!allowed.contains(c))
        return false;
    if (maxLength > 0 && !editor.hasSelectedText() && editor.text().size() >= maxLength)
        return false;
    return true;
}

bool AcceptsDecimalCharacter(const QLineEdit& editor, QChar c, bool allowSlash, int maxLength)
{
    const QString text = editor.text();
    const bool selected = editor.hasSelectedText();
    if (maxLength > 0 && !selected && text.size() >= maxLength)
        return false;
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return true;
    int at = selected ? editor.selectionStart() : editor.cursorPosition();
    if (c == QLatin1Char('.'))
        return at == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9') && !text.contains(QLatin1Char('.'));
    if (c == QLatin1Char('/') && allowSlash)
        return !text.contains(QLatin1Char('/'));
    return false;
}

QString Text(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

void SetText(QTableWidget* table, int row, int column, const QString& text)
{
    if (QTableWidgetItem* item = table->item(row, column))
        item->setText(text);
    else
        table->setItem(row, column, new QTableWidgetItem(text));
}

void SetUp(QTableWidget* table, const QString& numberCaption, const QStringList& captions)
{
    table->setColumnCount(static_cast<int>(captions.size()) + 1);
    QStringList all{numberCaption};
    all += captions;
    table->setHorizontalHeaderLabels(all);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 36);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    table->setWordWrap(false);
    // A row-number cell selects its whole row.
    QObject::connect(table, &QTableWidget::currentCellChanged, table, [table](int row, int column, int, int) {
        if (row >= 0 && column == 0)
            table->selectRow(row);
    });
}

void NumberRows(QTableWidget* table)
{
    for (int r = 0; r < table->rowCount(); ++r) {
        QTableWidgetItem* item = table->item(r, 0);
        if (!item) {
            item = new QTableWidgetItem;
            table->setItem(r, 0, item);
        }
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setTextAlignment(Qt::AlignCenter);
        item->setBackground(table->palette().color(QPalette::Button));
        item->setText(QString::number(r + 1));
    }
}

int AppendRow(QTableWidget* table, const std::set<int>& editable, bool number)
{
    int row = table->rowCount();
    table->insertRow(row);
    for (int c = 1; c < table->columnCount(); ++c) {
        auto* item = new QTableWidgetItem;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (editable.count(c))
            flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
        table->setItem(row, c, item);
    }
    if (number)
        NumberRows(table);
    return row;
}

void FocusCell(QTableWidget* table, int row, int column, bool openEditor)
{
    if (row < 0 || row >= table->rowCount())
        return;
    table->setFocus(Qt::OtherFocusReason);
    table->setCurrentCell(row, column);
    if (openEditor) {
        if (QTableWidgetItem* item = table->item(row, column))
            table->editItem(item);
    }
}

CellDelegate::CellDelegate(QTableWidget* table, KeyFilter filter, Edited edited, std::set<int> numericColumns)
    : QStyledItemDelegate(table), table_(table), filter_(std::move(filter)), edited_(std::move(edited)),
      numericColumns_(std::move(numericColumns))
{
    table->setItemDelegate(this);
    // The unfocused look differs from the focused one: repaint on every change.
    table->installEventFilter(this);
}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    auto* editor = qobject_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
    if (!editor)
        editor = new QLineEdit(parent);
    editor->setFrame(false);
    const int row = index.row();
    const int column = index.column();
    // Numbers are typed directly, never through a Chinese input method.
    if (numericColumns_.count(column)) {
        editor->setAttribute(Qt::WA_InputMethodEnabled, false);
        editor->setInputMethodHints(Qt::ImhPreferNumbers);
    }
    editor->installEventFilter(const_cast<CellDelegate*>(this));
    if (edited_) {
        auto edited = edited_;
        connect(editor, &QLineEdit::textEdited, editor, [edited, row, column, editor] { edited(row, column, *editor); });
    }
    editor_ = editor;
    return editor;
}

void CellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!table_->hasFocus() && index.column() > 0) {
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        option->backgroundBrush = QBrush(Qt::white);
    }
}

void CellDelegate::CommitOpenEditor()
{
    // A closed editor is hidden at once and deleted later.
    if (!editor_ || editor_->isHidden())
        return;
    QLineEdit* editor = editor_;
    editor_ = nullptr;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool CellDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_) {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            table_->viewport()->update();
        return false;
    }
    auto* editor = qobject_cast<QLineEdit*>(watched);
    if (editor && event->type() == QEvent::KeyPress && filter_) {
        auto* key = static_cast<QKeyEvent*>(event);
        QModelIndex index = table_->currentIndex();
        if (filter_(index.row(), index.column(), *editor, *key))
            return true;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

} // namespace grid
