// SUM_Folder, SUM_Component, SUM_Project, SUM_Stream, SUM_Activity, SUM_Baseline: the
// change-management objects of a project VOB as the object layer hands them out.
//
// Like SUM_Vob and SUM_View they are small values the caller owns and may copy; the
// constructors fill a caller's object and leave it unchanged when they fail, and every
// accessor of a null object fails with TBS_ST_BAD_REQUEST. A constructor from a selector
// wants one kind: "activity:fix@/vobs/pvob" given to SUM_Stream fails with
// TBS_ST_BAD_SELECTOR, a name that is not there with TBS_ST_NAME_NOT_FOUND. Each accessor
// reads the project VOB again, so what it answers is current.
#ifndef CORE_SUM_SUM_XCM_H
#define CORE_SUM_SUM_XCM_H

#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/sum/sum_string.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_vob.h"
#include "core/vob/xcm.h"

class SUM_Stream;
class SUM_Activity;
class SUM_Baseline;
class SUM_Component;
class SUM_Project;

// What every object of the model answers.
class SUM_XcmObject {
public:
    bool is_null() const { return dbid_ == 0; }
    const SUM_Vob& pvob() const { return pvob_; }
    vob_dbid_t dbid() const { return dbid_; }
    int mtype() const { return mtype_; }

    tbs_status_t oid(SUM_Oid* oid) const;
    // The project VOB's replica, which with the dbid names the object.
    tbs_status_t replica_uuid(SUM_Uuid* uuid) const;
    tbs_status_t name(SUM_String* name) const;
    // "stream:dev@vob:/vobs/pvob".
    tbs_status_t selector(SUM_String* sel) const;
    // Owner, group, creation time.
    tbs_status_t info(xcm_obj_t* out) const;
    tbs_status_t description(SUM_String* text) const;
    tbs_status_t set_description(const char* text) const;
    tbs_status_t lock_info(vob_lock_info_t* out) const;

    // Any object of the model from its selector (a folder, project, stream ...).
    static tbs_status_t construct_from_selector(const char* text, SUM_XcmObject* out);

protected:
    static tbs_status_t make(const char* text, int mtype, SUM_XcmObject* out);
    static tbs_status_t make(const SUM_Vob& pvob, vob_dbid_t dbid, int mtype, SUM_XcmObject* out);
    tbs_status_t open(vob_t** pvob) const;

    SUM_Vob pvob_;
    vob_dbid_t dbid_ = 0;
    int mtype_ = 0;
};

// Declares the constructors each kind shares.
#define SUM_XCM_CONSTRUCTORS(Class)                                                             \
    static tbs_status_t construct_from_selector(const char* text, Class* out) {                 \
        return make(text, kind(), out);                                                         \
    }                                                                                           \
    static tbs_status_t construct_from_dbid(const SUM_Vob& pvob, vob_dbid_t dbid, Class* out) { \
        return make(pvob, dbid, kind(), out);                                                   \
    }

class SUM_Folder : public SUM_XcmObject {
public:
    static int kind() { return VOB_MTYPE_FOLDER; }
    SUM_XCM_CONSTRUCTORS(SUM_Folder)
    static tbs_status_t root_folder(const SUM_Vob& pvob, SUM_Folder* out);
    // Makes a folder in `parent`.
    static tbs_status_t create(const SUM_Folder& parent, const char* name, const char* comment,
                               SUM_Folder* out);
    tbs_status_t parent(SUM_Folder* out) const;  // the null folder for the root
    // Sub-folders, then projects, by name.
    tbs_status_t contents(std::vector<SUM_XcmObject>* out) const;
};

class SUM_Component : public SUM_XcmObject {
public:
    static int kind() { return VOB_MTYPE_COMPONENT; }
    SUM_XCM_CONSTRUCTORS(SUM_Component)
    tbs_status_t root_pname(SUM_String* pname) const;
    tbs_status_t root_vob(SUM_Vob* vob) const;
    tbs_status_t initial_baseline(SUM_Baseline* out) const;
};

class SUM_Project : public SUM_XcmObject {
public:
    static int kind() { return VOB_MTYPE_PROJECT; }
    SUM_XCM_CONSTRUCTORS(SUM_Project)
    static tbs_status_t create(const SUM_Folder& folder, const char* name,
                               const std::vector<SUM_Component>& components, const char* comment,
                               SUM_Project* out);
    tbs_status_t folder(SUM_Folder* out) const;
    // The null stream when the project has none yet.
    tbs_status_t integration_stream(SUM_Stream* out) const;
    tbs_status_t streams(std::vector<SUM_Stream>* out) const;
    tbs_status_t components(std::vector<SUM_Component>* out) const;
    tbs_status_t policies(int* bits) const;  // XCM_POLICY_*
    tbs_status_t is_obsolete(bool* yes) const;
    // A project whose only stream is its integration stream.
    tbs_status_t is_single_stream(bool* yes) const;
    tbs_status_t baseline_naming_template(SUM_String* tokens) const;
    // The change-request database; empty names for a project that is not enabled.
    tbs_status_t tn_database(SUM_String* userdb, SUM_String* dbset) const;
    // "NOT_ENABLED" (no database named), "ACTIVE" (the site's change-request provider has
    // it) or "SUSPENDED" (named, but not there).
    tbs_status_t tn_enabled_status(SUM_String* status) const;
};

