// ConstructFromXmlUtil: the view and the activity of WorkOnRpc and BindActivityRpc.
#include <memory>
#include <string>

#include "core/view/view.h"
#include "core/vob/vob.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_util.h"
#include "xmlproto/xml/vd_xml_doc.h"

int ConstructFromXmlUtil::construct_view_from_xml(VdXmlElem* root, const char* tag, view_t** view) {
    std::string location;
    if (!vd_xml_take_text(root, tag, &location) || location.empty())
        return vd_xml_bad("The request names no view.");
    if (int st = vd_xml_view_of(location, view)) return st;
    return *view ? 0 : vd_xml_bad("The request's view location names no view.");
}

int ConstructFromXmlUtil::construct_commonact_from_xml(VdXmlElem* root, const char* tag,
                                                       view_t* view, std::string* activity) {
    std::string text;
    if (!vd_xml_take_text(root, tag, &text) || text.empty())
        return vd_xml_bad("The request names no activity.");
    if (text.rfind("activity:", 0) != 0) text = "activity:" + text;
    // A name without its project VOB is one of the view's stream.
    if (text.find('@') == std::string::npos) {
        view_xcm_t x;
        vob_t* pvob = nullptr;
        if (view_get_xcm(view, &x) != TBS_ST_OK || vob_open_by_uuid(x.pvob, &pvob) != TBS_ST_OK)
            return vd_xml_bad("The activity needs its project VOB: the view has no stream.");
        text += "@" + pvob->tag;
    }
    *activity = text;
    return 0;
}
