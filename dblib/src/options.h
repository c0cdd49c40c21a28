// dbsetopt with Microsoft's option numbers.
#ifndef TESSEL_DBLIB_OPTIONS_H
#define TESSEL_DBLIB_OPTIONS_H

#include <string>

#include "ftds.h"

namespace tessel::dblib {

// The SET statement (with its line break) that sends option `ms_option` with text `param`
// to the server; empty when the option is not a server setting or `param` is not valid
// for it, in which case `error` says why (empty error: not a server setting).
std::string OptionStatement(int ms_option, const char* param, std::string& error);

}  // namespace tessel::dblib

#endif
