// Translation of FreeTDS's client-library error numbers (20000 and up) into Microsoft's
// DB-Library numbering (10000 and up), for the error handler.
#ifndef TESSEL_DBLIB_ERRORS_H
#define TESSEL_DBLIB_ERRORS_H

namespace tessel::dblib {

// Microsoft's number for FreeTDS's error `ftds_error`; a number without a counterpart
// (character-set conversion and other FreeTDS-only conditions) is returned unchanged.
int MicrosoftErrorNumber(int ftds_error);

}  // namespace tessel::dblib

#endif
