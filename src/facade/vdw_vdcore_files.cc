// The facade: files of a view, as a client lists them.
#include <algorithm>
#include <set>

#include "core/cmd/cmd.h"
#include "core/rgy/rgy.h"
#include "core/view/config_spec.h"
#include "core/view/view.h"
#include "facade/vdw_fso_description.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/wcm_status.h"

namespace {

// The description's version fields for `version`.
bool version_fields(vob_t* vob, vob_dbid_t version, SUM_Oid* oid, std::string* id, const char* path,
                    WCM_Status& status) {
    vob_obj_info_t info;
    tbs_status_t st = vob_obj_get_info(vob, version, &info);
    if (st == TBS_ST_OK) st = vob_ver_get_idstr(vob, version, id);
    if (!vdw_core_ok(status, st, VDW_LIB_DESCRIBE_FAILED, path)) return false;
    *oid = SUM_Oid(info.oid);
    return true;
}

}  // namespace

void VDW_Vdcore::describe_file(view_t* view, const char* path, VDW_FsoDescription* out,
                               WCM_Status& status) {
    status.set_status(TBS_ST_OK);
    const char* name = path ? path : "";
    const std::string pname = to_vob_pname(view, name);
    vob_resolved_t r;
    tbs_status_t st =
        pname.empty() ? TBS_ST_NAME_NOT_FOUND
                      : cmd_resolve_obj_long(pname.c_str(), &view->ctx, VOB_RESOLVE_NOFOLLOW, &r);
    // A name that resolves to nothing is reported for its operand alone.
    if (st == TBS_ST_NAME_NOT_FOUND || st == TBS_ST_NOT_FOUND) st = TBS_ST_OBJ_NOT_FOUND;
    if (!vdw_core_ok(status, st, VDW_LIB_DESCRIBE_FAILED, name)) return;

    if (r.mtype == VOB_MTYPE_SLINK) {
        std::string text;
        if (!vdw_core_ok(status, vob_slink_get_text(r.vob, r.dbid, &text), VDW_LIB_DESCRIBE_FAILED,
                         name))
            return;
        out->slink_text = std::make_unique<std::string>(text);
        return;
    }
    if (r.element == 0) {
        st = TBS_ST_OBJ_NOT_FOUND;
        vdw_core_ok(status, st, VDW_LIB_DESCRIBE_FAILED, name);
        return;
    }
    // What the rules select, and by which rule.
    view_cspec_choice_t choice;
    st = view_cspec_select(*view->cspec, r.vob, r.element, pname.c_str(), view->uuid, &choice);
    if (st == TBS_ST_OK && choice.version == 0) st = TBS_ST_OBJ_NOT_FOUND;
    if (!vdw_core_ok(status, st, VDW_LIB_DETERMINE_SELECTED_VERSION_FAILED, name)) return;
    if (!version_fields(r.vob, choice.version, &out->unfrozen_oid, &out->unfrozen_version, name,
                        status))
        return;
    char rule[1024];
    if (choice.rule >= 0 &&
        view_spec_rule_format(*view->cspec, choice.rule, rule, sizeof rule) == TBS_ST_OK)
        out->cspec_rule = std::make_unique<std::string>(rule);
    // What the client's copy holds: the record's version, else the selected one.
    vob_dbid_t held = 0;
    get_loaded_version(view, pname.c_str(), r.vob, &held, status);
    if (!status.is_ok()) return;
    if (!version_fields(r.vob, held ? held : choice.version, &out->frozen_oid, &out->frozen_version,
                        name, status))
        return;

    vob_version_info_t v;
    st = vob_ver_get_info(r.vob, choice.version, &v);
    if (!vdw_core_ok(status, st, VDW_LIB_DESCRIBE_FAILED, name)) return;
    out->is_dir = v.is_dir;
    out->size = v.size;
    out->mtime = static_cast<long>(v.created);
    if (v.checked_out) {
        vob_checkout_info_t co;
        st = vob_ckout_get(r.vob, choice.version, &co);
        if (!vdw_core_ok(status, st, VDW_LIB_DESCRIBE_CHECKOUT_FAILED, name)) return;
        out->checkout = std::make_unique<VDW_FsoDescription::Checkout>();
        out->checkout->reserved = co.reserved;
    }
    if (r.vob_path == "/") {
        rgy_vob_entry_t entry;
        out->vob = std::make_unique<VDW_FsoDescription::Vob>();
        out->vob->root = true;
        if (rgy_find_vob_by_uuid(r.vob->uuid, &entry) == TBS_ST_OK)
            out->vob->is_public = entry.is_public;
    }
}

void VDW_Vdcore::get_dirents(view_t* view, const char* path, bool dirs_only,
                             std::vector<Dirent>* out, bool* listed, WCM_Status& status) {
    out->clear();
    *listed = false;
    status.set_status(TBS_ST_OK);
    const std::string rel = path ? path : "";
    const std::string pname = to_vob_pname(view, rel.c_str());
    vob_resolved_t r;
    if (pname.empty() || cmd_resolve_obj_long(pname.c_str(), &view->ctx, 0, &r) != TBS_ST_OK ||
        r.element == 0 || r.version == 0)
        return;
    vob_version_info_t dir;
    if (vob_ver_get_info(r.vob, r.version, &dir) != TBS_ST_OK || !dir.is_dir) return;
    *listed = true;
    std::vector<vob_dir_entry_t> entries;
    if (!vdw_core_ok(status, vob_dir_list(r.vob, r.version, &entries), VDW_LIB_DESCRIBE_FAILED,
                     rel.c_str()))
        return;
    std::sort(entries.begin(), entries.end(),
              [](const vob_dir_entry_t& a, const vob_dir_entry_t& b) { return a.name < b.name; });
    for (const vob_dir_entry_t& e : entries) {
        if (dirs_only && e.mtype != VOB_MTYPE_DIR_ELEMENT) continue;
        Dirent d;
        d.name = e.name;
        d.description = std::make_unique<VDW_FsoDescription>();
        const std::string child = rel.empty() ? e.name : rel + "/" + e.name;
        describe_file(view, child.c_str(), d.description.get(), status);
        // An entry the rules select no version of is not in the view.
        if (status.status() == TBS_ST_OBJ_NOT_FOUND) {
            status.set_status(TBS_ST_OK);
            continue;
        }
        if (!status.is_ok()) return;
        out->push_back(std::move(d));
    }
}

void VDW_Vdcore::get_tag_component_sub_directories(const char* path, std::vector<Dirent>* out,
                                                   WCM_Status& status) {
    out->clear();
    status.set_status(TBS_ST_OK);
    std::string prefix = path ? path : "";
    while (!prefix.empty() && prefix.front() == '/') prefix.erase(0, 1);
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    std::vector<rgy_vob_entry_t> vobs;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &vobs);
    if (!vdw_core_ok(status, st, VDW_LIB_DESCRIBE_FAILED, prefix.c_str())) return;
    std::set<std::string> names;
    for (const rgy_vob_entry_t& v : vobs) {
        std::string tag = v.tag;
        while (!tag.empty() && tag.front() == '/') tag.erase(0, 1);
        if (!prefix.empty()) {
            if (tag.compare(0, prefix.size() + 1, prefix + "/") != 0) continue;
            tag.erase(0, prefix.size() + 1);
        }
        const std::string first = tag.substr(0, tag.find('/'));
        if (!first.empty()) names.insert(first);
    }
    for (const std::string& n : names) {
        Dirent d;
        d.name = n;
        d.description = std::make_unique<VDW_FsoDescription>();
        d.description->is_dir = true;
        out->push_back(std::move(d));
    }
}
