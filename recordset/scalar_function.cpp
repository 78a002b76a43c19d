// recordset/scalar_function.cpp: evaluating one SQL expression on the
// recordset's connection (recordset layer), for SetFieldValue2.
//
// The expression runs as a one-row SELECT in the form the product family
// needs: the first family selects without a table, every other product
// selects FROM DUAL. Nothing is caught here: COM errors leave to the
// caller, which converts them under its own origin.
#include <korvo/com/com_error.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/recordset_access_internal.h>

namespace {

template <class String, class Ch>
void EvaluateScalar(CRecordset& rs, CDatabase& database, _variant_t& result,
                    const String& expression, const Ch* formatM, const Ch* formatOther) {
  rs.m_trace.PrintTrace("CRecordset::m_SetScalareFunction");
  _RecordsetPtr scalar;
  const HRESULT created = scalar.CreateInstance(__uuidof(Recordset));
  if (FAILED(created)) _com_issue_error(created);
  _ConnectionPtr connection = database.GetAdoConnection();
  String statement;
  statement.Format(database.GetDbmsType() == CDatabase::dbmsTypeM ? formatM : formatOther,
                   static_cast<const Ch*>(expression));
  if (!connection) _com_issue_error(E_POINTER);
  scalar->Open(_variant_t(_bstr_t(static_cast<const Ch*>(statement))),
               _variant_t(static_cast<IDispatch*>(connection.GetInterfacePtr())), adOpenStatic,
               adLockOptimistic, adCmdUnspecified);
  FieldPtr field = scalar->GetFields()->GetItem(_variant_t(0L));
  const _variant_t value = field->GetValue();
  const HRESULT copied = VariantCopy(&result, &value);
  if (FAILED(copied)) _com_issue_error(copied);
  scalar->Close();
}

}  // namespace

void CRecordset::m_SetScalareFunction(_variant_t& result, CTString& expression) {
  if (m_pDatabase == nullptr) _com_issue_error(E_POINTER);
  EvaluateScalar(*this, *m_pDatabase, result, expression, "SELECT %s AS RES",
                 "SELECT %s AS RES FROM DUAL");
}

void CRecordset::m_SetScalareFunction(_variant_t& result, CTWString& expression) {
  if (m_pDatabase == nullptr) _com_issue_error(E_POINTER);
  EvaluateScalar(*this, *m_pDatabase, result, expression, u"SELECT %s AS RES",
                 u"SELECT %s AS RES FROM DUAL");
}
