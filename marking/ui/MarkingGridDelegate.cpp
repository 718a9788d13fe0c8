#include "marking/ui/MarkingGridDelegate.h"

#include <QKeyEvent>
#include <QTableView>

#include "marking/ui/MarkingGridModel.h"

MarkingGridDelegate::MarkingGridDelegate(QTableView* view, const MarkingGridModel& model, KeyFilter filter,
                                         Edited edited)
    : QStyledItemDelegate(view), view_(view), model_(model), filter_(std::move(filter)), edited_(std::move(edited))
{
}

QWidget* MarkingGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    // Option letters only: no input method, no pasting past the key rule.
    editor->setAttribute(Qt::WA_InputMethodEnabled, false);
    editor->setContextMenuPolicy(Qt::NoContextMenu);
    editor->installEventFilter(const_cast<MarkingGridDelegate*>(this));
    if (edited_) {
        auto edited = edited_;
        const int row = index.row();
        const int column = index.column();
        connect(editor, &QLineEdit::textEdited, editor,
                [edited, row, column](const QString& text) { edited(row, column, text); });
    }
    editor_ = editor;
    return editor;
}

void MarkingGridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    SGridYJDrawCell(option, index);
}

void MarkingGridDelegate::SGridYJDrawCell(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    if (index.column() == 0) {
        option->backgroundBrush = option->palette.brush(QPalette::Button);
        option->displayAlignment = Qt::AlignCenter;
    }
    const bool red = model_.DiffersFromKey(index.row(), index.column());
    if (red) {
        // Red on the selection colour of the current row as well.
        option->palette.setColor(QPalette::HighlightedText, Qt::red);
        option->palette.setColor(QPalette::Text, Qt::red);
    }
    if (lostFocus_) {
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        if (index.column() != 0)
            option->backgroundBrush = QBrush(Qt::white);
    }
}

void MarkingGridDelegate::CommitOpenEditor()
{
    if (!editor_ || editor_->isHidden())
        return;
    QLineEdit* editor = editor_;
    editor_ = nullptr;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool MarkingGridDelegate::eventFilter(QObject* watched, QEvent* event)
{
    auto* editor = qobject_cast<QLineEdit*>(watched);
    if (editor && event->type() == QEvent::KeyPress && filter_) {
        const QModelIndex index = view_->currentIndex();
        if (filter_(index.row(), index.column(), *editor, *static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}
