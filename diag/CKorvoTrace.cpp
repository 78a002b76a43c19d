// diag/CKorvoTrace.cpp: the per-process SQL trace file (diag layer).
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/diag/CKorvoTrace_internal.h>
#include <korvo/diag/settings_key.h>
#include <korvo/platform/file.h>
#include <korvo/platform/format.h>
#include <korvo/platform/process.h>
#include <korvo/platform/thread_annotations.h>

#include <atomic>
#include <cstring>

namespace {

using korvo::diag::detail::kSwitchUnread;
using korvo::diag::detail::kTraceOff;
using korvo::diag::detail::kTraceOn;
constexpr size_t kPathBuffer = 260;

// Mutex has a constexpr constructor, so the mutex exists before any
// dynamic initialiser of the library or the host can construct a traced
// object.
korvo::platform::Mutex g_traceMutex;

// Written once under the mutex, then only read under it.
HANDLE g_hFileTrace KORVO_GUARDED_BY(g_traceMutex) = INVALID_HANDLE_VALUE;

}  // namespace

namespace korvo::diag {
// Read without the mutex at the start of PrintTrace (and of
// PrintTraceIfOn); it changes only once, from kSwitchUnread to its final
// value, under the mutex.
std::atomic<short> detail::g_traceSwitch{kSwitchUnread};
korvo::platform::Mutex& TEST_TraceMutex() { return g_traceMutex; }
}  // namespace korvo::diag

using korvo::diag::detail::g_traceSwitch;

CKorvoTrace::CKorvoTrace() {
  korvo::platform::MutexLock lock(g_traceMutex);
  if (g_traceSwitch.load(std::memory_order_relaxed) == kSwitchUnread) m_GetSqlTrace();
}

void CKorvoTrace::m_GetSqlTrace() {
  // The public declaration cannot name the file-local mutex; its one
  // caller, the constructor, holds it.
  g_traceMutex.AssertHeld();
  // One spare byte keeps the directory terminated even when the value
  // fills the whole 260-byte buffer.
  char directory[kPathBuffer + 1] = {};
  LONG rc = ERROR_FILE_NOT_FOUND;
  if (korvo::platform::UniqueRegKey key = korvo::diag::OpenSettingsKey()) {
    DWORD size = kPathBuffer;
    rc = RegQueryValueExA(key.get(), "Dbms Korvo Trace", nullptr, nullptr,
                          reinterpret_cast<BYTE*>(directory), &size);
  }
  if (rc != ERROR_SUCCESS || directory[0] == '\0') {
    g_traceSwitch.store(kTraceOff, std::memory_order_release);
    return;
  }

  char path[kPathBuffer];
  int length = korvo::platform::Format(path, sizeof path, "%s/~KORVO%d.log", directory,
                                       static_cast<int>(GetCurrentProcessId()));
  if (length > 0 && static_cast<size_t>(length) < sizeof path) {
    // OPEN_ALWAYS without truncation: an older file of the same name is
    // overwritten from its start.
    g_hFileTrace = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  g_traceSwitch.store(kTraceOn, std::memory_order_release);
}

void CKorvoTrace::PrintTrace(const char* text) {
  // The one comparison the library pays per operation when tracing is off.
  if (g_traceSwitch.load(std::memory_order_acquire) == kTraceOff || text == nullptr) return;

  korvo::platform::MutexLock lock(g_traceMutex);
  if (g_traceSwitch.load(std::memory_order_relaxed) != kTraceOn ||
      g_hFileTrace == INVALID_HANDLE_VALUE)
    return;

  SYSTEMTIME now;
  GetSystemTime(&now);
  char header[kPathBuffer];
  int length = korvo::platform::Format(
      header, sizeof header, "\r\n[%lu - %04u/%02u/%02u %u:%u:%u]",
      static_cast<unsigned long>(GetCurrentThreadId()), unsigned{now.wYear}, unsigned{now.wMonth},
      unsigned{now.wDay}, unsigned{now.wHour}, unsigned{now.wMinute}, unsigned{now.wSecond});
  if (length <= 0 || static_cast<size_t>(length) >= sizeof header) return;

  DWORD written = 0;
  WriteFile(g_hFileTrace, header, static_cast<DWORD>(length), &written, nullptr);
  WriteFile(g_hFileTrace, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  FlushFileBuffers(g_hFileTrace);
}
