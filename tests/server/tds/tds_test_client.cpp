#include "tds_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tessel::sqld::test {

namespace {

class Cursor {
 public:
  explicit Cursor(std::string_view d) : d_(d) {}
  bool atEnd() const { return p_ == d_.size(); }
  std::string_view take(std::size_t n) {
    if (n > d_.size() - p_) throw std::runtime_error("token stream truncated");
    auto s = d_.substr(p_, n);
    p_ += n;
    return s;
  }
  std::uint64_t le(std::size_t n) {
    auto s = take(n);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
      v |= std::uint64_t(static_cast<std::uint8_t>(s[i])) << (8 * i);
    return v;
  }
  std::uint64_t be(std::size_t n) {
    auto s = take(n);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<std::uint8_t>(s[i]);
    return v;
  }
  std::string bvar() { return fromUtf16(take(le(1) * 2)); }
  std::string usvar() { return fromUtf16(take(le(2) * 2)); }

 private:
  std::string_view d_;
  std::size_t p_ = 0;
};

bool isFixed(std::uint8_t t) {
  switch (t) {
    case 0x30:
    case 0x32:
    case 0x34:
    case 0x38:
    case 0x3A:
    case 0x3B:
    case 0x3C:
    case 0x3D:
    case 0x3E:
    case 0x7A:
    case 0x7F:
      return true;
  }
  return false;
}

std::size_t fixedSize(std::uint8_t t) {
  switch (t) {
    case 0x30:
    case 0x32:
      return 1;
    case 0x34:
      return 2;
    case 0x38:
    case 0x3A:
    case 0x3B:
    case 0x7A:
      return 4;
    default:
      return 8;
  }
}

bool isBlob(std::uint8_t t) {
  return t == 0x23 || t == 0x63 || t == 0x22;
}
bool hasCollation(std::uint8_t t) {
  return t == 0xAF || t == 0xA7 || t == 0xEF || t == 0xE7 || t == 0x23 || t == 0x63;
}
bool isShortLen(std::uint8_t t) {
  return t == 0xAF || t == 0xA7 || t == 0xEF || t == 0xE7 || t == 0xAD || t == 0xA5;
}

ColInfo readTypeInfo(Cursor& c, bool colMetadata, std::uint32_t version) {
  ColInfo col;
  std::uint8_t t = col.wireType = static_cast<std::uint8_t>(c.le(1));
  if (isFixed(t)) {
    col.maxLength = static_cast<std::uint32_t>(fixedSize(t));
  } else if (t == 0x6A || t == 0x6C) {
    col.maxLength = static_cast<std::uint32_t>(c.le(1));
    col.precision = static_cast<std::uint8_t>(c.le(1));
    col.scale = static_cast<std::uint8_t>(c.le(1));
  } else if (isShortLen(t)) {
    col.maxLength = static_cast<std::uint32_t>(c.le(2));
    if (hasCollation(t)) col.collation = std::string(c.take(5));
  } else if (isBlob(t)) {
    col.maxLength = static_cast<std::uint32_t>(c.le(4));
    if (hasCollation(t)) col.collation = std::string(c.take(5));
    if (colMetadata) {
      if (version >= 0x72000000) {
        std::size_t parts = c.le(1);
        for (std::size_t i = 0; i < parts; ++i) col.table += (i ? "." : "") + c.usvar();
      } else {
        col.table = c.usvar();
      }
    }
  } else if (t == 0x26 || t == 0x68 || t == 0x6D || t == 0x6E || t == 0x6F || t == 0x24) {
    col.maxLength = static_cast<std::uint32_t>(c.le(1));
  } else if (t == 0xF1) {
    // Untyped xml only: a schema collection would follow a non-zero byte.
    if (c.le(1) != 0) throw std::runtime_error("xml with a schema collection");
    col.maxLength = 0xFFFF;
  } else if (t == 0x28) {
  } else if (t == 0x29 || t == 0x2A || t == 0x2B) {
    col.scale = static_cast<std::uint8_t>(c.le(1));
  } else {
    throw std::runtime_error("unknown wire type " + std::to_string(t));
  }
  return col;
}

WireValue readValue(Cursor& c, const ColInfo& col) {
  WireValue v;
  std::uint8_t t = col.wireType;
  if (isFixed(t)) {
    v.bytes = c.take(fixedSize(t));
  } else if ((isShortLen(t) && col.maxLength == 0xFFFF) || t == 0xF1) {
    std::uint64_t total = c.le(8);
    if (total == ~std::uint64_t{0}) {
      v.isNull = true;
    } else {
      for (std::size_t chunk = c.le(4); chunk != 0; chunk = c.le(4)) v.bytes += c.take(chunk);
      if (total != ~std::uint64_t{0} - 1 && total != v.bytes.size()) {
        throw std::runtime_error("chunked value length differs from its chunks");
      }
    }
  } else if (isShortLen(t)) {
    std::size_t len = c.le(2);
    if (len == 0xFFFF) {
      v.isNull = true;
    } else {
      if (len > col.maxLength) throw std::runtime_error("value longer than its column");
      v.bytes = c.take(len);
    }
  } else if (isBlob(t)) {
    std::size_t ptrLen = c.le(1);
    if (ptrLen == 0) {
      v.isNull = true;
    } else {
      v.textPtr = c.take(ptrLen);
      v.timestamp = c.take(8);
      v.bytes = c.take(c.le(4));
    }
  } else {
    std::size_t len = c.le(1);
    if (len == 0) {
      v.isNull = true;
    } else {
      if (t != 0x6A && t != 0x6C && (t < 0x28 || t > 0x2B) && len != col.maxLength) {
        throw std::runtime_error("value length differs from its column");
      }
      v.bytes = c.take(len);
    }
  }
  return v;
}

}  // namespace

