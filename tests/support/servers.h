// tests/support/servers.h: how server tests find the PostgreSQL and
// MariaDB servers that scripts/servers.sh starts (a connect string in an
// environment variable), and what they do without one: skip with
// the reason, or fail under CI (CI=true), where the servers must be there.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

namespace korvo::test {

inline constexpr const char* kPostgresDsnVariable = "KORVO_TEST_PG_DSN";
inline constexpr const char* kMariaDsnVariable = "KORVO_TEST_MARIA_DSN";
// The same PostgreSQL server through the native provider (a connect
// string "Provider=PostgreSQL;Host=...").
inline constexpr const char* kPostgresNativeVariable = "KORVO_TEST_PG_NATIVE";

// The PostgreSQL connect strings the library's server tests run over:
// through ODBC and through the native provider.
inline constexpr const char* kPostgresVariables[] = {kPostgresDsnVariable, kPostgresNativeVariable};

// The test-name suffix of a parameter from kPostgresVariables.
template <class ParamInfo>
std::string PostgresProviderName(const ParamInfo& info) {
  return std::strcmp(info.param, kPostgresNativeVariable) == 0 ? "Native" : "Odbc";
}

// The connect string in `variable`, or "" when it is not set.
inline std::string ServerConnect(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr ? value : "";
}

inline bool RunningUnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

inline std::string NoServerReason(const char* product, const char* variable) {
  return std::string(product) + " server not configured: " + variable +
         " is not set (run scripts/servers.sh start and source the env.sh it names)";
}

}  // namespace korvo::test

// In a test body or SetUp: skips (locally) or fails (under CI) when
// `connect` (a std::string) is empty.
#define KORVO_REQUIRE_SERVER(connect, product, variable)                \
  do {                                                                  \
    if ((connect).empty()) {                                            \
      if (::korvo::test::RunningUnderCi()) {                            \
        FAIL() << ::korvo::test::NoServerReason(product, variable);     \
      }                                                                 \
      GTEST_SKIP() << ::korvo::test::NoServerReason(product, variable); \
    }                                                                   \
  } while (0)
