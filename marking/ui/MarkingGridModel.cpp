#include "marking/ui/MarkingGridModel.h"

#include <QBrush>
#include <QColor>
#include <QFontMetrics>
#include <algorithm>

#include "marking/SessionState.h"
#include "platform/NumberFormat.h"

namespace marking_grid {
const char* const Captions[FixedColumns] = {"",     "阅卷状态", "AB卷",     "准考证号", "姓名", "年级", "班级",
                                            "总得分", "主观题分", "选择题分", "多选",     "少选", "错选"};
const int Widths[FixedColumns] = {25, 55, 26, 78, 72, 64, 49, 52, 59, 58, 38, 34, 32};
} // namespace marking_grid

using marking_grid::FixedColumns;

bool PassesMarkingGridFilter(const MarkingSessionState& state, int record, const MarkingGridFilter& filter)
{
    if (record == 0)
        return true;
    const MarkingRecord& r = state.session.records[record];
    if (filter.gradeOn && (!filter.gradeChosen || r.gradeCode.View() != filter.gradeCode))
        return false;
    if (filter.classOn && !filter.allClasses && r.classCode.View() != filter.classText)
        return false;
    return true;
}

MarkingGridModel::MarkingGridModel(const MarkingSessionState& state, QObject* parent)
    : QAbstractTableModel(parent), state_(state)
{
}

void MarkingGridModel::SetUpColumns()
{
    beginResetModel();
    questionCount_ = std::clamp(state_.exam.questionCount, 0, MarkingRecord::MaxQuestions);
    endResetModel();
}

void MarkingGridModel::Refresh(const MarkingGridFilter& filter)
{
    beginResetModel();
    rows_.clear();
    const int count = std::clamp(state_.session.recordCount, 0, MarkingSession::MaxRecords);
    for (int i = 0; i < count; ++i)
        if (PassesMarkingGridFilter(state_, i, filter))
            rows_.push_back(i);
    endResetModel();
}

int MarkingGridModel::RecordAt(int row) const
{
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(row)] : -1;
}

int MarkingGridModel::RowOf(int record) const
{
    auto it = std::lower_bound(rows_.begin(), rows_.end(), record);
    return it != rows_.end() && *it == record ? static_cast<int>(it - rows_.begin()) : -1;
}

int MarkingGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    // Without records the grid still shows one empty row under its header.
    return std::max<int>(1, static_cast<int>(rows_.size()));
}

int MarkingGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : questionCount_ + FixedColumns;
}

static QString Q(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

static QString Score(float value)
{
    return Q(FormatScore(value));
}

QString MarkingGridModel::Text(int row, int column) const
{
    const int record = RecordAt(row);
    if (record < 0 || column < 0 || column >= columnCount())
        return {};
    const MarkingRecord& r = state_.session.records[record];
    if (column >= FixedColumns) {
        const std::string_view answer = r.questionResults[column - FixedColumns].answer.View();
        return QString::fromLatin1(answer.data(), static_cast<qsizetype>(answer.size()));
    }
    switch (column) {
    case 0:
        return row >= 1 ? QString::number(row) : QString();
    case 1:
        return QStringLiteral("已阅%1次").arg(r.readCount);
    case 2:
        return r.paperType == 0 ? QStringLiteral("A") : r.paperType == 1 ? QStringLiteral("B") : QString();
    case 3:
        return Q(r.admissionNumber.Utf8());
    case 4:
        return row == 0 ? QStringLiteral("标准答案") : Q(r.studentName.Utf8());
    case 5:
        return Q(r.gradeName.Utf8());
    case 6:
        return Q(r.classCode.Utf8());
    case 7:
        return Score(r.totalScore);
    case 8:
        return Score(r.subjectiveScore);
    case 9:
        return Score(r.choiceScore);
    case 10:
        return QString::number(r.extraCount);
    case 11:
        return QString::number(r.missingCount);
    case 12:
        return QString::number(r.wrongCount);
    default:
        return {};
    }
}

bool MarkingGridModel::DiffersFromKey(int row, int column) const
{
    if (row < 1 || column < FixedColumns || column >= columnCount())
        return false;
    const int record = RecordAt(row);
    if (record < 1)
        return false;
    const int q = column - FixedColumns;
    const auto& key = state_.session.records[0].questionResults[q].answer;
    return !key.Empty() && state_.session.records[record].questionResults[q].answer.View() != key.View();
}

bool MarkingGridModel::IsStandardAnswerCell(int row, int column) const
{
    return row == 0 && column >= FixedColumns && column < columnCount() && state_.session.recordCount > 0;
}

QVariant MarkingGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return Text(index.row(), index.column());
    case Qt::ForegroundRole:
        if (DiffersFromKey(index.row(), index.column()))
            return QBrush(Qt::red);
        return QBrush(Qt::black);
    default:
        return {};
    }
}

void MarkingGridModel::FitCaptions(const QFont& font, int margin)
{
    for (int c = 0; c < FixedColumns; ++c) {
        captionFonts_[c].reset();
        const QString caption = QString::fromUtf8(marking_grid::Captions[c]);
        const int room = marking_grid::Widths[c] - 2 * margin;
        QFont smaller = font;
        if (smaller.pointSizeF() <= 0 || QFontMetrics(smaller).horizontalAdvance(caption) <= room)
            continue;
        while (smaller.pointSizeF() > 5 && QFontMetrics(smaller).horizontalAdvance(caption) > room)
            smaller.setPointSizeF(smaller.pointSizeF() - 0.5);
        captionFonts_[c] = smaller;
    }
    emit headerDataChanged(Qt::Horizontal, 0, FixedColumns - 1);
}

QVariant MarkingGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::FontRole && section >= 0 && section < FixedColumns &&
        captionFonts_[section])
        return *captionFonts_[section];
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0)
        return {};
    if (section < FixedColumns)
        return QString::fromUtf8(marking_grid::Captions[section]);
    return QString::number(section - FixedColumns + 1);
}

Qt::ItemFlags MarkingGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsStandardAnswerCell(index.row(), index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool MarkingGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !IsStandardAnswerCell(index.row(), index.column()))
        return false;
    if (edited_)
        edited_(index.column(), value.toString());
    // A new key changes the colours of the whole column.
    emit dataChanged(this->index(0, index.column()), this->index(rowCount() - 1, index.column()));
    return true;
}
