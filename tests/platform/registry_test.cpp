// The registry export file: the parser on text, and the process-wide
// registry behind RegOpenKeyExA / RegQueryValueExA.
#include <gtest/gtest.h>
#include <korvo/platform/registry.h>
#include <korvo/platform/registry_internal.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

using korvo::platform::RegistryData;
using korvo::platform::RegValue;
using korvo::platform::ValueBytesForAnsi;
using korvo::test::ScopedEnv;
using korvo::test::TempDir;
using korvo::test::WriteFile;

// UTF-16LE with a byte-order mark and CRLF line ends, as regedit writes.
std::string AsRegeditFile(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    if (c == u'\n') {
      bytes += std::string("\r\0", 2);
    }
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::string Ansi(const RegistryData& data, const char* key, const char* name) {
  const RegValue* v = data.Find(std::string_view(key), std::string_view(name));
  return v ? ValueBytesForAnsi(*v) : std::string("<missing>");
}

const char16_t kExport[] =
    u"Windows Registry Editor Version 5.00\n"
    u"\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\n"
    u"\"Dbms Korvo Trace\"=\"C:\\\\temp\\\\trace\"\n"
    u"\"Quote\"=\"say \\\"hi\\\" \u00E9\"\n"
    u"@=\"the default\"\n"
    u"\"Count\"=dword:0000002a\n"
    u"\"Bin\"=hex:01,02,ff\n"
    u"\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\n"
    u"\"Dbms System Session Instructions\"=hex(7):53,00,45,00,54,00,20,00,41,00,00,\\\n"
    u"  00,53,00,45,00,54,00,20,00,42,00,00,00,00,00\n"
    u"\n"
    u"[HKEY_CURRENT_USER\\Software\\Other]\n"
    u"\"Ignored\"=\"x\"\n";

TEST(RegistryParse, RegeditExportInUtf16) {
  RegistryData data = RegistryData::Parse(AsRegeditFile(kExport));
  EXPECT_EQ(0u, data.skipped_lines());
  const char* key = "SOFTWARE\\ZEP\\ORB_P5";
  EXPECT_EQ(std::string("C:\\temp\\trace\0", 14), Ansi(data, key, "Dbms Korvo Trace"));
  EXPECT_EQ(std::string("say \"hi\" \xC3\xA9\0", 12), Ansi(data, key, "Quote"));
  EXPECT_EQ(std::string("the default\0", 12), Ansi(data, key, ""));
  EXPECT_EQ(std::string("\x2a\0\0\0", 4), Ansi(data, key, "Count"));
  EXPECT_EQ(std::string("\x01\x02\xff", 3), Ansi(data, key, "Bin"));
  EXPECT_EQ(std::string("%TMP%\0", 6), Ansi(data, key, "Expand"));
  EXPECT_EQ(std::string("SET A\0SET B\0\0", 13),
            Ansi(data, key, "Dbms System Session Instructions"));
  EXPECT_EQ(
      static_cast<DWORD>(REG_MULTI_SZ),
      data.Find(std::string_view(key), std::string_view("Dbms System Session Instructions"))->type);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD),
            data.Find(std::string_view(key), std::string_view("count"))->type);
  // Keys and names match without regard to case; ancestors exist.
  EXPECT_EQ(Ansi(data, key, "Dbms Korvo Trace"),
            Ansi(data, "software\\zep\\orb_p5", "DBMS KORVO TRACE"));
  EXPECT_TRUE(data.HasKey(u"SOFTWARE"));
  EXPECT_TRUE(data.HasKey(u"\\Software\\\\Zep\\"));
  EXPECT_FALSE(data.HasKey(u"SOFTWARE\\ZE"));
  // Another hive is not HKEY_LOCAL_MACHINE.
  EXPECT_FALSE(data.HasKey(u"Software\\Other"));
  EXPECT_EQ(7u, data.value_count());
}

TEST(RegistryParse, Regedit4InUtf8WithAnsiHexText) {
  RegistryData data = RegistryData::Parse(
      "\xEF\xBB\xBFREGEDIT4\n"
      "[HKLM\\Software\\A]\n"
      "\"Multi\"=hex(7):61,00,62,63,00,00\n"
      "\"Text\"=\"caf\xC3\xA9\"\n");
  EXPECT_EQ(std::string("a\0bc\0\0", 6), Ansi(data, "software\\a", "multi"));
  EXPECT_EQ(std::string("caf\xC3\xA9\0", 6), Ansi(data, "software\\a", "text"));
}

TEST(RegistryParse, DeletionsAndRedefinitions) {
  RegistryData data = RegistryData::Parse(
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"z\"=\"3\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"x\"=-\n\"y\"=\"two\"\n"
      "[-HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"after\"=\"ignored\"\n");
  EXPECT_EQ("<missing>", Ansi(data, "A\\B", "x"));
  EXPECT_EQ(std::string("two\0", 4), Ansi(data, "A\\B", "y"));
  EXPECT_FALSE(data.HasKey(u"A\\B\\C"));
  EXPECT_EQ(1u, data.value_count());
}

