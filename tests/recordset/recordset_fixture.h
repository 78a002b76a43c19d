// tests/recordset/recordset_fixture.h: what the recordset tests share: a
// SQLite file with a CUSTOMER table, derived recordsets bound to it with
// the RFX_ functions, and access to the protected state they look at.
#pragma once

#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/db/global_locks.h>
#include <korvo/diag/CDBException.h>
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/rfx.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/db_exception.h"
#include "support/lock_wait.h"
#include "support/test_support.h"
#include "support/trace_file.h"

namespace korvo::test {

// The CUSTOMER rows every test starts from, in CODE order.
struct CustomerRow {
  long code;
  const char* name;
  int active;
};
inline const std::vector<CustomerRow> kCustomers = {
    {1, "Ann", 1}, {2, "Bob", 0}, {3, "Cid", 1}, {4, "Dan", 1}, {5, "Eve", 0}, {6, "Fay", 1},
};

// Exposes the protected state and steps of a recordset class to the tests.
template <class Base>
class Exposed : public Base {
 public:
  using Base::AllocRowset;
  using Base::AllocStatusArrays;
  using Base::Base;
  using Base::BuildSQL;
  using Base::m_bAppendable;
  using Base::m_bOwnDatabase;
  using Base::m_bUpdatable;
  using Base::m_dwOptions;
  using Base::m_mapFieldIndex;
  using Base::m_nBoundFields;
  using Base::m_nConnectOption;
  using Base::m_nDefaultType;
  using Base::m_nEditMode;
  using Base::m_nOpenType;
  using Base::m_pFieldStatus;
  using Base::m_pRowStatus;
  using Base::m_strRequerySQL;
  using Base::m_strSQL;
};

// CODE and NAME of CUSTOMER: the two-column recordset of the statement
// examples.
class CCodeName : public CRecordset {
 public:
  explicit CCodeName(CDatabase* db) : CRecordset(db) { m_nFields = 2; }
  long m_code = 0;
  CTString m_name;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "CODE", m_code);
    RFX_Text(pFX, "NAME", m_name);
  }
};

// All three columns; counts its binding passes.
class CCustomer : public CRecordset {
 public:
  explicit CCustomer(CDatabase* db) : CRecordset(db) { m_nFields = 3; }
  long m_code = 0;
  CTString m_name;
  int m_active = 0;
  int m_bindPasses = 0;
  void DoFieldExchange(CFieldExchange* pFX) override {
    if (pFX->m_nOperation == CFieldExchange::opBindFieldsToColumns) ++m_bindPasses;
    RFX_Long(pFX, "CODE", m_code);
    RFX_Text(pFX, "NAME", m_name);
    RFX_Int(pFX, "ACTIVE", m_active);
  }
};

// A multi-row recordset whose freeing pass can be made to fail once.
class CBulkCodes : public CRecordset {
 public:
  explicit CBulkCodes(CDatabase* db) : CRecordset(db) { m_nFields = 1; }
  ~CBulkCodes() override {
    Close();
    delete[] m_codes;
    delete[] m_lengths;
  }
  void DoBulkFieldExchange(CFieldExchange* pFX) override {
    if (pFX->m_nOperation == CFieldExchange::opFreeRowset && failFree) {
      failFree = false;
      throw std::runtime_error("free");
    }
    RFX_Long_Bulk(pFX, "CODE", &m_codes, &m_lengths);
  }
  bool failFree = false;
  long* m_codes = nullptr;
  __int64* m_lengths = nullptr;
};

// Lock 15 is not left held by this or any other thread.
inline void ExpectLock15Free() { EXPECT_TRUE(OtherThreadCanTake(15)) << "lock 15 is held"; }

// A CCustomer whose pass `probedOperation` records whether the lock-15
// holder had let go by then (a pass run under lock 15 always sees it
// released; one run without it sees it still held).
class CLockProbe : public CCustomer {
 public:
  using CCustomer::CCustomer;
  const LockHeldUntilWaitedFor* holder = nullptr;
  int probedOperation = -1;
  int sawReleased = -1;
  void DoFieldExchange(CFieldExchange* pFX) override {
    if (holder && static_cast<int>(pFX->m_nOperation) == probedOperation)
      sawReleased = holder->Released() ? 1 : 0;
    CCustomer::DoFieldExchange(pFX);
  }
};

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    file_ = dir_.File("customers.db");
  }
  void TearDown() override {
    db_.reset();
    CoUninitialize();
  }

  // Points the registry at one that switches the trace on. Must come
  // before the first library object of the process (each test runs in a
  // process of its own).
  void SwitchTraceOn() { env_ = TraceInto(dir_.path()); }
  std::vector<std::string> Trace() const { return ProcessTrace(dir_.path()); }
  // Index of the first trace entry equal to `text` at or after `from`; -1
  // when there is none.
  static long Find(const std::vector<std::string>& trace, const std::string& text, long from = 0) {
    for (size_t i = static_cast<size_t>(from); i < trace.size(); ++i)
      if (trace[i] == text) return static_cast<long>(i);
    return -1;
  }

  std::string Connect(const char* extra = "") const { return SqliteConnect(file_, extra); }

  // The test's connection to the file, opened (and CUSTOMER created) on
  // the first call; `extra` is appended to the connect string then.
  CDatabase& Database(const char* extra = "") {
    if (db_) return *db_;
    db_ = std::make_unique<CDatabase>();
    EXPECT_EQ(db_->OpenEx(Connect(extra).c_str()), 1);
    if (!created_) {
      db_->ExecuteSQL(
          "CREATE TABLE CUSTOMER (CODE INTEGER PRIMARY KEY, NAME TEXT UNIQUE, ACTIVE INTEGER)");
      for (const CustomerRow& row : kCustomers) {
        db_->ExecuteSQL(("INSERT INTO CUSTOMER VALUES (" + std::to_string(row.code) + ",'" +
                         row.name + "'," + std::to_string(row.active) + ")")
                            .c_str());
      }
      created_ = true;
    }
    return *db_;
  }

  // A single value read straight from the file with a new connection.
  std::string Query(const std::string& sql) {
    CDatabase db;
    db.OpenEx(Connect().c_str());
    _RecordsetPtr rs = db.GetAdoConnection()->Execute(_bstr_t(sql.c_str()), nullptr, 0);
    if (rs->GetadoEOF() == VARIANT_TRUE) return "<none>";
    _variant_t v = rs->GetFields()->GetItem(_variant_t(0L))->GetValue();
    if (v.vt == VT_NULL) return "<null>";
    return std::string(CTString(static_cast<const WCHAR*>(_bstr_t(v))));
  }

  // The CODE values of every row from the current one to the end.
  template <class Rs>
  static std::vector<long> Codes(Rs& rs) {
    std::vector<long> codes;
    for (; !rs.IsEOF(); rs.MoveNext()) codes.push_back(rs.m_code);
    return codes;
  }

  TempDir dir_;
  std::string file_;
  std::unique_ptr<ScopedEnv> env_;
  std::unique_ptr<CDatabase> db_;
  bool created_ = false;
};

}  // namespace korvo::test
