#pragma once

// SQL Server's error numbers, severities and message formats in one table,
// and the exception that carries one of them through the engine. Texts are
// formatted with positional "%s" arguments in the order SQL Server fills them.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sqld/engine.h"

namespace tessel::sqld::engine {

// How far an error reaches, as SQL Server decides it.
enum class ErrorScope : std::uint8_t {
  Statement,  // the statement ends; the batch goes on
  Scope,      // the procedure (or batch) ends; a calling batch goes on
  Batch,      // the rest of the batch does not run, whoever called
  Rollback,   // as Batch, and an open transaction is rolled back
};

struct ErrorDef {
  std::int32_t number;
  std::uint8_t severity;
  ErrorScope scope;
  const char* format;
};

// The table entry for `number`; unknown numbers get severity 16 and "%s".
const ErrorDef& errorDef(std::int32_t number);

// Builds the message for `number` with its arguments substituted.
Message makeMessage(std::int32_t number, std::initializer_list<std::string_view> args);

class SqlError : public std::runtime_error {
 public:
  SqlError(std::int32_t number, std::initializer_list<std::string_view> args);
  SqlError(Message message, ErrorScope scope);
  const Message& message() const { return message_; }
  ErrorScope scope() const { return scope_; }
  // Info message 3621 follows errors that end a data-changing statement.
  bool terminatesStatement() const;
  // An error of a batch within the batch (dynamic SQL) keeps the line it
  // has there, rather than taking the line of the statement that ran it.
  bool ownLine() const { return ownLine_; }
  SqlError& keepOwnLine() {
    ownLine_ = true;
    return *this;
  }

 private:
  Message message_;
  ErrorScope scope_;
  bool ownLine_ = false;
};

}  // namespace tessel::sqld::engine
