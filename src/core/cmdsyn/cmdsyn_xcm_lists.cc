// vdtool commands over a project VOB's components and folders, and changes of activities.
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/cmdsyn/cmdsyn.h"
#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob.h"
#include "core/vob/xcm.h"

namespace {

typedef std::vector<std::string> names_t;

const char* const kLscompUsage = "lscomp -pvob pvob-tag";
const char* const kLsfolderUsage = "lsfolder -pvob pvob-tag";
const char* const kChactivityUsage =
    "chactivity [-headline text] [-name new-name] [-addtask uri]... [-rmtask uri]... "
    "[-crmrec record-id | -nocrmrec] activity-selector";

tbs_status_t open_pvob(cmdsyn_scanner& s, const std::string& tag, vob_t** pvob) {
    if (tag.empty()) return s.fail("Missing -pvob pvob-tag.");
    tbs_status_t st = vob_open_by_tag(tag.c_str(), pvob);
    return st == TBS_ST_OK ? st : cmdsyn_failed("find project VOB", tag.c_str(), st);
}

tbs_status_t lscomp(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLscompUsage);
    std::string tag;
    while (s.next_option())
        if (!s.value("-pvob", 2, &tag)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    vob_t* pvob = nullptr;
    CMDSYN_TRY(open_pvob(s, tag, &pvob));
    std::vector<xcm_obj_t> comps;
    tbs_status_t st = xcm_list(pvob, VOB_MTYPE_COMPONENT, &comps);
    if (st != TBS_ST_OK) return cmdsyn_failed("list components of", tag.c_str(), st);
    for (const xcm_obj_t& o : comps) {
        xcm_component_info_t c;
        if (xcm_get_component(pvob, o.dbid, &c) != TBS_ST_OK) continue;
        imsg_ok("%s  %s  component \"%s\"  root directory: %s\n", cmdsyn_utc(c.created).c_str(),
                c.owner.c_str(), c.name.c_str(), c.root_pname.c_str());
    }
    return TBS_ST_OK;
}

tbs_status_t lsfolder(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsfolderUsage);
    std::string tag;
    while (s.next_option())
        if (!s.value("-pvob", 2, &tag)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    vob_t* pvob = nullptr;
    CMDSYN_TRY(open_pvob(s, tag, &pvob));
    std::vector<xcm_obj_t> folders;
    tbs_status_t st = xcm_list(pvob, VOB_MTYPE_FOLDER, &folders);
    if (st != TBS_ST_OK) return cmdsyn_failed("list folders of", tag.c_str(), st);
    for (const xcm_obj_t& o : folders) {
        xcm_folder_info_t f;
        if (xcm_get_folder(pvob, o.dbid, &f) != TBS_ST_OK) continue;
        xcm_obj_t parent;
        const bool has_parent = f.parent && xcm_get_obj(pvob, f.parent, &parent) == TBS_ST_OK;
        std::vector<xcm_obj_t> children;
        xcm_folder_children(pvob, f.dbid, &children);
        imsg_ok("%s  %s  folder \"%s\"  in %s  (%zu item%s)\n", cmdsyn_utc(f.created).c_str(),
                f.owner.c_str(), f.name.c_str(),
                has_parent ? ("\"" + parent.name + "\"").c_str() : "(the root)", children.size(),
                children.size() == 1 ? "" : "s");
    }
    return TBS_ST_OK;
}

tbs_status_t chactivity(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kChactivityUsage);
    std::string headline, name, task, record;
    std::vector<std::string> add, remove;
    bool has_headline = false, has_name = false, has_record = false;
    while (s.next_option()) {
        if (s.value("-headline", 2, &headline)) {
            has_headline = true;
        } else if (s.value("-name", 2, &name)) {
            has_name = true;
        } else if (s.value("-addtask", 2, &task)) {
            add.push_back(task);
        } else if (s.value("-rmtask", 2, &task)) {
            remove.push_back(task);
        } else if (s.value("-crmrec", 3, &record)) {
            if (record.empty()) return s.fail("Name the change record: -crmrec record-id.");
            has_record = true;
        } else if (s.flag("-nocrmrec", 4)) {
            record.clear();
            has_record = true;
        } else {
            return s.unknown();
        }
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    if (!has_headline && !has_name && add.empty() && remove.empty() && !has_record)
        return s.fail(
            "Nothing to change: give -headline, -name, -addtask, -rmtask, -crmrec or "
            "-nocrmrec.");
    tbs_status_t st = TBS_ST_OK;
    if (has_record) st = cmd_chactivity_record(ops[0].c_str(), record.c_str());
    if (st == TBS_ST_OK && (!add.empty() || !remove.empty()))
        st = cmd_chactivity_tasks(ops[0].c_str(), add, remove, false);
    if (st == TBS_ST_OK && (has_headline || has_name))
        st = cmd_chactivity(ops[0].c_str(), has_headline ? headline.c_str() : nullptr,
                            has_name ? name.c_str() : nullptr);
    if (st != TBS_ST_OK) return cmdsyn_failed("change activity", ops[0].c_str(), st);
    imsg_ok("Changed activity \"%s\".\n", ops[0].c_str());
    return TBS_ST_OK;
}

}  // namespace

const cmdsyn_command_t cmdsyn_xcm_list_commands[] = {
    {"chactivity", nullptr, chactivity, kChactivityUsage, 5},
    {"lscomp", nullptr, lscomp, kLscompUsage},
    {"lsfolder", nullptr, lsfolder, kLsfolderUsage},
};
const size_t cmdsyn_xcm_list_command_count =
    sizeof cmdsyn_xcm_list_commands / sizeof cmdsyn_xcm_list_commands[0];
