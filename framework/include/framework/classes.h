#pragma once

// The framework's general classes in one include: TObject and TSet, TList,
// TPersistent, TStrings and TStringList, TComponent, TCollection and the streams.

#include "framework/collection.h"
#include "framework/component.h"
#include "framework/list.h"
#include "framework/object.h"
#include "framework/persistent.h"
#include "framework/streams.h"
#include "framework/string_list.h"
