// Meter file naming, the metering environment entry and timed regions.
#include "foundation/vdw_meter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "foundation/vdw_trace.h"

bool VDW_Meter::meteringOn = false;

namespace {

// putenv keeps the pointer: the entry must live as long as the process.
char g_options_entry[VDW_Meter::BUF_SIZE + 64];
char g_meter_file[VDW_Meter::BUF_SIZE];

}  // namespace

bool VDW_Meter::set_meter_options(const char* user, int session_id, int pid) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Meter", "set_meter_options");
    const char* name = user ? user : "";
    if (strchr(name, '/')) {
        trace.writeTrace(1, "meter user name refused: %s", name);
        return false;
    }
    char dir[BUF_SIZE];
    if (!fileutl_join(dir, sizeof dir, tbs_product_log_dir(), "meter")) return false;
    char file[BUF_SIZE];
    int len = snprintf(file, sizeof file, "%s/%s_meter_%s_s%d_%d.%s", dir, QLMX_COMPONENT, name,
                       session_id, pid, "ascii");
    if (len < 0 || static_cast<size_t>(len) >= sizeof file) {
        trace.writeTrace(1, "meter file name too long for user %s", name);
        return false;
    }
    char entry[sizeof g_options_entry];
    len = snprintf(entry, sizeof entry, "%s=%s \"%s\" %s %s", OPTIONS_VARIABLE, "-destination",
                   file, "-format", "ascii");
    if (len < 0 || static_cast<size_t>(len) >= sizeof entry) return false;

    // What users did and when is the site account's alone: a 0700 directory.
    tbs_status_t st = fileutl_private_dir(dir);
    if (st != TBS_ST_OK) {
        trace.writeTrace(1, "cannot make %s private: %s", dir, tbs_strerror(st));
        return false;
    }
    // Rewriting the entry in place while it is in the environment is safe in a
    // single-threaded process; putenv of the same pointer again is a no-op.
    memcpy(g_options_entry, entry, static_cast<size_t>(len) + 1);
    putenv(g_options_entry);
    memcpy(g_meter_file, file, strlen(file) + 1);
    trace.writeTrace(4, "%s", g_options_entry);
    return true;
}

const char* VDW_Meter::meter_file() {
    return g_meter_file;
}

VDW_MeterRegion::VDW_MeterRegion(const char* name) {
    if (!VDW_Meter::meteringOn) return;
    region_ = client_meters_create_region(name);
    client_meters_enter_region(region_);
}

VDW_MeterRegion::VDW_MeterRegion(client_meter_region_t* slot, const char* name) {
    if (!VDW_Meter::meteringOn) return;
    if (*slot == 0) *slot = client_meters_create_region(name);
    region_ = *slot;
    client_meters_enter_region(region_);
}

VDW_MeterRegion::~VDW_MeterRegion() {
    if (region_ != 0) client_meters_exit_region(region_);
}
