// A child process for the reliability tests: runs one core command in a view, so tests can
// race processes against each other and kill them in the middle.
//
//   core_worker checkout VIEW PNAME          exit 0 done, 3 reserved elsewhere, 1 other
//   core_worker checkin VIEW PNAME FILE
//   core_worker atomic VIEW PNAME FILE [PNAME FILE]...
//   core_worker sync                         waits for a line on standard input first
//
// VIEW is a 32-digit view UUID. Messages go to standard error.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: core_worker checkout|checkin|atomic VIEW PNAME [FILE]...\n");
        return 64;
    }
    vob_view_ctx_t view;
    if (tbs_uuid_from_str(argv[2], &view.view_uuid) != TBS_ST_OK) return 64;
    const std::string op = argv[1];
    tbs_status_t st = TBS_ST_ERR;
    if (op == "checkout") {
        cmd_checkout_args_t a;
        a.pnames = {argv[3]};
        a.view = &view;
        st = cmd_checkout(&a);
    } else if (op == "checkin" || op == "atomic") {
        cmd_checkin_args_t a;
        a.view = &view;
        a.atomic = op == "atomic";
        a.identical = true;
        for (int i = 3; i + 1 < argc; i += 2) {
            a.pnames.push_back(argv[i]);
            a.from.push_back(argv[i + 1]);
        }
        st = cmd_checkin(&a);
    } else {
        return 64;
    }
    if (st == TBS_ST_OK) return 0;
    return st == TBS_ST_RESERVED ? 3 : 1;
}
