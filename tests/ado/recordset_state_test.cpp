// The recordset's state table: each operation in each state it refuses
// gives the documented error and changes neither the position nor the
// edit mode; the states it accepts are reached as the table says. Close
// and Requery during an edit: recordset_write_test.cpp, on every engine.
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>

#include <functional>
#include <string>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

constexpr HRESULT kNoCurrentRecord = static_cast<HRESULT>(0x800A0BCD);
constexpr HRESULT kClosed = static_cast<HRESULT>(0x800A0E78);
constexpr HRESULT kOpen = static_cast<HRESULT>(0x800A0E79);

class RecordsetStateTest : public AdoTest {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    OpenOn("state.db");
  }

  // A fresh table in `file`, and an updatable snapshot of it on row 1.
  void OpenOn(const std::string& file) {
    conn_ = Open(FileConnect(file));
    Exec(
        conn_,
        "CREATE TABLE s (id INTEGER PRIMARY KEY, v TEXT); INSERT INTO s VALUES (1, 'a'), (2, 'b')");
    rs_ = nullptr;
    ASSERT_EQ(rs_.CreateInstance(__uuidof(Recordset)), S_OK);
    rs_->PutCursorLocation(adUseClient);
    rs_->Open("SELECT id, v FROM s ORDER BY id", _variant_t(static_cast<IDispatch*>(conn_)),
              adOpenStatic, adLockOptimistic, adCmdText);
    field_ = rs_->GetFields()->GetItem("v");
  }

  // State as "closed", or "bof/eof/row:<id>/deleted" and the edit mode.
  std::string State() {
    if (rs_->GetState() == adStateClosed) return "closed";
    std::string s = rs_->GetBOF() ? "bof" : rs_->GetadoEOF() ? "eof" : "";
    if (s.empty()) {
      const Raised r = Catch([&] {
        s = "row:" + std::to_string(static_cast<long>(rs_->GetFields()->GetItem("id")->GetValue()));
      });
      if (r.hr == kNoCurrentRecord) s = "deleted";
    }
    return s + " edit:" + std::to_string(rs_->GetEditMode());
  }

  _ConnectionPtr conn_;
  _RecordsetPtr rs_;
  FieldPtr field_;
};

TEST_F(RecordsetStateTest, EachRefusedOperationGivesItsErrorAndChangesNothing) {
  struct Refusal {
    const char* state;
    std::function<void()> reach;
    const char* operation;
    std::function<void()> call;
    HRESULT hr;
  };
  auto at_eof = [this] {
    rs_->MoveLast();
    rs_->MoveNext();
  };
  auto deleted = [this] { rs_->Delete(adAffectCurrent); };
  auto open = [] {};
  const Refusal refusals[] = {
      {"eof", at_eof, "Delete", [this] { rs_->Delete(adAffectCurrent); }, kNoCurrentRecord},
      {"eof", at_eof, "Value put", [this] { field_->PutValue(_bstr_t("x")); }, kNoCurrentRecord},
      {"eof", at_eof, "OriginalValue", [this] { field_->GetOriginalValue(); }, kNoCurrentRecord},
      {"deleted", deleted, "Value", [this] { field_->GetValue(); }, kNoCurrentRecord},
      {"deleted", deleted, "Delete", [this] { rs_->Delete(adAffectCurrent); }, kNoCurrentRecord},
      {"deleted", deleted, "AppendChunk", [this] { field_->AppendChunk(_bstr_t("x")); },
       kNoCurrentRecord},
      {"open", open, "Open",
       [this] {
         rs_->Open("SELECT 1", _variant_t(static_cast<IDispatch*>(conn_)), adOpenStatic,
                   adLockReadOnly, adCmdText);
       },
       kOpen},
      {"open", open, "CursorType", [this] { rs_->PutCursorType(adOpenForwardOnly); }, kOpen},
      {"open", open, "LockType", [this] { rs_->PutLockType(adLockReadOnly); }, kOpen},
      {"open", open, "ActiveConnection", [this] { rs_->PutRefActiveConnection(conn_); }, kOpen},
  };
  int n = 0;
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(std::string(r.state) + " " + r.operation);
    OpenOn("refusal" + std::to_string(++n) + ".db");
    r.reach();
    const std::string before = State();
    EXPECT_EQ(Catch(r.call).hr, r.hr);
    EXPECT_EQ(State(), before);
    Catch([&] { rs_->CancelUpdate(); });
  }
}

TEST_F(RecordsetStateTest, ClosedRefusesEveryOperationButOpen) {
  rs_->Close();
  const std::function<void()> calls[] = {
      [&] { rs_->AddNew(); },
      [&] { rs_->Update(); },
      [&] { rs_->Delete(adAffectCurrent); },
      [&] { rs_->CancelUpdate(); },
      [&] { rs_->CancelBatch(adAffectCurrent); },
      [&] { rs_->GetEditMode(); },
      [&] { rs_->GetAbsolutePosition(); },
      [&] { rs_->GetBOF(); },
      [&] { rs_->MoveFirst(); },
      [&] { rs_->Requery(adOptionUnspecified); },
      [&] { field_->PutValue(_bstr_t("x")); },
      [&] { field_->GetName(); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Catch(calls[i]).hr, kClosed);
  }
  rs_->PutLockType(adLockReadOnly);  // accepted while closed
  EXPECT_EQ(State(), "closed");
}

TEST_F(RecordsetStateTest, ReachesTheStatesOfTheTable) {
  EXPECT_EQ(State(), "row:1 edit:0");
  field_->PutValue(_bstr_t("z"));
  EXPECT_EQ(State(), "row:1 edit:1");
  rs_->MoveNext();  // writes the edit first
  EXPECT_EQ(State(), "row:2 edit:0");
  rs_->Delete(adAffectCurrent);
  EXPECT_EQ(State(), "deleted edit:0");
  rs_->AddNew();  // the new row is the current one
  EXPECT_EQ(Catch([&] { field_->GetValue(); }).hr, S_OK);
  EXPECT_EQ(rs_->GetEditMode(), adEditAdd);
  rs_->Delete(adAffectCurrent);  // drops the unwritten row
  EXPECT_EQ(State(), "deleted edit:0");
  rs_->MovePrevious();
  EXPECT_EQ(State(), "row:1 edit:0");
  EXPECT_EQ(static_cast<std::string>(_bstr_t(field_->GetValue())), "z");
  rs_->MovePrevious();
  EXPECT_EQ(State(), "bof edit:0");
}

}  // namespace
}  // namespace korvo::ado::test
