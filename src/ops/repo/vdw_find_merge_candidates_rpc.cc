// VDW_FindMergeCandidatesRpc and VDW_MergeItem.
//
// The search is the core's cmd_findmerge, run in the view's root with the core's messages
// sent to this handler: a message lands in the item current when it is printed (its part's
// body), or, before the first candidate and between items, in the RPC's own text, which
// then decides the overall status. The search may call back more than once for one
// element; consecutive calls with the same path update one item, so each element is one
// part.
#include "ops/repo/vdw_find_merge_candidates_rpc.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/catalogs.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

namespace {

// The one search running in this process: the core's callbacks reach it through here. A
// process serves one request at a time, so one pointer suffices.
VDW_FindMergeCandidatesRpc* g_running = nullptr;

const char* merge_type_name(int merge_type) {
    static const char* const kNames[] = {"Auto", "User", "Never", "Copy"};  // by merge type
    return merge_type >= VOB_MERGE_AUTO && merge_type <= VOB_MERGE_COPY ? kNames[merge_type]
                                                                        : "<Unknown>";
}

struct SelKind {
    const char* value;
    int mode;
};
const SelKind kSelKinds[] = {
    {"Br", VDW_FindMergeCandidatesRpc::MODE_BRANCH},
    {"Lb", VDW_FindMergeCandidatesRpc::MODE_LABEL},
    {"Vs", VDW_FindMergeCandidatesRpc::MODE_VERSION},
    {"Vw", VDW_FindMergeCandidatesRpc::MODE_VIEW},
    {"Ac", VDW_FindMergeCandidatesRpc::MODE_ACTIVITIES},
};

// "/vobs/p/a.c@@/main/2" for a version of the element at `element_path`.
bool extended_name(vob_t* vob, vob_dbid_t version, const SUM_String& element_path, SUM_String* out,
                   tbs_status_t* st) {
    std::string id;
    *st = vob_ver_get_idstr(vob, version, &id);
    if (*st != TBS_ST_OK) return false;
    *out = SUM_String(element_path.str() + TBS_VER_EXT + id);
    return true;
}

}  // namespace

// VDW_MergeItem ----------------------------------------------------------------------------

VDW_MergeItem::VDW_MergeItem(const SUM_String& working_path, const SUM_String& element_path,
                             bool is_dir, VDW_Vdcore* facade, const SUM_String& merge_type)
    : working_path_(working_path),
      element_path_(element_path),
      merge_type_(merge_type),
      is_dir_(is_dir),
      facade_(facade) {}

void VDW_MergeItem::fail(const char* what, tbs_status_t st) {
    msg_text_ += std::string(what) + ": " + tbs_strerror(st) + "\n";
    msg_type_ = 2;
}

void VDW_MergeItem::add_message(int severity, const char* text) {
    if (severity > msg_type_) msg_type_ = severity;
    msg_text_ += text ? text : "";
}

void VDW_MergeItem::Update(view_t* view, vob_t* vob, vob_dbid_t to, vob_dbid_t from,
                           vob_dbid_t base, int trivial, int64_t further) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MergeItem", "Update");
    tbs_status_t st = TBS_ST_OK;
    if (!extended_name(vob, from, element_path_, &from_version_, &st))
        fail("Unable to name the from-version", st);
    // No common ancestor leaves the base unnamed; that is no failure.
    if (base && !extended_name(vob, base, element_path_, &base_version_, &st))
        fail("Unable to name the base version", st);
    if (!extended_name(vob, to, element_path_, &to_version_, &st))
        fail("Unable to name the to-version", st);
    trivial_ = trivial != 0;
    further_ = further;
    vob_checkout_info_t co;
    st = vob_ckout_get(vob, to, &co);
    if (st == TBS_ST_OK)
        co_type_ = co.reserved ? 1 : 2;
    else if (st == TBS_ST_NOT_FOUND || st == TBS_ST_NOT_CHECKED_OUT)
        co_type_ = 0;
    else
        fail("Unable to read the checkout of the to-version", st);
    vob_version_info_t v;
    vob_obj_info_t info;
    if ((st = vob_ver_get_info(vob, to, &v)) != TBS_ST_OK ||
        (st = vob_obj_get_info(vob, v.element, &info)) != TBS_ST_OK)
        fail("Unable to read the element's object id", st);
    else
        element_oid_ = tbs_uuid_text(info.oid);
    replica_oid_ = tbs_uuid_text(vob->uuid);
    in_component_ = facade_ && facade_->is_in_component(view, vob, v.element);
}

