// The directory listings of a view: the entries of a directory element (all, or its
// subdirectories only) and the directories below the view's root. Each entry goes out as a
// part whose item is the entry's name followed by the entry's description; a path that is
// no element (the view's root, a directory above the VOBs) lists the VOB tag components
// below it instead.
#ifndef OPS_VIEW_VDW_DIRECTORY_LISTING_RPCS_H
#define OPS_VIEW_VDW_DIRECTORY_LISTING_RPCS_H

#include "request/vdw_abstract_rpc.h"

// What the three listings share: reading the view and the path, listing, writing.
class VDW_DirectoryListingRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;

protected:
    // Lists `path` ("" for the view's root) of the view named by the arguments under the
    // count part `count_part` and the entry parts `entry_part`.
    void list(bool with_pname, bool dirs_only, const char* count_part, const char* entry_part);
};

class VDW_EnumerateDirectoryContentsRpc : public VDW_DirectoryListingRpc {
public:
    using VDW_DirectoryListingRpc::VDW_DirectoryListingRpc;
    void send_response_body() override;
};

class VDW_EnumerateSubDirectoriesRpc : public VDW_DirectoryListingRpc {
public:
    using VDW_DirectoryListingRpc::VDW_DirectoryListingRpc;
    void send_response_body() override;
};

class VDW_EnumerateViewRootSubDirectoriesRpc : public VDW_DirectoryListingRpc {
public:
    using VDW_DirectoryListingRpc::VDW_DirectoryListingRpc;
    void send_response_body() override;
};

#endif
