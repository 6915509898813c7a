// The workbook read back: its sheets, and in them the cells with their types (a number, a
// date-time number with its format, inline text, nothing), through `unzip -p`.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "instrument/BinBuilder.h"
#include "support/CoreTestSupport.h"
#include "workbook/Workbook.h"

namespace {

using namespace vsdl::testing;
namespace sample = vsdl::instrument::sample;
using vsdl::conversion::ConvertOutcome;

// One member of the workbook's zip, as text.
std::string Member(const fs::path& book, const std::string& member) {
    const std::string command = "unzip -p '" + book.string() + "' '" + member + "'";
    std::string text;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return text;
}

// Two sets of the same number, as a damaged image has them; the second one's unit code has
// no text. The second record's stamp is no date (February 31st).
const char* const kImage =
    "marker timed\nsetcount 8\n"
    "set 7\nstart 03/14/24 09:30:00\nend last\ntemperature 1\nunit 6\n"
    "reading 1.023 25.3C\nbytes BF 7D 97 E2 18 FA 00\nreading -0.250 25.4C\n"
    "set 7\nstart 03/14/24 10:00:00\nend last\nunit 50\nreading 1023.\n"
    "trailer\n";

TEST(Workbook, CellsHaveTheirTypesAndSheetsContinue) {
    if (!vsdl::workbook::Available()) GTEST_SKIP() << "built without libxlsxwriter";
    TempDir dir;
    const auto bytes = sample::Build(sample::Parse(kImage));
    vsdl::conversion::MemorySource source(bytes.data(), bytes.size());
    const fs::path book = dir.path() / "Run.xlsx";
    // Two records a sheet: the third goes on "Data (2)" under its own header.
    const auto result = vsdl::workbook::WriteWorkbook(
        source, static_cast<std::int64_t>(bytes.size()), book.string(), dir.str(), {}, 2);
    ASSERT_EQ(result.outcome, ConvertOutcome::Completed) << result.reason;
    EXPECT_EQ(result.records, 4);

    const std::string workbook = Member(book, "xl/workbook.xml");
    EXPECT_NE(workbook.find("<sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/>"
                            "<sheet name=\"Data (2)\" sheetId=\"2\" r:id=\"rId2\"/>"
                            "<sheet name=\"Data sets\" sheetId=\"3\" r:id=\"rId3\"/>"),
              std::string::npos)
        << workbook;
    // Style 2 is the date-time format (1 the bold header).
    EXPECT_NE(Member(book, "xl/styles.xml")
                  .find("<numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd hh:mm:ss\"/>"),
              std::string::npos);

    const auto text = [](const char* cell, const char* value) {
        return std::string("<c r=\"") + cell + "\" t=\"inlineStr\"><is><t>" + value +
               "</t></is></c>";
    };
    const auto number = [](const char* cell, const char* value, const char* style = "") {
        return std::string("<c r=\"") + cell + "\"" + style + "><v>" + value + "</v></c>";
    };
    const std::string header =
        "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"inlineStr\"><is><t>data_set</t></is></c>";
    const std::string first = Member(book, "xl/worksheets/sheet1.xml");
    const std::string second = Member(book, "xl/worksheets/sheet2.xml");
    const std::string sets = Member(book, "xl/worksheets/sheet3.xml");
    const struct {
        const std::string& sheet;
        std::string row;
    } rows[] = {
        // 2024-03-14 09:30:00 is day 45365 and 0.395833... of it.
        {.sheet = first,
         .row = number("A2", "7") + number("B2", "1") +
                number("C2", "45365.39583333334", " s=\"2\"") + number("D2", "1.023") +
                text("E2", "ok") + text("F2", "mg / l") + number("G2", "25.3") + text("H2", "C")},
        // No time: no cell at all, not an empty text.
        {.sheet = first, .row = number("B3", "2") + number("D3", "-5.12")},
        {.sheet = second, .row = header},
        {.sheet = second,
         .row = number("B2", "3") + number("C2", "45365.39584490741", " s=\"2\"") +
                number("D2", "-0.25")},
        // No unit text: no unit cell, and the code on "Data sets" says which it was.
        {.sheet = second, .row = number("D3", "1023") + text("E3", "ok") + "</row>"},
        {.sheet = sets, .row = number("A3", "2") + number("B3", "7") + text("C3", "ONE WAY")},
        {.sheet = sets, .row = number("H2", "6") + number("I2", "45365.39583333334", " s=\"2\"")},
        {.sheet = sets, .row = number("H3", "50") + number("I3", "45365.41666666666", " s=\"2\"")},
        {.sheet = sets, .row = number("K2", "3") + "</row>"},
    };
    for (const auto& [sheet, row] : rows) EXPECT_NE(sheet.find(row), std::string::npos) << row;
    for (const std::string* sheet : {&first, &second, &sets}) {
        EXPECT_NE(sheet->find("<pane ySplit=\"1\" topLeftCell=\"A2\""), std::string::npos);
        EXPECT_NE(sheet->find("<autoFilter ref=\"A1:"), std::string::npos);
    }
}

// Esc in View Data: a stopped workbook is given up, and no file is put in place.
TEST(Workbook, AStoppedWorkbookLeavesNoFile) {
    if (!vsdl::workbook::Available()) GTEST_SKIP() << "built without libxlsxwriter";
    TempDir dir;
    const fs::path bin = dir.path() / "Run.BIN";
    WriteFile(bin, sample::Build(sample::Parse(kImage)));
    const bool stop = true;
    const auto result = vsdl::workbook::RunWorkbookExport(
        bin.string(), (dir.path() / "Run.xlsx").string(), {}, true, &stop);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