TEST(RegistryParse, BadLinesAreSkippedAndGoodLinesStillCount) {
  std::string file =
      "Windows Registry Editor Version 5.00\r\n"
      "\"before any key\"=\"x\"\r\n"
      "[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"good1\"=\"one\"\r\n"
      "\"no close=\"x\r\n"
      "\"unterminated\"=\"abc\r\n"
      "\"trailing\"=\"abc\" junk\r\n"
      "\"odd escapes\"=\"a\\nb\\\\c\\q\\\"\"\r\n"
      "\"truncated hex\"=hex:01,0\r\n"
      "\"odd text bytes\"=hex(7):41,00,42\r\n"
      "\"bad hex\"=hex:01,zz,03\r\n"
      "\"three digits\"=hex:123\r\n"
      "\"bad type\"=hex(q):00\r\n"
      "\"no colon\"=hex(2)00\r\n"
      "\"unclosed type\"=hex(2:00\r\n"
      "\"long dword\"=dword:123456789\r\n"
      "\"bad dword\"=dword:xyz\r\n"
      "\"empty dword\"=dword:\r\n"
      "\"no equals\" \"x\"\r\n"
      "\"unknown\"=qword:1\r\n"
      "garbage line\r\n"
      "\"bytes \xFF\xFE\xC0\"=\"\x80\x81 text\"\r\n"
      "[HKEY_LOCAL_MACHINE\\broken\r\n"
      "\"lost\"=\"in a broken section\"\r\n"
      "[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"good2\"=dword:ffffffff\r\n"
      "\"empty hex\"=hex:\r\n"
      "\"trailing comma\"=hex:0a,0b,\r\n"
      "\"continued at eof\"=hex:01,\\";
  RegistryData data = RegistryData::Parse(file);
  EXPECT_EQ(std::string("one\0", 4), Ansi(data, "K", "good1"));
  EXPECT_EQ(std::string("\xff\xff\xff\xff", 4), Ansi(data, "K", "good2"));
  EXPECT_EQ(std::string("a\\nb\\c\\q\"\0", 10), Ansi(data, "K", "odd escapes"));
  EXPECT_EQ(std::string("\x01\x00", 2), Ansi(data, "K", "truncated hex"));
  EXPECT_EQ(std::string("A\0\0", 3), Ansi(data, "K", "odd text bytes"));
  EXPECT_EQ("", Ansi(data, "K", "empty hex"));
  EXPECT_EQ("\x0a\x0b", Ansi(data, "K", "trailing comma"));
  EXPECT_EQ("\x01", Ansi(data, "K", "continued at eof"));
  // Bytes that are not UTF-8 become U+FFFD in names and texts.
  EXPECT_EQ(std::string("\xEF\xBF\xBD\xEF\xBF\xBD text\0", 12),
            Ansi(data, "K", "bytes \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"));
  for (const char* bad :
       {"no close", "unterminated", "trailing", "bad hex", "three digits", "bad type", "no colon",
        "unclosed type", "long dword", "bad dword", "empty dword", "no equals", "unknown"}) {
    EXPECT_EQ("<missing>", Ansi(data, "K", bad)) << bad;
  }
  EXPECT_FALSE(data.HasKey(u"broken"));
  EXPECT_EQ(9u, data.value_count());
  EXPECT_EQ(17u, data.skipped_lines());
}

TEST(RegistryParse, WithoutHeaderOrEmptyNothingIsRead) {
  EXPECT_EQ(0u, RegistryData::Parse("[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\"\n").key_count());
  EXPECT_EQ(0u, RegistryData::Parse("").key_count());
  EXPECT_EQ(0u, RegistryData::Parse("\xFF\xFE").key_count());
  EXPECT_EQ(0u, RegistryData::Parse("\xFF\xFE\x41").key_count());
  EXPECT_EQ(0u, RegistryData::Parse(std::string("\0\0\0", 3)).key_count());
}

const char kFile[] =
    "Windows Registry Editor Version 5.00\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\n"
    "\"Dbms Korvo Trace\"=\"/tmp/korvo-trace\"\n"
    "\"Dbms System Session Instructions\"=hex(7):53,00,45,00,54,00,20,00,41,00,00,00,\\\n"
    "  53,00,45,00,54,00,20,00,42,00,00,00,00,00\n";

// RegOpenKeyExA under HKEY_LOCAL_MACHINE for reading.
LONG Open(const char* path, HKEY* key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key);
}

// RegQueryValueExA into a character buffer.
LONG Query(HKEY key, const char* name, char* data, DWORD* size, DWORD* type = nullptr) {
  return RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), size);
}

