// VDW_GetViewPropertiesRpc.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/sum/sum_view.h"
#include "core/sum/sum_xcm.h"
#include "core/view/config_spec.h"
#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/props/vdw_property_rpcs.h"
#include "ops/props/vdw_props.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

std::string user_name(uid_t uid) {
    struct passwd pw, *res = nullptr;
    char buf[4096];
    return getpwuid_r(uid, &pw, buf, sizeof buf, &res) == 0 && res ? res->pw_name
                                                                   : std::to_string(uid);
}

std::string group_name(gid_t gid) {
    struct group gr, *res = nullptr;
    char buf[4096];
    return getgrgid_r(gid, &gr, buf, sizeof buf, &res) == 0 && res ? res->gr_name
                                                                   : std::to_string(gid);
}

}  // namespace

void VDW_GetViewPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetViewPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid;
    int which = 0;
    if (!a.text("ViewUuid", &uuid) || !a.integer("WhichCategories", &which)) return;
    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    SUM_View sv;
    tbs_status_t st = SUM_View::construct_from_tag(view->tag.c_str(), &sv);
    if (!vdw_core_ok(status(), st, VDW_LIB_DESCRIBE_FAILED, view->tag.c_str())) return;
    SUM_Stream stream;
    SUM_Project project;
    if (view->sum_view && SUM_view_stream(sv, &stream) == TBS_ST_OK) stream.project(&project);
    struct stat storage {};
    stat(view->storage.c_str(), &storage);

    if (which & 1) {
        SUM_String stream_name, project_name, activity_name;
        SUM_Activity activity;
        if (!stream.is_null()) stream.name(&stream_name);
        if (!project.is_null()) project.name(&project_name);
        if (view->sum_view && SUM_view_current_activity(sv, &activity) == TBS_ST_OK &&
            !activity.is_null())
            activity.name(&activity_name);
        VDW_MultipartData p("GeneralProps", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Tag", view->tag.c_str());
        p.add_part_item("Description", "");
        p.add_part_item("IsSnapshotView", view->kind == VIEW_KIND_SNAPSHOT);
        p.add_part_item("IsDynamicView", view->kind == VIEW_KIND_DYNAMIC);
        p.add_part_item("IsWebView", view->kind == VIEW_KIND_WEB);
        p.add_part_item("IsXCMView", view->sum_view);
        p.add_part_item("Project", project_name);
        p.add_part_item("Stream", stream_name);
        p.add_part_item("DefaultActivity", activity_name);
        p.add_part_item("IsAutomaticView", view->kind == VIEW_KIND_AUTOMATIC);
        if (add_part(p, false)) return;
    }
    if (which & 4) {
        std::string text;
        core.get_view_cspec(view, &text, status());
        if (!status().is_ok()) return;
        // One part a line: an item name appears once in a part.
        for (const std::string& line : VDW_RpcArgs::split_lines(text)) {
            VDW_MultipartData p("ConfigSpecProps", nullptr, nullptr, nullptr, 0);
            p.add_part_item("ConfigSpecLine", line.c_str());
            if (add_part(p, false)) return;
        }
    }
    if (which & 8) {
        if (view->cspec) {
            for (const std::string& rule : view_cspec_load_rules(*view->cspec)) {
                VDW_MultipartData p("LoadRulesProps", nullptr, nullptr, nullptr, 0);
                p.add_part_item("LoadRule", rule.c_str());
                if (add_part(p, false)) return;
            }
        }
    }
    if (which & 16) {
        VDW_MultipartData p("AdvancedProps", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Region", "default");
        p.add_part_item("FileTimes", view->kind == VIEW_KIND_WEB ? "client" : "current");
        p.add_part_item("LoadState", view->kind == VIEW_KIND_DYNAMIC ? "dynamic" : "loaded");
        if (add_part(p, false)) return;
    }
    if (which & 32) {
        VDW_MultipartData p("ProtectionProps", nullptr, nullptr, nullptr, 0);
        p.add_part_item("UserName", user_name(storage.st_uid).c_str());
        p.add_part_item("UserAccess", vdw_props_rwx((storage.st_mode >> 6) & 7).c_str());
        p.add_part_item("GroupName", group_name(storage.st_gid).c_str());
        p.add_part_item("GroupAccess", vdw_props_rwx((storage.st_mode >> 3) & 7).c_str());
        p.add_part_item("OtherAccess", vdw_props_rwx(storage.st_mode & 7).c_str());
        if (add_part(p, false)) return;
    }
    if ((which & 2) && !stream.is_null()) {
        // The stream's configuration: its foundation baselines and its activities.
        std::vector<SUM_Baseline> baselines;
        std::vector<SUM_Activity> activities;
        st = stream.foundation_baselines(&baselines);
        if (st == TBS_ST_OK) st = stream.activities(&activities);
        if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_PROPS_FAILED, view->tag.c_str())) return;
        for (const SUM_Baseline& b : baselines) {
            SUM_String name, sel;
            b.name(&name);
            b.selector(&sel);
            VDW_MultipartData p("ConfigBaseline", nullptr, nullptr, nullptr, 0);
            p.add_part_item("Name", name);
            p.add_part_item("Selector", sel);
            if (add_part(p, false)) return;
        }
        for (const SUM_Activity& act : activities) {
            xcm_activity_info_t info;
            if (act.info(&info) != TBS_ST_OK) continue;
            VDW_MultipartData p("ConfigActivity", nullptr, nullptr, nullptr, 0);
            p.add_part_item("Headline", info.headline.c_str());
            p.add_part_item("Owner", info.owner.c_str());
            if (add_part(p, false)) return;
        }
    }
    if (which & 64) {
        const std::string owner = user_name(storage.st_uid), group = group_name(storage.st_gid);
        char host[256] = "";
        gethostname(host, sizeof host - 1);
        const std::pair<const char*, time_t> times[] = {
            {"AccessCreatedOn", storage.st_ctime},
            {"AccessLastModified", storage.st_mtime},
            {"AccessLastAccessed", storage.st_atime},
            {"AccessLastReadPrivate", storage.st_atime},
        };
        for (const auto& [name, at] : times) {
            VDW_MultipartData p(name, nullptr, nullptr, nullptr, 0);
            p.add_part_item("AccessDateTime", static_cast<long long>(at));
            p.add_part_item("AccessUser", owner.c_str());
            p.add_part_item("AccessGroup", group.c_str());
            p.add_part_item("AccessHost", host);
            if (add_part(p, false)) return;
        }
    }
}
