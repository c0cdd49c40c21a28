// Whole sessions on arbitrary client bytes after a valid login: requests are
// parsed, handed to an engine that echoes them back (so decoded parameter
// values go through the encoder too), and the session must end cleanly.

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "sqld/tds/credentials.h"
#include "sqld/tds/log.h"
#include "sqld/tds/session.h"

namespace {

using namespace tessel::sqld;
using namespace tessel::sqld::tds;

class EchoSession : public Session {
 public:
  void executeBatch(std::string_view sql, ResultSink& sink, const CancelFlag&) override {
    Column c;
    c.name = "sql";
    c.type = TypeInfo{SqlType::NVarChar, 8000, 0, 0, true};
    sink.metadata(std::span(&c, 1));
    Value v{std::string(sql)};
    sink.row(std::span(&v, 1));
    Done d;
    d.countValid = true;
    d.rowCount = 1;
    sink.done(d);
  }
  void executeRpc(const RpcRequest& request, ResultSink& sink, const CancelFlag&) override {
    std::vector<Column> columns;
    std::vector<Value> values;
    for (const RpcParam& p : request.params) {
      Column c;
      c.name = p.name;
      c.type = p.type;
      columns.push_back(c);
      values.push_back(p.value);
    }
    sink.metadata(columns);
    sink.row(values);
    std::uint16_t ordinal = 0;
    for (const RpcParam& p : request.params) {
      ++ordinal;
      if (!p.output) continue;
      ReturnValue r;
      r.name = p.name;
      r.column.type = p.type;
      r.value = p.value;
      r.ordinal = ordinal;
      sink.returnValue(r);
    }
    sink.returnStatus(0);
    Done d;
    d.kind = Done::Kind::DoneProc;
    sink.done(d);
  }
  void transaction(TransactionRequest request, std::string_view, ResultSink& sink) override {
    if (request == TransactionRequest::Begin) {
      sink.transactionChanged(ResultSink::TransactionEvent::Begin, 1, 0);
    } else if (request != TransactionRequest::Save) {
      sink.transactionChanged(ResultSink::TransactionEvent::Commit, 0, 1);
    }
    sink.done(Done{});
  }
  std::string currentDatabase() const override { return "master"; }
  std::uint64_t transactionDescriptor() const override { return 0; }
};

class EchoEngine : public Engine {
 public:
  std::unique_ptr<Session> openSession(const LoginInfo&, Message&) override {
    return std::make_unique<EchoSession>();
  }
  std::string defaultDatabase() const override { return "master"; }
};

// Client bytes from a string; everything sent is discarded.
class ScriptTransport : public Transport {
 public:
  explicit ScriptTransport(std::string input) : input_(std::move(input)) {}
  void send(std::span<const std::uint8_t>) override {}
  std::size_t receive(std::span<std::uint8_t> buffer) override {
    std::lock_guard lock(mutex_);
    std::size_t n = std::min(buffer.size(), input_.size() - pos_);
    std::memcpy(buffer.data(), input_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  bool waitReadable(int) override { return true; }
  void shutdown() override {}

 private:
  std::mutex mutex_;
  std::string input_;
  std::size_t pos_ = 0;
};

std::string packet(std::uint8_t type, const std::string& payload) {
  auto len = static_cast<std::uint16_t>(payload.size() + 8);
  return std::string{static_cast<char>(type),
                     1,
                     static_cast<char>(len >> 8),
                     static_cast<char>(len & 0xFF),
                     0,
                     0,
                     1,
                     0} +
         payload;
}

void put16(std::string& s, std::uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}

void put32(std::string& s, std::uint32_t v) {
  put16(s, static_cast<std::uint16_t>(v));
  put16(s, static_cast<std::uint16_t>(v >> 16));
}

// A TDS 7.4 LOGIN7 for sa/pw.
std::string login7() {
  const std::string user("s\0a\0", 4);
  std::string password;
  for (char c : std::string("p\0w\0", 4)) {
    auto b = static_cast<std::uint8_t>(c);
    password += static_cast<char>(static_cast<std::uint8_t>((b << 4) | (b >> 4)) ^ 0xA5);
  }
  const std::size_t fixed = 94;
  std::string body;
  put32(body, 0x74000004);
  put32(body, 4096);
  put32(body, 0);
  put32(body, 0);
  put32(body, 0);
  body += std::string("\xE0\x01\x00\x00", 4);
  put32(body, 0);
  put32(body, 0x409);
  std::string data = user + password;
  const std::uint16_t userAt = fixed, passwordAt = static_cast<std::uint16_t>(fixed + user.size());
  const auto end = static_cast<std::uint16_t>(fixed + data.size());
  const std::uint16_t fields[9][2] = {{end, 0}, {userAt, 2}, {passwordAt, 2}, {end, 0}, {end, 0},
                                      {end, 0}, {end, 0},    {end, 0},        {end, 0}};
  for (const auto& f : fields) {
    put16(body, f[0]);
    put16(body, f[1]);
  }
  body += std::string(6, '\0');
  for (int i = 0; i < 3; ++i) {
    put16(body, end);
    put16(body, 0);
  }
  put32(body, 0);
  std::string out;
  put32(out, static_cast<std::uint32_t>(4 + body.size() + data.size()));
  return out + body + data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static EchoEngine engine;
  static Credentials credentials = [] {
    Credentials c;
    c.add("sa", "pw");
    return c;
  }();
  static Log log(true);
  static const std::string prefix = packet(0x10, login7());
  auto transport = std::make_unique<ScriptTransport>(
      prefix + std::string(reinterpret_cast<const char*>(data), size));
  TdsSession session(std::move(transport), engine, credentials, SessionSettings{}, log, 51, "fuzz");
  session.run();
  return 0;
}
