#pragma once

// The framework's exception hierarchy. Every exception the components raise
// derives from Exception, whose Message() is the text shown to a user.
//
//   Exception ─┬─ EDatabaseError     package and dataset failures
//              ├─ EAbort             silent: ends an operation without a message
//              ├─ EConvertError      a value that does not convert
//              ├─ EInOutError        a file that cannot be created, read or written
//              ├─ EListError         an index outside a list
//              ├─ EStringListError   (derives from EListError)
//              ├─ EInvalidOperation  an operation not allowed in the current state
//              ├─ EVariantError      a variant that does not convert
//              ├─ EComponentError    a component name that is invalid or taken
//              ├─ EStreamError ─┬─ EReadError / EWriteError   a stream too short or full
//              └─ EThread            thread failures

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "framework/sysutils.h"

namespace tessel {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const std::string& Message() const noexcept { return message_; }
  // The class name without namespace ("EDatabaseError"), as error reports show it.
  std::string ClassName() const;

 private:
  // Kept as a std::string as well, so Message() can hand out a reference.
  std::string message_ = what();
};

#define TESSEL_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                 \
   public:                                   \
    using Base::Base;                        \
  };

TESSEL_DECLARE_EXCEPTION(EDatabaseError, Exception)
TESSEL_DECLARE_EXCEPTION(EConvertError, Exception)
TESSEL_DECLARE_EXCEPTION(EInOutError, Exception)
TESSEL_DECLARE_EXCEPTION(EListError, Exception)
TESSEL_DECLARE_EXCEPTION(EStringListError, EListError)
TESSEL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
TESSEL_DECLARE_EXCEPTION(EVariantError, Exception)
TESSEL_DECLARE_EXCEPTION(EComponentError, Exception)
TESSEL_DECLARE_EXCEPTION(EStreamError, Exception)
TESSEL_DECLARE_EXCEPTION(EReadError, EStreamError)
TESSEL_DECLARE_EXCEPTION(EWriteError, EStreamError)
TESSEL_DECLARE_EXCEPTION(EThread, Exception)

#undef TESSEL_DECLARE_EXCEPTION

// The silent exception: an application's top-level handler shows nothing for it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

// Raises EAbort.
[[noreturn]] void Abort();

// Raise EDatabaseError with a message (DatabaseErrorFmt formats it first).
[[noreturn]] void DatabaseError(const std::string& message);
[[noreturn]] void DatabaseErrorFmt(std::string_view format, std::initializer_list<FormatArg> args);

}  // namespace tessel
