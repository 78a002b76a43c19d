// Tests of text a hostile or careless caller gives the object model:
// embedded NULs, huge inputs, unknown enumeration values.
#include <korvo/ado/ado.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

constexpr HRESULT kErrorsInCommand = static_cast<HRESULT>(0x80040E14);

// A BSTR of `text` (UTF-8, ASCII here) with a NUL at each '#'.
_bstr_t WithNul(const std::string& text) {
  std::u16string wide(text.begin(), text.end());
  for (char16_t& c : wide) {
    if (c == u'#') c = 0;
  }
  return _bstr_t(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())), false);
}

class HostileInputTest : public AdoTest {};

TEST_F(HostileInputTest, RefusesANulInsideAConnectStringOrStatementNamingItsPosition) {
  const std::string evil = dir_.File("nul") + "#evil.db";
  const std::string prefix = "Provider=SQLite;Data Source=";
  const std::string cut_path = prefix + evil;
  const std::string cut_provider = prefix + dir_.File("ok.db") + ";#Provider=Bogus";
  for (const std::string& text : {cut_path, cut_provider}) {
    _ConnectionPtr c;
    ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
    const Raised r = Catch([&] { c->Open(WithNul(text), "", "", adConnectUnspecified); });
    EXPECT_EQ(r.hr, E_INVALIDARG);
    EXPECT_NE(r.description.find("NUL character at position " + std::to_string(text.find('#'))),
              std::string::npos)
        << r.description;
    EXPECT_EQ(c->GetState(), adStateClosed);
    EXPECT_EQ(Catch([&] { c->PutConnectionString(WithNul(text)); }).hr, E_INVALIDARG);
  }
  EXPECT_NE(access(dir_.File("nul").c_str(), F_OK), 0) << "the cut path was opened";
  EXPECT_NE(access(dir_.File("ok.db").c_str(), F_OK), 0) << "the cut connect string was used";

  _ConnectionPtr c = Open(FileConnect());
  Exec(c, "CREATE TABLE t (v INT)");
  const Raised statement = Catch([&] { c->Execute(WithNul("SELECT 1;# DROP TABLE t"), nullptr, adCmdText); });
  EXPECT_EQ(statement.hr, kErrorsInCommand);
  EXPECT_NE(statement.description.find("position 9"), std::string::npos) << statement.description;
  _CommandPtr cmd;
  cmd.CreateInstance(__uuidof(Command));
  cmd->PutRefActiveConnection(c);
  EXPECT_EQ(Catch([&] { cmd->PutCommandText(WithNul("DELETE FROM t#x")); }).hr, kErrorsInCommand);
  _RecordsetPtr rs;
  rs.CreateInstance(__uuidof(Recordset));
  const Raised source = Catch([&] {
    rs->Open(_variant_t(WithNul("SELECT#* FROM t")), _variant_t(static_cast<IDispatch*>(c)), adOpenStatic,
             adLockReadOnly, adCmdText);
  });
  EXPECT_EQ(source.hr, kErrorsInCommand);
  EXPECT_NE(source.description.find("position 6"), std::string::npos) << source.description;
  // Nothing ran: the table is still there.
  Exec(c, "INSERT INTO t VALUES (1)");
}

TEST_F(HostileInputTest, RefusesAParameterOfAnUnknownDataType) {
  constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x800A0BB9);
  _CommandPtr cmd;
  ASSERT_EQ(cmd.CreateInstance(__uuidof(Command)), S_OK);
  for (const long type : {9999L, -1L, 1L, 15L, 206L}) {
    const Raised r = Catch([&] {
      cmd->CreateParameter("p", static_cast<DataTypeEnum>(type), adParamInput, 4, _variant_t(1L));
    });
    EXPECT_EQ(r.hr, kInvalidArgument) << type;
    EXPECT_NE(r.description.find(std::to_string(type)), std::string::npos) << r.description;
  }
  _ParameterPtr p = cmd->CreateParameter("p", adVarWChar, adParamInput, 4, _variant_t(1L));
  EXPECT_EQ(Catch([&] { p->PutType(static_cast<DataTypeEnum>(9999)); }).hr, kInvalidArgument);
  EXPECT_EQ(p->GetType(), adVarWChar);
  for (const DataTypeEnum known : {adEmpty, adBigInt, adGUID, adLongVarBinary, adDBTimeStamp}) {
    p->PutType(known);
    EXPECT_EQ(p->GetType(), known);
  }
}

}  // namespace
}  // namespace korvo::ado::test
