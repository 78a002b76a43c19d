// com/connection_point.h: connection points, through which an object calls
// back the event sinks that clients advise, and a reusable implementation.
//
// A source object (the data-access connection, say) implements
// IConnectionPointContainer and holds one korvo::com::ConnectionPoint per
// outgoing interface:
//
//   class Source : public korvo::com::Object<ISource, IConnectionPointContainer> {
//    public:
//     Source() { korvo::com::ConnectionPoint::Create(this, KORVO_UUIDOF(IEvents), &events_); }
//     ~Source() { events_->Disconnect(); }
//     HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
//       return events_->Find(riid, out);
//     }
//     HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override { ... E_NOTIMPL ... }
//     void Fire() {
//       events_->ForEachSink<IEvents>([&](IEvents* sink) { sink->OnSomething(...); });
//     }
//    private:
//     korvo::com::ConnectionPointPtr events_;
//   };
//
// Advise asks the sink for the point's interface (CONNECT_E_CANNOTCONNECT
// when it has none), keeps that reference and returns a cookie (never 0,
// never reused within one point); Unadvise releases it
// (CONNECT_E_NOCONNECTION for an unknown cookie). Events reach the sinks in
// the order they were advised; a sink may Unadvise (itself or another)
// while an event is being delivered.
// Thread-safety: Advise, Unadvise and ForEachSink are internally locked;
// sinks are called outside the lock.
#pragma once

#include <korvo/com/com_ptr.h>
#include <korvo/com/object.h>
#include <korvo/com/unknown.h>
#include <korvo/platform/export.h>

#include <functional>
#include <memory>
#include <utility>

struct IConnectionPointContainer;
struct IEnumConnections;
struct IEnumConnectionPoints;

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* out) = 0;
  // The source object, AddRef'd; E_UNEXPECTED once it is gone.
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  // Not provided by Korvo's points: E_NOTIMPL.
  virtual HRESULT EnumConnections(IEnumConnections** out) = 0;

 protected:
  ~IConnectionPoint() = default;
};
KORVO_DEFINE_UUID(IConnectionPoint, "B196B286-BAB4-101A-B69C-00AA00341D07")

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) = 0;
  // The point for outgoing interface riid, AddRef'd; CONNECT_E_NOCONNECTION
  // when the object has none.
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};
KORVO_DEFINE_UUID(IConnectionPointContainer, "B196B284-BAB4-101A-B69C-00AA00341D07")

inline constexpr IID IID_IConnectionPoint = KORVO_UUIDOF(IConnectionPoint);
inline constexpr IID IID_IConnectionPointContainer = KORVO_UUIDOF(IConnectionPointContainer);

_COM_SMARTPTR_TYPEDEF(IConnectionPoint, __uuidof(IConnectionPoint));
_COM_SMARTPTR_TYPEDEF(IConnectionPointContainer, __uuidof(IConnectionPointContainer));

namespace korvo::com {

struct ConnectionPointState;

// One outgoing interface of a source object. The point refers to its
// container without owning it (the container owns the point); the
// container calls Disconnect when it goes away, which also releases every
// advised sink.
class KORVO_API ConnectionPoint final : public Object<IConnectionPoint> {
 public:
  // A new point for sinks of interface iid, AddRef'd in *out (a
  // ConnectionPointPtr's address works).
  static HRESULT Create(IConnectionPointContainer* container, REFIID iid, ConnectionPoint** out);

  HRESULT GetConnectionInterface(IID* out) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(IEnumConnections** out) override;

  // The container's FindConnectionPoint for this point: this point,
  // AddRef'd, when riid is its interface, else CONNECT_E_NOCONNECTION.
  HRESULT Find(REFIID riid, IConnectionPoint** out);
  // Forgets the container and releases every sink.
  void Disconnect();
  // Number of advised sinks.
  size_t SinkCount() const;

  // Calls fn for each sink advised at the time of the call, as Sink* (the
  // point's interface), keeping each one alive during its call. Exceptions
  // from fn propagate after the remaining references are released.
  template <class Sink>
  void ForEachSink(const std::function<void(Sink*)>& fn) {
    ForEachRaw([&](IUnknown* sink) { fn(static_cast<Sink*>(sink)); });
  }
  // (Goes to ForEachRaw itself: handing a temporary std::function to the
  // overload above would pick this template again, forever.)
  template <class Sink, class Fn>
  void ForEachSink(Fn&& fn) {
    ForEachRaw([&](IUnknown* sink) { fn(static_cast<Sink*>(sink)); });
  }

 private:
  template <class T, class... Args>
  friend HRESULT CreateObject(REFIID riid, void** out, Args&&... args);
  ConnectionPoint(IConnectionPointContainer* container, REFIID iid);
  ~ConnectionPoint() override;
  void ForEachRaw(const std::function<void(IUnknown*)>& fn);

  std::unique_ptr<ConnectionPointState> state_;
};

typedef _com_ptr_t<_com_IIID<ConnectionPoint, &KORVO_UUIDOF(IConnectionPoint)>> ConnectionPointPtr;

}  // namespace korvo::com
