#include "xmlproto/rpc/vd_xml_op_util.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

namespace {

const int kBadRequest = 1072;

bool below(const std::string& path, const std::string& root) {
    return !root.empty() && (path == root || path.rfind(root + "/", 0) == 0);
}

std::string real(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

}  // namespace

int vd_xml_bad(const char* why) {
    imsg_internal_error("VD CM Server", __FILE__, __LINE__, "%s", why);
    return kBadRequest;
}

int vd_xml_view_of(const std::string& location, view_t** view) {
    *view = nullptr;
    // A pathname below a view's root on this server (a dynamic view's files).
    if (!location.empty() && location[0] == '/' &&
        view_open_by_root(location.c_str(), view) == TBS_ST_OK)
        return 0;
    std::unique_ptr<VdResource> r;
    if (int st = vd_xml_resource(location, r)) return st;
    if (auto* v = dynamic_cast<VdView*>(r.get()))
        *view = v->view();
    else if (auto* in = dynamic_cast<VdViewResidentResource*>(r.get()))
        *view = in->view();
    return 0;
}

int vd_xml_op_pname(VdXmlViewKind kind, view_t** view, const std::string& given,
                    std::string* pname) {
    if (given.empty() || given.find('\0') != std::string::npos)
        return vd_xml_bad("A pathname is needed.");
    // "workspace:/<view>/<path>" names the view and the path relative to its root.
    std::string path = given;
    static const std::string kWorkspace = "workspace:/";
    if (path.rfind(kWorkspace, 0) == 0) {
        const std::string rest = path.substr(kWorkspace.size());
        const size_t slash = rest.find('/');
        view_t* named = nullptr;
        if (slash == std::string::npos || slash + 1 == rest.size() ||
            VdView::open(rest.substr(0, slash), &named) != 0) {
            imsg_printf(IMSG_ERROR, "\"%s\" names no file in a view.\n", given.c_str());
            return kBadRequest;
        }
        if (*view && *view != named) {
            imsg_printf(IMSG_ERROR, "\"%s\" is not in view \"%s\".\n", given.c_str(),
                        (*view)->tag.c_str());
            return kBadRequest;
        }
        *view = named;
        path = rest.substr(slash + 1);
    }
    // Checked against roots as the core will take it: "<root>/../x" is not below <root>.
    if (path[0] == '/') {
        path = std::filesystem::path(path).lexically_normal().string();
        while (path.size() > 1 && path.back() == '/') path.pop_back();
    }
    if (kind == VD_XML_DYNAMIC) {
        if (!*view) {
            if (path[0] != '/' || view_open_by_root(path.c_str(), view) != TBS_ST_OK) {
                imsg_printf(IMSG_ERROR, "\"%s\" is not in a dynamic view.\n", path.c_str());
                return kBadRequest;
            }
        }
        if ((*view)->kind != VIEW_KIND_DYNAMIC) {
            imsg_printf(IMSG_ERROR, "View \"%s\" is not a dynamic view.\n", (*view)->tag.c_str());
            return kBadRequest;
        }
        // Its files are seen through its root: a view that cannot be served is refused.
        if (tbs_status_t st = view_start_dynamic((*view)->tag.c_str())) {
            imsg_printf(IMSG_ERROR, "Unable to start dynamic view \"%s\": %s\n",
                        (*view)->tag.c_str(), tbs_strerror(st));
            return st;
        }
        if (path[0] == '/' && !below(path, (*view)->root)) {
            imsg_printf(IMSG_ERROR, "\"%s\" is not below the root of view \"%s\".\n", path.c_str(),
                        (*view)->tag.c_str());
            return kBadRequest;
        }
    } else {
        if (!*view) return vd_xml_bad("A web or snapshot view is needed.");
        if ((*view)->kind == VIEW_KIND_DYNAMIC) {
            imsg_printf(IMSG_ERROR, "View \"%s\" is a dynamic view.\n", (*view)->tag.c_str());
            return kBadRequest;
        }
        // Copy-area pathnames are relative; an absolute one must be below the view's root.
        if (path[0] == '/' && !below(path, (*view)->root)) {
            imsg_printf(IMSG_ERROR, "\"%s\" is not a pathname of view \"%s\".\n", path.c_str(),
                        (*view)->tag.c_str());
            return kBadRequest;
        }
    }
    *pname = view_pname_to_vob(*view, path.c_str());
    if (pname->empty() || *pname == "/") {
        imsg_printf(IMSG_ERROR, "\"%s\" names nothing in view \"%s\".\n", path.c_str(),
                    (*view)->tag.c_str());
        return kBadRequest;
    }
    return 0;
}

std::string vd_xml_take_comment(VdXmlElem* root, const char* tag) {
    VdXmlElem* e = root ? root->extract_child(tag) : nullptr;
    if (!e || vd_xml_flag(e, "value-is-null")) return std::string();
    return e->get_value().str();
}

std::vector<std::string> vd_xml_take_all(VdXmlElem* root, const char* tag) {
    std::vector<std::string> out;
    std::string text;
    while (vd_xml_take_text(root, tag, &text)) out.push_back(text);
    return out;
}

bool vd_xml_take_bool(VdXmlElem* root, const char* tag) {
    std::string text;
    return vd_xml_take_text(root, tag, &text) && text == "true";
}

std::string vd_xml_private_file(view_t* view, const std::string& path) {
    const std::string vob = view_pname_to_vob(view, path.c_str());
    if (vob.empty() || view->private_root.empty()) return std::string();
    const std::string root = real(view->private_root);
    const std::string file = real(view->private_root + vob);
    struct stat sb;
    if (root.empty() || file.empty() || !below(file, root) || file == root ||
        stat(file.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode))
        return std::string();
    return file;
}

void vd_xml_put(VdXmlStreamDoc& doc, const char* tag, const std::string& text) {
    VdXmlElem* e = doc.push(tag);
    e->add_value(text);
    doc.pop();
}
