// tests/diag/CDBDumpContext_test.cpp: every piece that the dump context
// hands to the debugger output channel, caught with a test sink.
#include <gtest/gtest.h>
#include <korvo/diag/CDBDumpContext.h>
#include <korvo/platform/debugout.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

class DumpContextTest : public testing::Test {
 protected:
  void SetUp() override { korvo::platform::SetDebugOutputSink(&Collect, &pieces_); }
  void TearDown() override { korvo::platform::SetDebugOutputSink(nullptr, nullptr); }

  static void Collect(const char* text, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(text);
  }
  // The pieces handed out so far, which are then forgotten.
  std::vector<std::string> Take() { return std::exchange(pieces_, {}); }

  std::vector<std::string> pieces_;
  CDBDumpContext dc_;
};

TEST_F(DumpContextTest, LongTextGoesOutIn510CharacterChunks) {
  dc_ << std::string(1200, 'x').c_str();
  EXPECT_EQ(Take(), (std::vector<std::string>{std::string(510, 'x'), std::string(510, 'x'),
                                              std::string(180, 'x')}));
  // A chunk is only closed when another character follows.
  dc_ << std::string(510, 'y').c_str();
  EXPECT_EQ(Take(), (std::vector<std::string>{std::string(510, 'y')}));
  dc_ << std::string(511, 'y').c_str();
  EXPECT_EQ(Take(), (std::vector<std::string>{std::string(510, 'y'), "y"}));
}

TEST_F(DumpContextTest, LineFeedsBecomeCarriageReturnLineFeed) {
  dc_ << "a\nb";
  EXPECT_EQ(Take(), (std::vector<std::string>{"a\r\nb"}));
  dc_ << "c\r\n";  // an existing carriage return stays
  EXPECT_EQ(Take(), (std::vector<std::string>{"c\r\r\n"}));
  dc_ << "";
  EXPECT_EQ(Take(), (std::vector<std::string>{""}));
  // A line feed arriving at 509 characters still fits its chunk (511 with
  // the carriage return); the next character starts a new one.
  dc_ << (std::string(509, 'z') + "\nw").c_str();
  EXPECT_EQ(Take(), (std::vector<std::string>{std::string(509, 'z') + "\r\n", "w"}));
  // A line feed at 510 characters opens the next chunk.
  dc_ << (std::string(510, 'z') + "\n").c_str();
  EXPECT_EQ(Take(), (std::vector<std::string>{std::string(510, 'z'), "\r\n"}));
}

TEST_F(DumpContextTest, NullTextAndWideText) {
  dc_ << static_cast<const char*>(nullptr);
  dc_ << static_cast<const WCHAR*>(nullptr);
  EXPECT_EQ(Take(), (std::vector<std::string>{"(NULL)", "(NULL)"}));
  dc_ << u"wide\ntext";
  EXPECT_EQ(Take(), (std::vector<std::string>{"wide\r\ntext"}));
  // Too long for the 512-byte buffer: written whole, in chunks.
  dc_ << std::u16string(700, u'w').c_str();
  EXPECT_EQ(Take(), (std::vector<std::string>{std::string(510, 'w'), std::string(190, 'w')}));
}

TEST_F(DumpContextTest, NumbersArePlainSinglePieces) {
  dc_ << static_cast<unsigned int>(255);
  dc_ << static_cast<unsigned char>(255);
  dc_ << -1L;
  dc_ << static_cast<unsigned short>(65535);
  dc_ << -42;
  dc_ << 4294967296UL;
  dc_ << static_cast<const void*>(reinterpret_cast<void*>(0x12345678ABCDull));
  EXPECT_EQ(Take(), (std::vector<std::string>{"0xFF", "255", "-1", "65535", "-42", "4294967296",
                                              "$5678ABCD"}));
  // Calls chain and the returned context is the same object.
  EXPECT_EQ(&(dc_ << 1 << "\n"), &dc_);
  EXPECT_EQ(Take(), (std::vector<std::string>{"1", "\r\n"}));
}

// The C runtime's _gcvt form: 15 significant digits for double, 6 for float.
TEST_F(DumpContextTest, FloatingPointIsWrittenAsGcvtWritesIt) {
  dc_ << 1.0 / 3.0 << 1.0f / 3.0f << 2.5 << 1e20 << 1.0 << 100.0 << 0.05 << 0.0;
  EXPECT_EQ(Take(), (std::vector<std::string>{"0.333333333333333", "0.333333", "2.5", "1.e+020",
                                              "1.", "100.", "5.e-002", "0."}));
  dc_ << -1234567890.123 << -1234567890.123f << 123456.0f << 1234567.0f << 1e15 << 1e14;
  EXPECT_EQ(Take(), (std::vector<std::string>{"-1234567890.123", "-1.23457e+009", "123456.",
                                              "1.23457e+006", "1.e+015", "100000000000000."}));
  dc_ << HUGE_VAL << -HUGE_VALF << std::nan("");
  EXPECT_EQ(Take(), (std::vector<std::string>{"inf", "-inf", "nan"}));
}

TEST_F(DumpContextTest, HexDumpPieces) {
  BYTE bytes[5] = {0, 1, 2, 3, 4};
  dc_.HexDump("%p:", bytes, 5, 4);
  char first[32], second[32];
  std::snprintf(first, sizeof first, "%p:", static_cast<void*>(bytes));
  std::snprintf(second, sizeof second, "%p:", static_cast<void*>(bytes + 4));
  EXPECT_EQ(Take(), (std::vector<std::string>{first, " 00", " 01", " 02", " 03", "\r\n", second,
                                              " 04", "\r\n"}));
  // A full last line gets one line end; width 1 or less ends every byte.
  dc_.HexDump("", bytes, 2, 2);
  EXPECT_EQ(Take(), (std::vector<std::string>{"", " 00", " 01", "\r\n"}));
  BYTE ff = 0xFF;
  dc_.HexDump("-", &ff, 1, 0);
  EXPECT_EQ(Take(), (std::vector<std::string>{"-", " FF", "\r\n"}));
  dc_.HexDump("-", bytes, 0, 4);
  EXPECT_TRUE(pieces_.empty());
  // A prefix longer than 31 characters is cut, never overrun.
  dc_.HexDump("0123456789012345678901234567890123456789", bytes, 1, 4);
  ASSERT_FALSE(pieces_.empty());
  EXPECT_EQ(pieces_[0], "0123456789012345678901234567890");
}

// The depth is only stored, and Flush has nothing to flush.
TEST_F(DumpContextTest, DepthIsStoredOnly) {
  EXPECT_EQ(dc_.GetDepth(), 0);
  dc_.SetDepth(3);
  EXPECT_EQ(dc_.GetDepth(), 3);
  dc_.Flush();
  dc_ << "x";
  EXPECT_EQ(pieces_, (std::vector<std::string>{"x"}));
}

}  // namespace
