// com/class_registry.cpp: the process-wide table of creatable classes.
#include <korvo/com/class_registry.h>
#include <korvo/com/coinit.h>
#include <korvo/platform/thread_annotations.h>

#include <map>
#include <string>

namespace {

struct Entry {
  ComClassFactory factory;
  std::u16string progId;
};

struct Registry {
  korvo::platform::Mutex mutex;
  std::map<GUID, Entry> classes KORVO_GUARDED_BY(mutex);
};

// Programmatic identifiers are ASCII; other units compare exactly.
bool SameProgId(const std::u16string& a, const OLECHAR* b) {
  auto lower = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  };
  size_t i = 0;
  for (; i < a.size(); ++i)
    if (b[i] == 0 || lower(a[i]) != lower(b[i])) return false;
  return b[i] == 0;
}

// Never destroyed: objects may be created from other static destructors.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID riid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!korvo::com::IsComInitialized()) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  ComClassFactory factory = nullptr;
  {
    Registry& registry = TheRegistry();
    korvo::platform::MutexLock lock(registry.mutex);
    auto it = registry.classes.find(clsid);
    if (it == registry.classes.end()) return CLASS_E_CLASSNOTAVAILABLE;
    factory = it->second.factory;
  }
  HRESULT hr = factory(riid, out);
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID out) {
  if (progId == nullptr || out == nullptr) return E_INVALIDARG;
  Registry& registry = TheRegistry();
  korvo::platform::MutexLock lock(registry.mutex);
  for (const auto& [clsid, entry] : registry.classes) {
    if (!entry.progId.empty() && SameProgId(entry.progId, progId)) {
      *out = clsid;
      return S_OK;
    }
  }
  return CO_E_CLASSSTRING;
}

namespace korvo::com {

HRESULT RegisterComClass(REFCLSID clsid, ComClassFactory factory, const WCHAR* progId) {
  if (factory == nullptr) return E_INVALIDARG;
  Registry& registry = TheRegistry();
  try {
    Entry entry{factory, progId != nullptr ? std::u16string(progId) : std::u16string()};
    korvo::platform::MutexLock lock(registry.mutex);
    registry.classes[clsid] = std::move(entry);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT UnregisterComClass(REFCLSID clsid) {
  Registry& registry = TheRegistry();
  korvo::platform::MutexLock lock(registry.mutex);
  return registry.classes.erase(clsid) > 0 ? S_OK : S_FALSE;
}

}  // namespace korvo::com
