#include "tls_probe.h"

#include <gnutls/gnutls.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tessel::dblib {
namespace {

constexpr std::uint8_t kPreLogin = 0x12;
constexpr int kTimeoutSeconds = 10;

struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }
};

bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SendPacket(int fd, const std::uint8_t* body, std::size_t size) {
  std::vector<std::uint8_t> packet{kPreLogin, 0x01, 0, 0, 0, 0, 1, 0};
  packet.insert(packet.end(), body, body + size);
  packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
  packet[3] = static_cast<std::uint8_t>(packet.size());
  return SendAll(fd, packet.data(), packet.size());
}

// The body of the next packet; false when the connection ended.
bool ReadPacket(int fd, std::vector<std::uint8_t>& body) {
  std::uint8_t header[8];
  if (!ReadAll(fd, header, sizeof header)) return false;
  std::size_t length = static_cast<std::size_t>(header[2] << 8 | header[3]);
  if (length < sizeof header) return false;
  body.resize(length - sizeof header);
  return ReadAll(fd, body.data(), body.size());
}

// GnuTLS's records travel in PRELOGIN packets during the handshake.
struct Channel {
  int fd;
  std::vector<std::uint8_t> in;
  std::size_t pos = 0;
};

ssize_t Push(gnutls_transport_ptr_t ptr, const void* data, size_t size) {
  auto* c = static_cast<Channel*>(ptr);
  // A PRELOGIN packet holds at most 4088 bytes of a record.
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t done = 0; done < size; done += 4088) {
    if (!SendPacket(c->fd, bytes + done, std::min<std::size_t>(4088, size - done))) return -1;
  }
  return static_cast<ssize_t>(size);
}

ssize_t Pull(gnutls_transport_ptr_t ptr, void* data, size_t size) {
  auto* c = static_cast<Channel*>(ptr);
  if (c->pos == c->in.size()) {
    c->pos = 0;
    if (!ReadPacket(c->fd, c->in)) return 0;
  }
  std::size_t take = std::min(size, c->in.size() - c->pos);
  std::memcpy(data, c->in.data() + c->pos, take);
  c->pos += take;
  return static_cast<ssize_t>(take);
}

std::string Connect(const std::string& host, const std::string& port, Socket& s) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
    return "cannot resolve " + host + ": " + gai_strerror(rc);
  }
  std::string why = "cannot connect to " + host + ":" + port;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    s.fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (s.fd < 0) continue;
    timeval tv{kTimeoutSeconds, 0};
    ::setsockopt(s.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(s.fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(s.fd, a->ai_addr, a->ai_addrlen) == 0) {
      why.clear();
      break;
    }
    ::close(s.fd);
    s.fd = -1;
  }
  ::freeaddrinfo(found);
  return why;
}

// PRELOGIN asking for encryption; "" when the server can encrypt.
std::string AskForEncryption(int fd) {
  // VERSION (6 bytes) and ENCRYPTION (ON), then the terminator.
  const std::uint8_t body[] = {0x00, 0,    11,   0, 6, 0x01, 0, 17, 0,
                               1,    0xFF, 0x0B, 0, 0, 0,    0, 0,  0x01};
  if (!SendPacket(fd, body, sizeof body)) return "the server closed the connection";
  std::vector<std::uint8_t> answer;
  if (!ReadPacket(fd, answer)) return "the server closed the connection";
  for (std::size_t i = 0; i + 5 <= answer.size() && answer[i] != 0xFF; i += 5) {
    if (answer[i] != 0x01) continue;
    std::size_t at = static_cast<std::size_t>(answer[i + 1] << 8 | answer[i + 2]);
    if (at < answer.size() && answer[at] == 0x02) return "the server does not support encryption";
    return {};
  }
  return "the server did not answer the encryption request";
}

std::string Handshake(int fd, const std::string& host, const EncryptionSetting& setting) {
  gnutls_certificate_credentials_t credentials = nullptr;
  gnutls_session_t session = nullptr;
  gnutls_certificate_allocate_credentials(&credentials);
  std::string why;
  int loaded = setting.caFile.empty()
                   ? gnutls_certificate_set_x509_system_trust(credentials)
                   : gnutls_certificate_set_x509_trust_file(credentials, setting.caFile.c_str(),
                                                            GNUTLS_X509_FMT_PEM);
  if (loaded <= 0 && !setting.caFile.empty()) {
    why = "no CA certificate could be read from '" + setting.caFile + "'";
  }
  const std::string name = setting.hostName.empty() ? host : setting.hostName;
  Channel channel{fd, {}, 0};
  if (why.empty()) {
    gnutls_init(&session, GNUTLS_CLIENT);
    // TLS 1.2 at most inside PRELOGIN, as servers of TDS 7.x expect.
    gnutls_priority_set_direct(session, "NORMAL:-VERS-TLS1.3", nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    if (name.find_first_not_of("0123456789.:") != std::string::npos) {
      gnutls_server_name_set(session, GNUTLS_NAME_DNS, name.data(), name.size());
    }
    gnutls_session_set_verify_cert(session, name.c_str(), 0);
    gnutls_transport_set_ptr(session, &channel);
    gnutls_transport_set_push_function(session, Push);
    gnutls_transport_set_pull_function(session, Pull);
    int rc = 0;
    do {
      rc = gnutls_handshake(session);
    } while (rc < 0 && gnutls_error_is_fatal(rc) == 0);
    if (rc == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
      gnutls_datum_t text{};
      gnutls_certificate_verification_status_print(gnutls_session_get_verify_cert_status(session),
                                                   GNUTLS_CRT_X509, &text, 0);
      why = std::string(reinterpret_cast<const char*>(text.data), text.size);
      gnutls_free(text.data);
      if (why.find("does not match") != std::string::npos) {
        why = "the certificate is not for the host name '" + name + "' (" + why + ")";
      }
    } else if (rc < 0) {
      why = std::string("the TLS handshake failed: ") + gnutls_strerror(rc);
    }
    gnutls_deinit(session);
  }
  gnutls_certificate_free_credentials(credentials);
  return why;
}

}  // namespace

std::string ProbeCertificate(const std::string& host, const std::string& port,
                             const EncryptionSetting& setting) {
  Socket s;
  std::string why = Connect(host, port, s);
  if (why.empty()) why = AskForEncryption(s.fd);
  if (why.empty()) why = Handshake(s.fd, host, setting);
  return why;
}

}  // namespace tessel::dblib
