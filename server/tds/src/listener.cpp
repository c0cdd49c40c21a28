#include "sqld/tds/listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "sqld/tds/errors.h"
#include "sqld/tds/token_writer.h"
#include "sqld/tds/version.h"

namespace tessel::sqld::tds {

namespace {

constexpr std::uint16_t kFirstSpid = 51;
constexpr std::uint16_t kLastSpid = 32767;

std::string errnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

Listener::Listener(Engine& engine, const Credentials& credentials, ListenerOptions options,
                   Log& log)
    : engine_(engine),
      credentials_(credentials),
      options_(std::move(options)),
      log_(log),
      readAhead_(std::make_shared<ReadAheadBudget>(options_.maxReadAheadTotal)) {}

Listener::~Listener() {
  stop();
}

std::uint16_t Listener::start() {
  listenFd_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listenFd_) throw std::runtime_error(errnoText("socket"));
  int on = 1;
  ::setsockopt(listenFd_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options_.port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::string reason = errnoText(("bind 127.0.0.1:" + std::to_string(options_.port)).c_str());
    listenFd_.reset();
    throw std::runtime_error(reason);
  }
  if (::listen(listenFd_.get(), SOMAXCONN) != 0) throw std::runtime_error(errnoText("listen"));
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error(errnoText("pipe"));
  wakeRead_ = UniqueFd(pipeFds[0]);
  wakeWrite_ = UniqueFd(pipeFds[1]);
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return ntohs(addr.sin_port);
}

void Listener::stop() {
  if (acceptThread_.joinable()) {
    char b = 0;
    (void)!::write(wakeWrite_.get(), &b, 1);
    acceptThread_.join();
  }
  {
    std::lock_guard lock(mutex_);
    for (auto& r : sessions_) r.session->stop();
  }
  reap(true);
  listenFd_.reset();
  wakeRead_.reset();
  wakeWrite_.reset();
}

std::size_t Listener::sessionCount() const {
  std::lock_guard lock(mutex_);
  return serving_;
}

std::size_t Listener::pendingCount() const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& r : sessions_) n += pending(r) ? 1 : 0;
  return n;
}

bool Listener::pending(const Running& r) const {
  return !r.admitted && !r.closing && !r.finished->load();
}

void Listener::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
    // Often enough to close connections that missed the login time-out soon
    // after it passes.
    int r = ::poll(fds, 2, 250);
    if (r < 0 && errno != EINTR) {
      log_.write(errnoText("poll on the listening socket"));
      return;
    }
    if (fds[1].revents) return;
    if (r > 0 && (fds[0].revents & POLLIN)) accept();
    expireLogins();
    reap(false);
  }
}

void Listener::accept() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  UniqueFd fd(::accept4(listenFd_.get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC));
  if (!fd) {
    if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
      log_.write(errnoText("accept"));
    }
    return;
  }
  int on = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  auto transport = std::make_unique<SocketTransport>(std::move(fd));
  char host[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
  std::string name = std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));

  std::lock_guard lock(mutex_);
  std::size_t waiting = 0;
  Running* oldest = nullptr;
  for (auto& r : sessions_) {
    if (!pending(r)) continue;
    if (!oldest) oldest = &r;
    ++waiting;
  }
  if (oldest && waiting >= options_.maxPendingLogins) {
    // The newest connection is the likeliest to log in soon; one that has
    // waited longest has most likely nothing to send.
    log_.write("closing " + oldest->session->peer() + ": " +
               std::to_string(options_.maxPendingLogins) +
               " connections are waiting to log in and it has waited longest");
    oldest->closing = true;
    oldest->session->stop();
  }
  auto it = sessions_.insert(sessions_.end(), Running{});
  it->accepted = std::chrono::steady_clock::now();
  it->finished = std::make_shared<std::atomic<bool>>(false);
  SessionSettings settings = options_.session;
  settings.readAhead = readAhead_;
  settings.admit = [this, it]() -> std::size_t {
    std::lock_guard lock(mutex_);
    if (serving_ >= options_.maxSessions) {
      log_.write("refusing " + it->session->peer() + ": " + std::to_string(options_.maxSessions) +
                 " sessions already open");
      return options_.maxSessions;
    }
    ++serving_;
    it->admitted = true;
    return 0;
  };
  std::uint16_t spid = allocateSpid();
  it->session = std::make_shared<TdsSession>(std::move(transport), engine_, credentials_, settings,
                                             log_, spid, name);
  it->thread = std::thread([this, session = it->session, finished = it->finished, it] {
    session->run();
    std::lock_guard lock(mutex_);
    if (it->admitted) --serving_;
    finished->store(true);
  });
}

void Listener::expireLogins() {
  // A second later than the session's own time-out, which logs the usual
  // line; this one catches clients that send a byte now and then.
  const auto deadline = std::chrono::steady_clock::now() -
                        std::chrono::seconds(options_.session.loginTimeoutSeconds + 1);
  std::lock_guard lock(mutex_);
  for (auto& r : sessions_) {
    if (!pending(r) || r.accepted > deadline) continue;
    log_.write("closing " + r.session->peer() + ": no login within " +
               std::to_string(options_.session.loginTimeoutSeconds) + " s");
    r.closing = true;
    r.session->stop();
  }
}

void Listener::reap(bool all) {
  std::list<Running> done;
  {
    std::lock_guard lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (all || it->finished->load()) {
        spids_.erase(it->session->spid());
        done.splice(done.end(), sessions_, it++);
      } else {
        ++it;
      }
    }
  }
  for (auto& r : done) r.thread.join();
}

std::uint16_t Listener::allocateSpid() {
  std::uint16_t spid = kFirstSpid;
  while (spids_.count(spid) && spid < kLastSpid) ++spid;
  spids_.insert(spid);
  return spid;
}

}  // namespace tessel::sqld::tds
