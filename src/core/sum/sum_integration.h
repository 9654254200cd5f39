// SUM_Integration, SUM_Deliver, SUM_Rebase: deliver and rebase as the object layer drives
// them, step by step, with callbacks that stream their progress.
//
// The operation itself is the core's (cmd_xcm.h): recorded in the project VOB, so that a
// later request (another process) resumes, completes or cancels what an earlier one began.
// A deliver is driven
//
//   SUM_Deliver d;
//   SUM_Deliver::start(source, target, &d);    // or start(source, &d): its default target
//   d.prepare();                               // TBS_ST_NO_WORK: nothing to deliver
//   d.prepare_view(integration_view);
//   d.prepare_acts(activities);                // none: every activity with undelivered work
//   d.check_acts_wcos_policy(&op_status);      // TBS_ST_HAS_CHKOUTS against the policy
//   d.set_version_control(true); (callbacks) d.do_deliver();   // records, then merges
//   ... later, any process:
//   SUM_Deliver::restart(source, 0, &d); d.complete();   // or d.do_deliver(), d.cancel()
//
// and a rebase
//
//   SUM_Rebase r;
//   SUM_Rebase::rebase_prepare(view, baselines, cfg_cb, csets_cb, data, &r);
//   r.do_rebase();  ...  SUM_Rebase::restart(view, 0, &r); r.complete() / r.cancel()
//
// Callbacks return 0 to go on; anything else stops the operation where it is, to be
// resumed or cancelled later (a client gone is such a stop).
#ifndef CORE_SUM_SUM_INTEGRATION_H
#define CORE_SUM_SUM_INTEGRATION_H

#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_xcm.h"

class SUM_Integration {
public:
    typedef int (*progress_cb_t)(void* data, int phase, int64_t total, int64_t current,
                                 const char* text);
    typedef int (*action_cb_t)(void* data, const char* text);
    typedef int (*verctl_cb_t)(void* data, int when, const char* action, const char* pname,
                               const char* status);
    typedef int (*merge_cb_t)(void* data, const cmd_integ_merge_t& merge);
    typedef int (*sorted_list_cb_t)(void* data, const xcm_op_item_t& item, const char* state);

    void set_callback_data(void* data) { cb_.data = data; }
    void set_progress_cb(progress_cb_t cb) { cb_.progress = cb; }
    void set_action_cb(action_cb_t cb) { cb_.action = cb; }
    void set_verctl_cb(verctl_cb_t cb) { cb_.verctl = cb; }
    void set_merge_cb(merge_cb_t cb) { cb_.merge = cb; }
    void set_sorted_list_cb(sorted_list_cb_t cb) { cb_.sorted = cb; }
    // Kept for the caller's benefit; merges follow each element type's merge type.
    void set_merge_options(int a, int b, int c, int d) {
        merge_options_[0] = a, merge_options_[1] = b, merge_options_[2] = c, merge_options_[3] = d;
    }
    // Version-control callbacks are made only while it is on.
    void set_version_control(bool on) { version_control_ = on; }

    const SUM_Stream& stream() const { return stream_; }
    // "prepared", "merging", "merged", "completing" while recorded; "completed",
    // "cancelled" once ended; "no_work_todo" when there was nothing to do; "none" else.
    tbs_status_t op_state_string(SUM_String* state) const;
    // The view the operation merges in (the null view before it has one).
    tbs_status_t op_target_view(SUM_View* view) const;
    bool in_progress() const;

    tbs_status_t complete();
    tbs_status_t cancel();

protected:
    const cmd_integ_callbacks_t* callbacks();
    tbs_status_t load();  // the operation recorded for the stream, if any
    tbs_status_t pvob(vob_t** out) const;

    SUM_Stream stream_;
    cmd_integ_callbacks_t cb_;
    cmd_integ_callbacks_t active_;  // what is handed to the core
    bool version_control_ = false;
    int merge_options_[4] = {0, 0, 0, 0};
    bool recorded_ = false;
    xcm_op_t op_;
    std::string ended_;  // the state once the operation ended in this object
};

class SUM_Deliver : public SUM_Integration {
public:
    static tbs_status_t start(const SUM_Stream& source, const SUM_Stream& target, SUM_Deliver* out);
    static tbs_status_t start(const SUM_Stream& source, SUM_Deliver* out);
    // The deliver in progress from `source`. `flag` 1 takes it in any state (to cancel it).
    static tbs_status_t restart(const SUM_Stream& source, int flag, SUM_Deliver* out);
    // Makes `view` the deliver's view: the old view's checkouts of the deliver are undone
    // (with flag 1 also when that view still exists; with 0 only when it is gone) and its
    // merges start again there.
    static tbs_status_t reset_deliver_view(const SUM_Stream& source, const SUM_View& view,
                                           int flag);

    // Whether there is work: TBS_ST_NO_WORK when no activity has undelivered versions.
    tbs_status_t prepare();
    // Delivers baselines made in the source stream instead of activities.
    tbs_status_t prepare(const std::vector<SUM_Baseline>& baselines);
    tbs_status_t prepare_view(const SUM_View& view);
    static tbs_status_t get_selected_activities(const std::vector<std::string>& selectors,
                                                std::vector<SUM_Activity>* out);
    tbs_status_t prepare_acts(const std::vector<SUM_Activity>& activities);
    // TBS_ST_HAS_CHKOUTS (with *op_status 1) when the activities have checkouts the
    // project's policy does not let a deliver leave behind.
    tbs_status_t check_acts_wcos_policy(int* op_status) const;
    // Records the deliver on the first call, then merges what is pending.
    tbs_status_t do_deliver();
    const SUM_Stream& target() const { return target_; }

private:
    SUM_Stream target_;
    SUM_View view_;
    std::vector<SUM_Activity> acts_;
    std::vector<SUM_Baseline> baselines_;
};

class SUM_Rebase : public SUM_Integration {
public:
    typedef int (*cfg_change_cb_t)(void* data, const char* text);
    typedef int (*view_reload_cb_t)(void* data, bool needed);
    typedef int (*component_cb_t)(void* data, const char* name);

    // Checks and records the rebase of the view's stream to `baselines` (none: the
    // parent's recommended baselines); `cfg_change` hears each baseline that changes,
    // `check_csets` the change-set scan.
    static tbs_status_t rebase_prepare(const SUM_View& view,
                                       const std::vector<SUM_Baseline>& baselines,
                                       cfg_change_cb_t cfg_change, cfg_change_cb_t check_csets,
                                       void* data, SUM_Rebase* out);
    static tbs_status_t restart(const SUM_View& view, int flag, SUM_Rebase* out);

    void set_view_update_cb(action_cb_t cb) { cb_.view_update = cb; }
    void set_view_reload_cb(view_reload_cb_t cb) { cb_.view_reload = cb; }
    void set_component_cb(component_cb_t cb) { cb_.component = cb; }

    tbs_status_t do_rebase();
    // The view's current activity when it is the rebase's integration activity.
    tbs_status_t integration_activity(SUM_Activity* out) const;

private:
    SUM_View view_;
};

#endif
