// The change-record resources, and the readers and writer of activities and projects that
// answer with them.
#include "xmlproto/resource/tn_resources.h"

#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/vd_vob_resources.h"

namespace {

constexpr size_t kMaxName = 255;

// An id or type name: 1 to 255 characters, none of them a control character.
bool good_part(const std::string& s) {
    if (s.empty() || s.size() > kMaxName) return false;
    for (unsigned char c : s)
        if (c < 32 || c == 127) return false;
    return true;
}

// "<userdb>@<dbset>", or with `first` "<first>@<userdb>@<dbset>", split at the last "@"s.
bool split_name(const std::string& body, std::string* first, std::string* db, std::string* set) {
    const size_t at_set = body.rfind('@');
    if (at_set == std::string::npos || at_set == 0) return false;
    *set = body.substr(at_set + 1);
    std::string rest = body.substr(0, at_set);
    if (first) {
        const size_t at_db = rest.rfind('@');
        if (at_db == std::string::npos) return false;
        *first = rest.substr(0, at_db);
        rest = rest.substr(at_db + 1);
        if (!good_part(*first)) return false;
    }
    *db = rest;
    return good_part(*db) && good_part(*set) && db->find('@') == std::string::npos;
}

std::string scoped(LocationPrefix prefix, const std::string& first, const std::string& db,
                   const std::string& set) {
    return std::string(VdLocation::prefix_text(prefix)) + (first.empty() ? "" : first + "@") + db +
           "@" + set;
}

// A login to a user database: the credentials manager's, asked for as the core needs it.
int open_session(const std::string& db, const std::string& set, CTide_Session* session) {
    CTide_Credentials given;
    given.user_db = db;
    given.db_set = set;
    return CTide_Session::open(given, session);
}

int record_types(const std::string& db, const std::string& set, std::vector<std::string>* out) {
    CTide_Session session;
    int st = open_session(db, set, &session);
    return st ? st : session.record_types(out);
}

// The record's side of its binding: the activity bound to it, when there is one.
int bound_activity(const TnRecord& rec, vob_t** pvob, vob_dbid_t* activity, bool* bound) {
    const CTide_Record* r = nullptr;
    int st = rec.load(&r);
    if (st) return st;
    *bound = xcm_record_activity(r->bound_activity, {rec.user_db(), rec.db_set(), rec.id()}, pvob,
                                 activity) == TBS_ST_OK;
    return 0;
}

const TnRecord& R(const VdResource& r) {
    return static_cast<const TnRecord&>(r);
}
int p_rec_bound_activity(const VdResource& self, VdNestedPropResponse& r) {
    vob_t* pvob = nullptr;
    vob_dbid_t act = 0;
    bool bound = false;
    int st = bound_activity(R(self), &pvob, &act, &bound);
    if (st || !bound) return st ? st : r.marshal_null_value();
    return r.marshal_resource(VdActivity(pvob, act, VOB_MTYPE_ACTIVITY));
}
int p_rec_bound_record(const VdResource& self, VdNestedPropResponse& r) {
    vob_t* pvob = nullptr;
    vob_dbid_t act = 0;
    bool bound = false;
    int st = bound_activity(R(self), &pvob, &act, &bound);
    if (st || !bound) return st ? st : r.marshal_null_value();
    return r.marshal_resource(self);
}
int p_rec_state(const VdResource& self, VdNestedPropResponse& r) {
    vob_t* pvob = nullptr;
    vob_dbid_t act = 0;
    bool bound = false;
    int st = bound_activity(R(self), &pvob, &act, &bound);
    return st ? st
              : r.marshal_enum(bound ? "TnXcmIntegrationState:BOUND_VD_ACTIVITY_TN_RECORD_PAIR"
                                     : "TnXcmIntegrationState:UNBOUND_TN_RECORD");
}
int p_rec_headline(const VdResource& self, VdNestedPropResponse& r) {
    const CTide_Record* rec = nullptr;
    int st = R(self).load(&rec);
    return st ? st : r.marshal_string(rec->headline);
}
int p_rec_id_selector(const VdResource& self, VdNestedPropResponse& r) {
    VdLocation l;
    int st = self.get_user_friendly_location(l);
    return st ? st : r.marshal_string(l.to_native());
}
const VdPropRow kRecordProps[] = {
    vd_prop_single(VD_PROP_NS "bound-vd-activity", p_rec_bound_activity),
    vd_prop_single(VD_PROP_NS "bound-tn-record", p_rec_bound_record),
    vd_prop_single(VD_PROP_NS "tn-xcm-integration-state", p_rec_state),
    vd_prop_single(VD_PROP_NS "headline", p_rec_headline),
    vd_prop_single(VD_PROP_NS "id-selector", p_rec_id_selector),
};

const VdVobResource& V(const VdResource& r) {
    return static_cast<const VdVobResource&>(r);
}
// The activity's side of its binding (the authority): the record it is bound to.
int activity_record(const VdResource& self, xcm_record_ref_t* rec, bool* bound) {
    tbs_status_t st = xcm_activity_record(V(self).vob(), V(self).dbid(), rec);
    *bound = st == TBS_ST_OK;
    return st == TBS_ST_NOT_FOUND ? 0 : st;
}
int project_database(const VdResource& self, std::string* db, std::string* set) {
    xcm_project_info_t p;
    int st = xcm_get_project(V(self).vob(), V(self).dbid(), &p);
    if (st) return st;
    *db = p.tn_userdb;
    *set = p.tn_dbset;
    return 0;
}

}  // namespace

