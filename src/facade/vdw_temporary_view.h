// Views an RPC makes for itself: a private view attached to a stream, through which names
// in the stream resolve (create_temporary_view), made only when asked
// (get_name_resolver_view). The view belongs to the user, under the user's view storage;
// the RPC removes it when it is done with it.
#ifndef OPS_VDW_TEMPORARY_VIEW_H
#define OPS_VDW_TEMPORARY_VIEW_H

#include "core/sum/sum_view.h"
#include "core/sum/sum_xcm.h"

class VDW_Vdcore;
class WCM_Status;

void create_temporary_view(VDW_Vdcore& facade, const SUM_Stream& stream, SUM_View& view,
                           WCM_Status& status);
void get_name_resolver_view(VDW_Vdcore& facade, const SUM_Stream& stream, bool create,
                            bool& created, SUM_View& view, WCM_Status& status);

#endif
