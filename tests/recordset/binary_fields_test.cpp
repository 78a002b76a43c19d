// Tests of binary and long binary columns: reading into CTByteArray and
// CTLongBinary (with long text), the reuse of a long binary's heap block,
// writing with put_Value and AppendChunk, and their error sites.
#include <korvo/com/safearray.h>
#include <korvo/platform/heap.h>

#include <cstring>
#include <string>

#include "recordset/field_test_support.h"

namespace korvo::test {
namespace {

enum Column : short { kId = 1, kData, kText, kNumber };

class BinaryFieldTest : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    Exec(
        "CREATE TABLE b (id INTEGER PRIMARY KEY, data BLOB, body TEXT, number INTEGER);"
        "INSERT INTO b VALUES (1, X'00010203040506070809', 'h\xc3\xa9llo', 5);"
        "INSERT INTO b VALUES (2, X'0A0B0C0D', '', 6);"
        "INSERT INTO b VALUES (3, X'', NULL, NULL);"
        "INSERT INTO b VALUES (4, NULL, 'x', 7)");
  }

  std::unique_ptr<ProbeRecordset> Attach(int id) {
    auto rs = std::make_unique<ProbeRecordset>(&Db());
    rs->SetAdoRecordSet(
        OpenAdo(("SELECT id, data, body, number FROM b WHERE id = " + std::to_string(id)).c_str()));
    rs->UseStatus(4);
    return rs;
  }

  std::string Stored(int id, const char* expression) {
    return Scalar(
        ("SELECT " + std::string(expression) + " FROM b WHERE id = " + std::to_string(id)).c_str());
  }
};

std::string Bytes(const CTByteArray& a) {
  return a.GetData() ? std::string(reinterpret_cast<const char*>(a.GetData()), a.GetSize()) : "";
}
std::string Bytes(const CTLongBinary& b) {
  return std::string(static_cast<const char*>(b.m_pData), b.m_nDataLength);
}
SIZE_T BlockSize(const CTLongBinary& b) { return HeapSize(GetProcessHeap(), 0, b.m_pData); }