// Readers of the activities and projects of project VOBs (vd_vob_resources.cc) that answer
// change-request objects. An activity and its record answer the same pair; an object that
// is not bound answers null for both.

int p_act_bound_activity(const VdResource& self, VdNestedPropResponse& r) {
    xcm_record_ref_t rec;
    bool bound = false;
    int st = activity_record(self, &rec, &bound);
    if (st || !bound) return st ? st : r.marshal_null_value();
    return r.marshal_resource(self);
}

int p_act_bound_record(const VdResource& self, VdNestedPropResponse& r) {
    xcm_record_ref_t rec;
    bool bound = false;
    int st = activity_record(self, &rec, &bound);
    if (st || !bound) return st ? st : r.marshal_null_value();
    return r.marshal_resource(TnRecord(rec.id, rec.user_db, rec.db_set));
}

int p_act_tn_state(const VdResource& self, VdNestedPropResponse& r) {
    xcm_record_ref_t rec;
    bool bound = false;
    int st = activity_record(self, &rec, &bound);
    return st ? st
              : r.marshal_enum(bound ? "TnXcmIntegrationState:BOUND_VD_ACTIVITY_TN_RECORD_PAIR"
                                     : "TnXcmIntegrationState:UNBOUND_VD_ACTIVITY");
}

// ENABLED with a database the site has, SUSPENDED while it has not, NOT_ENABLED without.
int p_project_tn_state(const VdResource& self, VdNestedPropResponse& r) {
    std::string db, set;
    int st = project_database(self, &db, &set);
    if (st) return st;
    return r.marshal_enum(db.empty() ? "TarnisEnabledState:NOT_ENABLED"
                          : CTide_provider()->has_database(db, set)
                              ? "TarnisEnabledState:ENABLED"
                              : "TarnisEnabledState:SUSPENDED");
}

int p_project_user_db(const VdResource& self, VdNestedPropResponse& r) {
    std::string db, set;
    int st = project_database(self, &db, &set);
    if (st || db.empty()) return st ? st : r.marshal_null_value();
    return r.marshal_resource(TnUserDb(db, set));
}

// Every record type of the project's database may be bound to activities.
int l_project_record_types(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::string db, set;
    std::vector<std::string> types;
    int st = project_database(self, &db, &set);
    if (st || db.empty()) return st;
    if ((st = record_types(db, set, &types))) return st;
    for (const std::string& t : types)
        out.push_back([t, db, set](std::unique_ptr<VdResource>& o) {
            o.reset(new TnRecordType(t, db, set));
            return 0;
        });
    return 0;
}

// Binds an activity to the record a value names ("record:ID@DB@SET", its stable form, or the
// bare id), which must be of the project's database; null unbinds.
int tn_bind_activity(const VdVobResource& activity, const PropVal& value) {
    std::string id;
    if (!value.is_null()) {
        SUM_String text;
        if (value.get_single_value(text) != 0) return VD_ST_UNSUPPORTED;
        id = text.str();
        LocationPrefix prefix;
        SUM_String rest;
        VdLocation(text).parse_native(prefix, rest);
        if (prefix == LP_RECORD || prefix == LP_REPO_TN_RECORD) {
            xcm_activity_info_t a;
            xcm_stream_info_t s;
            xcm_project_info_t p;
            std::string db, set;
            int st = xcm_get_activity(activity.vob(), activity.dbid(), &a);
            if (!st) st = xcm_get_stream(activity.vob(), a.stream, &s);
            if (!st) st = xcm_get_project(activity.vob(), s.project, &p);
            if (st) return st;
            if (!split_name(rest.str(), &id, &db, &set) || db != p.tn_userdb || set != p.tn_dbset)
                return VD_UNSUPPORTED("not a record of the activity's project database: " +
                                      text.str());
        }
    }
    return cmd_chactivity_record(activity.selector().c_str(), id.empty() ? "" : id.c_str());
}

