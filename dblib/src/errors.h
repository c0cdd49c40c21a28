// Translation of FreeTDS's client-library error numbers (20000 and up) into Microsoft's
// DB-Library numbering (10000 and up), for the error handler.
#ifndef TESSEL_DBLIB_ERRORS_H
#define TESSEL_DBLIB_ERRORS_H

#include <string>

namespace tessel::dblib {

// Microsoft's number for FreeTDS's error `ftds_error`; a number without a counterpart
// (character-set conversion and other FreeTDS-only conditions) is returned unchanged.
int MicrosoftErrorNumber(int ftds_error);

// Microsoft DB-Library's text for its error `ms_error`, or nullptr for a number it has no
// text for.
const char* MicrosoftErrorText(int ms_error);

// The text an application is given for FreeTDS's error text `ftds_text` reported as
// `ms_error`: Microsoft's own text when it has one; otherwise FreeTDS's, naming the server
// as Microsoft's library does and without the server name FreeTDS appends in parentheses.
std::string ErrorTextFor(int ms_error, const char* ftds_text);

// Whether FreeTDS's error `ftds_error` is the end of a login that never completed.
bool IsFailedLogin(int ftds_error);

}  // namespace tessel::dblib

#endif