TEST(Registry, OpenAndQueryThroughTheWindowsCalls) {
  TempDir dir;
  std::string longText(300, 'x');
  WriteFile(dir.File("r.reg"), std::string(kFile) + "\"Long\"=\"" + longText + "\"\n");
  ScopedEnv env("KORVO_REGISTRY", dir.File("r.reg").c_str());

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, Open("SOFTWARE\\ZEP\\ORB_P5", &key));
  ASSERT_NE(nullptr, key);

  // The trace's read: a zeroed 260-byte buffer.
  char dirText[260] = {};
  DWORD size = sizeof dirText;
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS, Query(key, "dbms korvo trace", dirText, &size, &type));
  EXPECT_STREQ("/tmp/korvo-trace", dirText);
  EXPECT_EQ(17u, size);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  // Too long for the buffer: ERROR_MORE_DATA and the size needed.
  size = sizeof dirText;
  EXPECT_EQ(ERROR_MORE_DATA, Query(key, "Long", dirText, &size));
  EXPECT_EQ(301u, size);
  size = 16;  // one byte short of the terminator
  EXPECT_EQ(ERROR_MORE_DATA, Query(key, "Dbms Korvo Trace", dirText, &size));

  // The session instructions' read: the size first, then the multi-string.
  size = 0;
  ASSERT_EQ(ERROR_SUCCESS, Query(key, "Dbms System Session Instructions", nullptr, &size));
  ASSERT_EQ(13u, size);
  std::string buffer(size + 1, '\0');
  ASSERT_EQ(ERROR_SUCCESS,
            Query(key, "Dbms System Session Instructions", buffer.data(), &size, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  std::string statements;
  for (const char* p = buffer.c_str(); *p; p += std::strlen(p) + 1)
    statements += std::string(p) + ";";
  EXPECT_EQ("SET A;SET B;", statements);

  size = 10;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, "missing", nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, Query(key, "Long", nullptr, nullptr, &type));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, Query(key, "Long", dirText, nullptr));

  // Relative opens from an open key; closing twice is an error.
  HKEY parent = nullptr, child = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, Open("software\\zep", &parent));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, "Orb_P5", 0, KEY_QUERY_VALUE, &child));
  size = sizeof dirText;
  EXPECT_EQ(ERROR_SUCCESS, Query(child, "Dbms Korvo Trace", dirText, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(child));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(parent));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(child));
  EXPECT_EQ(ERROR_INVALID_HANDLE, Query(child, "x", nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

  HKEY other = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001));  // HKEY_CURRENT_USER
  HKEY none = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(other, "SOFTWARE", 0, KEY_READ, &key));
  EXPECT_EQ(nullptr, key);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("SOFTWARE\\NOPE", &key));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, 0xF003F, &key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(none, "SOFTWARE", 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, Open("SOFTWARE", nullptr));
}

TEST(Registry, ReadOncePerProcess) {
  TempDir dir;
  std::string path = dir.File("r.reg");
  WriteFile(path, kFile);
  ScopedEnv env("KORVO_REGISTRY", path.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, Open("SOFTWARE\\ZEP\\ORB_P5", &key));
  RegCloseKey(key);
  WriteFile(path, "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\NEW]\n");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("NEW", &key));
  EXPECT_EQ(ERROR_SUCCESS, Open("SOFTWARE\\ZEP\\ORB_P5", &key));
  RegCloseKey(key);
  korvo::platform::TEST_ReloadRegistry();
  EXPECT_EQ(ERROR_SUCCESS, Open("NEW", &key));
  RegCloseKey(key);
}

TEST(Registry, MissingFileIsAnEmptyRegistry) {
  TempDir dir;
  ScopedEnv env("KORVO_REGISTRY", dir.File("absent.reg").c_str());
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("SOFTWARE\\ZEP\\ORB_P5", &key));
  // The root itself always opens.
  EXPECT_EQ(ERROR_SUCCESS, Open("", &key));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST(RegistryEnv, TextValuesInTheAnsiCodePage) {
  ScopedEnv acp("KORVO_CODEPAGE", "CP1252");
  TempDir dir;
  WriteFile(dir.File("r.reg"), AsRegeditFile(u"Windows Registry Editor Version 5.00\n"
                                             u"[HKEY_LOCAL_MACHINE\\K]\n"
                                             u"\"caf\u00E9\"=\"\u00E9t\u00E9 \u20AC \u4E2D\"\n"));
  ScopedEnv env("KORVO_REGISTRY", dir.File("r.reg").c_str());
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, Open("K", &key));
  char text[32] = {};
  DWORD size = sizeof text;
  ASSERT_EQ(ERROR_SUCCESS, Query(key, "CAF\xC9", text, &size));
  EXPECT_STREQ("\xE9t\xE9 \x80 ?", text);
  EXPECT_EQ(8u, size);
  RegCloseKey(key);
}

}  // namespace