std::string utf16(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    char32_t cp = b;
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    if (extra) cp = b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      char16_t hi = static_cast<char16_t>(0xD800 + (cp >> 10)),
               lo = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      out += {static_cast<char>(hi & 0xFF), static_cast<char>(hi >> 8),
              static_cast<char>(lo & 0xFF), static_cast<char>(lo >> 8)};
    } else {
      out += {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8)};
    }
  }
  return out;
}

std::string fromUtf16(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    char32_t cp = static_cast<std::uint8_t>(s[i]) | (static_cast<std::uint8_t>(s[i + 1]) << 8);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < s.size()) {
      char32_t lo =
          static_cast<std::uint8_t>(s[i + 2]) | (static_cast<std::uint8_t>(s[i + 3]) << 8);
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
      i += 2;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      out += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
              static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    }
  }
  return out;
}

std::vector<Token> decodeTokens(std::string_view payload, std::uint32_t version) {
  const bool v72 = version >= 0x72000000;
  Cursor c(payload);
  std::vector<Token> out;
  std::vector<ColInfo> columns;
  while (!c.atEnd()) {
    Token t;
    t.type = static_cast<std::uint8_t>(c.le(1));
    switch (t.type) {
      case 0xFD:
      case 0xFE:
      case 0xFF:
        t.status = static_cast<std::uint16_t>(c.le(2));
        t.curCmd = static_cast<std::uint16_t>(c.le(2));
        t.rowCount = c.le(v72 ? 8 : 4);
        break;
      case 0xAA:
      case 0xAB: {
        t.length = static_cast<std::uint16_t>(c.le(2));
        Cursor body(c.take(t.length));
        t.number = static_cast<std::int32_t>(body.le(4));
        t.state = static_cast<std::uint8_t>(body.le(1));
        t.severity = static_cast<std::uint8_t>(body.le(1));
        t.text = body.usvar();
        t.server = body.bvar();
        t.proc = body.bvar();
        t.line = static_cast<std::uint32_t>(body.le(v72 ? 4 : 2));
        if (!body.atEnd()) throw std::runtime_error("message token longer than its fields");
        break;
      }
      case 0xE3: {
        t.length = static_cast<std::uint16_t>(c.le(2));
        Cursor body(c.take(t.length));
        t.envType = static_cast<std::uint8_t>(body.le(1));
        bool bytes = t.envType == 7 || (t.envType >= 8 && t.envType <= 12) || t.envType == 18;
        if (bytes) {
          t.newValue = body.take(body.le(1));
          t.oldValue = body.take(body.le(1));
        } else {
          t.newValue = body.bvar();
          t.oldValue = body.bvar();
        }
        if (!body.atEnd()) throw std::runtime_error("ENVCHANGE longer than its fields");
        break;
      }
      case 0xAD: {
        t.length = static_cast<std::uint16_t>(c.le(2));
        Cursor body(c.take(t.length));
        t.interface = static_cast<std::uint8_t>(body.le(1));
        t.version = static_cast<std::uint32_t>(body.be(4));
        t.progName = body.bvar();
        t.progVersion = static_cast<std::uint32_t>(body.be(4));
        if (!body.atEnd()) throw std::runtime_error("LOGINACK longer than its fields");
        break;
      }
      case 0x81: {
        std::size_t n = c.le(2);
        columns.clear();
        for (std::size_t i = 0; i < n && n != 0xFFFF; ++i) {
          std::uint32_t userType = static_cast<std::uint32_t>(c.le(v72 ? 4 : 2));
          std::uint16_t flags = static_cast<std::uint16_t>(c.le(2));
          ColInfo col = readTypeInfo(c, true, version);
          col.userType = userType;
          col.flags = flags;
          col.name = c.bvar();
          columns.push_back(col);
        }
        t.columns = columns;
        break;
      }
      case 0xD1:
        for (const auto& col : columns) t.values.push_back(readValue(c, col));
        break;
      case 0xD2: {
        std::string bitmap(c.take((columns.size() + 7) / 8));
        for (std::size_t i = 0; i < columns.size(); ++i) {
          if (bitmap[i / 8] & (1 << (i % 8))) {
            WireValue v;
            v.isNull = true;
            t.values.push_back(v);
          } else {
            t.values.push_back(readValue(c, columns[i]));
          }
        }
        break;
      }
      case 0x79:
        t.returnStatus = static_cast<std::int32_t>(c.le(4));
        break;
      case 0xAC: {
        t.ordinal = static_cast<std::uint16_t>(c.le(2));
        t.paramName = c.bvar();
        t.status = static_cast<std::uint16_t>(c.le(1));
        std::uint32_t userType = static_cast<std::uint32_t>(c.le(v72 ? 4 : 2));
        std::uint16_t flags = static_cast<std::uint16_t>(c.le(2));
        ColInfo col = readTypeInfo(c, false, version);
        col.userType = userType;
        col.flags = flags;
        t.columns.push_back(col);
        t.values.push_back(readValue(c, col));
        break;
      }
      case 0xA9: {
        std::size_t len = c.le(2);
        for (std::size_t i = 0; i < len / 2; ++i)
          t.order.push_back(static_cast<std::uint16_t>(c.le(2)));
        break;
      }
      default:
        throw std::runtime_error("unknown token " + std::to_string(t.type));
    }
    out.push_back(std::move(t));
  }
  return out;
}

