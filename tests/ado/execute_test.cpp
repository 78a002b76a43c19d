// Connection.Execute and Command.Execute take one statement path: the same
// statements give the same counts, events, errors and data through both.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/execute_internal.h>

#include <climits>
#include <cstdint>
#include <string>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

class ExecuteTest : public AdoTest {
 protected:
  struct Case {
    const char* sql;
    long options;
    bool cancel;
  };

  // Runs every case on a fresh database through Connection.Execute (or
  // Command.Execute) and describes what each gave, then the table.
  std::string RunAll(bool through_command, const std::string& file) {
    static const Case kCases[] = {
        {"INSERT INTO t SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3", adCmdText, false},
        {"UPDATE t SET v = v + 10 WHERE v > 100", adCmdText, false},
        {"UPDATE t SET v = v * 2 WHERE v >= 2", long{adCmdText} | adExecuteNoRecords, false},
        {"SELECT v FROM t ORDER BY v", adCmdText, false},
        {"SELECT v FROM t ORDER BY v", long{adCmdText} | adExecuteNoRecords, false},
        {"INSERT INTO t VALUES (9); SELECT count(*) FROM t", adCmdText, false},
        {"DELETE FROM t WHERE v = 9", adCmdText, true},
        {"SELEKT 1", adCmdText, false},
        {"t", adCmdTable, false},
    };
    _ConnectionPtr c = Open("Provider=SQLite;Data Source=" + dir_.File(file));
    Exec(c, "CREATE TABLE t (v INTEGER)");
    const auto events = RecordingEvents::On(c);
    std::string out;
    for (const Case& k : kCases) {
      events->log.clear();
      events->cancel = k.cancel;
      _variant_t affected(-99L);
      _Recordset* rs = nullptr;
      HRESULT hr;
      if (through_command) {
        _CommandPtr command;
        EXPECT_EQ(command.CreateInstance(__uuidof(Command)), S_OK);
        command->PutRefActiveConnection(c);
        command->PutCommandText(k.sql);
        hr = command->raw_Execute(&affected, nullptr, k.options, &rs);
      } else {
        hr = c->raw_Execute(_bstr_t(k.sql), &affected, k.options, &rs);
      }
      _RecordsetPtr recordset(rs, false);
      out += std::string(k.sql) + ": hr " + std::to_string(hr) + ", affected " +
             std::to_string(static_cast<long>(affected)) + ", " + events->log;
      if (recordset && recordset->GetState() == adStateOpen) {
        out += " rows";
        for (; !recordset->GetadoEOF(); recordset->MoveNext()) {
          out += " " +
                 std::to_string(static_cast<long>(recordset->GetFields()->GetItem(0L)->GetValue()));
        }
      }
      if (FAILED(hr))
        out += " error: " + std::string(c->GetErrors()->GetItem(0L)->GetDescription());
      out += "\n";
    }
    return out;
  }
};

TEST_F(ExecuteTest, ConnectionAndCommandGiveTheSameCountsEventsErrorsAndData) {
  const std::string by_connection = RunAll(false, "connection.db");
  const std::string by_command = RunAll(true, "command.db");
  EXPECT_EQ(by_connection, by_command);
  // The shared rules themselves, on the connection's run.
  EXPECT_THAT(by_connection,
              HasSubstr("UNION ALL SELECT 3: hr 0, affected 3, will;complete(3,ok);"));
  EXPECT_THAT(by_connection, HasSubstr("WHERE v > 100: hr 0, affected 0, will;complete(0,ok);"));
  EXPECT_THAT(by_connection,
              HasSubstr("ORDER BY v: hr 0, affected -1, will;complete(-1,ok); rows 1 4 6"));
  EXPECT_THAT(by_connection,
              HasSubstr("v = 9: hr -2146825069, affected -99, will;complete(-1,failed,error);"));
  EXPECT_THAT(by_connection,
              HasSubstr("SELEKT 1: hr -2147217900, affected -99, will;complete(-1,failed,error);"));
  EXPECT_THAT(by_connection, HasSubstr("t: hr 0, affected -1, will;complete(-1,ok); rows 1 4 6 9"));
}

TEST(RecordsAffectedValueTest, ClampsTheProviderCountToThe32BitRange) {
  EXPECT_EQ(RecordsAffectedValue(0), 0);
  EXPECT_EQ(RecordsAffectedValue(INT32_MAX), INT32_MAX);
  EXPECT_EQ(RecordsAffectedValue(int64_t{INT32_MAX} + 1), INT32_MAX);
  EXPECT_EQ(RecordsAffectedValue(-1), -1);
  EXPECT_EQ(RecordsAffectedValue(-5), -1);  // an ODBC driver's unknown count
  EXPECT_EQ(RecordsAffectedValue(INT64_MIN), -1);
}

}  // namespace
}  // namespace korvo::ado::test
