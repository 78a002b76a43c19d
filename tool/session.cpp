// tool/session.cpp: COM scope, connect strings and error descriptions.
#include "session.h"

#include <cstdio>

namespace korvo::tool {

ComScope::ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
ComScope::~ComScope() { CoUninitialize(); }

std::string ConnectStringOf(const std::string& target) {
  if (target.find('=') != std::string::npos) return target;
  return "Provider=SQLite;Data Source=" + target;
}

std::unique_ptr<CDatabase> OpenDatabase(const std::string& target) {
  auto db = std::make_unique<CDatabase>();
  db->OpenEx(ConnectStringOf(target).c_str());
  return db;
}

std::string DescribeError(const CDBException& e) {
  std::string text(e.m_strErrorText, static_cast<size_t>(e.m_strErrorText.GetLength()));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) text = "(no message)";
  char details[160];
  std::snprintf(
      details, sizeof details, "  return code %d, native error %lu, origin %s\n",
      static_cast<int>(e.m_nReturnCode), static_cast<unsigned long>(e.m_dwNativeError),
      e.m_strErrorOrigin.IsEmpty() ? "(none)" : static_cast<const char*>(e.m_strErrorOrigin));
  return "error: " + text + "\n" + details;
}

std::string DescribeError(const _com_error& e) {
  const _bstr_t description = e.Description();
  const char* text =
      description.length() != 0 ? static_cast<const char*>(description) : e.ErrorMessage();
  char details[96];
  std::snprintf(details, sizeof details, "  HRESULT 0x%08lX\n",
                static_cast<unsigned long>(static_cast<uint32_t>(e.Error())));
  return std::string("error: ") + (text != nullptr ? text : "(no message)") + "\n" + details;
}

}  // namespace korvo::tool
