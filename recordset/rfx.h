// recordset/rfx.h: the RFX_ field exchange functions that bind a derived
// recordset's member variables to the columns of its result.
//
// A class derived from CRecordset calls one of them per column, in column
// order, from its DoFieldExchange (single-row) or DoBulkFieldExchange
// (multiRowFetch):
//   void DoFieldExchange(CFieldExchange* pFX) override {
//     RFX_Long(pFX, "ID", m_id);
//     RFX_Text(pFX, "NAME", m_name);
//   }
// Each call takes the next 1-based field number and acts on the pass's
// operation (recordset/CFieldExchange.h). While a field is null its member
// holds the type's pseudo-null value: empty text, int 32484, long
// 0x4A4D4120, byte 255, bool 2, double -9.123e19, time 0, a one-byte 0xFF
// byte array, an empty long binary.
//
// The trailing length / column type / scale arguments of RFX_Text,
// RFX_Text2 and RFX_Binary are accepted and not used.
//
// Bulk functions: opAllocRowset allocates `*values` (rowset size elements;
// RFX_Text_Bulk: rowset size x nMaxLength bytes) and `*lengths` (rowset
// size 64-bit null indicators: -1 null, -2 a value) with new[];
// opFreeRowset frees both and sets them null. Elements are of the
// pointed-to type: RFX_Long_Bulk's are `long` (sizeof(long), 8 bytes on
// this platform), each holding a 32-bit value; a column value outside 32
// bits fails with 1029. A bulk member is owned by the recordset's pass
// between those two operations; the host must not free it.
//
// Thread-safety: as the recordset (one thread at a time).
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/CTByteArray.h>
#include <korvo/types/CTLongBinary.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTTime.h>
#include <korvo/types/CTWString.h>

class CFieldExchange;

// Single-row exchange.
KORVO_API void RFX_Text(CFieldExchange* pFX, const char* szName, CTString& value,
                        int nMaxLength = 255, int nColumnType = 12, short nScale = 0);
KORVO_API void RFX_Text(CFieldExchange* pFX, const char* szName, CTWString& value,
                        int nMaxLength = 255, int nColumnType = -9, short nScale = 0);
// As RFX_Text, through the "2" accessors: dates read as text, a written
// value is an SQL expression the engine evaluates.
KORVO_API void RFX_Text2(CFieldExchange* pFX, const char* szName, CTString& value,
                         int nMaxLength = 255, int nColumnType = 12, short nScale = 0);
KORVO_API void RFX_Int(CFieldExchange* pFX, const char* szName, int& value);
KORVO_API void RFX_Long(CFieldExchange* pFX, const char* szName, long& value);
KORVO_API void RFX_Byte(CFieldExchange* pFX, const char* szName, unsigned char& value);
KORVO_API void RFX_Bool(CFieldExchange* pFX, const char* szName, int& value);
KORVO_API void RFX_Binary(CFieldExchange* pFX, const char* szName, CTByteArray& value,
                          __int64 nMaxLength = 255);
KORVO_API void RFX_Date(CFieldExchange* pFX, const char* szName, CTTime& value);
KORVO_API void RFX_LongBinary(CFieldExchange* pFX, const char* szName, CTLongBinary& value);
KORVO_API void RFX_Double(CFieldExchange* pFX, const char* szName, double& value);

// Multi-row exchange (DoBulkFieldExchange with multiRowFetch).
KORVO_API void RFX_Text_Bulk(CFieldExchange* pFX, const char* szName, char** prgStrVals,
                             __int64** prgLengths, int nMaxLength);
KORVO_API void RFX_Int_Bulk(CFieldExchange* pFX, const char* szName, int** prgIntVals,
                            __int64** prgLengths);
KORVO_API void RFX_Long_Bulk(CFieldExchange* pFX, const char* szName, long** prgLongVals,
                             __int64** prgLengths);
KORVO_API void RFX_Date_Bulk(CFieldExchange* pFX, const char* szName, TIMESTAMP_STRUCT** prgTSVals,
                             __int64** prgLengths);
KORVO_API void RFX_Double_Bulk(CFieldExchange* pFX, const char* szName, double** prgDblVals,
                               __int64** prgLengths);
// Lists the column name for opAppendNames; does nothing otherwise.
KORVO_API void DBRFXBulkDefault(CFieldExchange* pFX, const char* szName);
