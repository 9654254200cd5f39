// SUM_Integration, SUM_Deliver, SUM_Rebase over the core's resumable operations.
#include "core/sum/sum_integration.h"

#include "core/imsg/imsg.h"

namespace {

std::string sel_text(const SUM_XcmObject& o) {
    SUM_String s;
    return o.selector(&s) == TBS_ST_OK ? s.str() : std::string();
}

}  // namespace

// SUM_Integration ----------------------------------------------------------------------------

const cmd_integ_callbacks_t* SUM_Integration::callbacks() {
    active_ = cb_;
    if (!version_control_) active_.verctl = nullptr;
    return &active_;
}

tbs_status_t SUM_Integration::pvob(vob_t** out) const {
    if (stream_.is_null()) return TBS_ST_BAD_REQUEST;
    return stream_.pvob().handle(out);
}

tbs_status_t SUM_Integration::load() {
    vob_t* pv = nullptr;
    tbs_status_t st = pvob(&pv);
    if (st != TBS_ST_OK) return st;
    st = xcm_get_op(pv, stream_.dbid(), &op_);
    recorded_ = st == TBS_ST_OK;
    return st;
}

bool SUM_Integration::in_progress() const {
    return recorded_;
}

tbs_status_t SUM_Integration::op_state_string(SUM_String* state) const {
    if (!ended_.empty()) {
        *state = SUM_String(ended_);
        return TBS_ST_OK;
    }
    vob_t* pv = nullptr;
    xcm_op_t op;
    tbs_status_t st = pvob(&pv);
    if (st != TBS_ST_OK) return st;
    *state = SUM_String(xcm_get_op(pv, stream_.dbid(), &op) == TBS_ST_OK ? op.state : "none");
    return TBS_ST_OK;
}

tbs_status_t SUM_Integration::op_target_view(SUM_View* view) const {
    if (!recorded_) {
        *view = SUM_View();
        return TBS_ST_OK;
    }
    return SUM_View::construct_from_uuid(op_.view_uuid, view);
}

tbs_status_t SUM_Integration::complete() {
    vob_t* pv = nullptr;
    tbs_status_t st = pvob(&pv);
    if (st == TBS_ST_OK) st = cmd_integ_complete(pv, stream_.dbid(), callbacks());
    if (st == TBS_ST_OK) {
        ended_ = "completed";
        recorded_ = false;
    } else {
        load();
    }
    return st;
}

tbs_status_t SUM_Integration::cancel() {
    vob_t* pv = nullptr;
    tbs_status_t st = pvob(&pv);
    if (st == TBS_ST_OK) st = cmd_integ_cancel(pv, stream_.dbid(), callbacks());
    if (st == TBS_ST_OK) {
        ended_ = "cancelled";
        recorded_ = false;
    } else {
        load();
    }
    return st;
}

// SUM_Deliver --------------------------------------------------------------------------------

