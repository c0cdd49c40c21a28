#include "state.h"

#include <memory>
#include <mutex>

namespace tessel::dblib {
namespace {

std::mutex registry_mutex;
// Guarded by registry_mutex.
std::unordered_map<DBPROCESS*, std::unique_ptr<ConnState>>& Registry() {
  static auto* registry = new std::unordered_map<DBPROCESS*, std::unique_ptr<ConnState>>();
  return *registry;
}

}  // namespace

ConnState* FindConn(DBPROCESS* dbproc) {
  if (dbproc == nullptr) return nullptr;
  std::lock_guard lock(registry_mutex);
  auto found = Registry().find(dbproc);
  return found == Registry().end() ? nullptr : found->second.get();
}

bool RegisterConn(DBPROCESS* dbproc) {
  try {
    auto state = std::make_unique<ConnState>();
    std::lock_guard lock(registry_mutex);
    Registry()[dbproc] = std::move(state);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void ResetResultState(DBPROCESS* dbproc) {
  if (ConnState* conn = FindConn(dbproc)) {
    conn->numeric_binds.clear();
    conn->text_row_active = false;
    conn->text_position = 0;
  }
}

void ForgetConn(DBPROCESS* dbproc) {
  std::lock_guard lock(registry_mutex);
  Registry().erase(dbproc);
}

void ForgetAllConns() {
  std::lock_guard lock(registry_mutex);
  Registry().clear();
}

}  // namespace tessel::dblib
