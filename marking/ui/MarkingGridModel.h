#pragma once
// The marking grid's table: a view over the session's records, never a copy.
// Row 0 is the standard answer, rows 1.. the student records that pass the
// page's grade and class boxes, in store order. Texts are made when a cell is
// painted, so refreshing 5000 records of 200 questions costs one pass over
// the filter and nothing per cell.

#include <QAbstractTableModel>
#include <QFont>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct MarkingSessionState;

// Which student records the grid shows (GBK texts).
struct MarkingGridFilter {
    bool gradeOn = false;      // grades are enabled in the roster
    bool gradeChosen = false;  // a grade is selected in the grade box
    std::string gradeCode;
    bool classOn = false;      // classes are enabled in the roster
    bool allClasses = true;    // 所有班级 or nothing selected
    std::string classText;
};

namespace marking_grid {
inline constexpr int FixedColumns = 13;  // columns before the first question
inline constexpr int NameColumn = 4;
inline constexpr int AdmissionColumn = 3;
// The header texts of columns 0..12.
extern const char* const Captions[FixedColumns];
// Column widths in pixels; a question column is 20 (single) or 50 (multiple choice) wide.
extern const int Widths[FixedColumns];
} // namespace marking_grid

class MarkingGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // `edited` receives every committed edit of a standard-answer cell (the
    // grid column and the new text).
    using Edited = std::function<void(int column, const QString& text)>;

    MarkingGridModel(const MarkingSessionState& state, QObject* parent = nullptr);

    // Columns for the exam's current question count.
    void SetUpColumns();
    // Rows again from the store.
    void Refresh(const MarkingGridFilter& filter);

    // Record index shown in a row, -1 when the row shows none.
    int RecordAt(int row) const;
    // Row showing a record, -1 when the filter hides it.
    int RowOf(int record) const;
    int QuestionCount() const { return questionCount_; }
    // A student's answer that differs from a non-empty standard answer.
    bool DiffersFromKey(int row, int column) const;
    // A question cell of the standard answer while a standard answer exists.
    bool IsStandardAnswerCell(int row, int column) const;
    // The cell's text as painted.
    QString Text(int row, int column) const;

    void SetEdited(Edited edited) { edited_ = std::move(edited); }
    // A caption wider than its fixed column ("AB卷" in 26 px), in the
    // header's `font` with `margin` on either side, is given a smaller font
    // of its own, so that it is not clipped on both sides.
    void FitCaptions(const QFont& font, int margin);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    const MarkingSessionState& state_;
    int questionCount_ = 0;
    std::vector<int> rows_;  // record index per row
    Edited edited_;
    std::array<std::optional<QFont>, marking_grid::FixedColumns> captionFonts_;
};

// Whether a record passes the grid's filter (record 0 always does).
bool PassesMarkingGridFilter(const MarkingSessionState& state, int record, const MarkingGridFilter& filter);
