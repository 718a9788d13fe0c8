#pragma once
// How the marking grid paints and edits its cells: answers that differ from
// the standard answer in red (also on the selection colour), no selection
// while the grid has lost the focus, the serial column in the header colour,
// and the key rule of the standard-answer cells.

#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <functional>

class QKeyEvent;
class QTableView;
class MarkingGridModel;

class MarkingGridDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    // True: the key is dropped.
    using KeyFilter = std::function<bool(int row, int column, QLineEdit& editor, const QKeyEvent& key)>;
    // After each change of the editor's text by the user.
    using Edited = std::function<void(int row, int column, const QString& text)>;

    MarkingGridDelegate(QTableView* view, const MarkingGridModel& model, KeyFilter filter, Edited edited);

    // The grid was left (set) or entered (cleared).
    void SetLostFocus(bool lost) { lostFocus_ = lost; }
    bool LostFocus() const { return lostFocus_; }
    // The cell editor while it is open, else null.
    QLineEdit* OpenEditor() const { return editor_ && editor_->isVisible() ? editor_.data() : nullptr; }
    // Writes the open editor's text into its cell and closes it.
    void CommitOpenEditor();

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    // The colours of one cell over the style's own.
    void SGridYJDrawCell(QStyleOptionViewItem* option, const QModelIndex& index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* view_;
    const MarkingGridModel& model_;
    KeyFilter filter_;
    Edited edited_;
    bool lostFocus_ = false;
    mutable QPointer<QLineEdit> editor_;
};
