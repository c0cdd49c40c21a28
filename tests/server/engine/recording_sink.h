#pragma once

// A ResultSink that records everything a request produces, and renders
// values as the conformance files write them (client-neutral text).

#include <string>
#include <vector>

#include "sqld/engine.h"

namespace tessel::sqld::testing {

struct ResultSet {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

class RecordingSink : public ResultSink {
 public:
  void metadata(std::span<const Column> columns) override;
  void row(std::span<const Value> values) override;
  void done(const Done& done) override { dones.push_back(done); }
  void message(const Message& message) override { messages.push_back(message); }
  // Adds message 5701 as the listener does, so expectations read as a client sees them.
  void databaseChanged(std::string_view newName, std::string_view) override;
  void transactionChanged(TransactionEvent e, std::uint64_t, std::uint64_t) override {
    transactions.push_back(e);
  }
  void returnStatus(std::int32_t status) override { statuses.push_back(status); }
  void returnValue(const ReturnValue& value) override { returnValues.push_back(value); }

  // Errors (severity above 10) in order.
  std::vector<Message> errors() const;
  void clear();

  std::vector<ResultSet> results;
  std::vector<Done> dones;
  std::vector<Message> messages;
  std::vector<std::int32_t> statuses;
  std::vector<ReturnValue> returnValues;
  std::vector<TransactionEvent> transactions;
  std::string database;
  std::size_t rowCount = 0;
  bool keepRows = true;  // off to count rows of a large result without keeping them
};

// "NULL", "12", "1.5", "12.3400", "1999-03-05 12:34:56.123", "0x0A0B", text.
std::string renderValue(const Value& v, const TypeInfo& type);
// "varchar(10)", "int", "decimal(10,2)".
std::string renderType(const TypeInfo& type);

}  // namespace tessel::sqld::testing
