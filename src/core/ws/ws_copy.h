// A snapshot view's copy of a file, known again. When the engine writes a copy, or a checkin
// from the view takes one, the record of the copy gets a stamp (view_copy_stamp_t: size,
// modification and change times in nanoseconds, inode, and when the stamp was taken). Later
// the copy is taken as still holding its record's version only when the stamp vouches for
// it: every field matches and the copy's times are safely older than the stamp, so that a
// write in the same clock tick cannot pass for no write. Where the stamp cannot decide, the
// copy's bytes are compared with the version's content.
//
// A checkout from the view makes the copy hold the version checked out (or the user's own
// edits of it), so that the checkin that follows takes only the user's bytes.
#ifndef CORE_WS_WS_COPY_H
#define CORE_WS_WS_COPY_H

#include <string>

#include "core/view/view.h"
#include "core/vob/vob.h"

enum class ws_copy_state { held, changed, missing };

// The stamp of the file at `path`, its clock read after the stat. False when there is no
// such file.
bool ws_copy_stamp(const std::string& path, view_copy_stamp_t* out);
// Whether two stamps show the same write of the same file.
bool ws_copy_same_write(const view_copy_stamp_t& a, const view_copy_stamp_t& b);
// Whether the file at `path` holds exactly a content of the pool (named by its SHA-256, ""
// when empty) of `size` bytes.
bool ws_file_has_content(const std::string& path, const std::string& content, int64_t size);
// The SHA-256 of the file at `path`, in hexadecimal; false when it cannot be read.
bool ws_file_sha(const std::string& path, std::string* hex);
// Whether the file at `path` holds the bytes of some version of `element`.
bool ws_file_holds_a_version(const std::string& path, vob_t* vob, vob_dbid_t element);
// Whether the copy at `path` still holds the bytes its record (stamped `stamp`) says: those
// of the content named `content`, of `size` bytes.
ws_copy_state ws_copy_check(const std::string& path, const view_copy_stamp_t& stamp,
                            const std::string& content, int64_t size);

// After `version` was checked in from the copy of `vob_pname` in the snapshot view `view`:
// the copy is read-only again, and its record names `version`. `before` is the copy's stamp
// taken before the checkin read it; when the copy changed since, the record's stamp vouches
// for nothing and the copy's bytes decide what it holds.
tbs_status_t ws_copy_checked_in(view_t* view, const std::string& vob_pname, vob_t* vob,
                                vob_dbid_t version, const view_copy_stamp_t& before);
// Before the copy of `vob_pname` is made writable for a checkout of `pred`: a copy that does
// not hold `pred` (nor the user's edits of it) is loaded with `pred`; one changed by hand
// from another version is first saved beside, and the name it was saved under is returned
// in `saved`.
tbs_status_t ws_copy_for_checkout(view_t* view, const std::string& vob_pname, vob_t* vob,
                                  vob_dbid_t pred, std::string* saved);

#endif
