// VDW_Meter: performance metering of the web library over the core's client meters.
//
// Metering is off unless the host sets `VDW_Meter::meteringOn`. The host then names the
// process's meter file with `set_meter_options`, which exports it to the core's client
// meters through the environment, and starts the program's record
// (`client_meters_start_program`). Operations time named regions with VDW_MeterRegion.
#ifndef FOUNDATION_VDW_METER_H
#define FOUNDATION_VDW_METER_H

#include <cstddef>

#include "core/meter/client_meters.h"

class VDW_Meter {
public:
    static constexpr const char* OPTIONS_VARIABLE = "VDCORE_METERING_OPTIONS";
    static constexpr size_t BUF_SIZE = 1024;

    // Set by the host; false by default.
    static bool meteringOn;

    // Names the meter file <log dir>/meter/QLMX_meter_<user>_s<session>_<pid>.ascii
    // (the directory made the site account's alone, 0700: fileutl_private_dir) and puts
    //     VDCORE_METERING_OPTIONS=-destination "<file>" -format ascii
    // into the process environment, in storage that lives for the process. A user name
    // containing "/", a file name that does not fit BUF_SIZE, or a directory that cannot
    // be made private is refused: false, and the environment is left as it was. A null
    // user counts as empty.
    static bool set_meter_options(const char* user, int session_id, int pid);
    // The file the last successful `set_meter_options` named, or "".
    static const char* meter_file();
};

// Times one scope as a named region while metering is on; costs one flag test while off.
class VDW_MeterRegion {
public:
    // The region `name`, looked up by name (the core hands out one handle per name).
    explicit VDW_MeterRegion(const char* name);
    // The region `name` whose handle the caller keeps in `*slot` (normally a static at
    // the call site), created on first use.
    VDW_MeterRegion(client_meter_region_t* slot, const char* name);
    ~VDW_MeterRegion();
    VDW_MeterRegion(const VDW_MeterRegion&) = delete;
    VDW_MeterRegion& operator=(const VDW_MeterRegion&) = delete;

private:
    client_meter_region_t region_ = 0;  // entered region, 0 for none
};

#endif
