#include "response_sink.h"

#include "sqld/tds/errors.h"
#include "sqld/tds/type_codec.h"
#include "sqld/tds/version.h"

namespace tessel::sqld::tds {

namespace {

std::string descriptorBytes(std::uint64_t d) {
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((d >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace

bool ResponseSink::open() {
  if (cancel_.requested()) return false;
  if (held_) {
    Done d = *held_;
    d.more = true;
    d.attention = false;
    tokens_.done(d);
    held_.reset();
  }
  return true;
}

void ResponseSink::metadata(std::span<const Column> columns) {
  if (open()) tokens_.colMetadata(columns);
}

void ResponseSink::row(std::span<const Value> values) {
  if (open()) tokens_.row(values);
}

void ResponseSink::order(std::span<const std::uint16_t> columns) {
  if (open()) tokens_.order(columns);
}

void ResponseSink::browseInfo(std::span<const std::string> tables,
                              std::span<const BrowseColumn> columns) {
  if (open()) tokens_.browseInfo(tables, columns);
}

void ResponseSink::done(const Done& done) {
  if (open()) held_ = done;
}

void ResponseSink::message(const Message& message) {
  if (open()) tokens_.message(message);
}

void ResponseSink::databaseChanged(std::string_view newName, std::string_view oldName) {
  if (!open()) return;
  tokens_.envChange(envchange::Database, newName, oldName);
  tokens_.message(listenerMessage(ListenerMessage::ChangedDatabase, newName));
}

void ResponseSink::collationChanged(std::uint16_t newCollation, std::uint16_t oldCollation) {
  if (!open()) return;
  const auto bytes = [](std::uint16_t id) {
    const std::array<std::uint8_t, 5> b = collationBytes(id);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
  };
  tokens_.envChangeBytes(envchange::Collation, bytes(newCollation), bytes(oldCollation));
}

void ResponseSink::transactionChanged(TransactionEvent event, std::uint64_t newDescriptor,
                                      std::uint64_t oldDescriptor) {
  // Transaction ENVCHANGEs exist from TDS 7.2 on.
  if (!atLeast72(tokens_.version()) || !open()) return;
  switch (event) {
    case TransactionEvent::Begin:
      tokens_.envChangeBytes(envchange::BeginTran, descriptorBytes(newDescriptor), {});
      break;
    case TransactionEvent::Commit:
      tokens_.envChangeBytes(envchange::CommitTran, {}, descriptorBytes(oldDescriptor));
      break;
    case TransactionEvent::Rollback:
      tokens_.envChangeBytes(envchange::RollbackTran, {}, descriptorBytes(oldDescriptor));
      break;
  }
}

void ResponseSink::returnStatus(std::int32_t status) {
  if (open()) tokens_.returnStatus(status);
}

void ResponseSink::returnValue(const ReturnValue& value) {
  if (open()) tokens_.returnValue(value);
}

void ResponseSink::close(Done::Kind closing) {
  Done last;
  if (held_) {
    last = *held_;
  } else {
    last.kind = closing;
    last.curCmd = 0;
  }
  held_.reset();
  last.attention = false;
  // A procedure call ends with DONEPROC; clients wait for it.
  const bool addDoneProc = closing == Done::Kind::DoneProc && last.kind != Done::Kind::DoneProc;
  last.more = addDoneProc;
  tokens_.done(last);
  if (addDoneProc) {
    Done end;
    end.kind = Done::Kind::DoneProc;
    end.curCmd = 0;
    end.error = last.error;
    tokens_.done(end);
  }
}

}  // namespace tessel::sqld::tds