bool VDW_MergeItem::write(VDW_RpcResponse& response) const {
    VDW_MultipartData part("MergeItem", VDW_MultipartData::MIME_TEXT, nullptr, msg_text_.data(),
                           static_cast<long long>(msg_text_.size()));
    char buf[VDW_PNAME_BUF_SIZE];
    part.add_part_item("ToVersion", VDW_ReqArgsGenerator::encode_pname(element_path_.c_str(), buf));
    part.add_part_item("ToVersionExt",
                       VDW_ReqArgsGenerator::encode_pname(to_version_.c_str(), buf));
    part.add_part_item("FromVersion",
                       VDW_ReqArgsGenerator::encode_pname(from_version_.c_str(), buf));
    part.add_part_item("BaseVersion",
                       VDW_ReqArgsGenerator::encode_pname(base_version_.c_str(), buf));
    part.add_part_item("ElementOid", element_oid_.c_str());
    part.add_part_item("ReplicaOid", replica_oid_.c_str());
    part.add_part_item("IsDir", is_dir_ ? 1 : 0);
    part.add_part_item("IsCmpnVOB", in_component_ ? 1 : 0);
    part.add_part_item("IsTrivial", trivial_ ? 1 : 0);
    part.add_part_item("CoType", co_type_);
    part.add_part_item("MsgType", msg_type_);
    part.add_part_item("ElementMergeType", merge_type_);
    return response.add_part(part, true);
}

// VDW_FindMergeCandidatesRpc ---------------------------------------------------------------

VDW_FindMergeCandidatesRpc::~VDW_FindMergeCandidatesRpc() {
    if (g_running == this) g_running = nullptr;
}

bool VDW_FindMergeCandidatesRpc::read_args() {
    VDW_RpcArgs args(request().rpcargs(), status());
    std::string dir_only, follow, kind;
    bool present = false;
    if (!args.text("ViewUuid", &view_uuid_)) return false;
    // Optional flags are true unless sent as "0".
    if (!args.opt_text("DirOnly", &dir_only, &present)) return false;
    dir_only_ = !present || dir_only != "0";
    if (!args.opt_text("Follow", &follow, &present)) return false;
    follow_ = !present || follow != "0";
    if (!args.text("SelKind", &kind)) return false;
    for (const SelKind& k : kSelKinds)
        if (kind == k.value) mode_ = k.mode;
    int count = 0;
    std::string value;
    if (mode_ == MODE_ACTIVITIES) {
        if (!args.integer("NumActs", &count)) return false;
        for (int i = 0; i < count; ++i) {
            if (!args.text("Act", &value)) return false;
            elements_.push_back(value);
        }
        return true;
    }
    if (!args.text(mode_ == MODE_VIEW ? "Vw" : "VerSel", &selector_)) return false;
    if (mode_ == MODE_BRANCH) {
        selector_ = ".../" + selector_ + "/LATEST";
    } else if (mode_ == MODE_VERSION) {
        std::vector<char> buf(selector_.begin(), selector_.end());
        buf.push_back('\0');
        VDW_Vdcore::convert_pname_to_global(buf.data());
        selector_ = buf.data();
    }
    if (!args.integer("NumElems", &count)) return false;
    for (int i = 0; i < count; ++i) {
        if (!args.pname("Elem", &value)) return false;
        elements_.push_back(value);
    }
    return true;
}

void VDW_FindMergeCandidatesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_FindMergeCandidatesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true) || !read_args()) return;
    facade()->open_view(view_uuid_.c_str(), &view_, status());
    if (!status().is_ok()) return;
    view_root_ = view_->root;
    perform_action();
}

void VDW_FindMergeCandidatesRpc::perform_action() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_FindMergeCandidatesRpc", "perform_action");
    cmd_findmerge_args_t a;
    a.view = &view_->ctx;
    a.cspec = view_->cspec.get();
    if (mode_ == MODE_ACTIVITIES) {
        a.kind = CMD_FINDMERGE_ACTIVITIES;
        a.activities = elements_;
    } else {
        // Elements are named as in the client's copy area; the search takes VOB pathnames. A
        // name that climbs out of the root is passed as sent, and names nothing.
        for (const std::string& e : elements_) {
            std::string vob_pname = VDW_Vdcore::to_vob_pname(view_, e.c_str());
            a.pnames.push_back(vob_pname.empty() ? e : vob_pname);
        }
        if (mode_ == MODE_VIEW) {
            a.kind = CMD_FINDMERGE_VIEW;
            a.from_view = selector_;
        } else {
            a.selector = selector_;
        }
    }
    a.dir_only = dir_only_;
    a.follow = follow_;
    a.callback = candidate_proc;
    a.callback_data = this;
    a.output = "NUL";

    g_running = this;
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (imsg_redirect_proc_t& p : procs) p = message_proc;
    const imsg_redirect_table_t saved = imsg_get_redirect_table();
    imsg_set_redirect_procs(procs, this);
    char cwd[PATH_MAX];
    const bool have_cwd = getcwd(cwd, sizeof cwd) != nullptr;
    tbs_status_t st = chdir(view_root_.c_str()) == 0 ? cmd_findmerge(&a) : tbs_errno2status(errno);
    if (have_cwd && chdir(cwd) != 0) trace.writeTrace(1, "cannot return to %s", cwd);
    imsg_set_redirect_table(saved);
    g_running = nullptr;

    end_item();
    if (!own_messages_) {
        if (st != TBS_ST_OK) {
            status().set_status(st);
            status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_FIND_MERGE_CANDIDATES_FAILED,
                            view_root_.c_str(), tbs_strerror(st));
        }
        return;
    }
    std::string text = own_text_;
    if (st != TBS_ST_OK) text += std::string("\n") + tbs_strerror(st);
    status().add_text(text.c_str());
    if (severity_ <= 0)
        status().set_status(TBS_ST_OK);
    else if (severity_ == 1)
        status().set_status(st);
    else
        status().set_status(st != TBS_ST_OK ? st : TBS_ST_ERR);
}

