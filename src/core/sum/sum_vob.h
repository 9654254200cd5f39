// SUM_Vob and SUM_VobObject: a VOB and one object stored in it, as the object layer hands
// them out.
//
// Both are small values the caller owns and may copy; the constructors fill a caller's
// object and leave it unchanged when they fail. A default object is null and every
// accessor of a null object fails with TBS_ST_BAD_REQUEST. The VOB handle behind them
// belongs to the core's VOB cache: `handle()` opens it again by replica UUID on each call,
// so a VOB removed since construction answers an error instead of a stale handle.
#ifndef CORE_SUM_SUM_VOB_H
#define CORE_SUM_SUM_VOB_H

#include <string>

#include "core/sum/sum_string.h"
#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

class SUM_Vob {
public:
    SUM_Vob() = default;

    static tbs_status_t construct_from_tag(const char* tag, SUM_Vob* out);
    // By the replica's UUID.
    static tbs_status_t construct_from_uuid(const tbs_uuid_t& replica, SUM_Vob* out);
    static tbs_status_t construct_from_handle(vob_t* vob, SUM_Vob* out);

    bool is_null() const { return tag_.empty(); }
    tbs_status_t handle(vob_t** vob) const;
    tbs_status_t tag(SUM_String* tag) const;
    tbs_status_t replica_uuid(SUM_Uuid* uuid) const;
    tbs_status_t family_uuid(SUM_Uuid* uuid) const;
    tbs_status_t generation(int64_t* gen) const;
    // "vob:<tag>", "vobuuid:<family>" or "replica_uuid:<replica>".
    tbs_status_t selector(vob_vobsel_kind_t kind, SUM_String* sel) const;

private:
    std::string tag_;
    tbs_uuid_t replica_{};
    tbs_uuid_t family_{};
};

class SUM_VobObject {
public:
    SUM_VobObject() = default;

    // From a pathname (in `view`, null for the null view) or any object selector.
    static tbs_status_t construct_from_selector(const char* text, const vob_view_ctx_t* view,
                                                SUM_VobObject* out);
    static tbs_status_t construct_from_dbid(const SUM_Vob& vob, vob_dbid_t dbid,
                                            SUM_VobObject* out);

    bool is_null() const { return vob_.is_null(); }
    const SUM_Vob& vob() const { return vob_; }
    tbs_status_t dbid(vob_dbid_t* dbid) const;
    tbs_status_t oid(SUM_Oid* oid) const;
    tbs_status_t mtype(int* mtype) const;
    // The readable selector ("/vobs/p/a.c@@/main/3", "lbtype:REL1@vob:/vobs/p").
    tbs_status_t selector(SUM_String* sel) const;
    // The stable selector, "oid:<oid>@vobuuid:<family>".
    tbs_status_t stable_selector(SUM_String* sel) const;
    // The object's description: a version's comment, or the comment of the event that
    // made any other object.
    tbs_status_t description(SUM_String* text) const;
    tbs_status_t set_description(const char* text, const vob_view_ctx_t* view) const;

private:
    SUM_Vob vob_;
    vob_dbid_t dbid_ = 0;
    tbs_oid_t oid_{};
    int mtype_ = 0;
};

#endif
