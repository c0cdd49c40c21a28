#include "framework/exceptions.h"

namespace tessel {

void Abort() {
  throw EAbort();
}

void DatabaseError(const std::string& message) {
  throw EDatabaseError(message);
}

}  // namespace tessel
