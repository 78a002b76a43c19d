// com/connection_point.cpp: the reusable connection point.
#include <korvo/com/connection_point.h>
#include <korvo/platform/thread_annotations.h>

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace korvo::com {

struct ConnectionPointState {
  ConnectionPointState(IConnectionPointContainer* owner, REFIID id) : container(owner), iid(id) {}

  platform::Mutex mutex;
  // Not owned; null once disconnected.
  IConnectionPointContainer* container KORVO_GUARDED_BY(mutex);
  IID iid;  // fixed at construction, read without the lock
  DWORD nextCookie KORVO_GUARDED_BY(mutex) = 1;
  // Each holds one reference.
  std::vector<std::pair<DWORD, IUnknown*>> sinks KORVO_GUARDED_BY(mutex);
};

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid)
    : state_(std::make_unique<ConnectionPointState>(container, iid)) {}

ConnectionPoint::~ConnectionPoint() { Disconnect(); }

HRESULT ConnectionPoint::Create(IConnectionPointContainer* container, REFIID iid,
                                ConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  IConnectionPoint* point = nullptr;
  try {
    const HRESULT hr = CreateObject<ConnectionPoint>(
        IID_IConnectionPoint, reinterpret_cast<void**>(&point), container, iid);
    if (FAILED(hr)) return hr;
  } catch (const std::bad_alloc&) {  // the state's allocation
    return E_OUTOFMEMORY;
  }
  *out = static_cast<ConnectionPoint*>(point);
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* out) {
  if (out == nullptr) return E_POINTER;
  *out = state_->iid;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (out == nullptr) return E_POINTER;
  platform::MutexLock lock(state_->mutex);
  *out = state_->container;
  if (*out == nullptr) return E_UNEXPECTED;
  (*out)->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  IUnknown* typed = nullptr;
  if (FAILED(sink->QueryInterface(state_->iid, reinterpret_cast<void**>(&typed))) ||
      typed == nullptr)
    return CONNECT_E_CANNOTCONNECT;
  platform::MutexLock lock(state_->mutex);
  if (state_->container == nullptr || state_->nextCookie == 0) {
    typed->Release();
    return state_->container == nullptr ? E_UNEXPECTED : CONNECT_E_ADVISELIMIT;
  }
  try {
    state_->sinks.emplace_back(state_->nextCookie, typed);
  } catch (const std::bad_alloc&) {
    typed->Release();
    return E_OUTOFMEMORY;
  }
  *cookie = state_->nextCookie++;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  IUnknown* sink = nullptr;
  {
    platform::MutexLock lock(state_->mutex);
    for (auto it = state_->sinks.begin(); it != state_->sinks.end(); ++it) {
      if (it->first == cookie) {
        sink = it->second;
        state_->sinks.erase(it);
        break;
      }
    }
  }
  if (sink == nullptr) return CONNECT_E_NOCONNECTION;
  sink->Release();  // outside the lock: the sink's destructor may call back
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT ConnectionPoint::Find(REFIID riid, IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (riid != state_->iid) return CONNECT_E_NOCONNECTION;
  AddRef();
  *out = this;
  return S_OK;
}

void ConnectionPoint::Disconnect() {
  std::vector<std::pair<DWORD, IUnknown*>> sinks;
  {
    platform::MutexLock lock(state_->mutex);
    state_->container = nullptr;
    sinks.swap(state_->sinks);
  }
  for (auto& [cookie, sink] : sinks) sink->Release();
}

size_t ConnectionPoint::SinkCount() const {
  platform::MutexLock lock(state_->mutex);
  return state_->sinks.size();
}

void ConnectionPoint::ForEachRaw(const std::function<void(IUnknown*)>& fn) {
  std::vector<IUnknown*> snapshot;
  {
    platform::MutexLock lock(state_->mutex);
    snapshot.reserve(state_->sinks.size());
    for (auto& entry : state_->sinks) {
      entry.second->AddRef();
      snapshot.push_back(entry.second);
    }
  }
  size_t next = 0;
  try {
    for (; next < snapshot.size(); ++next) {
      IUnknown* sink = snapshot[next];
      fn(sink);
      sink->Release();
    }
  } catch (...) {
    for (; next < snapshot.size(); ++next) snapshot[next]->Release();
    throw;
  }
}

}  // namespace korvo::com
