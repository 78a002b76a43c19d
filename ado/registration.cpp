// ado/registration.cpp: the creatable classes registered with the COM
// class table.
#include <korvo/ado/command_internal.h>
#include <korvo/ado/connection_internal.h>
#include <korvo/com/class_registry.h>

namespace korvo::ado {

HRESULT CreateRecordsetObject(REFIID riid, void** out);

namespace {

HRESULT CreateConnection(REFIID riid, void** out) {
  return com::CreateObject<ConnectionObject>(riid, out);
}
HRESULT CreateCommand(REFIID riid, void** out) {
  return com::CreateObject<CommandObject>(riid, out);
}
HRESULT CreateParameter(REFIID riid, void** out) {
  return com::CreateObject<ParameterObject>(riid, out);
}

bool RegisterOnce() {
  com::RegisterComClass(KORVO_UUIDOF(Connection), CreateConnection, u"ADODB.Connection");
  com::RegisterComClass(KORVO_UUIDOF(Command), CreateCommand, u"ADODB.Command");
  com::RegisterComClass(KORVO_UUIDOF(Recordset), CreateRecordsetObject, u"ADODB.Recordset");
  com::RegisterComClass(KORVO_UUIDOF(Parameter), CreateParameter, u"ADODB.Parameter");
  return true;
}

// The shared library registers at load time as well, for hosts that create
// objects by programmatic identifier without including the header.
const bool kRegisteredAtLoad = RegisterClasses();

}  // namespace

bool RegisterClasses() {
  static const bool done = RegisterOnce();
  return done;
}

}  // namespace korvo::ado
