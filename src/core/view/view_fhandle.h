// The view file handle: names one loaded object of a view for the view server.
//
// Its text form is "%32s,%lx,%lx,%lx,%lx,%lx": the view's UUID in its 32-digit form, then
// five hexadecimal words.
#ifndef CORE_VIEW_VIEW_FHANDLE_H
#define CORE_VIEW_VIEW_FHANDLE_H

#include "core/tbs/tbs.h"

struct view_fhandle {
    tbs_uuid_t view_uuid;
    unsigned long vob_dbid;   // registry id of the VOB the object lives in
    unsigned long elem_dbid;  // element (or symbolic link) within that VOB
    unsigned long ver_dbid;   // version selected when the handle was made
    unsigned long gen;        // generation of the view record
    unsigned long flags;
};

#endif
