// platform/registry.cpp: the read-only HKEY_LOCAL_MACHINE of a registry
// export file. The parser works on UTF-16 text (regedit writes UTF-16LE;
// hand-written files are usually UTF-8) and skips what it cannot read.
#include <korvo/platform/codepage.h>
#include <korvo/platform/registry.h>
#include <korvo/platform/thread_annotations.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "codepage_internal.h"
#include "registry_internal.h"

struct KorvoRegKey {
  std::u16string path;  // normalised, relative to HKEY_LOCAL_MACHINE
};

namespace korvo::platform {
namespace {

constexpr char16_t kSep = u'\\';

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == 0xFEFF;
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// `prefix` is lower-case ASCII.
bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = s[i] >= u'A' && s[i] <= u'Z' ? static_cast<char16_t>(s[i] + 32) : s[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1..maxDigits hex digits, nothing else.
bool ParseHexNumber(std::u16string_view s, size_t maxDigits, DWORD* out) {
  s = Trim(s);
  if (s.empty() || s.size() > maxDigits) return false;
  DWORD v = 0;
  for (char16_t c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<DWORD>(d);
  }
  *out = v;
  return true;
}

void AppendUnits(std::vector<BYTE>* bytes, std::u16string_view units) {
  for (char16_t u : units) {
    bytes->push_back(static_cast<BYTE>(u & 0xFF));
    bytes->push_back(static_cast<BYTE>(u >> 8));
  }
}

std::u16string UnitsOf(const std::vector<BYTE>& bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return units;
}

std::u16string Decode(std::string_view b) {
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF &&
      static_cast<unsigned char>(b[1]) == 0xFE) {
    std::u16string units;
    units.reserve(b.size() / 2);
    for (size_t i = 2; i + 1 < b.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(b[i]) |
                                            (static_cast<unsigned char>(b[i + 1]) << 8)));
    }
    return units;
  }
  if (b.size() >= 3 && b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
  return ToUtf16(CP_UTF8, b);
}

}  // namespace

// One pass over the lines of a file.
class RegistryParser {
 public:
  explicit RegistryParser(RegistryData* out) : out_(out) {}

