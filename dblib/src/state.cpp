#include "state.h"

#include <memory>
#include <mutex>

namespace tessel::dblib {
namespace {

std::mutex registry_mutex;

// FreeTDS's interrupt check, asked once a second while a call waits on the network: true
// ends the wait as a time-out, which the error trampoline then turns into closing the
// connection (see handlers.cpp).
int CancelOverdue(void* dbproc) {
  ConnState* conn = FindConn(static_cast<DBPROCESS*>(dbproc));
  if (conn == nullptr) return FALSE;
  if (conn->abandoned.load()) return TRUE;
  if (conn->cancel_deadline == std::chrono::steady_clock::time_point{}) return FALSE;
  return std::chrono::steady_clock::now() >= conn->cancel_deadline ? TRUE : FALSE;
}

int EndWait(void*) {
  return INT_CANCEL;
}
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
    dbsetinterrupt(dbproc, CancelOverdue, EndWait);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void ArmCancelDeadline(ConnState& conn, bool after_timeout) {
  if (conn.cancel_deadline != std::chrono::steady_clock::time_point{}) return;
  conn.cancel_deadline = std::chrono::steady_clock::now() + kCancelGrace;
  conn.cancel_after_timeout = after_timeout;
}

void ClearCancelDeadline(DBPROCESS* dbproc) {
  if (ConnState* conn = FindConn(dbproc)) {
    conn->cancel_deadline = {};
    conn->cancel_after_timeout = false;
    conn->abandoned.store(false);
  }
}

void AbandonConn(DBPROCESS* dbproc) {
  // Under the lock: the connection's owner may be closing it right now.
  std::lock_guard lock(registry_mutex);
  auto found = Registry().find(dbproc);
  if (found != Registry().end()) found->second->abandoned.store(true);
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
