// The change-management rows of a VOB's database (schema in vob_store.cc): the model's
// objects and relations in a project VOB, and the activity of each version in every VOB.
// Writers assert their transaction; the object rows of `objects` are made by the caller.
#ifndef CORE_VOB_XCM_STORE_H
#define CORE_VOB_XCM_STORE_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/vob/xcm.h"

class store_db;

tbs_status_t xcm_store_new_obj(store_db& db, int64_t dbid, int mtype, const std::string& name);
tbs_status_t xcm_store_rename(store_db& db, int64_t dbid, const std::string& name);
tbs_status_t xcm_store_find(store_db& db, int mtype, const std::string& name, int64_t* dbid);
// The common part (name and kind; the object facts come from `objects`).
tbs_status_t xcm_store_get_obj(store_db& db, int64_t dbid, xcm_obj_t* out);
tbs_status_t xcm_store_list(store_db& db, int mtype, std::vector<xcm_obj_t>* out);

tbs_status_t xcm_store_put_folder(store_db& db, const xcm_folder_info_t& f);
tbs_status_t xcm_store_get_folder(store_db& db, int64_t dbid, xcm_folder_info_t* out);
tbs_status_t xcm_store_folder_children(store_db& db, int64_t folder, std::vector<xcm_obj_t>* out);

tbs_status_t xcm_store_put_component(store_db& db, const xcm_component_info_t& c);
tbs_status_t xcm_store_get_component(store_db& db, int64_t dbid, xcm_component_info_t* out);

// Insert or update.
tbs_status_t xcm_store_put_project(store_db& db, const xcm_project_info_t& p);
tbs_status_t xcm_store_get_project(store_db& db, int64_t dbid, xcm_project_info_t* out);
tbs_status_t xcm_store_add_project_component(store_db& db, int64_t project, int64_t component);
tbs_status_t xcm_store_project_components(store_db& db, int64_t project, std::vector<int64_t>* out);
tbs_status_t xcm_store_project_streams(store_db& db, int64_t project, std::vector<int64_t>* out);

tbs_status_t xcm_store_put_stream(store_db& db, const xcm_stream_info_t& s);
tbs_status_t xcm_store_get_stream(store_db& db, int64_t dbid, xcm_stream_info_t* out);
tbs_status_t xcm_store_bump_stream(store_db& db, int64_t stream);
tbs_status_t xcm_store_set_stream_baselines(store_db& db, int64_t stream, int kind,
                                            const std::vector<int64_t>& baselines);
tbs_status_t xcm_store_stream_baselines(store_db& db, int64_t stream, int kind,
                                        std::vector<int64_t>* out);
tbs_status_t xcm_store_baseline_streams(store_db& db, int64_t baseline, std::vector<int64_t>* out);
tbs_status_t xcm_store_stream_made_baselines(store_db& db, int64_t stream,
                                             std::vector<int64_t>* out);

tbs_status_t xcm_store_put_activity(store_db& db, const xcm_activity_info_t& a);
tbs_status_t xcm_store_get_activity(store_db& db, int64_t dbid, xcm_activity_info_t* out);
// The task URIs an activity is bound to, by URI; adding one held or removing one not held
// changes nothing.
tbs_status_t xcm_store_activity_tasks(store_db& db, int64_t activity,
                                      std::vector<std::string>* out);
tbs_status_t xcm_store_add_activity_task(store_db& db, int64_t activity, const std::string& uri);
tbs_status_t xcm_store_remove_activity_task(store_db& db, int64_t activity, const std::string& uri);
// The record an activity is bound to (TBS_ST_NOT_FOUND when none); the activity of the
// project VOB bound to a record. Setting an empty record id unbinds.
tbs_status_t xcm_store_activity_record(store_db& db, int64_t activity, xcm_record_ref_t* out);
tbs_status_t xcm_store_record_activity(store_db& db, const xcm_record_ref_t& rec,
                                       int64_t* activity);
tbs_status_t xcm_store_set_activity_record(store_db& db, int64_t activity,
                                           const xcm_record_ref_t& rec);
tbs_status_t xcm_store_stream_activities(store_db& db, int64_t stream, std::vector<int64_t>* out);

tbs_status_t xcm_store_put_baseline(store_db& db, const xcm_baseline_info_t& b);
tbs_status_t xcm_store_get_baseline(store_db& db, int64_t dbid, xcm_baseline_info_t* out);

// Composite baselines: the direct members of a baseline and the baselines naming one as a
// member, by dbid. Adding a member held or removing one not held changes nothing.
tbs_status_t xcm_store_baseline_members(store_db& db, int64_t baseline, std::vector<int64_t>* out);
tbs_status_t xcm_store_baseline_composites(store_db& db, int64_t member, std::vector<int64_t>* out);
tbs_status_t xcm_store_add_baseline_member(store_db& db, int64_t baseline, int64_t member);
tbs_status_t xcm_store_remove_baseline_member(store_db& db, int64_t baseline, int64_t member);
// The closure of `roots` by the rule of xcm_baseline_closure (xcm.h); the first two
// baselines of one component met at the same depth go to `clash` (zeros when none).
tbs_status_t xcm_store_closure(store_db& db, const std::vector<int64_t>& roots,
                               std::vector<int64_t>* out, std::pair<int64_t, int64_t>* clash);

// Change sets, in the VOB holding the versions.
tbs_status_t xcm_store_add_change(store_db& db, int64_t version, int64_t element,
                                  const std::string& pvob, const std::string& activity);
tbs_status_t xcm_store_move_change(store_db& db, int64_t version, const std::string& pvob,
                                   const std::string& activity);
tbs_status_t xcm_store_get_change(store_db& db, int64_t version, std::string* pvob,
                                  std::string* activity);
// (element, version) pairs of an activity, by element and version.
tbs_status_t xcm_store_activity_changes(store_db& db, const std::string& activity,
                                        std::vector<std::pair<int64_t, int64_t>>* out);

// Operations. `xcm_store_new_op` fails with TBS_ST_EXISTS when the stream has one, or when
// a deliver into its target runs.
tbs_status_t xcm_store_new_op(store_db& db, const xcm_op_t& op);
tbs_status_t xcm_store_update_op(store_db& db, const xcm_op_t& op);
tbs_status_t xcm_store_get_op(store_db& db, int64_t stream, xcm_op_t* out);
tbs_status_t xcm_store_find_op_busy(store_db& db, int64_t busy, xcm_op_t* out);
tbs_status_t xcm_store_delete_op(store_db& db, int64_t stream);
tbs_status_t xcm_store_put_item(store_db& db, int64_t stream, const xcm_op_item_t& item);
tbs_status_t xcm_store_items(store_db& db, int64_t stream, std::vector<xcm_op_item_t>* out);

#endif
