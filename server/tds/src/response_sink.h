#pragma once

// Turns what the engine streams for one request into tokens. It holds back
// the most recent DONE until it knows whether anything follows, so the MORE
// bit is right whatever the engine set, and once the request is cancelled it
// drops further output: the client discards everything up to the
// acknowledgement anyway. Session thread only.

#include <optional>

#include "sqld/engine.h"
#include "sqld/tds/token_writer.h"

namespace tessel::sqld::tds {

class ResponseSink : public ResultSink {
 public:
  ResponseSink(TokenWriter& tokens, const CancelFlag& cancel) : tokens_(tokens), cancel_(cancel) {}

  void metadata(std::span<const Column> columns) override;
  void row(std::span<const Value> values) override;
  void order(std::span<const std::uint16_t> columns) override;
  void browseInfo(std::span<const std::string> tables,
                  std::span<const BrowseColumn> columns) override;
  void done(const Done& done) override;
  void message(const Message& message) override;
  void databaseChanged(std::string_view newName, std::string_view oldName) override;
  void collationChanged(std::uint16_t newCollation, std::uint16_t oldCollation) override;
  void transactionChanged(TransactionEvent event, std::uint64_t newDescriptor,
                          std::uint64_t oldDescriptor) override;
  void returnStatus(std::int32_t status) override;
  void returnValue(const ReturnValue& value) override;

  // Writes the held DONE (or a DONE of kind `closing` when the engine sent
  // none; a DONEPROC after it when a procedure call did not end with one),
  // MORE clear: the response ends here, cancelled or not.
  void close(Done::Kind closing);

 private:
  // False once the request is cancelled; flushes the held DONE with MORE set.
  bool open();

  TokenWriter& tokens_;
  const CancelFlag& cancel_;
  std::optional<Done> held_;
};

}  // namespace tessel::sqld::tds
