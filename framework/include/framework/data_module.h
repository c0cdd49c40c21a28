#pragma once

// TDataModule: the root of a form file that holds non-visual components (a
// connection, its queries, their update objects). It owns what the file
// creates; destroying it destroys them all. Main thread only.

#include "framework/component.h"

namespace tessel {

class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* owner) : TComponent(owner) {}
};

}  // namespace tessel
