// <korvo/Korvo.h>: the whole public interface of Korvo in one include.
#pragma once

// Platform layer: Windows types and services on Linux.
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/platform/widechar.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/format.h>
#include <korvo/platform/heap.h>
#include <korvo/platform/process.h>
#include <korvo/platform/time64.h>
#include <korvo/platform/debugout.h>
#include <korvo/platform/resources.h>
#include <korvo/platform/registry.h>
#include <korvo/platform/file.h>
#include <korvo/platform/filetime.h>

// Value types.
#include <korvo/types/CTTime.h>
#include <korvo/types/CTByteArray.h>
#include <korvo/types/CTLongBinary.h>
#include <korvo/types/CTPtrList.h>
#include <korvo/types/CDBMapPtrToPtr.h>

// Diagnostics.
#include <korvo/diag/CDBDumpContext.h>

// Errors and diagnostics: exceptions, the SQL trace.
#include <korvo/diag/CKorvoTrace.h>

// Connections: CDatabase, its events sink and the global locks.
#include <korvo/db/global_locks.h>
