// SUM_View: a registered view as the object layer hands it out.
//
// A SUM_View is a small value the caller owns and may copy: it names one view and keeps
// what does not change while the view exists (tag, UUID, kind, root). The constructors
// fill a caller's object and leave it as it was when they fail:
//
//   SUM_View view;
//   tbs_status_t st = SUM_View::construct_from_uuid(uuid, &view);
//
// A default-constructed object is the null view; every accessor of the null view fails
// with TBS_ST_BAD_REQUEST. `handle()` looks the view up again on each call, so a view
// removed since construction answers TBS_ST_NOT_FOUND instead of a stale handle.
//
// A dynamic view's `view_root()` is its mount point ("<product>/view/<tag>"), which exists
// while the view is started; `start()` starts it and `end()` stops it. Where dynamic views
// cannot be served (see view_vtfs_available) the root is still given and all three fail
// with TBS_ST_NO_VTFS.
#ifndef CORE_SUM_SUM_VIEW_H
#define CORE_SUM_SUM_VIEW_H

#include <string>

#include "core/sum/sum_string.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"

class SUM_View {
public:
    SUM_View() = default;

    static tbs_status_t construct_from_uuid(const tbs_uuid_t& uuid, SUM_View* out);
    // The view whose root is `path`, or holds it.
    static tbs_status_t construct_from_view_root(const char* path, SUM_View* out);
    static tbs_status_t construct_from_tag(const char* tag, SUM_View* out);

    bool is_null() const { return tag_.empty(); }

    tbs_status_t view_root(SUM_String* root) const;
    // The view's open handle, owned by the core's view cache.
    tbs_status_t handle(view_t** view) const;
    tbs_status_t tag(SUM_String* tag) const;
    tbs_status_t uuid(SUM_Uuid* uuid) const;

    tbs_status_t is_sum_view(bool* yes) const;
    tbs_status_t is_web_view(bool* yes) const;
    tbs_status_t is_snapshot_view(bool* yes) const;
    tbs_status_t is_automatic_view(bool* yes) const;

    // Makes the view ready for use: nothing to do for a web, snapshot or automatic view.
    tbs_status_t start() const;
    tbs_status_t end() const;

private:
    static tbs_status_t from(view_t* view, SUM_View* out);
    tbs_status_t kind_is(int kind, bool* yes) const;

    std::string tag_;
    tbs_uuid_t uuid_{};
    std::string root_;
    int kind_ = VIEW_KIND_DYNAMIC;
    bool sum_view_ = false;
};

#endif
