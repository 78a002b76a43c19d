// The demo host program: a tour of what Korvo offers so far, on an
// embedded SQLite database. Run it through the README's main-job command.
#include <korvo/Korvo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void ShowPlatform() {
  std::printf("Platform layer\n");
  std::printf("  ANSI code page: %s, OEM code page: %s\n", korvo::platform::AnsiCodePageName(),
              korvo::platform::OemCodePageName());

  const char* text = "Grüße, Korvo";
  WCHAR wide[64];
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
  std::printf("  \"%s\" is %d UTF-16 units with its terminator\n", text, units);

  char line[128];
  korvo::platform::Format(line, sizeof line, "%-8s|%5.2f|%S|%I64d", "left", 3.14159, u"wide",
                          static_cast<long long>(1) << 40);
  std::printf("  formatted: %s\n", line);

  char oem[] = "Grüße";
  CharToOemA(oem, oem);
  std::printf("  \"Grüße\" in the OEM code page is %zu bytes\n", std::strlen(oem));

  // String resources stand in for the executable's string table.
  korvo::platform::SetStringResource(1, "a string resource with ünïcödé");
  char resource[256];
  int length = LoadStringA(GetModuleHandleA(nullptr), 1, resource, sizeof resource);
  std::printf("  string resource 1: \"%s\" (%d bytes)\n", resource, length);

  // The 64-bit time functions keep to the range Windows accepts.
  struct tm last = {};
  last.tm_year = 3000 - 1900;
  last.tm_mon = 11;
  last.tm_mday = 31;
  last.tm_hour = 23;
  last.tm_min = 59;
  last.tm_sec = 59;
  __time64_t end = _mkgmtime64(&last);
  __time64_t beyond = end + 1;
  std::printf("  last second Windows accepts: %lld; the next one %s\n", end,
              _gmtime64(&beyond) == nullptr ? "is refused" : "is accepted (wrong)");

  const char* registry = std::getenv("KORVO_REGISTRY");
  std::printf("  registry file: %s\n", registry ? registry : "/etc/korvo/registry.reg");
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZEP\\ORB_P5", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    char dir[260] = {};
    DWORD size = sizeof dir;
    LONG rc = RegQueryValueExA(key, "Dbms Korvo Trace", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(dir), &size);
    std::printf("  registry trace directory: %s\n", rc == ERROR_SUCCESS ? dir : "(not set)");
    RegCloseKey(key);
  } else {
    std::printf("  registry key SOFTWARE\\ZEP\\ORB_P5: not present\n");
  }
}

// The connection layer: an embedded SQLite database, statements with
// affected-row counts inside a transaction, and a caught CDBException.
void ShowConnection(const char* databaseFile) {
  std::printf("\nConnection layer (CDatabase)\n");
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    CDatabase db;
    std::string connect = std::string("Provider=SQLite;Data Source=") + databaseFile;
    db.OpenEx(connect.c_str());
    std::printf("  opened %s (product type %d)\n", databaseFile, db.GetDbmsType());

    db.ExecuteSQL("DROP TABLE IF EXISTS birds");
    db.ExecuteSQL("CREATE TABLE birds (id INTEGER PRIMARY KEY, name TEXT UNIQUE, seen INTEGER)");
    db.BeginTrans();
    long affected = 0;
    db.ExecuteSQL("INSERT INTO birds (name, seen) VALUES ('raven', 3), ('crow', 5), "
                  "('rook', 1), ('jackdaw', 0)",
                  &affected);
    std::printf("  inserted %ld rows\n", affected);
    db.ExecuteSQL("UPDATE birds SET seen = seen + 1 WHERE seen > 0", &affected);
    std::printf("  updated %ld rows\n", affected);
    db.CommitTrans();
    std::printf("  committed\n");

    try {
      db.ExecuteSQL("INSERT INTO birds (name, seen) VALUES ('raven', 9)");
    } catch (CDBException* e) {
      std::printf("  caught CDBException: return code %d, native error %u, origin %s\n"
                  "    \"%s\"\n",
                  e->m_nReturnCode, e->m_dwNativeError,
                  static_cast<const char*>(e->m_strErrorOrigin),
                  static_cast<const char*>(e->m_strErrorText));
      e->Delete();
    }
    db.Close();
  } catch (CDBException* e) {
    std::printf("  unexpected CDBException %s: %s\n", static_cast<const char*>(e->m_strErrorOrigin),
                static_cast<const char*>(e->m_strErrorText));
    e->Delete();
  }
  CoUninitialize();
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("Korvo demo\n\n");
  ShowPlatform();
  ShowConnection(argc > 1 ? argv[1] : "korvo_demo.db");
  return 0;
}
