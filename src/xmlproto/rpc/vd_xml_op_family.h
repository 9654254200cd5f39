// The work each family of operation RPCs shares between its dynamic and snapshot members
// (vd_xml_op_rpcs.h says what each reads). Each is defined in the source file of the
// family's dynamic member, runs after the request root was checked, and leaves its outcome
// in the RPC's status.
#ifndef XMLPROTO_RPC_VD_XML_OP_FAMILY_H
#define XMLPROTO_RPC_VD_XML_OP_FAMILY_H

#include <string>

#include "xmlproto/rpc/vd_xml_op_util.h"

class VdXmlElem;
class VdXmlRpc;
class VdXmlStreamDoc;
struct view_t;

// vd_checkout_dynamic_rpc.cc
void vd_xml_bulk_checkout(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind);
// vd_checkin_dynamic_rpc.cc: `with_from` false for the older request version; `atomic`
// reads the "checkin-file-set" of the atomic RPCs.
void vd_xml_checkin(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind, bool with_from, bool atomic,
                    const char* response_root, VdXmlStreamDoc& response);
// vd_uncheckout_dynamic_rpc.cc
void vd_xml_uncheckout(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind);
// vd_mkelem_dynamic_rpc.cc
void vd_xml_mkelem(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind);
// vd_move_dynamic_rpc.cc
void vd_xml_move(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind);
// vd_rmname_dynamic_rpc.cc
void vd_xml_rmname(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind);
// vd_merge_dynamic_rpc.cc
void vd_xml_merge(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind,
                  VdXmlStreamDoc* answer = nullptr);
// vd_work_on_rpc.cc: the activity becomes the view's current activity.
void vd_xml_work_on(VdXmlRpc& rpc, VdXmlElem* root);
// vd_apply_attribute_rpc.cc: the object of an attribute request ("resource" and
// "version-id"): a pathname in the resource's view (`*view` set), or a selector.
int vd_xml_attribute_object(VdXmlElem* root, view_t** view, std::string* object);

#endif
