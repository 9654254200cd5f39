// Reading the arguments of an XML request: children of the request root taken out one at
// a time (so repeated children are read in order), and resources named by their text.
#ifndef XMLPROTO_RPC_VD_XML_ARGS_H
#define XMLPROTO_RPC_VD_XML_ARGS_H

#include <memory>
#include <string>
#include <vector>

class VdResource;
class VdXmlElem;
struct view_t;

// The text of the child `tag` of `root`, taken out of it; false when there is none.
bool vd_xml_take_text(VdXmlElem* root, const char* tag, std::string* out);
// The texts of the children of `list` (when present) tagged `item`.
std::vector<std::string> vd_xml_take_list(VdXmlElem* root, const char* list, const char* item);
// The names of the "flag" children of `root` (their "name" attribute, or their text).
std::vector<std::string> vd_xml_take_flags(VdXmlElem* root);
// Whether an attribute's value is "true".
bool vd_xml_flag(const VdXmlElem* elem, const char* attr);
// The resource a location names; the core's messages of a failure reach the RPC's status.
int vd_xml_resource(const std::string& location, std::unique_ptr<VdResource>& out);

// The view a location names: a view ("workspace:/<uuid>") or its tag ("viewtag:<tag>").
// 1072 when it names something else.
int vd_xml_view(const std::string& location, view_t** out);

#endif
