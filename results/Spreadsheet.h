#pragma once
// An in-process spreadsheet with the automation calls the score output makes:
// a new workbook, its active sheet, ranges ("A1:J1"), cells, columns, fonts,
// values, column widths, alignments, the local number format and visibility.
//
// libxlsxwriter writes a cell together with its format and cannot change a
// cell once written, whereas automation sets properties on ranges in any
// order. So the layer records every call in memory (values per cell, range
// properties in call order, merges, widths) and resolves each cell's format
// only when the workbook is written out.
//
// Texts are UTF-8. Rows and columns count from 1, as in automation.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Desktop;

namespace sheet {

// Automation's small alignment codes.
namespace align {
inline constexpr int General = 1;
inline constexpr int Left = 2;    // horizontal
inline constexpr int Center = 3;  // horizontal
inline constexpr int Right = 4;   // horizontal
inline constexpr int Top = 1;     // vertical
inline constexpr int Middle = 2;  // vertical: centred
inline constexpr int Bottom = 3;  // vertical
} // namespace align

// Colours as automation gives them: 0xBBGGRR, so 255 is red.
using BgrColour = uint32_t;

struct CellValue {
    enum class Kind { Empty, Text, Number };
    Kind kind = Kind::Empty;
    std::string text;  // UTF-8
    double number = 0;

    static CellValue Text(std::string utf8) { return {Kind::Text, std::move(utf8), 0}; }
    static CellValue Number(double v) { return {Kind::Number, {}, v}; }
    bool operator==(const CellValue&) const = default;
};

// One cell's format once every range property covering it is applied.
struct CellFormat {
    double fontSize = 0;  // 0: the workbook's default font size
    bool bold = false;
    std::optional<BgrColour> fontColour;
    int horizontal = 0;  // 0: not set, else align:: code
    int vertical = 0;
    std::string numberFormat;  // "" general, "@" text
    bool operator==(const CellFormat&) const = default;
    bool operator<(const CellFormat& o) const;
};

// A rectangle of cells (first/last row and column, 1-based, inclusive).
struct Area {
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 1;
    int lastColumn = 1;
    bool operator==(const Area&) const = default;
    bool Contains(int row, int column) const
    {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
};

// "A1:J1", "B3", "A4:L5003" -> an area; nullopt when the text is not a
// reference (column letters A..XFD, rows 1..1048576, first before last).
std::optional<Area> ParseA1(std::string_view reference);
// 1 -> "A", 27 -> "AA"; empty outside 1..16384.
std::string ColumnLetters(int column);

class Worksheet;

// The font of a range: setting a property sets it on every cell of the range.
class Font {
public:
    Font(Worksheet& sheet, Area area) : sheet_(&sheet), area_(area) {}
    void SetSize(double points);
    void SetBold(bool bold);
    void SetColor(BgrColour colour);

private:
    Worksheet* sheet_;
    Area area_;
};

// A range, as Range("A1:J1"), Cells(r, c) or Columns(c) give it.
class Range {
public:
    Range(Worksheet& sheet, Area area) : sheet_(&sheet), area_(area) {}
    const Area& GetArea() const { return area_; }

