// com/class_registry.h: creating objects by class identifier.
//
// A process-wide table maps class identifiers (and, optionally, a
// programmatic identifier such as "ADODB.Connection") to a factory function.
// Later layers fill it: the data-access layer registers its Connection,
// Command and Recordset classes with RegisterComClass. CoCreateInstance then
// creates objects of any registered class on a thread that has initialised
// COM.
//
//   HRESULT CreateConnection(REFIID riid, void** out) {
//     return korvo::com::CreateObject<Connection>(riid, out);
//   }
//   korvo::com::RegisterComClass(KORVO_UUIDOF(ConnectionClass), CreateConnection,
//                                u"ADODB.Connection");
//
// Thread-safety: internally locked; registration and creation may happen on
// any thread. The factory runs outside the table's lock.
#pragma once

#include <korvo/com/guid.h>
#include <korvo/com/unknown.h>
#include <korvo/platform/export.h>

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
  (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// Creates one object and returns its interface riid in *out (AddRef'd), or
// sets *out to null and returns the failure.
typedef HRESULT (*ComClassFactory)(REFIID riid, void** out);

// Creates an object of class clsid and asks it for riid. Every class
// context is served in process. Results: E_POINTER for a null out;
// CO_E_NOTINITIALIZED on a thread that has not initialised COM;
// CLASS_E_NOAGGREGATION when outer is not null; CLASS_E_CLASSNOTAVAILABLE
// for a class nobody registered; else the factory's result.
KORVO_API HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid,
                                   LPVOID* out);

// Finds the class registered under a programmatic identifier (compared
// without regard to case). CO_E_CLASSSTRING when none, E_INVALIDARG for a
// null argument.
KORVO_API HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID out);

namespace korvo::com {

// Registers (or replaces) the factory of clsid; progId may be null.
// E_INVALIDARG for a null factory.
KORVO_API HRESULT RegisterComClass(REFCLSID clsid, ComClassFactory factory,
                                   const WCHAR* progId = nullptr);
// Removes a registration; S_FALSE when clsid was not registered.
KORVO_API HRESULT UnregisterComClass(REFCLSID clsid);

}  // namespace korvo::com
