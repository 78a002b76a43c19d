// com/coinit.cpp: the per-thread COM initialisation count.
#include <korvo/com/coinit.h>
#include <korvo/com/error_info_internal.h>

namespace {

struct ThreadState {
  int count = 0;
  DWORD model = COINIT_MULTITHREADED;
};
thread_local ThreadState t_state;

constexpr DWORD kModelBits = COINIT_APARTMENTTHREADED;

}  // namespace

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved != nullptr) return E_INVALIDARG;
  DWORD model = coInit & kModelBits;
  if (t_state.count > 0) {
    if (t_state.model != model) return RPC_E_CHANGED_MODE;
    ++t_state.count;
    return S_FALSE;
  }
  t_state.count = 1;
  t_state.model = model;
  return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (t_state.count == 0) return;
  if (--t_state.count == 0) korvo::com::detail::ReleaseThreadErrorInfo();
}

namespace korvo::com {
bool IsComInitialized() { return t_state.count > 0; }
}  // namespace korvo::com
