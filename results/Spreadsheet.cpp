#include "results/Spreadsheet.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <system_error>
#include <tuple>

#include "platform/Files.h"
#include "results/Desktop.h"

namespace sheet {

namespace {
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;
// Blank cells are written with their format only inside this many cells of
// formatted area; a property over whole columns would otherwise write a
// million rows.
constexpr long long MaxFormattedBlankCells = 2'000'000;
} // namespace

bool CellFormat::operator<(const CellFormat& o) const
{
    return std::tie(fontSize, bold, fontColour, horizontal, vertical, numberFormat) <
           std::tie(o.fontSize, o.bold, o.fontColour, o.horizontal, o.vertical, o.numberFormat);
}

std::string ColumnLetters(int column)
{
    if (column < 1 || column > MaxColumns)
        return {};
    std::string letters;
    while (column > 0) {
        int d = (column - 1) % 26;
        letters.insert(letters.begin(), static_cast<char>('A' + d));
        column = (column - 1) / 26;
    }
    return letters;
}

static bool ParseCell(std::string_view text, int& row, int& column)
{
    std::size_t i = 0;
    long long c = 0;
    while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) {
        char up = static_cast<char>(text[i] & ~0x20);
        c = c * 26 + (up - 'A' + 1);
        if (c > MaxColumns)
            return false;
        ++i;
    }
    if (i == 0 || i == text.size())
        return false;
    long long r = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        r = r * 10 + (text[i] - '0');
        if (r > MaxRows)
            return false;
    }
    if (r < 1)
        return false;
    row = static_cast<int>(r);
    column = static_cast<int>(c);
    return true;
}

std::optional<Area> ParseA1(std::string_view reference)
{
    Area a;
    std::size_t colon = reference.find(':');
    if (colon == std::string_view::npos) {
        if (!ParseCell(reference, a.firstRow, a.firstColumn))
            return std::nullopt;
        a.lastRow = a.firstRow;
        a.lastColumn = a.firstColumn;
        return a;
    }
    if (!ParseCell(reference.substr(0, colon), a.firstRow, a.firstColumn) ||
        !ParseCell(reference.substr(colon + 1), a.lastRow, a.lastColumn))
        return std::nullopt;
    if (a.lastRow < a.firstRow || a.lastColumn < a.firstColumn)
        return std::nullopt;
    return a;
}

// --- Font and Range: each call is recorded on the sheet ---------------------

void Font::SetSize(double points)
{
    sheet_->AddProperty({area_, Worksheet::Property::Kind::FontSize, points, {}});
}
void Font::SetBold(bool bold)
{
    sheet_->AddProperty({area_, Worksheet::Property::Kind::Bold, bold ? 1.0 : 0.0, {}});
}
void Font::SetColor(BgrColour colour)
{
    sheet_->AddProperty({area_, Worksheet::Property::Kind::FontColour, static_cast<double>(colour), {}});
}

void Range::Merge(bool across)
{
    if (!across) {
        sheet_->merges_.push_back(area_);
        return;
    }
    for (int r = area_.firstRow; r <= area_.lastRow; ++r)
        sheet_->merges_.push_back(Area{r, area_.firstColumn, r, area_.lastColumn});
}
void Range::SetHorizontalAlignment(int code)
{
    sheet_->AddProperty({area_, Worksheet::Property::Kind::Horizontal, static_cast<double>(code), {}});
}
void Range::SetVerticalAlignment(int code)
{
    sheet_->AddProperty({area_, Worksheet::Property::Kind::Vertical, static_cast<double>(code), {}});
}
void Range::SetNumberFormatLocal(std::string_view format)
{
    sheet_->AddProperty({area_, Worksheet::Property::Kind::NumberFormat, 0, std::string(format)});
}
void Range::SetColumnWidth(double characters)
{
    for (int c = area_.firstColumn; c <= area_.lastColumn; ++c)
        sheet_->widths_[c] = characters;
}
void Range::SetValue(const CellValue& value)
{
    for (int r = area_.firstRow; r <= area_.lastRow; ++r)
        for (int c = area_.firstColumn; c <= area_.lastColumn; ++c) {
            if (value.kind == CellValue::Kind::Empty)
                sheet_->values_.erase({r, c});
            else
                sheet_->values_[{r, c}] = value;
        }
}

