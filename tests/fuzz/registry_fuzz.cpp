// Fuzz target: the registry export file parser, then every value through
// the conversion RegQueryValueExA hands out.
#include <korvo/platform/registry.h>
#include <korvo/platform/registry_internal.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using korvo::platform::RegistryData;
using korvo::platform::RegValue;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RegistryData parsed = RegistryData::Parse(bytes);
  size_t visited = 0;
  parsed.ForEachValue(
      [&](const std::u16string& key, const std::u16string& name, const RegValue& v) {
        ++visited;
        std::string out = korvo::platform::ValueBytesForAnsi(v);
        // Text comes out terminated, a multi-string doubly so.
        if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && (out.empty() || out.back() != '\0')) {
          std::abort();
        }
        if (v.type == REG_MULTI_SZ &&
            (out.size() < 2 || out[out.size() - 2] != '\0' || out.back() != '\0')) {
          std::abort();
        }
        // What was stored is found again under any spelling of the same names,
        // and the key's ancestors exist.
        if (parsed.Find(key, name) != &v || !parsed.HasKey(key)) std::abort();
        size_t sep = key.rfind(u'\\');
        if (sep != std::u16string::npos && !parsed.HasKey(key.substr(0, sep))) std::abort();
      });
  if (visited != parsed.value_count()) std::abort();
  return 0;
}