// TnUserDb -------------------------------------------------------------------------------------

int TnUserDb::get_display_name(SUM_String& out) const {
    out = SUM_String(user_db_);
    return 0;
}
int TnUserDb::get_efficient_location(VdLocation& out) const {
    out = VdLocation(SUM_String(scoped(LP_USERDB, "", user_db_, db_set_)));
    return 0;
}
int TnUserDb::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int TnUserDb::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}

// TnRecordType ---------------------------------------------------------------------------------

int TnRecordType::get_display_name(SUM_String& out) const {
    out = SUM_String(name_);
    return 0;
}
int TnRecordType::get_efficient_location(VdLocation& out) const {
    out = VdLocation(SUM_String(scoped(LP_TN_RECORD_TYPE, name_, user_db_, db_set_)));
    return 0;
}
int TnRecordType::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int TnRecordType::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}

// TnRecord -------------------------------------------------------------------------------------

VdPropReader* TnRecord::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kRecordProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int TnRecord::get_display_name(SUM_String& out) const {
    out = SUM_String(id_);
    return 0;
}
int TnRecord::get_efficient_location(VdLocation& out) const {
    out = VdLocation(SUM_String(scoped(LP_RECORD, id_, user_db_, db_set_)));
    return 0;
}
int TnRecord::get_stable_location(VdLocation& out) const {
    out = VdLocation(SUM_String(scoped(LP_REPO_TN_RECORD, id_, user_db_, db_set_)));
    return 0;
}
int TnRecord::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}

int TnRecord::load(const CTide_Record** out) const {
    if (!loaded_) {
        CTide_Session session;
        int st = open_session(user_db_, db_set_, &session);
        if (!st) st = session.get_record(id_, &record_);
        if (st == TBS_ST_NOT_FOUND)
            imsg_error("No change record \"%s\" in database \"%s\" of set \"%s\".\n", id_.c_str(),
                       user_db_.c_str(), db_set_.c_str());
        if (st) return st;
        loaded_ = true;
    }
    *out = &record_;
    return 0;
}

// Construction ---------------------------------------------------------------------------------

int tn_construct_from_name(const VdLocation& location, std::unique_ptr<VdResource>& out) {
    LocationPrefix prefix;
    SUM_String rest;
    location.parse_native(prefix, rest);
    std::string first, db, set;
    const bool with_first = prefix != LP_USERDB;
    switch (prefix) {
        case LP_USERDB:
        case LP_TN_RECORD_TYPE:
        case LP_RECORD:
        case LP_REPO_TN_RECORD:
            break;
        default:
            return 0;
    }
    if (!split_name(rest.str(), with_first ? &first : nullptr, &db, &set)) return 0;
    if (prefix == LP_USERDB) {
        if (!CTide_provider()->has_database(db, set)) {
            imsg_error("No change-request database \"%s\" in set \"%s\".\n", db.c_str(),
                       set.c_str());
            return TBS_ST_NOT_FOUND;
        }
        out.reset(new TnUserDb(db, set));
        return 0;
    }
    if (prefix == LP_TN_RECORD_TYPE) {
        std::vector<std::string> types;
        int st = record_types(db, set, &types);
        if (st) return st;
        for (const std::string& t : types) {
            if (t != first) continue;
            out.reset(new TnRecordType(t, db, set));
            return 0;
        }
        imsg_error("No record type \"%s\" in database \"%s\" of set \"%s\".\n", first.c_str(),
                   db.c_str(), set.c_str());
        return TBS_ST_NOT_FOUND;
    }
    std::unique_ptr<TnRecord> rec(new TnRecord(first, db, set));
    const CTide_Record* r = nullptr;
    int st = rec->load(&r);
    if (st) return st;
    out = std::move(rec);
    return 0;
}
