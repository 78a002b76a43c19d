// recordset/select_sql.cpp: the statement an open sends: a caller's
// statement kept as given, or a SELECT over the bound columns of a table;
// the per-product row limit (TOP for the first family, a ROWNUM or
// ROW_NUMBER() OVER wrapper for the others); filter and sort.
#include <korvo/db/keywords_internal.h>
#include <korvo/platform/widechar.h>
#include <korvo/recordset/CRecordset.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char kTop[] = " TOP ";
constexpr const char kAfterTop[] = " ";
constexpr const char kWrapperOpen[] = " FROM (";
constexpr const char kRownumColumn[] = ",ROWNUM ORAROWNUM ";
constexpr const char kRowNumberOpen[] = ",ROW_NUMBER() OVER (order by ";
constexpr const char kRowNumberClose[] = ") ORAROWNUM ";
constexpr const char kWrapperClose[] = ") WHERE ORAROWNUM <= ";
constexpr const char kColumnSeparator[] = ",";

// The row limit in decimal, read as a signed 32-bit number.
CTString LimitText(DWORD rowLimit) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int32_t>(rowLimit));
  return CTString(digits);
}

// Whether `sql` begins with the first `count` characters of `keyword`,
// without regard to case.
bool BeginsWith(const char* sql, const char* keyword, size_t count) {
  return _strnicmp(sql, keyword, count) == 0;
}

}  // namespace

void CRecordset::BuildSQL(const char* lpszSQL) {
  m_trace.PrintTrace("CRecordset::BuildSQL");
  // An empty text counts as given.
  if (lpszSQL != nullptr) {
    m_strSQL = lpszSQL;
  } else {
    m_strSQL = GetDefaultSQL();
  }
  BuildSelectSQL();
  AppendFilterAndSortSQL();
  if (m_pDatabase != nullptr) {
    m_pDatabase->ReplaceBrackets(m_strSQL.GetBuffer(m_strSQL.GetLength()));
    // The rewrite may have shortened the text.
    m_strSQL.ReleaseBuffer(-1);
  }
}

void CRecordset::BuildSelectSQL() {
  m_trace.PrintTrace("CRecordset::BuildSelectSQL");
  using namespace korvo::db;
  // "{CALL", "{" and "SELECT": the keywords without their trailing blank
  // (a table named SELECTED_ROWS is taken for a statement too).
  if (BeginsWith(m_strSQL, g_szCallEscape, std::strlen(g_szCallEscape) - 1) ||
      BeginsWith(m_strSQL, g_szCallReturnEscape, 1) ||
      BeginsWith(m_strSQL, g_szSelect, std::strlen(g_szSelect) - 1))
    return;

  const CTString table = m_strSQL;
  const int dbms_type =
      m_pDatabase != nullptr ? m_pDatabase->GetDbmsType() : CDatabase::dbmsUnknown;
  m_strSQL = g_szSelect;
  if (m_dwRowLimit != 0 && dbms_type == CDatabase::dbmsTypeM) {
    m_strSQL += kTop;
    m_strSQL += LimitText(m_dwRowLimit);
    m_strSQL += kAfterTop;
  }
  // Every bound column is listed: the single-row exchange names only the
  // dirty fields.
  SetFieldDirty(nullptr, TRUE);
  if (AppendNames(&m_strSQL, kColumnSeparator) == 0) {
    m_trace.PrintTrace("Error: no field names - at least 1 required.\n");
    ThrowDBException(1003);
    return;
  }
  // The separator after the last name becomes a blank.
  if (!m_strSQL.IsEmpty()) m_strSQL.SetAt(m_strSQL.GetLength() - 1, ' ');

  if (m_dwRowLimit != 0 && dbms_type == CDatabase::dbmsTypeOther) {
    const CTString select = m_strSQL;
    m_strSQL += kWrapperOpen;
    m_strSQL += select;
    if (m_strSort.IsEmpty()) {
      m_strSQL += kRownumColumn;
    } else {
      m_strSQL += kRowNumberOpen;
      m_strSQL += m_strSort;
      m_strSQL += kRowNumberClose;
    }
  }
  m_strSQL += g_szFrom;
  m_strSQL += table;
}

void CRecordset::AppendFilterAndSortSQL() {
  m_trace.PrintTrace("CRecordset::AppendFilterAndSortSQL");
  if (!m_strFilter.IsEmpty()) {
    m_strSQL += korvo::db::g_szWhere;
    m_strSQL += m_strFilter;
  }
  if (!m_strSort.IsEmpty()) {
    m_strSQL += korvo::db::g_szOrderBy;
    m_strSQL += m_strSort;
  }
  if (m_dwRowLimit != 0 && m_pDatabase != nullptr &&
      m_pDatabase->GetDbmsType() == CDatabase::dbmsTypeOther) {
    m_strSQL += kWrapperClose;
    m_strSQL += LimitText(m_dwRowLimit);
  }
}

unsigned int CRecordset::AppendNames(CTString* pstr, const char* lpszSeparator) {
  m_trace.PrintTrace("CRecordset::AppendNames");
  CFieldExchange fx(CFieldExchange::opAppendNames, this);
  fx.m_pstrNames = pstr;
  fx.m_lpszSeparator = lpszSeparator;
  if (m_dwOptions & multiRowFetch) {
    DoBulkFieldExchange(&fx);
  } else {
    DoFieldExchange(&fx);
  }
  return fx.m_nFieldNumber;
}