// --- Worksheet ---------------------------------------------------------------

std::optional<Range> Worksheet::GetRange(std::string_view reference)
{
    auto area = ParseA1(reference);
    if (!area)
        return std::nullopt;
    return Range(*this, *area);
}

const CellValue* Worksheet::ValueAt(int row, int column) const
{
    auto it = values_.find({row, column});
    return it == values_.end() ? nullptr : &it->second;
}

CellFormat Worksheet::FormatAt(int row, int column) const
{
    CellFormat f;
    for (const Property& p : properties_) {
        if (!p.area.Contains(row, column))
            continue;
        switch (p.kind) {
        case Property::Kind::FontSize: f.fontSize = p.number; break;
        case Property::Kind::Bold: f.bold = p.number != 0; break;
        case Property::Kind::FontColour: f.fontColour = static_cast<BgrColour>(p.number); break;
        case Property::Kind::Horizontal: f.horizontal = static_cast<int>(p.number); break;
        case Property::Kind::Vertical: f.vertical = static_cast<int>(p.number); break;
        case Property::Kind::NumberFormat: f.numberFormat = p.text; break;
        }
    }
    return f;
}

// --- Workbook ------------------------------------------------------------------

Workbook::Workbook() { sheets_.push_back(std::make_unique<Worksheet>("Sheet1")); }

static std::string MendSheetName(std::string_view name)
{
    std::string out;
    for (char c : name)
        out += std::string_view("[]:*?/\\").find(c) == std::string_view::npos ? c : '_';
    if (out.empty())
        out = "Sheet";
    // 31 characters, not bytes: cut at a UTF-8 character boundary.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if ((static_cast<unsigned char>(out[i]) & 0xC0) != 0x80 && ++chars > 31) {
            out.resize(i);
            break;
        }
    }
    return out;
}

Worksheet& Workbook::AddSheet(std::string_view name)
{
    std::string base = MendSheetName(name);
    std::string unique = base;
    for (int n = 2;; ++n) {
        bool taken = std::any_of(sheets_.begin(), sheets_.end(), [&](const auto& s) { return s->Name() == unique; });
        if (!taken)
            break;
        unique = MendSheetName(base.substr(0, 27) + "(" + std::to_string(n) + ")");
    }
    // A new workbook's first, still untouched "Sheet1" is taken over by the
    // first named sheet, so statistics workbooks do not start with an empty sheet.
    if (!firstSheetNamed_ && sheets_.size() == 1 && sheets_[0]->Values().empty() &&
        sheets_[0]->Properties().empty()) {
        firstSheetNamed_ = true;
        sheets_[0] = std::make_unique<Worksheet>(unique);
        active_ = 0;
        return *sheets_[0];
    }
    firstSheetNamed_ = true;
    sheets_.push_back(std::make_unique<Worksheet>(unique));
    active_ = sheets_.size() - 1;
    return *sheets_.back();
}

