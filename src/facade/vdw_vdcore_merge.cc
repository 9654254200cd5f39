// The facade's merges on the server: the older merge RPC, the directory merge save, and
// the merge state of a checkout (whether it must take in its branch's latest version, and
// the arrow that records a merge).
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "core/cmd/cmd.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_response.h"

namespace {

const char* outcome_name(int outcome) {
    switch (outcome) {
        case CMD_MERGE_ALREADY:
            return "already";
        case CMD_MERGE_TRIVIAL:
            return "trivial";
        case CMD_MERGE_AUTO:
            return "auto";
        case CMD_MERGE_CONFLICT:
            return "conflict";
        case CMD_MERGE_ARROW_ONLY:
            return "arrow";
        default:
            return "";
    }
}

// The arguments both server-side merges take.
struct MergeRequest {
    std::string view_uuid, pname, from, base;
};

bool read_merge_args(VDW_RpcArgs& args, MergeRequest* m) {
    return args.text("ViewUuid", &m->view_uuid) && args.pname("Pname", &m->pname) &&
           args.pname("FromVersion", &m->from) && args.pname("BaseVersion", &m->base);
}

// A temporary file in the core's temporary directory, removed with its holder.
struct ResultFile {
    std::string path;
    ~ResultFile() {
        if (!path.empty()) unlink(path.c_str());
    }
    bool make() {
        char buf[VDW_Vdcore::PNAME_SIZE];
        const char* tmp = fileutl_get_tmpdir();
        if (!fileutl_exists(tmp)) fileutl_mkdir_p(tmp, 0775);
        int fd = fileutl_create_temp(tmp, "merge.", 0600, buf, sizeof buf);
        if (fd < 0) return false;
        close(fd);
        path = buf;
        return true;
    }
};

}  // namespace

bool VDW_Vdcore::needs_latest_merge(vob_t* vob, const vob_checkout_info_t& co, vob_dbid_t* latest) {
    *latest = 0;
    if (vob_branch_latest(vob, co.branch, latest) != TBS_ST_OK || *latest == co.pred_version)
        return false;
    bool merged = false;
    int64_t base = 0, distance = 0;
    // Merged when the latest version is among the checkout's ancestors (an arrow from it,
    // or from a version after it).
    return cmd_merge_base(vob, co.dbid, *latest, &merged, &base, &distance) != TBS_ST_OK || !merged;
}

bool VDW_Vdcore::merge_names(view_t* view, const std::string& to, const std::string& from,
                             const std::string& base, cmd_merge_args_t* m) {
    m->to = to_vob_pname(view, to.c_str());
    m->from = from.find(TBS_VER_EXT) != std::string::npos ? to_vob_pname(view, from.c_str()) : from;
    m->base = base.empty() ? std::string() : to_vob_pname(view, base.c_str());
    m->view = view ? &view->ctx : nullptr;
    return !m->to.empty() && !m->from.empty() && (base.empty() || !m->base.empty());
}

void VDW_Vdcore::set_merged(view_t* view, const char* pname, const char* from, WCM_Status& status) {
    cmd_merge_args_t m;
    merge_names(view, pname ? pname : "", from ? from : "", "", &m);
    m.ndata = true;
    vdw_core_ok(status, cmd_merge(&m), VDW_LIB_RECORD_MERGE_FAILED, from ? from : "",
                pname ? pname : "");
}

