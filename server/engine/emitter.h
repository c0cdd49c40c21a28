#pragma once

// Wraps the listener's ResultSink for one request. Holds back each
// statement's Done until the next event shows whether more results follow,
// so the last Done of the request carries more=false. Counts the errors sent,
// so that a procedure's DoneProc can say whether any was raised inside it.

#include <optional>

#include "sqld/engine.h"

namespace tessel::sqld::engine {

class Emitter {
 public:
  explicit Emitter(ResultSink& sink) : sink_(sink) {}

  void metadata(std::span<const Column> columns) {
    flush(true);
    sink_.metadata(columns);
  }
  void row(std::span<const Value> values) { sink_.row(values); }
  void order(std::span<const std::uint16_t> columns) { sink_.order(columns); }
  void browseInfo(std::span<const std::string> tables, std::span<const BrowseColumn> columns) {
    sink_.browseInfo(tables, columns);
  }
  void message(const Message& m) {
    flush(true);
    sink_.message(m);
    if (m.severity > 10) {
      errorSinceDone_ = true;
      ++errors_;
    }
  }
  void done(const Done& d) {
    flush(true);
    pending_ = d;
    errorSinceDone_ = false;
  }
  void databaseChanged(std::string_view n, std::string_view o) {
    flush(true);
    sink_.databaseChanged(n, o);
  }
  void collationChanged(std::uint16_t n, std::uint16_t o) {
    flush(true);
    sink_.collationChanged(n, o);
  }
  void transactionChanged(ResultSink::TransactionEvent e, std::uint64_t n, std::uint64_t o) {
    flush(true);
    sink_.transactionChanged(e, n, o);
  }
  void returnStatus(std::int32_t s) {
    flush(true);
    sink_.returnStatus(s);
  }
  void returnValue(const ReturnValue& v) {
    flush(true);
    sink_.returnValue(v);
  }
  // Ends the request: the last Done goes out with more=false (one is made
  // if no statement produced any).
  void finish(Done::Kind kind = Done::Kind::Done, bool error = false) {
    if (!pending_) {
      // An error sent after the last statement's Done marks the request's
      // final Done.
      Done d;
      d.kind = kind;
      d.error = error || errorSinceDone_;
      pending_ = d;
    }
    if (error) pending_->error = true;
    flush(false);
  }
  // After a cancel: what is held back goes out; the listener acknowledges.
  void abandon() { flush(true); }
  bool hasPending() const { return pending_.has_value(); }
  // Errors (severity above 10) sent so far in this request.
  std::uint64_t errorCount() const { return errors_; }

 private:
  void flush(bool more) {
    if (!pending_) return;
    pending_->more = more;
    sink_.done(*pending_);
    pending_.reset();
  }

  ResultSink& sink_;
  std::optional<Done> pending_;
  bool errorSinceDone_ = false;
  std::uint64_t errors_ = 0;
};

}  // namespace tessel::sqld::engine
