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
    : engine_(engine), credentials_(credentials), options_(std::move(options)), log_(log) {}

Listener::~Listener() {
  stop();
}

std::uint16_t Listener::start() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error(errnoText("socket"));
  int on = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options_.port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::string reason = errnoText(("bind 127.0.0.1:" + std::to_string(options_.port)).c_str());
    ::close(listenFd_);
    listenFd_ = -1;
    throw std::runtime_error(reason);
  }
  if (::listen(listenFd_, 128) != 0) throw std::runtime_error(errnoText("listen"));
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) throw std::runtime_error(errnoText("pipe"));
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return ntohs(addr.sin_port);
}

void Listener::stop() {
  if (acceptThread_.joinable()) {
    char b = 0;
    (void)!::write(wakePipe_[1], &b, 1);
    acceptThread_.join();
  }
  {
    std::lock_guard lock(mutex_);
    for (auto& r : sessions_) r.session->stop();
  }
  reap(true);
  for (int& fd : {std::ref(listenFd_), std::ref(wakePipe_[0]), std::ref(wakePipe_[1])}) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

std::size_t Listener::sessionCount() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

void Listener::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    int r = ::poll(fds, 2, 1000);
    if (r < 0 && errno != EINTR) {
      log_.write(errnoText("poll on the listening socket"));
      return;
    }
    if (fds[1].revents) return;
    if (r > 0 && (fds[0].revents & POLLIN)) accept();
    reap(false);
  }
}

void Listener::accept() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
      log_.write(errnoText("accept"));
    }
    return;
  }
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  auto transport = std::make_unique<SocketTransport>(fd);
  char host[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
  std::string name = std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));

  std::lock_guard lock(mutex_);
  if (sessions_.size() >= options_.maxSessions) {
    log_.write("refused " + name + ": " + std::to_string(options_.maxSessions) +
               " sessions already open");
    return;  // closing the socket is the refusal; the client has not logged in
  }
  std::uint16_t spid = allocateSpid();
  auto session = std::make_shared<TdsSession>(std::move(transport), engine_, credentials_,
                                              options_.session, log_, spid, name);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([session, finished] {
    session->run();
    finished->store(true);
  });
  sessions_.push_back(Running{std::move(session), std::move(thread), std::move(finished)});
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
