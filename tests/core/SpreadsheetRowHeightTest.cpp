// Rows whose font is larger than the default are written tall enough for it.
#include <gtest/gtest.h>

#include "ResultsTestSupport.h"
#include "results/Spreadsheet.h"
#include "support/TempDir.h"

namespace {

using results_test::Unzip;

std::string RowElement(const std::string& sheetXml, int row)
{
    const std::string start = "<row r=\"" + std::to_string(row) + "\"";
    const std::size_t at = sheetXml.find(start);
    if (at == std::string::npos)
        return {};
    return sheetXml.substr(at, sheetXml.find('>', at) - at + 1);
}

TEST(SpreadsheetLayer, TitleRowsAreTallEnoughForTheirFont)
{
    sheet::Workbook book;
    sheet::Worksheet& ws = book.ActiveSheet();
    sheet::Range title = *ws.GetRange("A1:J1");
    title.Merge(false);
    title.GetFont().SetSize(18);
    title.SetValue("期中考试数学");
    sheet::Range subtitle = *ws.GetRange("A2:J2");
    subtitle.GetFont().SetSize(14);
    subtitle.GetFont().SetSize(10);  // the last call decides: 10 points need no height
    subtitle.SetValue("成绩");
    ws.GetRange("A3:A3")->GetFont().SetSize(14);
    ws.Cells(3, 1).SetValue("准考证号");
    ws.Cells(4, 1).SetValue(1.0);
    // A size given to a whole column is no title: its rows keep their height.
    ws.GetRange("L1:L20000")->GetFont().SetSize(16);

    TempDir dir;
    const auto file = dir / "rows.xlsx";
    std::string error;
    ASSERT_TRUE(book.SaveAs(file, &error)) << error;
    const std::string xml = Unzip(file, "xl/worksheets/sheet1.xml");
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(RowElement(xml, 1).find("ht=\"24.3"), std::string::npos) << RowElement(xml, 1);
    EXPECT_NE(RowElement(xml, 1).find("customHeight=\"1\""), std::string::npos);
    EXPECT_EQ(RowElement(xml, 2).find("ht="), std::string::npos) << RowElement(xml, 2);
    EXPECT_NE(RowElement(xml, 3).find("ht=\"18.9"), std::string::npos) << RowElement(xml, 3);
    EXPECT_EQ(RowElement(xml, 4).find("ht="), std::string::npos) << RowElement(xml, 4);
}

} // namespace