  void Run(const std::u16string& text) {
    std::vector<std::u16string_view> lines;
    std::u16string_view rest(text);
    while (!rest.empty()) {
      size_t nl = rest.find(u'\n');
      lines.push_back(rest.substr(0, nl));
      if (nl == std::u16string_view::npos) break;
      rest.remove_prefix(nl + 1);
    }
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) ++i;
    if (i == lines.size()) return;
    std::u16string_view header = Trim(lines[i]);
    if (header == u"Windows Registry Editor Version 5.00") {
      regedit4_ = false;
    } else if (header == u"REGEDIT4") {
      regedit4_ = true;
    } else {
      out_->skipped_ = lines.size();
      return;
    }
    for (++i; i < lines.size(); ++i) {
      std::u16string_view line = Trim(lines[i]);
      if (line.empty() || line.front() == u';') continue;
      bool ok = true;
      if (line.front() == u'[') {
        ok = Section(line);
      } else if (line.front() == u'"' || line.front() == u'@') {
        ok = Value(line, lines, &i);
      } else {
        ok = false;
      }
      if (!ok) ++out_->skipped_;
    }
  }

 private:
  bool Section(std::u16string_view line) {
    where_ = Where::kNoKey;
    if (line.size() < 2 || line.back() != u']') return false;
    std::u16string_view inner = line.substr(1, line.size() - 2);
    bool deletion = !inner.empty() && inner.front() == u'-';
    if (deletion) inner.remove_prefix(1);
    size_t sep = inner.find(kSep);
    std::u16string root = RegistryData::Fold(Trim(inner.substr(0, sep)));
    if (root != u"HKEY_LOCAL_MACHINE" && root != u"HKLM") {
      where_ = Where::kOtherHive;
      return true;
    }
    std::u16string path = RegistryData::NormalizePath(
        sep == std::u16string_view::npos ? std::u16string_view() : inner.substr(sep + 1));
    if (deletion) {
      out_->DeleteKey(path);
      return true;
    }
    out_->AddKey(path);
    key_ = path;
    where_ = Where::kKey;
    return true;
  }

  // A quoted text with \\ and \" escapes starting at s[*pos] == '"'; any
  // other backslash is kept as written. Leaves *pos after the closing quote.
  static bool Quoted(std::u16string_view s, size_t* pos, std::u16string* out) {
    size_t i = *pos + 1;
    for (; i < s.size(); ++i) {
      char16_t c = s[i];
      if (c == u'"') {
        *pos = i + 1;
        return true;
      }
      if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
        out->push_back(s[++i]);
      } else {
        out->push_back(c);
      }
    }
    return false;  // no closing quote
  }

  bool Value(std::u16string_view line, const std::vector<std::u16string_view>& lines, size_t* i) {
    std::u16string name;
    size_t pos = 0;
    if (line.front() == u'@') {
      pos = 1;
    } else if (!Quoted(line, &pos, &name)) {
      return false;
    }
    std::u16string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest.front() != u'=') return false;
    std::u16string_view data = Trim(rest.substr(1));

    std::u16string joined;  // the hex list with its continuation lines
    bool is_hex = StartsWithNoCase(data, u"hex");
    if (is_hex) {
      joined.assign(data);
      while (!joined.empty() && joined.back() == u'\\' && *i + 1 < lines.size()) {
        joined.pop_back();
        joined.append(Trim(lines[++*i]));
      }
      if (!joined.empty() && joined.back() == u'\\') joined.pop_back();  // continued past the end
      data = joined;
    }
    // Values of another hive are not ours; values outside any section (or
    // after a broken one) cannot be placed.
    if (where_ != Where::kKey) return where_ == Where::kOtherHive;

    RegValue value;
    if (!data.empty() && data.front() == u'"') {
      std::u16string text;
      size_t at = 0;
      if (!Quoted(data, &at, &text) || !Trim(data.substr(at)).empty()) return false;
      value.type = REG_SZ;
      text.push_back(0);
      AppendUnits(&value.bytes, text);
    } else if (data == u"-") {
      auto key = out_->keys_.find(key_);
      if (key != out_->keys_.end()) key->second.values.erase(RegistryData::Fold(name));
      return true;
    } else if (StartsWithNoCase(data, u"dword:")) {
      DWORD v;
      if (!ParseHexNumber(data.substr(6), 8, &v)) return false;
      value.type = REG_DWORD;
      for (int b = 0; b < 4; ++b) value.bytes.push_back(static_cast<BYTE>(v >> (8 * b)));
    } else if (is_hex) {
      if (!HexValue(data.substr(3), &value)) return false;
    } else {
      return false;
    }
    out_->keys_[key_].values[RegistryData::Fold(name)] = std::move(value);
    return true;
  }

  // After "hex": ":" or "(type):", then comma-separated bytes.
  bool HexValue(std::u16string_view s, RegValue* value) {
    DWORD type = REG_BINARY;
    if (!s.empty() && s.front() == u'(') {
      size_t close = s.find(u')');
      if (close == std::u16string_view::npos || !ParseHexNumber(s.substr(1, close - 1), 8, &type)) {
        return false;
      }
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != u':') return false;
    s.remove_prefix(1);
    std::vector<BYTE> bytes;
    while (!Trim(s).empty()) {
      size_t comma = s.find(u',');
      std::u16string_view token = Trim(s.substr(0, comma));
      DWORD b;
      if (!ParseHexNumber(token, 2, &b)) {
        // A trailing comma ends the list; anything else spoils the line.
        if (!(token.empty() && comma == std::u16string_view::npos)) return false;
      } else {
        bytes.push_back(static_cast<BYTE>(b));
      }
      if (comma == std::u16string_view::npos) break;
      s.remove_prefix(comma + 1);
    }
    value->type = type;
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (text && regedit4_) {
      // REGEDIT4 files carry text in the ANSI code page, one byte per unit.
      std::string narrow(bytes.begin(), bytes.end());
      AppendUnits(&value->bytes, ToUtf16(CP_ACP, narrow));
    } else {
      value->bytes = std::move(bytes);
    }
    return true;
  }

  RegistryData* out_;
  enum class Where { kNoKey, kOtherHive, kKey };
  bool regedit4_ = false;
  Where where_ = Where::kNoKey;
  std::u16string key_;
};

