// Built only by the layers test, which expects it to fail: os/ stands below
// inspect/ and cannot see it.
#include "inspect/File2Name.h"
