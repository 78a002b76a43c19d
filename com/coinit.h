// com/coinit.h: initialising COM on a thread.
//
// Each thread keeps its own count of CoInitializeEx calls; nested calls on
// the same thread are counted and need as many CoUninitialize calls. Until a
// thread has initialised COM, CoCreateInstance fails there with
// CO_E_NOTINITIALIZED. The concurrency model is recorded only to answer a
// conflicting call as Windows does; objects are not marshalled between
// threads (they are used by one thread at a time).
// Thread-safety: every function acts on the calling thread only.
#pragma once

#include <korvo/com/hresult.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

// S_OK on the thread's first call, S_FALSE on a nested call with the same
// model; RPC_E_CHANGED_MODE (nothing counted) when the thread is already
// initialised with the other model. `reserved` must be null (E_INVALIDARG).
KORVO_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
// CoInitializeEx with COINIT_APARTMENTTHREADED.
KORVO_API HRESULT CoInitialize(LPVOID reserved);
// Undoes one successful CoInitializeEx; the last one also drops the
// thread's error information. Extra calls do nothing.
KORVO_API void CoUninitialize();

namespace korvo::com {

// True while the calling thread has initialised COM.
KORVO_API bool IsComInitialized();

}  // namespace korvo::com
