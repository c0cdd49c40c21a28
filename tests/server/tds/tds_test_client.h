#pragma once

// Test-side TDS: a token decoder written independently of the listener's
// encoder, builders for client messages, and a raw client over a loopback
// socket. Tests use it to check exactly what travels on the wire.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::sqld::test {

struct ColInfo {
  std::uint32_t userType = 0;
  std::uint16_t flags = 0;
  std::uint8_t wireType = 0;
  std::uint32_t maxLength = 0;
  std::uint8_t precision = 0;
  std::uint8_t scale = 0;
  std::string collation;  // 5 raw bytes when present
  std::string table;
  std::string name;
};

struct WireValue {
  bool isNull = false;
  std::string bytes;      // the value's bytes without length prefix or text pointer
  std::string textPtr;    // text, ntext and image: 16 bytes
  std::string timestamp;  // and 8 bytes
};

struct Token {
  std::uint8_t type = 0;
  // DONE, DONEPROC, DONEINPROC
  std::uint16_t status = 0;
  std::uint16_t curCmd = 0;
  std::uint64_t rowCount = 0;
  // ERROR, INFO
  std::int32_t number = 0;
  std::uint8_t state = 0;
  std::uint8_t severity = 0;
  std::string text, server, proc;
  std::uint32_t line = 0;
  // ENVCHANGE: text for string types, raw bytes for collation and transactions
  std::uint8_t envType = 0;
  std::string newValue, oldValue;
  // LOGINACK
  std::uint16_t length = 0;
  std::uint8_t interface = 0;
  std::uint32_t version = 0;
  std::string progName;
  std::uint32_t progVersion = 0;
  // COLMETADATA (and RETURNVALUE's one column)
  std::vector<ColInfo> columns;
  // ROW, NBCROW, RETURNVALUE
  std::vector<WireValue> values;
  // RETURNSTATUS
  std::int32_t returnStatus = 0;
  // RETURNVALUE
  std::uint16_t ordinal = 0;
  std::string paramName;
  // ORDER
  std::vector<std::uint16_t> order;
};

// Decodes a whole response; throws std::runtime_error on anything malformed.
std::vector<Token> decodeTokens(std::string_view payload, std::uint32_t tdsVersion);

std::string utf16(std::string_view ascii);  // ASCII/UTF-8 to UCS-2LE
std::string fromUtf16(std::string_view ucs2);

struct LoginSpec {
  std::uint32_t version = 0x74000004;
  std::uint32_t packetSize = 4096;
  std::string user = "sa";
  std::string password = "pw";
  std::string database;
  std::string app = "tds-test";
  bool odbc = false;
  bool integrated = false;
};
std::string buildLogin7(const LoginSpec& spec);
std::string buildPreLogin();
// ALL_HEADERS with a transaction descriptor, for TDS 7.2 and later.
std::string allHeaders(std::uint64_t descriptor = 0);

struct WireMessage {
  std::uint8_t type = 0;
  std::string payload;
  std::vector<std::uint16_t> packetLengths;
  std::vector<std::uint16_t> spids;
  std::vector<std::uint8_t> statuses;
};

class TestClient {
 public:
  TestClient() = default;
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  void connect(std::uint16_t port);
  void close();
  // Splits `payload` into packets of `packetSize` bytes; the last carries
  // EOM plus `lastStatus`.
  void send(std::uint8_t type, std::string_view payload, std::size_t packetSize = 4096,
            std::uint8_t lastStatus = 0);
  void sendRaw(std::string_view bytes);
  // The next whole message; nullopt when the server closed the connection or
  // nothing came within `timeout`.
  std::optional<WireMessage> receive(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool closedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // PRELOGIN then LOGIN7; returns the login response's tokens.
  std::vector<Token> login(const LoginSpec& spec = {});
  std::vector<Token> batch(std::string_view sql);
  std::vector<Token> tokens(const WireMessage& m) const {
    return decodeTokens(m.payload, version_);
  }
  std::uint32_t version() const { return version_; }
  std::size_t packetSize() const { return packetSize_; }

 private:
  bool readExact(char* out, std::size_t n, std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  std::uint32_t version_ = 0x74000004;
  std::size_t packetSize_ = 4096;
};

}  // namespace tessel::sqld::test
