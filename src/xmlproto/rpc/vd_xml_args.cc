#include "xmlproto/rpc/vd_xml_args.h"

#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/resource/vd_site_resources.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/xml/vd_xml_doc.h"

bool vd_xml_take_text(VdXmlElem* root, const char* tag, std::string* out) {
    VdXmlElem* e = root ? root->extract_child(tag) : nullptr;
    if (!e) return false;
    *out = e->get_value().str();
    return true;
}

std::vector<std::string> vd_xml_take_list(VdXmlElem* root, const char* list, const char* item) {
    std::vector<std::string> out;
    VdXmlElem* l = root ? root->extract_child(list) : nullptr;
    if (!l) return out;
    for (const VdXmlElem* c : l->get_children())
        if (c->get_tag().str() == item) out.push_back(c->get_value().str());
    return out;
}

std::vector<std::string> vd_xml_take_flags(VdXmlElem* root) {
    std::vector<std::string> out;
    while (VdXmlElem* f = root ? root->extract_child("flag") : nullptr) {
        const std::string name = f->get_attr("name").str();
        out.push_back(name.empty() ? f->get_value().str() : name);
    }
    return out;
}

bool vd_xml_flag(const VdXmlElem* elem, const char* attr) {
    return elem && elem->get_attr(attr).str() == "true";
}

int vd_xml_resource(const std::string& location, std::unique_ptr<VdResource>& out) {
    return VdResource::construct_from_location(VdLocation(SUM_String(location)), out);
}

int vd_xml_view(const std::string& location, view_t** out) {
    std::unique_ptr<VdResource> r;
    if (int st = vd_xml_resource(location, r)) return st;
    if (auto* v = dynamic_cast<VdView*>(r.get())) {
        *out = v->view();
        return 0;
    }
    if (auto* t = dynamic_cast<VdViewTag*>(r.get())) return view_open_by_tag(t->tag().c_str(), out);
    imsg_printf(IMSG_ERROR, "\"%s\" names no view.\n", location.c_str());
    return 1072;
}
