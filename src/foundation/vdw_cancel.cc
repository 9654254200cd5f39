// Cancellation marker files.
#include "foundation/vdw_cancel.h"

#include <cstdio>

#include "core/util/fileutl.h"
#include "foundation/vdw_trace.h"

namespace {
const char* const kClass = "VDW_Cancel";
}

VDW_Cancel::VDW_Cancel() : session_id_(-1) {
    cancel_filename_[0] = '\0';
}

VDW_Cancel::VDW_Cancel(long session_id) : session_id_(session_id) {
    build_name();
}

void VDW_Cancel::build_name() {
    cancel_filename_[0] = '\0';
    if (session_id_ < 0) return;
    int n = snprintf(cancel_filename_, sizeof cancel_filename_, "%s%s%s_%ld", fileutl_get_tmpdir(),
                     "/", "qlmx_cancel", session_id_);
    // A temporary directory too long for the name leaves a null channel, never a
    // truncated name that another session could share.
    if (n < 0 || n >= FILENAME_SIZE) cancel_filename_[0] = '\0';
}

void VDW_Cancel::set_sessionid(long session_id) {
    session_id_ = session_id;
    build_name();
}

const char* VDW_Cancel::get_cancel_filename() {
    build_name();
    return cancel_filename_;
}

bool VDW_Cancel::is_null() const {
    return cancel_filename_[0] == '\0' || session_id_ < 0;
}

void VDW_Cancel::signal_cancel() {
    if (is_null() || fileutl_exists(cancel_filename_)) return;
    FILE* f = fopen(cancel_filename_, "w+");
    if (!f) return;
    fclose(f);
    VDW_Trace trace(QLMX_COMPONENT, kClass, "signal_cancel");
    if (trace.shouldTrace(1)) trace.writeTrace("Created file %s", cancel_filename_);
}

bool VDW_Cancel::is_cancelled() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "is_cancelled");
    if (is_null()) {
        if (trace.shouldTrace(2)) trace.writeTrace("Cancel file does not exist.");
        return false;
    }
    if (trace.shouldTrace(2)) trace.writeTrace("File to check is %s", cancel_filename_);
    bool found = fileutl_exists(cancel_filename_);
    if (trace.shouldTrace(2))
        trace.writeTrace(found ? "%s found" : "%s not found", cancel_filename_);
    return found;
}

void VDW_Cancel::cleanup_cancel() {
    if (is_null() || !fileutl_exists(cancel_filename_)) return;
    VDW_Trace trace(QLMX_COMPONENT, kClass, "cleanup_cancel");
    if (trace.shouldTrace(1)) trace.writeTrace("Removing %s", cancel_filename_);
    fileutl_rm(cancel_filename_);
}
