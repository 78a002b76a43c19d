// platform/debugout.cpp: the debugger output channel. With no sink installed
// the text goes where KORVO_DEBUG_OUTPUT says (read once), else nowhere.
#include <korvo/platform/codepage.h>
#include <korvo/platform/debugout.h>
#include <korvo/platform/thread_annotations.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codepage_internal.h"

namespace {

struct Channel {
  korvo::platform::Mutex lock;
  korvo::platform::DebugOutputSink sink KORVO_GUARDED_BY(lock) = nullptr;
  void* context KORVO_GUARDED_BY(lock) = nullptr;
  bool defaultChosen KORVO_GUARDED_BY(lock) = false;
  // The default destination, null: discard.
  FILE* target KORVO_GUARDED_BY(lock) = nullptr;
  bool ownsTarget KORVO_GUARDED_BY(lock) = false;
};

Channel& TheChannel() {
  // Never destroyed: other objects' destructors may still write at exit.
  static Channel* channel = new Channel;
  return *channel;
}

void ChooseDefault(Channel& c) KORVO_REQUIRES(c.lock) {
  c.defaultChosen = true;
  const char* where = std::getenv("KORVO_DEBUG_OUTPUT");
  if (where == nullptr || *where == '\0') return;
  if (std::strcmp(where, "stderr") == 0) {
    c.target = stderr;
    return;
  }
  c.target = std::fopen(where, "ae");
  c.ownsTarget = c.target != nullptr;
}

}  // namespace

void OutputDebugStringA(const char* text) {
  if (text == nullptr) return;
  Channel& c = TheChannel();
  korvo::platform::MutexLock guard(c.lock);
  if (c.sink != nullptr) {
    c.sink(text, c.context);
    return;
  }
  if (!c.defaultChosen) ChooseDefault(c);
  if (c.target != nullptr) {
    std::fputs(text, c.target);
    std::fflush(c.target);
  }
}

void OutputDebugStringW(const WCHAR* text) {
  if (text == nullptr) return;
  size_t n = 0;
  while (text[n] != 0) ++n;
  std::string narrow = korvo::platform::FromUtf16(CP_ACP, std::u16string_view(text, n));
  OutputDebugStringA(narrow.c_str());
}

namespace korvo::platform {

void SetDebugOutputSink(DebugOutputSink sink, void* context) {
  Channel& c = TheChannel();
  korvo::platform::MutexLock guard(c.lock);
  c.sink = sink;
  c.context = context;
}

}  // namespace korvo::platform
