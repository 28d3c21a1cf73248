// The budget of the librevenge-based modules' generators (revenge_text.h),
// driven as libwps and libetonyek drive them: a spreadsheet keeps the cells
// generated before the CPU time is spent, sheets and cells stay bounded
// once the text budget is spent.
#include <gtest/gtest.h>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge/librevenge.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "filters/dxfilter/revenge_text.h"

namespace {

const librevenge::RVNGPropertyList kNone;

// A row of `cells`, each holding `text`.
void Row(dxf::BudgetedSheets &out, int cells, const char *text) {
    out.openSheetRow(kNone);
    for (int i = 0; i < cells; ++i) {
        out.openSheetCell(kNone);
        out.insertText(text);
        out.closeSheetCell();
    }
    out.closeSheetRow();
}

TEST(RevengeSheets, TimeSpentInsideASheetKeepsItsCells) {
    librevenge::RVNGStringVector sheets;
    dxf::TextBudget budget(DXM_CpuNs() + 20'000'000, dxf::kMaxGeneratedText);
    dxf::BudgetedSheets out(sheets, budget);
    long rows = 0;
    bool spent = false;
    try {
        out.openSheet(kNone);
        Row(out, 2, "first");
        out.closeSheet();
        // The time runs out inside the second sheet, between or inside its
        // cells.
        out.openSheet(kNone);
        for (;; ++rows) Row(out, 3, "cell");
    } catch (const dxf::ParseEnded &) {
        spent = true;
    }
    ASSERT_TRUE(spent);
    EXPECT_TRUE(budget.Passed());
    // Both sheets are handed over: the second one with every row begun.
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(std::string(sheets[0].cstr()), "first\tfirst\n");
    const std::string second = sheets[1].cstr();
    ASSERT_GT(rows, 0);
    EXPECT_TRUE(second.starts_with("cell\tcell\tcell\n"));
    EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), rows + 1);
    // The generator stays usable: nothing is left open.
    out.openSheet(kNone);
    out.closeSheet();
    EXPECT_EQ(sheets.size(), 3u);
}

TEST(RevengeSheets, CellsBeyondTheTextBudgetAreEmpty) {
    librevenge::RVNGStringVector sheets;
    // Two cells of four bytes with their values' charge, then nothing.
    dxf::TextBudget budget(INT64_MAX, 2 * (dxf::kCellValueBytes + 4));
    dxf::BudgetedSheets out(sheets, budget);
    out.openSheet(kNone);
    Row(out, 3, "cell");
    Row(out, 2, "more");
    out.closeSheet();
    EXPECT_TRUE(budget.Spent());
    EXPECT_FALSE(budget.Passed());
    ASSERT_EQ(sheets.size(), 1u);
    // The generator writes nothing for an empty cell.
    EXPECT_EQ(std::string(sheets[0].cstr()), "cell\tcell\n\n");
}

}  // namespace