namespace {

void put16(std::string& s, std::uint16_t v) {
  s += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, static_cast<std::uint16_t>(v));
  put16(s, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace

std::string buildLogin7(const LoginSpec& spec) {
  std::string pw = utf16(spec.password);
  for (char& ch : pw) {
    auto b = static_cast<std::uint8_t>(ch);
    b = static_cast<std::uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5);
    ch = static_cast<char>(b);
  }
  std::vector<std::string> fields = {utf16("testhost"),     utf16(spec.user), pw,
                                     utf16(spec.app),       utf16("server"),  "",
                                     utf16("tds-test-lib"), utf16(""),        utf16(spec.database)};
  const std::size_t fixed = 94;
  std::string head, data;
  put32(head, spec.version);
  put32(head, spec.packetSize);
  put32(head, 7);                   // client version
  put32(head, 1234);                // pid
  put32(head, 0);                   // connection id
  head += static_cast<char>(0xE0);  // option flags 1
  head += static_cast<char>((spec.odbc ? 0x02 : 0) | (spec.integrated ? 0x80 : 0) | 0x01);
  head += '\0';  // type flags
  head += '\0';  // option flags 3
  put32(head, 0);
  put32(head, 0x409);
  std::string offsets;
  for (const auto& f : fields) {
    put16(offsets, static_cast<std::uint16_t>(fixed + data.size()));
    put16(offsets, static_cast<std::uint16_t>(f.size() / 2));
    data += f;
  }
  std::string tail(6, '\x01');                                   // client id
  put16(tail, static_cast<std::uint16_t>(fixed + data.size()));  // SSPI
  put16(tail, 0);
  put16(tail, static_cast<std::uint16_t>(fixed + data.size()));  // attach db file
  put16(tail, 0);
  put16(tail, static_cast<std::uint16_t>(fixed + data.size()));  // change password
  put16(tail, 0);
  put32(tail, 0);  // long SSPI
  std::string body = head + offsets + tail;
  std::string out;
  put32(out, static_cast<std::uint32_t>(4 + body.size() + data.size()));
  return out + body + data;
}

std::string buildPreLogin() {
  // VERSION, ENCRYPTION (off), INSTOPT, THREADID, MARS, terminator.
  std::string table, data;
  auto add = [&](char token, std::string value) {
    table += token;
    std::uint16_t offset = static_cast<std::uint16_t>(5 * 5 + 1 + data.size());
    table += {static_cast<char>(offset >> 8), static_cast<char>(offset & 0xFF)};
    table += {static_cast<char>(value.size() >> 8), static_cast<char>(value.size() & 0xFF)};
    data += value;
  };
  add(0, std::string("\x01\x02\x03\x04\x00\x00", 6));
  add(1, std::string(1, '\0'));
  add(2, std::string("MSSQLServer\0", 12));
  add(3, std::string("\0\0\0\x01", 4));
  add(4, std::string(1, '\0'));
  return table + '\xFF' + data;
}

std::string allHeaders(std::uint64_t descriptor) {
  std::string s;
  put32(s, 22);
  put32(s, 18);
  put16(s, 2);
  put32(s, static_cast<std::uint32_t>(descriptor));
  put32(s, static_cast<std::uint32_t>(descriptor >> 32));
  put32(s, 1);
  return s;
}

TestClient::~TestClient() {
  close();
}

void TestClient::connect(std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  // As the clients of SQL Server do: a request's last packet leaves at once.
  int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void TestClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TestClient::sendRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send failed");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void TestClient::send(std::uint8_t type, std::string_view payload, std::size_t packetSize,
                      std::uint8_t lastStatus) {
  std::uint8_t id = 1;
  do {
    std::size_t take = std::min(payload.size(), packetSize - 8);
    bool last = take == payload.size();
    std::uint16_t len = static_cast<std::uint16_t>(take + 8);
    std::string p = {static_cast<char>(type),
                     static_cast<char>(last ? (0x01 | lastStatus) : 0),
                     static_cast<char>(len >> 8),
                     static_cast<char>(len & 0xFF),
                     0,
                     0,
                     static_cast<char>(id++),
                     0};
    p.append(payload.substr(0, take));
    payload.remove_prefix(take);
    sendRaw(p);
    if (last) break;
  } while (true);
}

bool TestClient::readExact(char* out, std::size_t n,
                           std::chrono::steady_clock::time_point deadline) {
  std::size_t got = 0;
  while (got < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    ssize_t r = ::recv(fd_, out + got, n - got, 0);
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

std::optional<WireMessage> TestClient::receive(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  WireMessage m;
  for (;;) {
    char h[8];
    if (!readExact(h, 8, deadline)) return std::nullopt;
    std::uint16_t len = static_cast<std::uint16_t>((static_cast<std::uint8_t>(h[2]) << 8) |
                                                   static_cast<std::uint8_t>(h[3]));
    if (len < 8) throw std::runtime_error("bad packet length from server");
    std::string body(len - 8, '\0');
    if (!readExact(body.data(), body.size(), deadline)) return std::nullopt;
    m.type = static_cast<std::uint8_t>(h[0]);
    m.payload += body;
    m.packetLengths.push_back(len);
    m.spids.push_back(static_cast<std::uint16_t>((static_cast<std::uint8_t>(h[4]) << 8) |
                                                 static_cast<std::uint8_t>(h[5])));
    m.statuses.push_back(static_cast<std::uint8_t>(h[1]));
    if (h[1] & 0x01) return m;
  }
}

bool TestClient::closedByServer(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char b[512];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    if (::recv(fd_, b, sizeof b, 0) <= 0) return true;
  }
}

std::vector<Token> TestClient::login(const LoginSpec& spec) {
  send(0x12, buildPreLogin());
  auto pre = receive();
  if (!pre) throw std::runtime_error("no PRELOGIN answer");
  send(0x10, buildLogin7(spec));
  auto m = receive();
  if (!m) throw std::runtime_error("no LOGIN7 answer");
  std::vector<Token> tokens =
      decodeTokens(m->payload, spec.version >= 0x74000000 ? 0x74000004 : spec.version);
  for (const auto& t : tokens) {
    if (t.type == 0xAD) version_ = t.version;
    if (t.type == 0xE3 && t.envType == 4) packetSize_ = std::stoul(t.newValue);
  }
  return tokens;
}

std::vector<Token> TestClient::batch(std::string_view sql) {
  std::string payload = version_ >= 0x72000000 ? allHeaders() : "";
  payload += utf16(sql);
  send(0x01, payload, packetSize_);
  auto m = receive();
  if (!m) throw std::runtime_error("no answer to the batch");
  return decodeTokens(m->payload, version_);
}

}  // namespace tessel::sqld::test