RegistryData RegistryData::Parse(std::string_view fileBytes) {
  RegistryData data;
  RegistryParser(&data).Run(Decode(fileBytes));
  return data;
}

std::u16string RegistryData::Fold(std::u16string_view text) {
  // Windows matches registry names without regard to case whatever the
  // locale, so the fold uses the UTF-8 locale's tables, not the process's.
  static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  std::u16string folded(text);
  for (char16_t& c : folded) {
    if (c < 0x80) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    } else if (utf8 != nullptr && (c < 0xD800 || c > 0xDFFF)) {
      wint_t u = ::towupper_l(c, utf8);
      if (u <= 0xFFFF) c = static_cast<char16_t>(u);
    }
  }
  return folded;
}

std::u16string RegistryData::NormalizePath(std::u16string_view path) {
  std::u16string out;
  for (size_t i = 0; i < path.size();) {
    size_t sep = path.find(kSep, i);
    std::u16string_view part = path.substr(i, sep == std::u16string_view::npos ? sep : sep - i);
    if (!part.empty()) {
      if (!out.empty()) out.push_back(kSep);
      out += Fold(part);
    }
    if (sep == std::u16string_view::npos) break;
    i = sep + 1;
  }
  return out;
}

void RegistryData::AddKey(const std::u16string& path) {
  // Every ancestor of a key exists too.
  keys_[path];
  for (size_t sep = path.rfind(kSep); sep != std::u16string::npos && sep > 0;
       sep = path.rfind(kSep, sep - 1)) {
    keys_[path.substr(0, sep)];
  }
  keys_[u""];
}

void RegistryData::DeleteKey(const std::u16string& path) {
  if (path.empty()) {
    keys_.clear();
    return;
  }
  std::u16string prefix = path + kSep;
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == path || it->first.compare(0, prefix.size(), prefix) == 0) {
      it = keys_.erase(it);
    } else {
      ++it;
    }
  }
}

bool RegistryData::HasKey(std::u16string_view path) const {
  std::u16string key = NormalizePath(path);
  return key.empty() || keys_.count(key) != 0;
}

const RegValue* RegistryData::Find(std::u16string_view path, std::u16string_view name) const {
  auto key = keys_.find(NormalizePath(path));
  if (key == keys_.end()) return nullptr;
  auto value = key->second.values.find(Fold(name));
  return value == key->second.values.end() ? nullptr : &value->second;
}

const RegValue* RegistryData::Find(std::string_view path, std::string_view name) const {
  return Find(std::u16string_view(ToUtf16(CP_UTF8, path)),
              std::u16string_view(ToUtf16(CP_UTF8, name)));
}

void RegistryData::ForEachValue(
    const std::function<void(const std::u16string&, const std::u16string&, const RegValue&)>& visit)
    const {
  for (const auto& key : keys_) {
    for (const auto& value : key.second.values) visit(key.first, value.first, value.second);
  }
}

size_t RegistryData::value_count() const {
  size_t n = 0;
  for (const auto& key : keys_) n += key.second.values.size();
  return n;
}

std::string ValueBytesForAnsi(const RegValue& value) {
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    std::u16string units = UnitsOf(value.bytes);
    size_t nul = units.find(u'\0');
    if (nul != std::u16string::npos) units.resize(nul);
    std::string text = FromUtf16(CP_ACP, units);
    text.push_back('\0');
    return text;
  }
  if (value.type == REG_MULTI_SZ) {
    std::u16string units = UnitsOf(value.bytes);
    while (!units.empty() && units.back() == 0) units.pop_back();
    std::string text = FromUtf16(CP_ACP, units);
    text.push_back('\0');
    text.push_back('\0');
    return text;
  }
  return std::string(value.bytes.begin(), value.bytes.end());
}

