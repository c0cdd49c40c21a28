#pragma once

// The listener uses the character conversions shared with the engine.

#include "sqld/charset.h"

namespace tessel::sqld::tds {

using sqld::appendUtf8AsCp1252;
using sqld::asciiPrefixLength;
using sqld::cp1252ToUtf8;
using sqld::ucs2leToUtf8;
using sqld::utf16ToUtf8;
using sqld::utf8ToCp1252;
using sqld::utf8ToUcs2le;
using sqld::utf8ToUtf16;

}  // namespace tessel::sqld::tds
