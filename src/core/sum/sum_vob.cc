// SUM_Vob and SUM_VobObject.
#include "core/sum/sum_vob.h"

#include "core/cmd/cmd.h"

tbs_status_t SUM_Vob::construct_from_handle(vob_t* vob, SUM_Vob* out) {
    if (!vob || !out) return TBS_ST_BAD_REQUEST;
    out->tag_ = vob->tag;
    out->replica_ = vob->uuid;
    out->family_ = vob->family_uuid;
    return TBS_ST_OK;
}

tbs_status_t SUM_Vob::construct_from_tag(const char* tag, SUM_Vob* out) {
    vob_t* vob = nullptr;
    tbs_status_t st = vob_open_by_tag(tag, &vob);
    return st == TBS_ST_OK ? construct_from_handle(vob, out) : st;
}

tbs_status_t SUM_Vob::construct_from_uuid(const tbs_uuid_t& replica, SUM_Vob* out) {
    vob_t* vob = nullptr;
    tbs_status_t st = vob_open_by_uuid(replica, &vob);
    return st == TBS_ST_OK ? construct_from_handle(vob, out) : st;
}

tbs_status_t SUM_Vob::handle(vob_t** vob) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    return vob_open_by_uuid(replica_, vob);
}

tbs_status_t SUM_Vob::tag(SUM_String* tag) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    *tag = SUM_String(tag_);
    return TBS_ST_OK;
}

tbs_status_t SUM_Vob::replica_uuid(SUM_Uuid* uuid) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    *uuid = SUM_Uuid(replica_);
    return TBS_ST_OK;
}

tbs_status_t SUM_Vob::family_uuid(SUM_Uuid* uuid) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    *uuid = SUM_Uuid(family_);
    return TBS_ST_OK;
}

tbs_status_t SUM_Vob::generation(int64_t* gen) const {
    vob_t* vob = nullptr;
    tbs_status_t st = handle(&vob);
    return st == TBS_ST_OK ? vob_ob_get_gen_num(vob, gen) : st;
}

tbs_status_t SUM_Vob::selector(vob_vobsel_kind_t kind, SUM_String* sel) const {
    vob_t* vob = nullptr;
    tbs_status_t st = handle(&vob);
    if (st == TBS_ST_OK) *sel = SUM_String(vob_selector(vob, kind));
    return st;
}

tbs_status_t SUM_VobObject::construct_from_dbid(const SUM_Vob& vob, vob_dbid_t dbid,
                                                SUM_VobObject* out) {
    if (!out) return TBS_ST_BAD_REQUEST;
    vob_t* handle = nullptr;
    tbs_status_t st = vob.handle(&handle);
    if (st != TBS_ST_OK) return st;
    vob_obj_info_t info;
    if ((st = vob_obj_get_info(handle, dbid, &info)) != TBS_ST_OK) return st;
    out->vob_ = vob;
    out->dbid_ = dbid;
    out->oid_ = info.oid;
    out->mtype_ = info.mtype;
    return TBS_ST_OK;
}

tbs_status_t SUM_VobObject::construct_from_selector(const char* text, const vob_view_ctx_t* view,
                                                    SUM_VobObject* out) {
    vob_resolved_t r;
    tbs_status_t st = cmd_resolve_obj_long(text, view, 0, &r);
    if (st != TBS_ST_OK) return st;
    SUM_Vob vob;
    if ((st = SUM_Vob::construct_from_handle(r.vob, &vob)) != TBS_ST_OK) return st;
    return construct_from_dbid(vob, r.dbid, out);
}

tbs_status_t SUM_VobObject::dbid(vob_dbid_t* dbid) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    *dbid = dbid_;
    return TBS_ST_OK;
}

tbs_status_t SUM_VobObject::oid(SUM_Oid* oid) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    *oid = SUM_Oid(oid_);
    return TBS_ST_OK;
}

tbs_status_t SUM_VobObject::mtype(int* mtype) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    *mtype = mtype_;
    return TBS_ST_OK;
}

tbs_status_t SUM_VobObject::selector(SUM_String* sel) const {
    vob_t* vob = nullptr;
    tbs_status_t st = vob_.handle(&vob);
    if (st != TBS_ST_OK) return st;
    char buf[1024];
    if ((st = vob_obj_get_selector(vob, dbid_, buf, sizeof buf)) == TBS_ST_OK)
        *sel = SUM_String(buf);
    return st;
}

tbs_status_t SUM_VobObject::stable_selector(SUM_String* sel) const {
    vob_t* vob = nullptr;
    tbs_status_t st = vob_.handle(&vob);
    if (st != TBS_ST_OK) return st;
    char oid[TBS_UUID_STR_SIZE], buf[1024];
    tbs_uuid_to_str(oid_, oid);
    const std::string family = vob_selector(vob, VOB_VOBSEL_FAMILY);
    if ((st = vob_utl_create_objsel("oid", oid, family.c_str(), buf, sizeof buf)) == TBS_ST_OK)
        *sel = SUM_String(buf);
    return st;
}

tbs_status_t SUM_VobObject::description(SUM_String* text) const {
    vob_t* vob = nullptr;
    tbs_status_t st = vob_.handle(&vob);
    if (st != TBS_ST_OK) return st;
    std::string d;
    if ((st = vob_obj_get_description(vob, dbid_, &d)) == TBS_ST_OK) *text = SUM_String(d);
    return st;
}

tbs_status_t SUM_VobObject::set_description(const char* text, const vob_view_ctx_t* view) const {
    if (is_null() || !text) return TBS_ST_BAD_REQUEST;
    vob_t* vob = nullptr;
    tbs_status_t st = vob_.handle(&vob);
    if (st != TBS_ST_OK) return st;
    cmd_chevent_args_t a;
    a.vob = vob;
    a.dbid = dbid_;
    a.comment = text;
    a.view = view;
    return cmd_chevent(&a);
}
