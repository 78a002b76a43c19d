// Tests of IKorvoRowAccess: the raw cells agree with Field.Value cell by
// cell, cells without a raw form send the reader to Field.Value, and puts
// end as Field.Value's puts do.
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/row_access.h>
#include <korvo/ado/row_access_internal.h>

#include <cstring>
#include <string>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

constexpr HRESULT kNotUpdatable = static_cast<HRESULT>(0x800A0CB3);
constexpr HRESULT kWrongType = static_cast<HRESULT>(0x800A0D5D);

class RowAccessTest : public AdoTest {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    conn_ = Open(FileConnect());
    Exec(conn_,
         "CREATE TABLE v (id INTEGER PRIMARY KEY, i INT, s SMALLINT, f BOOLEAN, r REAL,"
         " t TEXT, d DATETIME, b BLOB, x BLOB, n INT);"
         "INSERT INTO v VALUES (1, 7, -3, 1, 2.5, 'Grüße', '2024-02-29 13:14:15', x'00ff10',"
         " 42, 'abc');"
         "INSERT INTO v (id) VALUES (2)");
  }
  _RecordsetPtr OpenRs(const char* sql, LockTypeEnum lock) {
    _RecordsetPtr rs;
    EXPECT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
    rs->PutCursorLocation(adUseClient);
    rs->Open(sql, _variant_t(static_cast<IDispatch*>(conn_)), adOpenStatic, lock, adCmdText);
    return rs;
  }
  _ConnectionPtr conn_;
};

// The raw cell of each column against the VARIANT of Field.Value.
void ExpectSameAsValue(IKorvoRowAccess& access, _Recordset& rs, long column) {
  RowCell cell;
  ASSERT_EQ(access.GetCell(column, &cell), S_OK) << "column " << column;
  const _variant_t value = rs.GetFields()->GetItem(column)->GetValue();
  ASSERT_EQ(cell.vt, value.vt) << "column " << column;
  VARIANT built;
  VariantInit(&built);
  if (value.vt == VT_BSTR) {
    EXPECT_EQ(std::string(cell.bytes, cell.size), static_cast<const char*>(_bstr_t(value)));
  } else if (value.vt == (VT_ARRAY | VT_UI1)) {
    ASSERT_EQ(cell.size, value.parray->rgsabound[0].cElements);
    EXPECT_EQ(std::string(cell.bytes, cell.size),
              std::string(static_cast<const char*>(value.parray->pvData), cell.size));
  } else if (value.vt != VT_NULL) {
    ASSERT_TRUE(ScalarRowCellToVariant(cell, &built)) << "column " << column;
    EXPECT_TRUE(value == built) << "column " << column;
  }
}

// The whole row at once against GetCell column by column.
void ExpectRowAsCells(IKorvoRowAccess& access) {
  RowCell row[10];
  EXPECT_EQ(access.GetRow(11, row), S_FALSE);
  ASSERT_EQ(access.GetRow(10, row), S_OK);
  for (long c = 0; c < 10; ++c) {
    RowCell cell;
    if (access.GetCell(c, &cell) != S_OK) cell.vt = VT_EMPTY;
    EXPECT_EQ(row[c].vt, cell.vt) << "column " << c;
    EXPECT_EQ(row[c].integer, cell.integer) << "column " << c;
    EXPECT_EQ(row[c].real, cell.real) << "column " << c;
    EXPECT_EQ(row[c].bytes, cell.bytes) << "column " << c;
    EXPECT_EQ(row[c].size, cell.size) << "column " << c;
  }
}

TEST_F(RowAccessTest, CellsAreFieldValuesInRawFormOrSendTheReaderThere) {
  _RecordsetPtr rs = OpenRs("SELECT * FROM v ORDER BY id", adLockReadOnly);
  IKorvoRowAccessPtr access;
  ASSERT_EQ(rs->QueryInterface(KORVO_UUIDOF(IKorvoRowAccess), reinterpret_cast<void**>(&access)),
            S_OK);
  ASSERT_EQ(access->ColumnCount(), 10);
  // Row 1: every type; x is a number in a binary column, n text in an
  // integer column that Field.Value cannot convert.
  for (long c = 0; c < 8; ++c) ExpectSameAsValue(*access, *rs, c);
  RowCell cell;
  EXPECT_EQ(access->GetCell(8, &cell), S_FALSE);
  EXPECT_EQ(access->GetCell(9, &cell), S_FALSE);
  EXPECT_EQ(access->GetCell(10, &cell), S_FALSE);
  EXPECT_EQ(access->GetCell(-1, &cell), S_FALSE);
  ExpectRowAsCells(*access);
  // Row 2: nulls.
  rs->MoveNext();
  for (long c = 1; c < 10; ++c) {
    ASSERT_EQ(access->GetCell(c, &cell), S_OK);
    EXPECT_EQ(cell.vt, VT_NULL);
  }
  ExpectRowAsCells(*access);
  // No current row, then closed.
  rs->MoveNext();
  EXPECT_EQ(access->GetCell(0, &cell), S_FALSE);
  RowCell row[10];
  EXPECT_EQ(access->GetRow(10, row), S_FALSE);
  rs->Close();
  EXPECT_EQ(access->ColumnCount(), 0);
  EXPECT_EQ(access->GetCell(0, &cell), S_FALSE);
  EXPECT_EQ(access->GetRow(1, row), S_FALSE);
}

