// Tests of the korvo tool's parts that carry their own logic: the CSV
// reader and writer, display width in tables, statement splitting and the
// registry edit of `korvo trace`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "csv_file.h"
#include "display_width.h"
#include "output_format.h"
#include "statements.h"
#include "trace_command.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using korvo::tool::Cell;

std::vector<korvo::tool::CsvRow> ReadAllRows(const std::string& text) {
  std::istringstream in(text);
  korvo::tool::CsvReader reader(in);
  std::vector<korvo::tool::CsvRow> rows;
  for (korvo::tool::CsvRow row; reader.Next(row);) rows.push_back(row);
  return rows;
}

TEST(ToolCsv, NullEmptyQuotingAndLineNumbersRoundTrip) {
  const std::vector<Cell> fields{std::nullopt, std::string(), std::string(" a,\"b\"\nc "),
                                 std::string("plain")};
  const std::string record = korvo::tool::CsvRecord(fields);
  EXPECT_EQ(record, ",\"\",\" a,\"\"b\"\"\nc \",plain\n");

  // A record spanning two lines, a blank line, a malformed one, CRLF.
  const auto rows = ReadAllRows("h1,h2,h3,h4\n" + record + "\nx,\"bad\"y,z,w\r\n1,2,3,4\r\n");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1].line, 2u);
  EXPECT_EQ(rows[1].fields, fields);
  EXPECT_EQ(rows[2].line, 5u);
  EXPECT_TRUE(rows[2].fields.empty());
  EXPECT_THAT(rows[2].error, HasSubstr("malformed"));
  EXPECT_EQ(rows[3].line, 6u);
  EXPECT_EQ(rows[3].fields, (std::vector<Cell>{"1", "2", "3", "4"}));

  const auto open = ReadAllRows("a\n\"never closed\nmore\n");
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(open[1].line, 2u);
  EXPECT_EQ(open[1].error, "unterminated quoted field");
}

TEST(ToolTable, ColumnsAlignByDisplayWidth) {
  EXPECT_EQ(korvo::tool::DisplayWidth("abc"), 3u);
  EXPECT_EQ(korvo::tool::DisplayWidth("漢字"), 4u);
  EXPECT_EQ(korvo::tool::DisplayWidth("e\xCC\x81"), 1u);  // e + combining acute

  korvo::tool::ResultSet result;
  result.columns = {{"name", adVarWChar, korvo::tool::ValueKind::kText},
                    {"n", adBigInt, korvo::tool::ValueKind::kInteger}};
  result.rows = {{std::string("漢字"), std::string("7")}, {std::nullopt, std::string("123")}};
  std::ostringstream out;
  korvo::tool::WriteTable(out, result);
  EXPECT_EQ(out.str(),
            "name |   n\n"
            "-----+----\n"
            "漢字 |   7\n"
            "NULL | 123\n");
}

TEST(ToolStatements, SplitsAtSemicolonsOutsideQuotesAndComments) {
  std::string rest;
  const auto statements = korvo::tool::SplitStatements(
      "SELECT 'a;b' FROM t; -- c;d\nINSERT INTO [x;y] VALUES (\";\");\nSELECT", &rest);
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0], "SELECT 'a;b' FROM t");
  EXPECT_EQ(statements[1], "INSERT INTO [x;y] VALUES (\";\")");
  EXPECT_EQ(rest, "\nSELECT");
}

TEST(ToolTrace, SwitchKeepsTheRestOfTheRegistry) {
  const std::string original =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n"
      "\"Dbms Korvo Trace\"=\"/old\"\r\n"
      "\"Other\"=dword:00000001\r\n";
  const std::string on = korvo::tool::WithTraceValue(original, "/tmp/a \"b\"");
  EXPECT_EQ(on,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n"
            "\"Dbms Korvo Trace\"=\"/tmp/a \\\"b\\\"\"\r\n"
            "\"Other\"=dword:00000001\r\n");
  const std::string off = korvo::tool::WithTraceValue(on, "");
  EXPECT_THAT(off, Not(HasSubstr("Dbms Korvo Trace")));
  EXPECT_THAT(off, HasSubstr("\"Other\"=dword:00000001"));
  EXPECT_EQ(korvo::tool::WithTraceValue("", "/t"),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n\"Dbms Korvo Trace\"=\"/t\"\r\n");
  EXPECT_THROW(korvo::tool::WithTraceValue(std::string("\xFF\xFE", 2), "/t"), std::runtime_error);
}

}  // namespace