class SUM_Stream : public SUM_XcmObject {
public:
    static int kind() { return VOB_MTYPE_STREAM; }
    SUM_XCM_CONSTRUCTORS(SUM_Stream)
    // Makes a development stream of `project` (from `parent`, or the integration stream
    // when it is null) or, with `integration`, the project's integration stream.
    static tbs_status_t create(const SUM_Project& project, const char* name, bool integration,
                               const SUM_Stream& parent,
                               const std::vector<SUM_Baseline>& foundation, bool read_only,
                               const char* comment, SUM_Stream* out);
    tbs_status_t info(xcm_stream_info_t* out) const;
    tbs_status_t project(SUM_Project* out) const;
    tbs_status_t is_integration(bool* yes) const;
    tbs_status_t is_read_only(bool* yes) const;
    // The stream a deliver goes to by default: the default target, else the parent (the
    // null stream for an integration stream without a target).
    tbs_status_t deliver_stream(SUM_Stream* out) const;
    tbs_status_t set_deliver_stream(const SUM_Stream& target) const;
    tbs_status_t activities(std::vector<SUM_Activity>* out) const;
    // Activities with versions not yet in `target`, and whether each has checkouts.
    tbs_status_t undelivered_activities(const SUM_Stream& target, std::vector<SUM_Activity>* out,
                                        std::vector<bool>* has_checkouts) const;
    tbs_status_t foundation_baselines(std::vector<SUM_Baseline>* out) const;
    tbs_status_t recommended_baselines(std::vector<SUM_Baseline>* out) const;
    tbs_status_t set_recommended_baselines(const std::vector<SUM_Baseline>& baselines) const;
    // Baselines made in the stream, oldest first; the latest of each component.
    tbs_status_t baselines(std::vector<SUM_Baseline>* out) const;
    tbs_status_t latest_baselines(std::vector<SUM_Baseline>* out) const;
    // The views attached to the stream (every view, or those `owner` owns when given).
    tbs_status_t views(std::vector<SUM_View>* out, const char* owner = nullptr) const;
    tbs_status_t config_spec(SUM_String* text) const;
    // A deliver from this stream, or into it, in progress; a rebase of it in progress.
    tbs_status_t deliver_in_progress(bool* yes, xcm_op_t* op = nullptr) const;
    tbs_status_t deliver_into_in_progress(bool* yes, xcm_op_t* op = nullptr) const;
    tbs_status_t rebase_in_progress(bool* yes, xcm_op_t* op = nullptr) const;
};

class SUM_Activity : public SUM_XcmObject {
public:
    static int kind() { return VOB_MTYPE_ACTIVITY; }
    SUM_XCM_CONSTRUCTORS(SUM_Activity)
    // Makes an activity in `stream` ("" name: one is made up).
    static tbs_status_t create(const SUM_Stream& stream, const char* name, const char* headline,
                               const char* comment, SUM_Activity* out);
    tbs_status_t info(xcm_activity_info_t* out) const;
    tbs_status_t headline(SUM_String* text) const;
    tbs_status_t set_headline(const char* text) const;
    tbs_status_t rename(const char* name) const;
    tbs_status_t stream(SUM_Stream* out) const;
    tbs_status_t is_integration(bool* yes) const;
    // Its versions (checked-out ones too) with their element pathnames.
    tbs_status_t change_set(std::vector<cmd_cs_entry_t>* out) const;
    tbs_status_t has_checkouts(bool* yes) const;
};

class SUM_Baseline : public SUM_XcmObject {
public:
    static int kind() { return VOB_MTYPE_BASELINE; }
    SUM_XCM_CONSTRUCTORS(SUM_Baseline)
    // Baselines of `stream` (see cmd_mkbl), recommended when asked.
    static tbs_status_t create(const SUM_Stream& stream, const char* basename, bool full,
                               bool recommend, std::vector<SUM_Baseline>* out);
    tbs_status_t info(xcm_baseline_info_t* out) const;
    tbs_status_t component(SUM_Component* out) const;
    // The stream it was made in (null for a component's initial baseline).
    tbs_status_t stream(SUM_Stream* out) const;
    tbs_status_t is_full(bool* yes) const;
    tbs_status_t promotion_level(SUM_String* level) const;
    tbs_status_t set_promotion_level(const char* level) const;
    // Whether the streams of its project recommend it.
    tbs_status_t is_recommended(bool* yes) const;
    // The streams that have it as a foundation.
    tbs_status_t foundation_of(std::vector<SUM_Stream>* out) const;
    // Its member baselines (a composite has some; see xcm.h).
    tbs_status_t members(std::vector<SUM_Baseline>* out) const;
    tbs_status_t is_composite(bool* yes) const;
};

// The stream a view is attached to and its current activity.
tbs_status_t SUM_view_stream(const SUM_View& view, SUM_Stream* out);
tbs_status_t SUM_view_current_activity(const SUM_View& view, SUM_Activity* out);
// The null activity clears it.
tbs_status_t SUM_view_set_current_activity(const SUM_View& view, const SUM_Activity& activity);
// Makes a view attached to a stream (its config spec is the stream's).
tbs_status_t SUM_view_create_for_stream(const SUM_Stream& stream, const char* tag,
                                        const char* storage, const char* kind, SUM_View* out);

// The project VOBs of the site, by tag.
tbs_status_t SUM_project_vobs(std::vector<SUM_Vob>* out);

#endif
