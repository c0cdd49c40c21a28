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
  if (::listen(listenFd_.get(), 128) != 0) throw std::runtime_error(errnoText("listen"));
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

void Listener::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
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
  SessionSettings settings = options_.session;
  const bool refusing = serving_ >= options_.maxSessions;
  if (refusing) {
    if (sessions_.size() - serving_ >= options_.maxRefusing) {
      log_.write("closed " + name + ": " + std::to_string(options_.maxSessions) +
                 " sessions open and as many refusals under way");
      return;
    }
    log_.write("refusing " + name + ": " + std::to_string(options_.maxSessions) +
               " sessions already open");
    settings.refuseAtLimit = options_.maxSessions;
  } else {
    ++serving_;
  }
  std::uint16_t spid = allocateSpid();
  auto session = std::make_shared<TdsSession>(std::move(transport), engine_, credentials_, settings,
                                              log_, spid, name);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, session, finished, refusing] {
    session->run();
    if (!refusing) {
      std::lock_guard lock(mutex_);
      --serving_;
    }
    finished->store(true);
  });
  sessions_.push_back(
      Running{std::move(session), std::move(thread), std::move(finished), refusing});
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
