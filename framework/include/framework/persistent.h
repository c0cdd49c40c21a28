#pragma once

// TPersistent: an object whose state can be copied from another with Assign.
// Assign asks the source to AssignTo this object; a pair of classes that does
// not know each other raises EConvertError naming both classes.

#include "framework/object.h"

namespace tessel {

class TPersistent : public TObject {
 public:
  // Copies source's state into this object; source nullptr raises unless a
  // descendant gives it a meaning (a TStrings clears itself, for example).
  virtual void Assign(const TPersistent* source);

 protected:
  // Copies this object's state into dest; the base raises the assign error.
  virtual void AssignTo(TPersistent* dest) const;
  // Raises EConvertError "Cannot assign a <source> to a <this>".
  [[noreturn]] void AssignError(const TPersistent* source) const;

  friend class TPersistentAccess;
};

}  // namespace tessel