TEST_F(RowAccessTest, PutsEndAsFieldValuePutsDo) {
  _RecordsetPtr rs = OpenRs("SELECT id, i, r, t, b FROM v WHERE id = 2", adLockOptimistic);
  IKorvoRowAccessPtr access(rs);
  ASSERT_TRUE(access);
  const std::string text = "Grüße";
  RowCell number{VT_I4, 70000}, real{VT_R8, 0, 0.25}, utf8{VT_BSTR, 0, 0, text.data(), text.size()};
  const std::string bad = "x\xff";  // malformed: goes the BSTR way and arrives as U+FFFD
  RowCell bytes{VT_BSTR, 0, 0, bad.data(), bad.size()};
  EXPECT_EQ(access->PutCell(1, number), S_OK);
  EXPECT_EQ(access->PutCell(2, real), S_OK);
  EXPECT_EQ(access->PutCell(3, utf8), S_OK);
  EXPECT_EQ(access->PutCell(4, bytes), S_OK);
  // Text no integer column takes fails as Value's put fails.
  EXPECT_EQ(access->PutCell(1, RowCell{VT_BSTR, 0, 0, "abc", 3}), kWrongType);
  EXPECT_EQ(access->PutCell(5, number), static_cast<HRESULT>(0x800A0CC1));
  rs->Update();
  _RecordsetPtr back = conn_->Execute("SELECT i, r, t, hex(b) FROM v WHERE id = 2", nullptr, 0);
  EXPECT_EQ(static_cast<long>(back->GetFields()->GetItem(0L)->GetValue()), 70000);
  EXPECT_EQ(static_cast<double>(back->GetFields()->GetItem(1L)->GetValue()), 0.25);
  EXPECT_EQ(std::string(_bstr_t(back->GetFields()->GetItem(2L)->GetValue())), text);
  EXPECT_EQ(std::string(_bstr_t(back->GetFields()->GetItem(3L)->GetValue())), "78EFBFBD");
  // A read-only recordset refuses as Value's put does.
  _RecordsetPtr readOnly = OpenRs("SELECT i FROM v", adLockReadOnly);
  IKorvoRowAccessPtr readAccess(readOnly);
  EXPECT_EQ(readAccess->PutCell(0, number), kNotUpdatable);
}

TEST(PlainUtf8, AcceptsWellFormedTextWithoutZeroBytesOnly) {
  for (const char* ok : {"", "plain ascii text longer than eight", "Grüße", "€", "😀",
                         "\xed\x9f\xbf", "\xf4\x8f\xbf\xbf"}) {
    EXPECT_TRUE(IsPlainUtf8(ok, std::strlen(ok))) << ok;
  }
  for (const std::string& bad :
       {std::string("abcdefgh\0ij", 11), std::string("a\0", 2), std::string("\xc3"),
        std::string("\xc0\xaf"), std::string("\xe0\x80\xaf"), std::string("\xed\xa0\x80"),
        std::string("\xf4\x90\x80\x80"), std::string("\xff"), std::string("abcdefg\x80")}) {
    EXPECT_FALSE(IsPlainUtf8(bad.data(), bad.size())) << bad.size();
  }
  // Every length the word-wise reads split differently, with a zero byte,
  // a stray continuation byte or a cut-off lead byte at each position.
  for (size_t length = 1; length <= 20; ++length) {
    const std::string ascii(length, 'a');
    EXPECT_TRUE(IsPlainUtf8(ascii.data(), length)) << length;
    for (size_t at = 0; at < length; ++at) {
      for (const char bad : {'\0', '\x80', '\xc3'}) {
        std::string text = ascii;
        text[at] = bad;
        EXPECT_FALSE(IsPlainUtf8(text.data(), length)) << length << " " << at << " " << int(bad);
      }
    }
  }
}

// The short copy takes exactly the plain ASCII text of 4 to 32 bytes,
// copies all of it (the overlapping words at every length), and asks for
// no buffer for any other text (longer, shorter, or with a byte that is
// zero, not ASCII or the start of a UTF-8 sequence at any position).
TEST(PlainUtf8, ShortAsciiCopyTakesPlainAsciiOfFourToThirtyTwoBytesOnly) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (size_t length = 0; length <= 40; ++length) {
    const std::string text = letters.substr(0, length);
    char out[48];
    std::memset(out, '#', sizeof out);
    size_t asked = 0;
    const auto buffer = [&](size_t n) {
      asked = n;
      return out + 1;
    };
    const bool copied = CopyShortAscii(text.data(), length, buffer);
    EXPECT_EQ(copied, length >= 4 && length <= 32) << length;
    if (copied) {
      EXPECT_EQ(asked, length);
      EXPECT_EQ(std::string(out + 1, length), text) << length;
      EXPECT_EQ(out[0], '#') << length;  // nothing outside the buffer
      EXPECT_EQ(out[length + 1], '#') << length;
    } else {
      EXPECT_EQ(asked, 0u) << length;
    }
    for (size_t at = 0; at < length; ++at) {
      for (const char bad : {'\0', '\x7f', '\x80', '\xc3', '\xff'}) {
        std::string changed = text;
        changed[at] = bad;
        asked = 0;
        const bool plain = bad == '\x7f';  // DEL is ASCII
        EXPECT_EQ(CopyShortAscii(changed.data(), length, buffer), plain && copied)
            << length << " " << at << " " << int(bad);
        EXPECT_EQ(asked != 0, plain && copied) << length << " " << at << " " << int(bad);
      }
    }
  }
}

}  // namespace
}  // namespace korvo::ado::test
