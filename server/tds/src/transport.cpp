#include "sqld/tds/transport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tessel::sqld::tds {

void SocketTransport::send(std::span<const std::uint8_t> bytes) {
  const int flags = MSG_NOSIGNAL | (sendTimeoutMs_ > 0 ? MSG_DONTWAIT : 0);
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), flags);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && sendTimeoutMs_ > 0) {
      pollfd p{fd_.get(), POLLOUT, 0};
      int r = ::poll(&p, 1, sendTimeoutMs_);
      if (r == 0) {
        throw TransportError("client read nothing for " + std::to_string(sendTimeoutMs_) + " ms");
      }
      continue;
    }
    if (n <= 0) throw TransportError(std::string("send failed: ") + std::strerror(errno));
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
}

std::size_t SocketTransport::receive(std::span<std::uint8_t> buffer) {
  if (receiveTimeoutMs_ > 0 && !waitReadable(receiveTimeoutMs_)) {
    throw TransportError("no data for " + std::to_string(receiveTimeoutMs_) + " ms");
  }
  for (;;) {
    ssize_t n = ::recv(fd_.get(), buffer.data(), buffer.size(), 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == ECONNRESET || errno == ENOTCONN) return 0;
    throw TransportError(std::string("receive failed: ") + std::strerror(errno));
  }
}

bool SocketTransport::waitReadable(int timeoutMs) {
  pollfd p{fd_.get(), POLLIN, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw TransportError(std::string("poll failed: ") + std::strerror(errno));
    return r > 0;
  }
}

void SocketTransport::shutdown() {
  std::lock_guard lock(closing_);
  // Closing the sending side would send an orderly end before the reset.
  if (fd_) ::shutdown(fd_.get(), reset_ ? SHUT_RD : SHUT_RDWR);
}

void SocketTransport::close() {
  std::lock_guard lock(closing_);
  fd_.reset();
}

void SocketTransport::resetOnClose() {
  linger l{1, 0};
  ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  reset_ = true;
}

}  // namespace tessel::sqld::tds
