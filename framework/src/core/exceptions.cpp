#include "framework/exceptions.h"

namespace tessel {

void Abort() {
  throw EAbort();
}

void DatabaseError(const std::string& message) {
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(std::string_view format, std::initializer_list<FormatArg> args) {
  throw EDatabaseError(Format(format, args));
}

}  // namespace tessel
