// Client metering: timing records of a program and of named regions inside it.
//
// Metering is switched on per process by the environment entry VDCORE_METERING_OPTIONS,
// read when the program starts metering:
//     -destination "<file pathname>" -format ascii
// (a value with blanks is written in double quotes; "ascii" is the only format). With the
// entry unset, or without a usable destination, every call returns at once and records
// nothing.
//
// When on, each event appends one line to the destination with one write, so records of
// processes that share a destination never interleave. Fields are name=value words,
// separated by blanks; times are seconds with microseconds:
//     program_start program=<name> pid=<pid> time=<epoch>
//     region_enter region=<name> pid=<pid> time=<epoch> count=<entries so far>
//     region_exit region=<name> pid=<pid> time=<epoch> elapsed=<wall> cpu=<cpu> count=<n>
//     program_finish program=<name> pid=<pid> time=<epoch> elapsed=<wall> cpu=<cpu>
//         regions=<number of regions>
// Region and program names are written with blanks, quotes and control characters
// replaced by "_". A region's elapsed and cpu times cover one entry (the innermost one
// when a region is entered again before it is left); a program's cover the time since
// `client_meters_start_program`.
//
// One thread per process; no locking.
#ifndef CORE_METER_CLIENT_METERS_H
#define CORE_METER_CLIENT_METERS_H

#include "core/tbs/tbs.h"

// A region handle: positive for a region, 0 for none (metering off). Handles stay valid
// for the process, across a finish and a new start.
typedef int client_meter_region_t;

// Reads VDCORE_METERING_OPTIONS and, when it names a destination, opens it for appending
// (created with mode 0600: the site account's alone) and writes the program's start
// record. A program already started is finished first. Returns 0 also when metering is off; the
// errno status when the destination cannot be opened (metering then stays off).
tbs_status_t client_meters_start_program(const char* program);

// The region named `name`: the same handle for the same name. 0 while metering is off
// or for a null or empty name.
client_meter_region_t client_meters_create_region(const char* name);

// Record entry into and exit from a region. Handle 0, an unknown handle and an exit
// without an entry are ignored.
void client_meters_enter_region(client_meter_region_t region);
void client_meters_exit_region(client_meter_region_t region);

// Writes the program's finish record and closes the destination. Nothing when not
// started.
void client_meters_finish_program();

// True between a start that found a destination and the finish.
bool client_meters_active();

#endif
