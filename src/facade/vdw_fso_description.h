// VDW_FsoDescription: what a client shows of one file or directory of a view (the version
// its copy holds, the version the view's rules select now, the rule, size, time, link text,
// checkout and VOB facts), and how it goes into a response part.
#ifndef OPS_VDW_FSO_DESCRIPTION_H
#define OPS_VDW_FSO_DESCRIPTION_H

#include <cstdint>
#include <memory>
#include <string>

#include "core/sum/sum_string.h"

class VDW_MultipartData;

class VDW_FsoDescription {
public:
    struct Checkout {
        bool reserved = false;
    };
    struct Vob {
        bool root = false;
        bool is_public = false;
        bool replicated = false;
    };

    SUM_Oid frozen_oid;  // the version loaded in the client's copy
    std::string frozen_version;
    SUM_Oid unfrozen_oid;  // the version the view's rules select now
    std::string unfrozen_version;
    std::unique_ptr<std::string> cspec_rule;  // absent when no rule is known
    int64_t size = 0;
    long mtime = 0;
    bool is_dir = false;
    std::unique_ptr<std::string> slink_text;  // only for symbolic links
    std::unique_ptr<Checkout> checkout;       // only when checked out
    std::unique_ptr<Vob> vob;                 // only for a VOB's root

    // Adds the description's items to `part` ("Replicated" only when asked).
    void marshal(VDW_MultipartData& part, bool with_replicated) const;
};

#endif
