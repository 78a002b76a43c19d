// tests/support/test_support.h: small fixtures shared by the test suites.
#pragma once

#include <string>

namespace korvo::test {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Sets (or, with a null value, unsets) an environment variable for the
// object's lifetime. Process-wide settings are read once per process, so
// tests that rely on this run in a process of their own (CTest does that).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_old_;
};

// Runs the current test again, alone, in a new process of this binary and
// returns its exit status (0: it passed; -1: it did not exit normally).
// For a test whose process-wide setting an earlier test of the same
// process has already fixed, when the whole binary runs in one process.
int RunCurrentTestInNewProcess();

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The SQLite provider's connect string for `file` (or ":memory:"), with
// `extra` keywords ("DBMS Name=...;") appended.
inline std::string SqliteConnect(const std::string& file, const char* extra = "") {
  return "Provider=SQLite;Data Source=" + file + ";" + extra;
}

// Bytes of a UTF-16 string literal as std::u16string, for comparisons.
inline std::u16string U16(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

}  // namespace korvo::test