TEST_F(BinaryFieldTest, ByteArraysTakeTheWholeValueOrAreEmptied) {
  CTByteArray array;
  Attach(1)->GetFieldValue(kData, array);
  EXPECT_EQ(Bytes(array), std::string("\0\1\2\3\4\5\6\7\x8\x9", 10));
  Attach(2)->GetFieldValue(kData, array);
  EXPECT_EQ(Bytes(array), "\x0A\x0B\x0C\x0D");

  // A zero-length value is not read: the array is emptied, its block released.
  Attach(3)->GetFieldValue(kData, array);
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(array.GetData(), nullptr);
  // A NULL (size adUnknown) is read and reported through SetFieldNull: an
  // array that no binding names keeps what it held.
  array.SetSize(2);
  Attach(4)->GetFieldValue(kData, array);
  EXPECT_EQ(array.GetSize(), 2);

  // A value of another type with a non-zero size cannot become bytes.
  array.SetSize(1);
  array[0] = 0x42;
  auto e = CatchDB([&] { Attach(1)->GetFieldValue(kNumber, array); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1029);
  EXPECT_EQ(Bytes(array), "\x42");
  // Column numbers outside the row.
  e = CatchDB([&] { Attach(1)->GetFieldValue(5, array); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1026);
}

TEST_F(BinaryFieldTest, LongBinaryKeepsItsBlockAcrossReads) {
  CTLongBinary blob;
  Attach(1)->GetFieldValue(kData, blob);
  ASSERT_NE(blob.m_pData, nullptr);
  EXPECT_EQ(blob.m_nDataLength, 10u);
  EXPECT_EQ(BlockSize(blob), 10u);
  EXPECT_EQ(Bytes(blob), std::string("\0\1\2\3\4\5\6\7\x8\x9", 10));
  void* const block = blob.m_pData;

  // A smaller value reuses the block: not shrunk, not cleared beyond it.
  Attach(2)->GetFieldValue(kData, blob);
  EXPECT_EQ(blob.m_pData, block);
  EXPECT_EQ(blob.m_nDataLength, 4u);
  EXPECT_EQ(BlockSize(blob), 10u);
  EXPECT_EQ(Bytes(blob), "\x0A\x0B\x0C\x0D");
  EXPECT_EQ(static_cast<const char*>(blob.m_pData)[4], '\4');

  // A zero-length value releases the block.
  Attach(3)->GetFieldValue(kData, blob);
  EXPECT_EQ(blob.m_pData, nullptr);
  EXPECT_EQ(blob.m_nDataLength, 0u);
}

TEST_F(BinaryFieldTest, LongTextReadsAsItsAnsiBytesWithoutTerminator) {
  CTLongBinary blob;
  Attach(1)->GetFieldValue(kText, blob);
  EXPECT_EQ(Bytes(blob), "h\xc3\xa9llo");
  EXPECT_EQ(BlockSize(blob), 6u);         // exactly the text, no terminator
  Attach(2)->GetFieldValue(kText, blob);  // the empty text
  EXPECT_EQ(blob.m_nDataLength, 0u);
  EXPECT_EQ(blob.m_pData, nullptr);
}

TEST_F(BinaryFieldTest, ConversionsOfUnexpectedValues) {
  ProbeRecordset rs(nullptr);
  CTByteArray array;
  array.SetSize(3);
  _variant_t empty;
  rs.m_VariantToCTByteArray(empty, array, 0);
  EXPECT_EQ(array.GetData(), nullptr);
  array.SetSize(3);
  _variant_t number(5L);
  rs.m_VariantToCTByteArray(number, array, 0);  // no bytes expected: emptied
  EXPECT_EQ(array.GetSize(), 0);
  auto e = CatchDB([&] { rs.m_VariantToCTByteArray(number, array, 4); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1029);

  CTLongBinary blob;
  rs.m_AllocLongBinary(blob, 8);
  EXPECT_EQ(BlockSize(blob), 8u);
  EXPECT_EQ(blob.m_nDataLength, 0u);  // allocation leaves the length alone
  rs.m_AllocLongBinary(blob, -3);     // a negative count needs nothing more
  EXPECT_EQ(BlockSize(blob), 8u);
  rs.m_AllocLongBinary(blob, 20);  // grown, zero-filled
  EXPECT_EQ(BlockSize(blob), 20u);
  EXPECT_EQ(static_cast<const char*>(blob.m_pData)[19], 0);
  _variant_t v(5L);
  e = CatchDB([&] { rs.m_VariantToCTLongBinary(v, blob, 2); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1029);
  rs.m_VariantToCTLongBinary(v, blob, 0);
  EXPECT_EQ(blob.m_pData, nullptr);

  // A provider that reports more bytes than the array holds: never read
  // beyond the array.
  SAFEARRAYBOUND bound{2, 0};
  _variant_t bytes;
  bytes.parray = SafeArrayCreate(VT_UI1, 1, &bound);
  bytes.vt = VT_ARRAY | VT_UI1;
  static_cast<unsigned char*>(bytes.parray->pvData)[0] = 7;
  rs.m_VariantToCTLongBinary(bytes, blob, 5);
  EXPECT_EQ(Bytes(blob), std::string("\7\0\0\0\0", 5));
  rs.m_VariantToCTByteArray(bytes, array, 5);
  EXPECT_EQ(Bytes(array), std::string("\7\0\0\0\0", 5));
}

TEST_F(BinaryFieldTest, WritesFollowDirtyAndNullBits) {
  auto rs = Attach(1);
  rs->SetDirtyFieldStatus(kData - 1);
  CTByteArray empty;
  rs->SetFieldValue(kData, empty);  // an empty array is a zero-length value, not NULL
  rs->GetAdoRecordSet()->Update();
  EXPECT_EQ(Stored(1, "typeof(data)"), "blob");
  EXPECT_EQ(Stored(1, "length(data)"), "0");

  // A long binary without data writes nothing.
  rs = Attach(2);
  rs->SetDirtyFieldStatus(kData - 1);
  CTLongBinary none;
  rs->SetFieldValue(kData, none);
  EXPECT_EQ(rs->GetAdoRecordSet()->GetEditMode(), adEditNone);

  // Dirty and null: NULL whatever the buffer holds.
  rs->SetNullFieldStatus(kData - 1);
  CTByteArray full;
  full.SetSize(3);
  rs->SetFieldValue(kData, full);
  rs->GetAdoRecordSet()->Update();
  EXPECT_EQ(Stored(2, "typeof(data)"), "null");

  // Clean: nothing.
  rs = Attach(4);
  rs->SetFieldValue(kData, full);
  EXPECT_EQ(rs->GetAdoRecordSet()->GetEditMode(), adEditNone);
}

TEST_F(BinaryFieldTest, OneMebibyteValuesRoundTripInOnePiece) {
  std::string payload(1 << 20, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 131 + 7) % 251);
  CTLongBinary out;
  out.SetParam(reinterpret_cast<const BYTE*>(payload.data()), static_cast<DWORD>(payload.size()));
  std::string text(1 << 20, 'a');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  CTString longText(text.c_str());

  auto rs = Attach(1);
  rs->SetDirtyFieldStatus(kData - 1);
  rs->SetDirtyFieldStatus(kText - 1);
  rs->SetFieldValue(kData, out);
  rs->SetFieldValue(kText, longText);
  rs->GetAdoRecordSet()->Update();
  EXPECT_EQ(Stored(1, "length(data)"), std::to_string(1 << 20));
  EXPECT_EQ(Stored(1, "length(body)"), std::to_string(1 << 20));

  auto again = Attach(1);
  CTLongBinary in;
  again->GetFieldValue(kData, in);
  EXPECT_TRUE(Bytes(in) == payload);
  CTByteArray array;
  again->GetFieldValue(kData, array);
  EXPECT_TRUE(Bytes(array) == payload);
  again->GetFieldValue(kText, in);
  EXPECT_TRUE(Bytes(in) == text);
  CTString back;
  again->GetFieldValue(kText, back);
  EXPECT_EQ(back.GetLength(), 1 << 20);
  EXPECT_TRUE(std::string(back) == text);
}

// Traced: the setter tags a chunk error m_AppendChunk converted with its
// own tag only.
class TracedBinaryFieldTest : public BinaryFieldTest {
 protected:
  void SetUp() override {
    TraceOn();
    BinaryFieldTest::SetUp();
  }
};

TEST_F(TracedBinaryFieldTest, AppendChunkFailuresAreConvertedWhereTheyHappen) {
  ProbeRecordset rs(&Db());
  FieldPtr none;
  const char data[3] = {1, 2, 3};
  auto e = CatchDB([&] { rs.m_AppendChunk(none, data, 3); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5012]");

  // AppendChunk into a column that takes no chunks: the provider's error,
  // converted by m_AppendChunk, passes the setter unchanged.
  auto row = Attach(1);
  row->SetDirtyFieldStatus(kNumber - 1);
  CTLongBinary blob;
  blob.SetParam(reinterpret_cast<const BYTE*>(data), 3);
  e = CatchDB([&] { row->SetFieldValue(kNumber, blob); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5012]");
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
  const auto trace = Trace();
  const int description = FindTrace(trace, std::string(e->m_strErrorText));
  ASSERT_GE(description, 0);
  EXPECT_GE(FindTrace(trace, "DbException111", description + 1), 0);
  EXPECT_EQ(FindTrace(trace, "DbException117"), -1);  // converted there, not passed on

  // A byte array that the column refuses fails under the setter's origin.
  CTByteArray bytes;
  bytes.SetSize(2);
  e = CatchDB([&] { row->SetFieldValue(kNumber, bytes); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5016]");
}

}  // namespace
}  // namespace korvo::test
