/* The public header must stay usable from C: this file only has to compile. */
#include <ntwdblib.h>
#include <stddef.h>

size_t dblib_c_sizeof_dbcol(void) {
  return sizeof(DBCOL);
}
size_t dblib_c_offsetof_identity(void) {
  return offsetof(DBCOL, Identity);
}