tbs_status_t SUM_Deliver::start(const SUM_Stream& source, const SUM_Stream& target,
                                SUM_Deliver* out) {
    if (source.is_null() || !out) return TBS_ST_BAD_REQUEST;
    SUM_Deliver d;
    d.stream_ = source;
    d.target_ = target;
    tbs_status_t st = target.is_null() ? source.deliver_stream(&d.target_) : TBS_ST_OK;
    if (st != TBS_ST_OK) return st;
    if (d.target_.is_null()) return TBS_ST_BAD_STREAM;
    // A deliver (or rebase) of the stream, or a deliver into the target, already running.
    bool busy = false, into = false, rebase = false;
    xcm_op_t op;
    if ((st = source.deliver_in_progress(&busy, &op)) != TBS_ST_OK ||
        (st = source.rebase_in_progress(&rebase)) != TBS_ST_OK ||
        (st = d.target_.deliver_into_in_progress(&into, &op)) != TBS_ST_OK)
        return st;
    if (busy || rebase || into) {
        imsg_error("A deliver or rebase is already in progress (by %s, %s).\n", op.user.c_str(),
                   op.state.c_str());
        return TBS_ST_OP_IN_PROGRESS;
    }
    *out = d;
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::start(const SUM_Stream& source, SUM_Deliver* out) {
    return start(source, SUM_Stream(), out);
}

tbs_status_t SUM_Deliver::restart(const SUM_Stream& source, int flag, SUM_Deliver* out) {
    // Any state is taken up, flag or not: a deliver recorded is one the caller may resume,
    // complete or cancel, and the operation itself refuses a step its state does not allow.
    (void)flag;
    if (source.is_null() || !out) return TBS_ST_BAD_REQUEST;
    SUM_Deliver d;
    d.stream_ = source;
    tbs_status_t st = d.load();
    if (st != TBS_ST_OK) return st;
    if (d.op_.kind != "deliver") return TBS_ST_NO_OP_IN_PROGRESS;
    if ((st = SUM_Stream::construct_from_dbid(source.pvob(), d.op_.target, &d.target_)) !=
        TBS_ST_OK)
        return st;
    SUM_View::construct_from_uuid(d.op_.view_uuid, &d.view_);
    *out = d;
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::reset_deliver_view(const SUM_Stream& source, const SUM_View& view,
                                             int flag) {
    vob_t* pv = nullptr;
    view_t* v = nullptr;
    tbs_status_t st = source.pvob().handle(&pv);
    if (st == TBS_ST_OK) st = view.handle(&v);
    return st == TBS_ST_OK ? cmd_integ_reset_view(pv, source.dbid(), v, flag != 0) : st;
}

tbs_status_t SUM_Deliver::prepare() {
    std::vector<SUM_Activity> acts;
    tbs_status_t st = stream_.undelivered_activities(target_, &acts, nullptr);
    if (st != TBS_ST_OK) return st;
    if (acts.empty()) {
        ended_ = "no_work_todo";
        return TBS_ST_NO_WORK;
    }
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::prepare(const std::vector<SUM_Baseline>& baselines) {
    for (const SUM_Baseline& b : baselines) {
        SUM_Stream made;
        tbs_status_t st = b.stream(&made);
        if (st != TBS_ST_OK) return st;
        if (made.dbid() != stream_.dbid()) {
            SUM_String name;
            b.name(&name);
            imsg_error("Baseline \"%s\" was not made in the stream delivered.\n", name.c_str());
            return TBS_ST_INVALID;
        }
    }
    baselines_ = baselines;
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::prepare_view(const SUM_View& view) {
    SUM_Stream attached;
    tbs_status_t st = SUM_view_stream(view, &attached);
    if (st != TBS_ST_OK || attached.dbid() != target_.dbid()) {
        SUM_String tag;
        view.tag(&tag);
        imsg_error("View \"%s\" is not attached to the target stream.\n", tag.c_str());
        return TBS_ST_BAD_STREAM;
    }
    if (recorded_) {
        vob_t* pv = nullptr;
        view_t* v = nullptr;
        if ((st = pvob(&pv)) != TBS_ST_OK || (st = view.handle(&v)) != TBS_ST_OK) return st;
        if ((st = cmd_integ_reset_view(pv, stream_.dbid(), v, false)) != TBS_ST_OK &&
            st != TBS_ST_EXISTS)
            return st;
        load();
    }
    view_ = view;
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::get_selected_activities(const std::vector<std::string>& selectors,
                                                  std::vector<SUM_Activity>* out) {
    out->clear();
    for (const std::string& sel : selectors) {
        SUM_Activity a;
        tbs_status_t st = SUM_Activity::construct_from_selector(sel.c_str(), &a);
        if (st != TBS_ST_OK) return st;
        out->push_back(a);
    }
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::prepare_acts(const std::vector<SUM_Activity>& activities) {
    for (const SUM_Activity& a : activities) {
        SUM_Stream s;
        tbs_status_t st = a.stream(&s);
        if (st != TBS_ST_OK) return st;
        if (s.dbid() != stream_.dbid() || s.pvob().is_null()) return TBS_ST_BAD_ACTIVITY;
    }
    acts_ = activities;
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::check_acts_wcos_policy(int* op_status) const {
    *op_status = 0;
    SUM_Project p;
    int policies = 0;
    tbs_status_t st = stream_.project(&p);
    if (st == TBS_ST_OK) st = p.policies(&policies);
    if (st != TBS_ST_OK || (policies & XCM_POLICY_DELIVER_NCO_SELACT)) return st;
    std::vector<SUM_Activity> acts = acts_;
    if (acts.empty() && (st = stream_.undelivered_activities(target_, &acts, nullptr)) != TBS_ST_OK)
        return st;
    for (const SUM_Activity& a : acts) {
        bool cos = false;
        if ((st = a.has_checkouts(&cos)) != TBS_ST_OK) return st;
        if (cos) {
            *op_status = 1;
            return TBS_ST_HAS_CHKOUTS;
        }
    }
    return TBS_ST_OK;
}

tbs_status_t SUM_Deliver::do_deliver() {
    vob_t* pv = nullptr;
    tbs_status_t st = pvob(&pv);
    if (st != TBS_ST_OK) return st;
    if (!recorded_) {
        cmd_deliver_args_t a;
        SUM_String tag;
        a.stream = sel_text(stream_);
        a.target = sel_text(target_);
        if (view_.is_null() || (st = view_.tag(&tag)) != TBS_ST_OK) {
            imsg_error("No integration view was given for the deliver.\n");
            return TBS_ST_BAD_REQUEST;
        }
        a.view = tag.str();
        for (const SUM_Activity& act : acts_) a.activities.push_back(sel_text(act));
        for (const SUM_Baseline& b : baselines_) a.baselines.push_back(sel_text(b));
        a.cb = callbacks();
        st = cmd_deliver_start(&a);
        if (st == TBS_ST_NO_WORK) ended_ = "no_work_todo";
        if (st != TBS_ST_OK) return st;
        if ((st = load()) != TBS_ST_OK) return st;
    }
    st = cmd_integ_run(pv, stream_.dbid(), callbacks());
    load();
    return st;
}

// SUM_Rebase ---------------------------------------------------------------------------------

namespace {

// The rebase's configuration callbacks: the components scanned are its configuration
// changes, the elements that need a merge its change-set scan.
struct CfgRelay {
    SUM_Rebase::cfg_change_cb_t cfg_change;
    SUM_Rebase::cfg_change_cb_t check_csets;
    void* data;
    static int component(void* d, const char* name) {
        auto* r = static_cast<CfgRelay*>(d);
        return r->cfg_change ? r->cfg_change(r->data, name) : 0;
    }
    static int sorted(void* d, const xcm_op_item_t& item, const char*) {
        auto* r = static_cast<CfgRelay*>(d);
        return r->check_csets ? r->check_csets(r->data, item.pname.c_str()) : 0;
    }
};

}  // namespace

tbs_status_t SUM_Rebase::rebase_prepare(const SUM_View& view,
                                        const std::vector<SUM_Baseline>& baselines,
                                        cfg_change_cb_t cfg_change, cfg_change_cb_t check_csets,
                                        void* data, SUM_Rebase* out) {
    if (!out) return TBS_ST_BAD_REQUEST;
    SUM_Rebase r;
    r.view_ = view;
    tbs_status_t st = SUM_view_stream(view, &r.stream_);
    if (st != TBS_ST_OK) return st;
    cmd_rebase_args_t a;
    SUM_String tag;
    if ((st = view.tag(&tag)) != TBS_ST_OK) return st;
    a.view = tag.str();
    for (const SUM_Baseline& b : baselines) {
        if (b.is_null() || b.mtype() != VOB_MTYPE_BASELINE) return TBS_ST_BAD_SELECTOR;
        a.baselines.push_back(sel_text(b));
    }
    CfgRelay relay{cfg_change, check_csets, data};
    cmd_integ_callbacks_t cb;
    cb.data = &relay;
    cb.component = CfgRelay::component;
    cb.sorted = CfgRelay::sorted;
    a.cb = &cb;
    st = cmd_rebase_start(&a);
    if (st == TBS_ST_NO_WORK) {
        r.ended_ = "no_work_todo";
        *out = r;
        return st;
    }
    if (st != TBS_ST_OK) return st;
    r.load();
    *out = r;
    return TBS_ST_OK;
}

tbs_status_t SUM_Rebase::restart(const SUM_View& view, int, SUM_Rebase* out) {
    if (!out) return TBS_ST_BAD_REQUEST;
    SUM_Rebase r;
    r.view_ = view;
    tbs_status_t st = SUM_view_stream(view, &r.stream_);
    if (st == TBS_ST_OK) st = r.load();
    if (st != TBS_ST_OK) return st;
    if (r.op_.kind != "rebase") return TBS_ST_NO_OP_IN_PROGRESS;
    *out = r;
    return TBS_ST_OK;
}

tbs_status_t SUM_Rebase::do_rebase() {
    vob_t* pv = nullptr;
    tbs_status_t st = pvob(&pv);
    if (st != TBS_ST_OK) return st;
    if (!recorded_ && (st = load()) != TBS_ST_OK) return st;
    st = cmd_integ_run(pv, stream_.dbid(), callbacks());
    load();
    return st;
}

tbs_status_t SUM_Rebase::integration_activity(SUM_Activity* out) const {
    SUM_Activity current;
    tbs_status_t st = SUM_view_current_activity(view_, &current);
    if (st != TBS_ST_OK) return st;
    bool integration = false;
    if (!current.is_null() && (st = current.is_integration(&integration)) != TBS_ST_OK) return st;
    *out = integration ? current : SUM_Activity();
    return TBS_ST_OK;
}
