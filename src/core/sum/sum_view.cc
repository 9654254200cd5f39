// SUM_View: lookups by UUID, root and tag, and the facts of the view they find.
#include "core/sum/sum_view.h"

tbs_status_t SUM_View::from(view_t* view, SUM_View* out) {
    out->tag_ = view->tag;
    out->uuid_ = view->uuid;
    out->root_ = view->root;
    out->kind_ = view->kind;
    out->sum_view_ = view->sum_view;
    return TBS_ST_OK;
}

tbs_status_t SUM_View::construct_from_uuid(const tbs_uuid_t& uuid, SUM_View* out) {
    if (!out || tbs_uuid_is_null(uuid)) return TBS_ST_BAD_REQUEST;
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_uuid(uuid, &view);
    return st == TBS_ST_OK ? from(view, out) : st;
}

tbs_status_t SUM_View::construct_from_view_root(const char* path, SUM_View* out) {
    if (!out || !path || path[0] != '/') return TBS_ST_BAD_REQUEST;
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_root(path, &view);
    return st == TBS_ST_OK ? from(view, out) : st;
}

tbs_status_t SUM_View::construct_from_tag(const char* tag, SUM_View* out) {
    if (!out || !tag || !tag[0]) return TBS_ST_BAD_REQUEST;
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_tag(tag, &view);
    return st == TBS_ST_OK ? from(view, out) : st;
}

tbs_status_t SUM_View::view_root(SUM_String* root) const {
    if (is_null() || !root) return TBS_ST_BAD_REQUEST;
    *root = SUM_String(root_);
    return kind_ == VIEW_KIND_DYNAMIC && !view_vtfs_available(nullptr)
               ? static_cast<tbs_status_t>(TBS_ST_NO_VTFS)
               : TBS_ST_OK;
}

tbs_status_t SUM_View::handle(view_t** view) const {
    if (is_null() || !view) return TBS_ST_BAD_REQUEST;
    return view_open_by_uuid(uuid_, view);
}

tbs_status_t SUM_View::tag(SUM_String* tag) const {
    if (is_null() || !tag) return TBS_ST_BAD_REQUEST;
    *tag = SUM_String(tag_);
    return TBS_ST_OK;
}

tbs_status_t SUM_View::uuid(SUM_Uuid* uuid) const {
    if (is_null() || !uuid) return TBS_ST_BAD_REQUEST;
    *uuid = SUM_Uuid(uuid_);
    return TBS_ST_OK;
}

tbs_status_t SUM_View::is_sum_view(bool* yes) const {
    if (is_null() || !yes) return TBS_ST_BAD_REQUEST;
    *yes = sum_view_;
    return TBS_ST_OK;
}

tbs_status_t SUM_View::kind_is(int kind, bool* yes) const {
    if (is_null() || !yes) return TBS_ST_BAD_REQUEST;
    *yes = kind_ == kind;
    return TBS_ST_OK;
}

tbs_status_t SUM_View::is_web_view(bool* yes) const {
    return kind_is(VIEW_KIND_WEB, yes);
}

tbs_status_t SUM_View::is_snapshot_view(bool* yes) const {
    return kind_is(VIEW_KIND_SNAPSHOT, yes);
}

tbs_status_t SUM_View::is_automatic_view(bool* yes) const {
    return kind_is(VIEW_KIND_AUTOMATIC, yes);
}

tbs_status_t SUM_View::start() const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    return kind_ == VIEW_KIND_DYNAMIC ? view_start_dynamic(tag_.c_str()) : TBS_ST_OK;
}

tbs_status_t SUM_View::end() const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    if (kind_ != VIEW_KIND_DYNAMIC) return TBS_ST_OK;
    return view_vtfs_available(nullptr) ? view_end_dynamic(tag_.c_str())
                                        : static_cast<tbs_status_t>(TBS_ST_NO_VTFS);
}