namespace {

uint8_t HorizontalCode(int code)
{
    switch (code) {
    case align::Left: return LXW_ALIGN_LEFT;
    case align::Center: return LXW_ALIGN_CENTER;
    case align::Right: return LXW_ALIGN_RIGHT;
    default: return LXW_ALIGN_NONE;
    }
}

uint8_t VerticalCode(int code)
{
    switch (code) {
    case align::Top: return LXW_ALIGN_VERTICAL_TOP;
    case align::Middle: return LXW_ALIGN_VERTICAL_CENTER;
    case align::Bottom: return LXW_ALIGN_VERTICAL_BOTTOM;
    default: return LXW_ALIGN_NONE;
    }
}

class FormatCache {
public:
    explicit FormatCache(lxw_workbook* wb) : wb_(wb) {}
    lxw_format* Get(const CellFormat& f)
    {
        if (f == CellFormat{})
            return nullptr;
        auto it = formats_.find(f);
        if (it != formats_.end())
            return it->second;
        lxw_format* x = workbook_add_format(wb_);
        if (f.fontSize > 0)
            format_set_font_size(x, f.fontSize);
        if (f.bold)
            format_set_bold(x);
        if (f.fontColour) {
            uint32_t bgr = *f.fontColour;
            // Automation colours are 0xBBGGRR, the file's are RRGGBB.
            uint32_t rgb = ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
            format_set_font_color(x, rgb);
        }
        if (uint8_t h = HorizontalCode(f.horizontal))
            format_set_align(x, h);
        if (uint8_t v = VerticalCode(f.vertical))
            format_set_align(x, v);
        // "@" is the built-in text format 49; as a custom format some programs
        // would not treat the cells as text.
        if (f.numberFormat == "@")
            format_set_num_format_index(x, 49);
        else if (!f.numberFormat.empty())
            format_set_num_format(x, f.numberFormat.c_str());
        formats_.emplace(f, x);
        return x;
    }

private:
    lxw_workbook* wb_;
    std::map<CellFormat, lxw_format*> formats_;
};

lxw_error WriteValue(lxw_worksheet* ws, int row, int column, const CellValue& v, lxw_format* format)
{
    const auto r = static_cast<lxw_row_t>(row - 1);
    const auto c = static_cast<lxw_col_t>(column - 1);
    switch (v.kind) {
    case CellValue::Kind::Text:
        return v.text.empty() ? worksheet_write_blank(ws, r, c, format)
                              : worksheet_write_string(ws, r, c, v.text.c_str(), format);
    case CellValue::Kind::Number: return worksheet_write_number(ws, r, c, v.number, format);
    case CellValue::Kind::Empty: return worksheet_write_blank(ws, r, c, format);
    }
    return LXW_NO_ERROR;
}

// Rows with a font larger than the default get a height that shows it: the
// file gives every row the default 15 points otherwise, and LibreOffice cut
// the 18-point title in half.
void SetTallRows(lxw_worksheet* ws, const Worksheet& sheet)
{
    constexpr double RowHeightPerPoint = 1.35;
    constexpr long long MaxCellsPerProperty = 10'000;  // titles, not whole columns
    std::map<int, double> largest;
    for (const Worksheet::Property& p : sheet.Properties()) {
        const long long cells = static_cast<long long>(p.area.lastRow - p.area.firstRow + 1) *
                                (p.area.lastColumn - p.area.firstColumn + 1);
        if (p.kind != Worksheet::Property::Kind::FontSize || cells > MaxCellsPerProperty)
            continue;
        // The size the cells end up with: a later call may have made it smaller.
        for (int r = p.area.firstRow; r <= p.area.lastRow; ++r)
            for (int c = p.area.firstColumn; c <= p.area.lastColumn; ++c)
                largest[r] = std::max(largest[r], sheet.FormatAt(r, c).fontSize);
    }
    constexpr double DefaultFontSize = 11;
    for (const auto& [row, size] : largest)
        if (size > DefaultFontSize)
            worksheet_set_row(ws, static_cast<lxw_row_t>(row - 1), size * RowHeightPerPoint, nullptr);
}

lxw_error WriteSheet(lxw_workbook* wb, lxw_worksheet* ws, const Worksheet& sheet, FormatCache& formats)
{
    SetTallRows(ws, sheet);
    for (const auto& [column, width] : sheet.ColumnWidths())
        worksheet_set_column(ws, static_cast<lxw_col_t>(column - 1), static_cast<lxw_col_t>(column - 1), width,
                             nullptr);

    auto inMerge = [&](int row, int column) {
        for (const Area& m : sheet.Merges())
            if (m.Contains(row, column))
                return true;
        return false;
    };

    for (const Area& m : sheet.Merges()) {
        if (m.firstRow == m.lastRow && m.firstColumn == m.lastColumn)
            continue;
        lxw_format* f = formats.Get(sheet.FormatAt(m.firstRow, m.firstColumn));
        const CellValue* v = sheet.ValueAt(m.firstRow, m.firstColumn);
        const char* text = v && v->kind == CellValue::Kind::Text ? v->text.c_str() : "";
        lxw_error e = worksheet_merge_range(ws, static_cast<lxw_row_t>(m.firstRow - 1),
                                            static_cast<lxw_col_t>(m.firstColumn - 1),
                                            static_cast<lxw_row_t>(m.lastRow - 1),
                                            static_cast<lxw_col_t>(m.lastColumn - 1), text, f);
        if (e != LXW_NO_ERROR)
            return e;
        if (v && v->kind == CellValue::Kind::Number)
            worksheet_write_number(ws, static_cast<lxw_row_t>(m.firstRow - 1),
                                   static_cast<lxw_col_t>(m.firstColumn - 1), v->number, f);
    }

    for (const auto& [cell, value] : sheet.Values()) {
        if (!sheet.Merges().empty() && inMerge(cell.first, cell.second))
            continue;
        lxw_error e = WriteValue(ws, cell.first, cell.second, value, formats.Get(sheet.FormatAt(cell.first, cell.second)));
        if (e != LXW_NO_ERROR)
            return e;
    }

    // Formatted cells without a value keep their format for what the user types.
    if (!sheet.Properties().empty()) {
        Area box = sheet.Properties().front().area;
        for (const auto& p : sheet.Properties()) {
            box.firstRow = std::min(box.firstRow, p.area.firstRow);
            box.firstColumn = std::min(box.firstColumn, p.area.firstColumn);
            box.lastRow = std::max(box.lastRow, p.area.lastRow);
            box.lastColumn = std::max(box.lastColumn, p.area.lastColumn);
        }
        long long cells = static_cast<long long>(box.lastRow - box.firstRow + 1) * (box.lastColumn - box.firstColumn + 1);
        if (cells <= MaxFormattedBlankCells) {
            for (int r = box.firstRow; r <= box.lastRow; ++r)
                for (int c = box.firstColumn; c <= box.lastColumn; ++c) {
                    if (sheet.ValueAt(r, c) || inMerge(r, c))
                        continue;
                    CellFormat f = sheet.FormatAt(r, c);
                    if (f == CellFormat{})
                        continue;
                    worksheet_write_blank(ws, static_cast<lxw_row_t>(r - 1), static_cast<lxw_col_t>(c - 1),
                                          formats.Get(f));
                }
        }
    }

    for (const ChartSpec& spec : sheet.Charts()) {
        lxw_chart* chart = workbook_add_chart(wb, spec.type == ChartSpec::Type::Bar ? LXW_CHART_BAR : LXW_CHART_COLUMN);
        lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(series, sheet.Name().c_str(), static_cast<lxw_row_t>(spec.categories.firstRow - 1),
                                    static_cast<lxw_col_t>(spec.categories.firstColumn - 1),
                                    static_cast<lxw_row_t>(spec.categories.lastRow - 1),
                                    static_cast<lxw_col_t>(spec.categories.lastColumn - 1));
        chart_series_set_values(series, sheet.Name().c_str(), static_cast<lxw_row_t>(spec.values.firstRow - 1),
                                static_cast<lxw_col_t>(spec.values.firstColumn - 1),
                                static_cast<lxw_row_t>(spec.values.lastRow - 1),
                                static_cast<lxw_col_t>(spec.values.lastColumn - 1));
        if (!spec.seriesName.empty())
            chart_series_set_name(series, spec.seriesName.c_str());
        if (!spec.title.empty())
            chart_title_set_name(chart, spec.title.c_str());
        if (!spec.xAxisTitle.empty())
            chart_axis_set_name(chart->x_axis, spec.xAxisTitle.c_str());
        if (!spec.yAxisTitle.empty())
            chart_axis_set_name(chart->y_axis, spec.yAxisTitle.c_str());
        if (spec.valueMin != 0 || spec.valueMax != 0) {
            chart_axis_set_min(chart->y_axis, spec.valueMin);
            chart_axis_set_max(chart->y_axis, spec.valueMax);
        }
        chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
        lxw_chart_options opt{};
        opt.x_scale = spec.widthScale;
        opt.y_scale = spec.heightScale;
        lxw_error e = worksheet_insert_chart_opt(ws, static_cast<lxw_row_t>(spec.anchorRow - 1),
                                                 static_cast<lxw_col_t>(spec.anchorColumn - 1), chart, &opt);
        if (e != LXW_NO_ERROR)
            return e;
    }
    return LXW_NO_ERROR;
}

} // namespace