void VDW_Vdcore::merge_rpc(const char* upload, const char* args, bool, std::ostream& out,
                           WCM_MemPool& pool, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "merge_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_RpcArgs a(args, status);
    MergeRequest req;
    bool ndata = false, abort = false;
    if (!read_merge_args(a, &req) || !a.boolean("Ndata", &ndata) || !a.boolean("Abort", &abort))
        return;
    view_t* view = nullptr;
    open_view(req.view_uuid.c_str(), &view, status);
    if (!status.is_ok()) return;
    cmd_merge_args_t m;
    if (!merge_names(view, req.pname, req.from, req.base, &m)) {
        VDW_RpcArgs::bad_value(status, "Pname", req.pname);
        return;
    }
    m.ndata = ndata;
    m.abort_on_conflict = abort;
    // A client's copy is merged into a file of our own, which the answer carries back; a
    // snapshot view's own copy is merged in place when the client sent none.
    ResultFile result;
    const bool to_client = (upload && *upload) || view->kind == VIEW_KIND_WEB;
    if (to_client && !ndata) {
        if (!result.make()) {
            vdw_core_ok(status, tbs_errno2status(errno), VDW_LIB_WRITE_MERGE_RESULT_FAILED,
                        req.pname.c_str());
            return;
        }
        m.output = result.path;
        if (upload && *upload) m.to_file = upload;
    }
    tbs_status_t st = cmd_merge(&m);
    if (m.outcome) {
        std::string from_name, base_name;
        WCM_Status ignored;
        vob_resolved_t r;
        if (m.from_version && vob_resolve_pname(m.to.c_str(), &view->ctx, 0, &r) == TBS_ST_OK) {
            get_obj_name(r.vob, m.from_version, &from_name, ignored);
            if (m.base_version) get_obj_name(r.vob, m.base_version, &base_name, ignored);
        }
        // The merged file goes back when one was written for the client.
        const bool body = !result.path.empty() && m.outcome != CMD_MERGE_ALREADY &&
                          !(m.outcome == CMD_MERGE_CONFLICT && abort) &&
                          (st == TBS_ST_OK || st == TBS_ST_MERGE_CONFLICT);
        std::ifstream in;
        long long size = 0;
        if (body) {
            in.open(result.path, std::ios::binary | std::ios::ate);
            size = in ? static_cast<long long>(in.tellg()) : 0;
            in.seekg(0);
        }
        int error = 0;
        VDW_MultipartData part("MergeResult", VDW_MultipartData::MIME_CLEARTEXT, in,
                               body ? size : 0, error);
        part.add_part_item("Outcome", outcome_name(m.outcome));
        part.add_part_item("Conflicts", static_cast<long long>(m.conflicts));
        part.add_part_item("FromVersion", from_name.c_str());
        part.add_part_item("BaseVersion", base_name.c_str());
        if (response.add_part(part, true)) return;
        if (error) st = tbs_errno2status(error);
    }
    vdw_core_ok(status, st, VDW_LIB_MERGE_FAILED, req.pname.c_str());
}

void VDW_Vdcore::new_save_dir_merge_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                        WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "new_save_dir_merge_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    save_dir_merge(response, args, status);
}

void VDW_Vdcore::save_dir_merge(VDW_RpcResponse& response, const char* args, WCM_Status& status) {
    VDW_RpcArgs a(args, status);
    MergeRequest req;
    if (!read_merge_args(a, &req)) return;
    view_t* view = nullptr;
    open_view(req.view_uuid.c_str(), &view, status);
    if (!status.is_ok()) return;
    vob_resolved_t r;
    resolve_vob_obj(view, req.pname.c_str(), 0, &r, status);
    if (!status.is_ok()) return;
    if (r.mtype != VOB_MTYPE_DIR_VERSION) {
        status.set_status(TBS_ST_NOT_DIRECTORY);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_MERGE_FAILED, req.pname.c_str(),
                      tbs_strerror(TBS_ST_NOT_DIRECTORY));
        return;
    }
    cmd_merge_args_t m;
    merge_names(view, req.pname, req.from, req.base, &m);
    tbs_status_t st = cmd_merge(&m);
    if (m.outcome) {
        std::string from_name, base_name;
        WCM_Status ignored;
        if (m.from_version) get_obj_name(r.vob, m.from_version, &from_name, ignored);
        if (m.base_version) get_obj_name(r.vob, m.base_version, &base_name, ignored);
        VDW_MultipartData part("MergeResult", nullptr, nullptr, nullptr, 0);
        part.add_part_item("Outcome", outcome_name(m.outcome));
        part.add_part_item("Conflicts", static_cast<long long>(m.conflicts));
        part.add_part_item("FromVersion", from_name.c_str());
        part.add_part_item("BaseVersion", base_name.c_str());
        if (response.add_part(part, true)) return;
    }
    vdw_core_ok(status, st, VDW_LIB_MERGE_FAILED, req.pname.c_str());
}
