// diag/CKorvoTrace.h: CKorvoTrace, the per-process SQL trace file.
//
// What it is: a handle to the one trace file of the process. Tracing is
// switched on for the machine by the registry value "Dbms Korvo Trace"
// under `HKEY_LOCAL_MACHINE\SOFTWARE\ZEP\ORB_P5`, which names the directory
// of the file `<directory>/~KORVO<pid>.log`. The switch is read once per
// process, by the first CKorvoTrace constructed (CDatabase, CRecordset and
// CCmdset each hold one as `m_trace`); later registry changes have no
// effect until the process restarts. The file is written from its start
// (an older file of the same name is overwritten, not truncated) and stays
// open until the process ends.
//
// Each entry is "\r\n[<thread id> - YYYY/MM/DD h:m:s]" (UTC, hour, minute
// and second without leading zeros) followed by the text, flushed before
// PrintTrace returns. Entries have no line end of their own.
//
// Thread-safety: internally locked. All state is static; one process-wide
// mutex makes each entry (header, text, flush) one unit and serialises the
// one-time read of the switch. It is always the innermost lock of the
// library. With tracing off PrintTrace takes no lock at all.
// Ownership: objects hold no data; copying and destroying them is free.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

class KORVO_API CKorvoTrace {
 public:
  // Reads the switch (and opens the file) if no traced object of the
  // process has done so yet.
  CKorvoTrace();
  CKorvoTrace(const CKorvoTrace&) = default;
  CKorvoTrace& operator=(const CKorvoTrace&) { return *this; }
  ~CKorvoTrace() {}

  // Writes one entry. A null text, tracing off, a switch not yet read or a
  // file that could not be opened write nothing; write errors are ignored.
  void PrintTrace(const char* text);

 private:
  // Reads the registry value and opens the file. REQUIRES: the trace mutex
  // is held and the switch has not been read yet.
  static void m_GetSqlTrace();
};
