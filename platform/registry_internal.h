// platform/registry_internal.h: the parsed form of a registry export file,
// for the process-wide registry and for tests that parse text directly.
// Not installed.
#pragma once

#include <korvo/platform/wintypes.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::platform {

struct RegValue {
  DWORD type = 0;
  // Text types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) hold UTF-16LE bytes,
  // as Windows stores them; other types the bytes as read.
  std::vector<BYTE> bytes;
};

// The HKEY_LOCAL_MACHINE keys of one export file. Key paths are relative to
// the root, backslash-separated; keys and value names match without regard
// to case. Immutable once parsed.
class RegistryData {
 public:
  // Parses the bytes of a file: UTF-16LE with a byte-order mark, or UTF-8
  // (a UTF-8 mark is skipped). A file without the "Windows Registry Editor
  // Version 5.00" or "REGEDIT4" header is empty. Lines that cannot be parsed
  // are skipped and counted.
  static RegistryData Parse(std::string_view fileBytes);

  // `path` and `name` in UTF-16; an empty name is the default value (@).
  bool HasKey(std::u16string_view path) const;
  const RegValue* Find(std::u16string_view path, std::u16string_view name) const;
  // The same with UTF-8 names, for tests.
  const RegValue* Find(std::string_view path, std::string_view name) const;

  // Calls `visit` for every value, keys in order; the key is its stored
  // (folded) path, the name its folded name.
  void ForEachValue(const std::function<void(const std::u16string& key, const std::u16string& name,
                                             const RegValue& value)>& visit) const;

  size_t key_count() const { return keys_.size(); }
  size_t value_count() const;
  size_t skipped_lines() const { return skipped_; }

  // The case-insensitive form keys and names are stored under.
  static std::u16string Fold(std::u16string_view text);
  // A key path as stored: folded, separators single, no leading or trailing
  // separator.
  static std::u16string NormalizePath(std::u16string_view path);

 private:
  struct Key {
    std::map<std::u16string, RegValue> values;  // by folded name
  };
  void AddKey(const std::u16string& path);
  void DeleteKey(const std::u16string& path);

  std::map<std::u16string, Key> keys_;  // by normalised path
  size_t skipped_ = 0;

  friend class RegistryParser;
};

// The bytes RegQueryValueExA hands out for a value: text types converted
// to the ANSI code page and NUL terminated (a multi-string: each string
// terminated, then one more NUL); other types unchanged.
std::string ValueBytesForAnsi(const RegValue& value);

// Drops the process-wide registry so the next RegOpenKeyExA reads the file
// again (tests only).
void TEST_ReloadRegistry();

}  // namespace korvo::platform