void VDW_FindMergeCandidatesRpc::end_item() {
    if (current_ && !output_failed_) output_failed_ = current_->write(*this);
    current_.reset();
}

// A directory reached through a symbolic link is reported where the link leads.
std::string VDW_FindMergeCandidatesRpc::reported_path(const char* pname, bool is_dir) {
    std::string path = pname;
    if (is_dir) {
        vob_resolved_t r;
        std::string target;
        if (vob_resolve_pname(pname, &view_->ctx, VOB_RESOLVE_NOFOLLOW, &r) == TBS_ST_OK &&
            r.mtype == VOB_MTYPE_SLINK &&
            cmd_utl_lookup_slink(pname, &view_->ctx, &target) == TBS_ST_OK && !target.empty()) {
            if (target[0] == '/')
                path = target;
            else
                path = path.substr(0, path.rfind('/') + 1) + target;
        }
    }
    char full[VDW_Vdcore::PNAME_SIZE];
    if (!VDW_Vdcore::get_view_pname(view_root_.c_str(), path.c_str(), full)) return path;
    VDW_Vdcore::convert_pname_to_global(full);
    std::string view_part, vob_part;
    bool snapshot = false;
    VDW_Vdcore::split_view_vob_pname(view_, full, &view_part, &vob_part, &snapshot);
    return snapshot || !view_part.empty() ? vob_part : std::string(full);
}

void VDW_FindMergeCandidatesRpc::candidate(const char* pname, vob_t* vob, vob_dbid_t to,
                                           vob_dbid_t from, vob_dbid_t base, int mtype, int trivial,
                                           int64_t further) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_FindMergeCandidatesRpc", "candidate");
    if (!vob) {
        end_item();
        return;
    }
    vob_version_info_t v;
    vob_type_info_t eltype;
    const char* merge_type = "Auto";  // when the element's type cannot be read
    if (vob_ver_get_info(vob, to, &v) == TBS_ST_OK &&
        vob_elem_get_type(vob, v.element, &eltype) == TBS_ST_OK)
        merge_type = merge_type_name(eltype.merge_type);
    const bool is_dir = mtype == VOB_MTYPE_DIR_ELEMENT;
    const std::string path = reported_path(pname, is_dir);
    if (current_ && current_->element_path().str() == path) {
        current_->Update(view_, vob, to, from, base, trivial, further);
        return;
    }
    end_item();
    current_ = std::make_unique<VDW_MergeItem>(SUM_String(pname), SUM_String(path), is_dir,
                                               facade(), SUM_String(merge_type));
    current_->Update(view_, vob, to, from, base, trivial, further);
}

void VDW_FindMergeCandidatesRpc::message(int severity, char* text) {
    imsg_strip_style_chars(text);
    if (current_) {
        current_->add_message(severity, text);
    } else {
        own_text_ += text;
        own_messages_ = true;
    }
    if (severity > severity_) severity_ = severity;
}

void VDW_FindMergeCandidatesRpc::candidate_proc(void* data, const char* pname, vob_t* vob,
                                                vob_dbid_t to, vob_dbid_t from, vob_dbid_t base,
                                                int mtype, int trivial, int64_t further) {
    (void)data;
    if (g_running) g_running->candidate(pname, vob, to, from, base, mtype, trivial, further);
}

void VDW_FindMergeCandidatesRpc::message_proc(void* data, int msg_class, char* text) {
    (void)data;
    if (!g_running) return;
    if (msg_class <= IMSG_NOTE)
        g_running->message(0, text);
    else if (msg_class <= IMSG_WARNING_NOTE)
        g_running->message(1, text);
    else if (msg_class <= IMSG_FATAL)
        g_running->message(2, text);
    else if (msg_class <= IMSG_DEBUG)
        vdw_handle_trace_message(g_running->facade(), msg_class, text);
}