namespace {

// The process-wide registry: read at the first open, never destroyed (keys
// a host leaves open stay valid until exit).
struct Registry {
  Mutex lock;
  std::unique_ptr<RegistryData> data KORVO_GUARDED_BY(lock);
  std::set<KorvoRegKey*> open KORVO_GUARDED_BY(lock);
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

constexpr std::streamsize kMaxFileBytes = 64 << 20;

const RegistryData& Loaded(Registry& r) KORVO_REQUIRES(r.lock) {
  if (!r.data) {
    const char* path = std::getenv("KORVO_REGISTRY");
    if (path == nullptr || *path == '\0') path = "/etc/korvo/registry.reg";
    std::string bytes;
    std::ifstream in(path, std::ios::binary);
    // Anything beyond kMaxFileBytes is not a registry export: read no more.
    char chunk[65536];
    while (in && static_cast<std::streamsize>(bytes.size()) < kMaxFileBytes) {
      in.read(chunk, sizeof chunk);
      bytes.append(chunk, static_cast<size_t>(in.gcount()));
    }
    r.data = std::make_unique<RegistryData>(RegistryData::Parse(bytes));
  }
  return *r.data;
}

bool IsPredefinedRoot(HKEY key) {
  auto v = reinterpret_cast<uintptr_t>(key);
  return v >= 0x80000000u && v <= 0x80000006u;
}

// Access rights that would change the registry.
constexpr REGSAM kWriteRights = 0x0002 /*KEY_SET_VALUE*/ | 0x0004 /*KEY_CREATE_SUB_KEY*/ |
                                0x0020 /*KEY_CREATE_LINK*/ | 0x00010000 /*DELETE*/ |
                                0x00040000 /*WRITE_DAC*/ | 0x00080000 /*WRITE_OWNER*/ |
                                0x10000000 /*GENERIC_ALL*/ | 0x40000000 /*GENERIC_WRITE*/;

}  // namespace

void TEST_ReloadRegistry() {
  Registry& r = TheRegistry();
  korvo::platform::MutexLock guard(r.lock);
  r.data.reset();
}

}  // namespace korvo::platform

using korvo::platform::Registry;
using korvo::platform::TheRegistry;

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (access & korvo::platform::kWriteRights) return ERROR_ACCESS_DENIED;
  Registry& r = TheRegistry();
  korvo::platform::MutexLock guard(r.lock);
  std::u16string path;
  if (root == HKEY_LOCAL_MACHINE) {
  } else if (r.open.count(root) != 0) {
    path = root->path;
  } else {
    return korvo::platform::IsPredefinedRoot(root) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  }
  if (subKey != nullptr && *subKey != '\0') {
    path += u'\\';
    path += korvo::platform::ToUtf16(CP_ACP, subKey);
  }
  path = korvo::platform::RegistryData::NormalizePath(path);
  if (!korvo::platform::Loaded(r).HasKey(path)) return ERROR_FILE_NOT_FOUND;
  auto key = std::make_unique<KorvoRegKey>();
  key->path = std::move(path);
  r.open.insert(key.get());
  *result = key.release();
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  Registry& r = TheRegistry();
  korvo::platform::MutexLock guard(r.lock);
  if (r.open.erase(key) == 0) return ERROR_INVALID_HANDLE;
  delete key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  Registry& r = TheRegistry();
  korvo::platform::MutexLock guard(r.lock);
  std::u16string path;
  if (key == HKEY_LOCAL_MACHINE) {
  } else if (r.open.count(key) != 0) {
    path = key->path;
  } else {
    return ERROR_INVALID_HANDLE;
  }
  std::u16string name;
  if (valueName != nullptr && *valueName != '\0')
    name = korvo::platform::ToUtf16(CP_ACP, valueName);
  const korvo::platform::RegValue* value = korvo::platform::Loaded(r).Find(path, name);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  std::string bytes = korvo::platform::ValueBytesForAnsi(*value);
  if (type != nullptr) *type = value->type;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(bytes.size());
  DWORD room = *dataSize;
  *dataSize = needed;
  if (data == nullptr) return ERROR_SUCCESS;
  if (room < needed) return ERROR_MORE_DATA;
  std::copy(bytes.begin(), bytes.end(), data);
  return ERROR_SUCCESS;
}
