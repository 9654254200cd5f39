// Compiles with the include path of code outside the core: a boundary header and a web
// layer header.
#include "core/ws/ws.h"
#include "request/vdw_abstract_rpc.h"