bool Workbook::SaveAs(const std::filesystem::path& file, std::string* error) const
{
    auto fail = [&](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    // Written beside the target under a temporary name, then renamed, so that
    // a failed save never leaves a half-written workbook behind; a link is
    // saved through and a read-only workbook refused, as the raw file is.
    auto write = [this](int, const std::filesystem::path& temp, std::string& why) {
        const std::string tempName = files::ToUtf8(temp);
        lxw_workbook_options options{};
        options.constant_memory = LXW_FALSE;
        lxw_workbook* wb = workbook_new_opt(tempName.c_str(), &options);
        if (!wb) {
            why = "无法创建文件";
            return false;
        }
        FormatCache formats(wb);
        lxw_error e = LXW_NO_ERROR;
        for (const auto& s : sheets_) {
            lxw_worksheet* ws = workbook_add_worksheet(wb, s->Name().c_str());
            if (!ws) {
                e = LXW_ERROR_SHEETNAME_ALREADY_USED;
                break;
            }
            e = WriteSheet(wb, ws, *s, formats);
            if (e != LXW_NO_ERROR)
                break;
        }
        if (e == LXW_NO_ERROR && sheets_.size() > 1)
            if (lxw_worksheet* first = workbook_get_worksheet_by_name(wb, sheets_[active_]->Name().c_str()))
                worksheet_activate(first);
        const lxw_error closed = workbook_close(wb);
        if (e == LXW_NO_ERROR)
            e = closed;
        if (e != LXW_NO_ERROR)
            why = lxw_strerror(e);
        return e == LXW_NO_ERROR;
    };
    std::string why;
    if (!files::WriteAtomicWith(file, write, &why))
        return fail("无法写入文件 " + files::ToUtf8(file) + "：" + why);
    return true;
}

// --- Application -----------------------------------------------------------

std::filesystem::path StampedWorkbookFile(const std::filesystem::path& folder, std::string_view baseName,
                                          std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string base;
    for (char c : baseName)
        base += c == '/' ? '_' : c;
    if (base.empty())
        base = "成绩";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // Two outputs within one second (one class after another) would share the
    // name, and the later workbook would replace the earlier one. Something
    // else standing there (a folder) is no workbook to keep: saving says so.
    std::filesystem::path file = folder / files::FromUtf8(base + stamp + ".xlsx");
    for (int n = 2; std::filesystem::is_symlink(file, ec) ||
                    (std::filesystem::exists(file, ec) && !std::filesystem::is_directory(file, ec));
         ++n)
        file = folder / files::FromUtf8(base + stamp + "-" + std::to_string(n) + ".xlsx");
    return file;
}

Application::Application(Desktop& desktop, std::filesystem::path folder, std::string baseName,
                         std::function<std::time_t()> clock)
    : desktop_(&desktop), folder_(std::move(folder)), baseName_(std::move(baseName)), clock_(std::move(clock))
{
}

Workbook& Application::AddWorkbook()
{
    workbooks_.push_back(std::make_unique<Workbook>());
    return *workbooks_.back();
}

Application::Shown Application::SetVisible()
{
    Shown shown = Save();
    if (shown.saved)
        shown.opened = desktop_->OpenWithSpreadsheetProgram(shown.file);
    return shown;
}

Application::Shown Application::Save()
{
    Shown shown;
    Workbook* book = ActiveWorkbook();
    if (!book) {
        shown.error = "没有要显示的工作簿。";
        return shown;
    }
    shown.file = StampedWorkbookFile(folder_, baseName_, clock_ ? clock_() : std::time(nullptr));
    shown.saved = book->SaveAs(shown.file, &shown.error);
    return shown;
}

} // namespace sheet
