// platform/resources.cpp: the process-wide string table standing in for the
// main executable's string resources.
#include <korvo/platform/codepage.h>
#include <korvo/platform/resources.h>
#include <korvo/platform/thread_annotations.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "codepage_internal.h"

namespace {

char g_mainModuleToken;

struct Table {
  korvo::platform::Mutex lock;
  std::map<UINT, std::u16string> strings KORVO_GUARDED_BY(lock);
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: usable until exit
  return *table;
}

bool IsMainModule(HINSTANCE module) {
  return module == nullptr || module == static_cast<HINSTANCE>(&g_mainModuleToken);
}

// Finds the text; false (ERROR_RESOURCE_NAME_NOT_FOUND) when absent.
bool Lookup(HINSTANCE module, UINT id, std::u16string* text) {
  if (IsMainModule(module)) {
    Table& t = TheTable();
    korvo::platform::MutexLock guard(t.lock);
    auto it = t.strings.find(id);
    if (it != t.strings.end()) {
      *text = it->second;
      return true;
    }
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return false;
}

// "\n", "\t" and "\\" are escapes; any other backslash stays as it is.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[i + 1];
      if (n == 'n' || n == 't' || n == '\\') {
        out += n == 'n' ? '\n' : (n == 't' ? '\t' : '\\');
        ++i;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace

HMODULE GetModuleHandleA(const char* moduleName) {
  if (moduleName != nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(&g_mainModuleToken);
}

int LoadStringA(HINSTANCE module, UINT id, char* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  std::u16string text;
  if (!Lookup(module, id, &text)) {
    buffer[0] = '\0';
    return 0;
  }
  std::string narrow = korvo::platform::FromUtf16(CP_ACP, text);
  // Cut at exactly bufferMax - 1 bytes, even inside a multi-byte character:
  // callers detect a cut text by the returned length reaching that limit.
  size_t n = narrow.size() < static_cast<size_t>(bufferMax - 1)
                 ? narrow.size()
                 : static_cast<size_t>(bufferMax - 1);
  std::memcpy(buffer, narrow.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  std::u16string text;
  if (!Lookup(module, id, &text)) {
    buffer[0] = 0;
    return 0;
  }
  size_t n = text.size() < static_cast<size_t>(bufferMax - 1) ? text.size()
                                                              : static_cast<size_t>(bufferMax - 1);
  std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
  buffer[n] = 0;
  return static_cast<int>(n);
}

namespace korvo::platform {

void SetStringResource(UINT id, const char* utf8_text) {
  Table& t = TheTable();
  if (utf8_text == nullptr) {
    korvo::platform::MutexLock guard(t.lock);
    t.strings.erase(id);
    return;
  }
  std::u16string text = ToUtf16(CP_UTF8, utf8_text);
  korvo::platform::MutexLock guard(t.lock);
  t.strings[id] = std::move(text);
}

int LoadStringResourceFile(const char* path) {
  if (path == nullptr) return -1;
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  int count = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == 0 || eq == std::string::npos || eq > 10) continue;
    unsigned long long id = 0;
    bool digits = true;
    for (size_t i = 0; i < eq; ++i) {
      if (line[i] < '0' || line[i] > '9') {
        digits = false;
        break;
      }
      id = id * 10 + static_cast<unsigned>(line[i] - '0');
    }
    if (!digits || id > UINT_MAX) continue;
    SetStringResource(static_cast<UINT>(id), Unescape(line.substr(eq + 1)).c_str());
    ++count;
  }
  return count;
}

void ClearStringResources() {
  Table& t = TheTable();
  korvo::platform::MutexLock guard(t.lock);
  t.strings.clear();
}

}  // namespace korvo::platform
