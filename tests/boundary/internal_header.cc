// Must not compile with the include path of code outside the core: the store layer is
// internal to the core and is not on that path.
#include "core/store/db.h"
