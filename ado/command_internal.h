// ado/command_internal.h: the Command and Parameter objects.
//
// A command keeps its text, type, time-out and parameters across
// executions. With Prepared set it keeps its prepared statement and reuses
// it while the text and connection stay the same and no recordset is
// still reading from it. Input parameters are bound to the ? markers in
// the order appended; output and return-value parameters are not bound
// (nor filled: the providers have no procedures to fill them).
#pragma once

#include <korvo/ado/connection_internal.h>
#include <korvo/com/object.h>

#include <memory>
#include <string>
#include <vector>

namespace korvo::ado {

class ParameterObject final : public com::Object<_Parameter> {
 public:
  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(BSTR name) override;
  HRESULT get_Value(VARIANT* out) override;
  HRESULT put_Value(VARIANT value) override;
  HRESULT get_Type(DataTypeEnum* out) override;
  HRESULT put_Type(DataTypeEnum type) override;
  HRESULT get_Direction(ParameterDirectionEnum* out) override;
  HRESULT put_Direction(ParameterDirectionEnum direction) override;
  HRESULT get_Precision(unsigned char* out) override;
  HRESULT put_Precision(unsigned char precision) override;
  HRESULT get_NumericScale(unsigned char* out) override;
  HRESULT put_NumericScale(unsigned char scale) override;
  HRESULT get_Size(long* out) override;
  HRESULT put_Size(long size) override;
  HRESULT get_Attributes(long* out) override;
  HRESULT put_Attributes(long attributes) override;

  std::string name;  // UTF-8
  _variant_t value;
  DataTypeEnum type = adEmpty;
  ParameterDirectionEnum direction = adParamInput;
  unsigned char precision = 0;
  unsigned char scale = 0;
  long size = 0;
  long attributes = 0;

 protected:
  void* QueryExtraInterface(REFIID riid) override {
    return riid == kParameterImplIid ? static_cast<void*>(this) : nullptr;
  }
};

class CommandObject final : public com::Object<_Command> {
 public:
  CommandObject();

  HRESULT get_Properties(Properties** out) override;
  HRESULT get_ActiveConnection(_Connection** out) override;
  HRESULT putref_ActiveConnection(IDispatch* connection) override;
  HRESULT put_ActiveConnection(VARIANT connection) override;
  HRESULT get_CommandText(BSTR* out) override;
  HRESULT put_CommandText(BSTR text) override;
  HRESULT get_CommandTimeout(long* out) override;
  HRESULT put_CommandTimeout(long seconds) override;
  HRESULT get_Prepared(VARIANT_BOOL* out) override;
  HRESULT put_Prepared(VARIANT_BOOL prepared) override;
  HRESULT raw_Execute(VARIANT* recordsAffected, VARIANT* parameters, long options,
                      _Recordset** out) override;
  HRESULT raw_CreateParameter(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction,
                              long size, VARIANT value, _Parameter** out) override;
  HRESULT get_Parameters(Parameters** out) override;
  HRESULT put_CommandType(CommandTypeEnum type) override;
  HRESULT get_CommandType(CommandTypeEnum* out) override;
  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(BSTR name) override;
  HRESULT get_State(long* out) override;
  HRESULT raw_Cancel() override;

  // Runs the command for a recordset's Open: *statement is executed and
  // on its first row; *connection is the command's connection.
  HRESULT RunForRecordset(long options, std::shared_ptr<provider::Statement>* statement,
                          _ConnectionPtr* connection, std::string* source);
  long timeout() const { return timeout_; }
  // Statements prepared by this command (for tests of reuse).
  int TEST_prepares() const { return prepares_; }

 protected:
  void* QueryExtraInterface(REFIID riid) override {
    return riid == kCommandImplIid ? static_cast<void*>(this) : nullptr;
  }

 private:
  // Prepares (or reuses) and executes; on failure the error is reported.
  // *announced: WillExecute was fired (so ExecuteComplete must follow).
  HRESULT Run(long options, VARIANT* parameters, std::shared_ptr<provider::Statement>* out,
              std::string* sql, bool* announced);
  ConnectionObject* connection() const;

  _ConnectionPtr connection_;
  std::string text_;
  CommandTypeEnum type_ = adCmdUnknown;
  long timeout_ = 30;
  bool prepared_ = false;
  std::string name_;
  ParametersPtr parameters_;
  // The prepared statement kept for reuse.
  std::shared_ptr<provider::Statement> statement_;
  std::string statement_sql_;
  uint64_t statement_generation_ = 0;
  ConnectionObject* statement_connection_ = nullptr;
  int prepares_ = 0;
};

}  // namespace korvo::ado
