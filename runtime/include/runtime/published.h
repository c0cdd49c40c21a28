#pragma once

// The package's published-property descriptions: what form files and the
// designer know of TSQLServer, TTessel, TSQLUpdate and TUpdateParams.
// RegisterTesselClasses makes the components known to the form reader; an
// application calls it once before it reads a form. Main thread only.

#include "framework/typinfo.h"

namespace tessel {

class TSQLServer;
class TTessel;
class TSQLUpdate;
class TUpdateParams;

template <>
const TClassInfo* ClassInfoOf<TSQLServer>();
template <>
const TClassInfo* ClassInfoOf<TTessel>();
template <>
const TClassInfo* ClassInfoOf<TSQLUpdate>();
template <>
const TClassInfo* ClassInfoOf<TUpdateParams>();

// Registers TSQLServer, TTessel and TSQLUpdate with the class registry;
// calling it again does nothing.
void RegisterTesselClasses();

}  // namespace tessel
