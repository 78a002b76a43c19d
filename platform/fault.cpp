// platform/fault.cpp: counters behind the fault-injection seam.
#include <atomic>

#include "fault_internal.h"

namespace korvo::platform {
namespace {

struct Site {
  std::atomic<long> armedAt{0};  // 0: disarmed; else the call number that fails
  std::atomic<bool> persistent{false};
  std::atomic<long> calls{0};
  std::atomic<long> failures{0};
};

Site g_sites[static_cast<int>(FaultSite::kCount)];
std::atomic<bool> g_anyArmed{false};

Site& At(FaultSite site) { return g_sites[static_cast<int>(site)]; }

}  // namespace

void TEST_FailNthCall(FaultSite site, int n, bool persistent) {
  Site& s = At(site);
  s.calls = 0;
  s.failures = 0;
  s.persistent = persistent;
  s.armedAt = n > 0 ? n : 0;
  if (n > 0) g_anyArmed = true;
}

void TEST_ClearFaults() {
  for (Site& s : g_sites) {
    s.armedAt = 0;
    s.persistent = false;
  }
  g_anyArmed = false;
}

long TEST_CallCount(FaultSite site) { return At(site).calls.load(); }

long TEST_FailureCount(FaultSite site) { return At(site).failures.load(); }

bool ShouldFail(FaultSite site) {
  if (!g_anyArmed.load(std::memory_order_relaxed)) return false;
  Site& s = At(site);
  long call = s.calls.fetch_add(1) + 1;
  long armed = s.armedAt.load();
  if (armed == 0) return false;
  bool fail = s.persistent ? call >= armed : call == armed;
  if (fail) s.failures.fetch_add(1);
  return fail;
}

}  // namespace korvo::platform
