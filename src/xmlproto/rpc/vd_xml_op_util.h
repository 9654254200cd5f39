// What the operation RPCs of vd_xml_op_rpcs.h share: the view and pathname a request
// names (dynamic or snapshot rules), its comment, and small writers of the response.
#ifndef XMLPROTO_RPC_VD_XML_OP_UTIL_H
#define XMLPROTO_RPC_VD_XML_OP_UTIL_H

#include <string>
#include <vector>

class VdXmlElem;
class VdXmlStreamDoc;
class VdXmlRpc;
class WCM_Status;
struct view_t;

// How a variant names its files: below a dynamic view's root on this server, or relative
// to the copy area of a web, snapshot or automatic view.
enum VdXmlViewKind { VD_XML_DYNAMIC, VD_XML_SNAPSHOT };

// The view a location names: a view, or the view an object inside one is seen through, or
// the view whose root on this server holds a pathname.
// Null in `view` when the location names an object outside any view. The resource's status
// when the location names nothing.
int vd_xml_view_of(const std::string& location, view_t** view);

// The VOB pathname of a request's pathname `path` ("/vobs/p/a.c").
//   Dynamic: `*view` (may be null) is the view a location named; without one the view is
//   the one whose root holds `path`. The view must be dynamic and servable here (it is
//   started when it is not running); `path` is absolute below its root or relative to it.
//   Snapshot: `*view` must be given and must not be dynamic; `path` is relative to its
//   copy area (or below its root on this server).
//   Either: "workspace:/<view uuid or tag>/<path>" names the view and the path relative to
//   its root (a view given already must be the same).
// Failures print one message and answer 1072 (the request does not fit: no view, the
// wrong kind, a name outside the root) or the core's status.
int vd_xml_op_pname(VdXmlViewKind kind, view_t** view, const std::string& path, std::string* pname);

// The comment child `tag`: its text, "" when it is missing or says "value-is-null".
std::string vd_xml_take_comment(VdXmlElem* root, const char* tag);
// The texts of every child `tag`, taken out in order.
std::vector<std::string> vd_xml_take_all(VdXmlElem* root, const char* tag);
// Whether the child `tag` says "true" (taken out).
bool vd_xml_take_bool(VdXmlElem* root, const char* tag);

// A file below `view`'s server-side root (its private copy of `path`): the path of a
// regular file that stays inside that root after every link is followed; "" otherwise.
std::string vd_xml_private_file(view_t* view, const std::string& path);

// Writes <tag>text</tag> as a child of the open element.
void vd_xml_put(VdXmlStreamDoc& doc, const char* tag, const std::string& text);

// A request that does not fit its RPC: `why` logged as an internal error, 1072.
int vd_xml_bad(const char* why);

#endif