    void Merge(bool across = false);
    void SetHorizontalAlignment(int code);
    void SetVerticalAlignment(int code);
    void SetNumberFormatLocal(std::string_view format);
    // Only meaningful on Columns(c): the width in characters.
    void SetColumnWidth(double characters);
    // Every cell of the range gets the value.
    void SetValue(const CellValue& value);
    void SetValue(std::string_view utf8) { SetValue(CellValue::Text(std::string(utf8))); }
    void SetValue(double number) { SetValue(CellValue::Number(number)); }
    Font GetFont() { return Font(*sheet_, area_); }
    // Range.Cells: the same cells.
    Range Cells() { return *this; }

private:
    Worksheet* sheet_;
    Area area_;
};

// A chart of one data series on a worksheet, placed at a cell.
struct ChartSpec {
    enum class Type { Column, Bar };
    Type type = Type::Column;
    std::string title;
    std::string seriesName;
    // Categories and values as ranges of the same sheet (1-based, inclusive).
    Area categories;
    Area values;
    std::string xAxisTitle;
    std::string yAxisTitle;
    int anchorRow = 1;  // top-left cell of the chart
    int anchorColumn = 1;
    double valueMin = 0;  // both 0: automatic axis
    double valueMax = 0;
    double widthScale = 1.5;
    double heightScale = 1.5;
};

class Worksheet {
public:
    explicit Worksheet(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    // Range("A1:J1"); a text that is not a reference gives nullopt.
    std::optional<Range> GetRange(std::string_view reference);
    Range GetRange(const Area& area) { return Range(*this, area); }
    Range Cells(int row, int column) { return Range(*this, Area{row, column, row, column}); }
    // Columns(c): the output sets only its width.
    Range Columns(int column) { return Range(*this, Area{1, column, 1, column}); }
    void AddChart(ChartSpec chart) { charts_.push_back(std::move(chart)); }

    // --- what was recorded, for writing out and for tests ---
    struct Property {
        enum class Kind { FontSize, Bold, FontColour, Horizontal, Vertical, NumberFormat };
        Area area;
        Kind kind;
        double number = 0;
        std::string text;
    };
    const CellValue* ValueAt(int row, int column) const;
    CellFormat FormatAt(int row, int column) const;
    const std::map<std::pair<int, int>, CellValue>& Values() const { return values_; }
    const std::vector<Property>& Properties() const { return properties_; }
    const std::vector<Area>& Merges() const { return merges_; }
    const std::map<int, double>& ColumnWidths() const { return widths_; }
    const std::vector<ChartSpec>& Charts() const { return charts_; }

private:
    friend class Range;
    friend class Font;
    void AddProperty(Property p) { properties_.push_back(std::move(p)); }

    std::string name_;
    std::map<std::pair<int, int>, CellValue> values_;  // (row, column)
    std::vector<Property> properties_;                  // in call order
    std::vector<Area> merges_;
    std::map<int, double> widths_;
    std::vector<ChartSpec> charts_;
};

class Workbook {
public:
    Workbook();
    // The sheet new cells go to: the first one, or the one last added.
    Worksheet& ActiveSheet() { return *sheets_[active_]; }
    // Adds a sheet after the last and makes it active. Sheet names longer
    // than 31 characters or with []:*?/\ are mended.
    Worksheet& AddSheet(std::string_view name);
    std::size_t SheetCount() const { return sheets_.size(); }
    Worksheet& Sheet(std::size_t i) { return *sheets_[i]; }
    const Worksheet& Sheet(std::size_t i) const { return *sheets_[i]; }

    // Writes the workbook as an .xlsx (libxlsxwriter). False with a reason
    // (UTF-8) when the file cannot be written; a failed save leaves no
    // half-written file under `file`.
    [[nodiscard]] bool SaveAs(const std::filesystem::path& file, std::string* error = nullptr) const;

private:
    std::vector<std::unique_ptr<Worksheet>> sheets_;
    std::size_t active_ = 0;
    bool firstSheetNamed_ = false;
};

// folder + baseName + "-yyyymmdd-hhmmss.xlsx" for the local time `when`
// ("/" in the name becomes "_"; an empty name is "成绩"), creating the
// folder. A workbook saved per output never overwrites an earlier one: when
// that name is taken, "-yyyymmdd-hhmmss-2.xlsx", "-3" and so on.
std::filesystem::path StampedWorkbookFile(const std::filesystem::path& folder, std::string_view baseName,
                                          std::time_t when);

// The application object: holds the workbooks; making it visible saves the
// workbook as an .xlsx in `folder` and opens it with the desktop's
// spreadsheet program.
class Application {
public:
    // `folder` is where Visible saves ("成绩输出/"), `baseName` the file
    // name before the time ("期中考试数学"); `clock` gives the time used in
    // the name (the system clock when empty).
    Application(Desktop& desktop, std::filesystem::path folder, std::string baseName,
                std::function<std::time_t()> clock = {});

    Workbook& AddWorkbook();  // workbooks.Add
    Workbook* ActiveWorkbook() { return workbooks_.empty() ? nullptr : workbooks_.back().get(); }

    struct Shown {
        bool saved = false;   // the .xlsx was written
        bool opened = false;  // the desktop accepted to open it
        std::filesystem::path file;
        std::string error;  // UTF-8, why not saved
    };
    // Visible = true: saves the active workbook as folder + baseName +
    // "-yyyymmdd-hhmmss.xlsx" (creating the folder) and opens it.
    Shown SetVisible();
    // The same file without opening it.
    Shown Save();

private:
    Desktop* desktop_;
    std::filesystem::path folder_;
    std::string baseName_;
    std::function<std::time_t()> clock_;
    std::vector<std::unique_ptr<Workbook>> workbooks_;
};

} // namespace sheet
