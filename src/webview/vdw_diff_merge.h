// VDW_DiffMerge: compares two versions (a diff) or three (a merge of two descendants of a
// base) of a file or directory and streams the comparison to the client, one part per
// block, from which the client rebuilds its side-by-side or merge view. The comparison is
// the core's engine (core/dcl); this class drives it and writes the block stream.
//
// Contributors on the wire: "from_ver" and "to_ver" for a diff; "base_ver", "from_ver",
// "to_ver" and the merged "result" for a merge; text common to all goes once, as "common".
#ifndef WEBVIEW_VDW_DIFF_MERGE_H
#define WEBVIEW_VDW_DIFF_MERGE_H

#include <string>
#include <vector>

class DCL_Session;
class DCL_Block;
struct vob_view_ctx_t;
class VDW_RpcResponse;
class WCM_MemPool;
class WCM_Status;

class VDW_DiffMerge {
public:
    // A diff of `first` and `second` (pathnames or version-extended pathnames).
    VDW_DiffMerge(VDW_RpcResponse& out, const char* first, const char* second);
    // A merge of `from` and `to` over `base`.
    VDW_DiffMerge(VDW_RpcResponse& out, const char* base, const char* from, const char* to);

    // The files a text comparison reads instead of the versions' own contents, by
    // contributor (an empty name keeps the version's).
    void set_cleartext_pnames(const std::vector<std::string>& names) { cleartext_ = names; }
    // The view that pathnames without "@@" are taken in (none: the server's own).
    void set_view(const vob_view_ctx_t* view) { view_ = view; }

    // Each clears the status, writes the view-relative pathname part when one is given, and
    // runs the comparison.
    void run_diff(const char* view_rel_pname, WCM_Status& status, WCM_MemPool& pool);
    void run_merge(const char* view_rel_pname, WCM_Status& status, WCM_MemPool& pool);
    void run(WCM_Status& status, WCM_MemPool& pool);

    static const char* contributor_string(int contributor);
    static const char* block_kind_string(int type);
    static const char* dir_item_type_string(int type);
    static int str_to_dir_item_type(const char* text);

private:
    bool write_blocks(const DCL_Session& session, bool dirs, WCM_Status& status);
    bool write_block(int contributor, const DCL_Block& block, int kind, int choice, int region,
                     bool dirs, WCM_Status& status);
    bool write_view_rel_pname(const char* contributor, const char* pname, WCM_Status& status);
    int region_of(const DCL_Block& block) const;

    int kind_ = 0;  // of the first contributor: 3 for a directory version
    int mode_ = 0;  // 0 diff, 1 merge
    std::vector<std::string> pnames_;
    std::vector<std::string> cleartext_;
    std::vector<unsigned> regions_;  // the engine's region identifiers, in order
    long result_blocks_ = 0;
    const vob_view_ctx_t* view_ = nullptr;
    VDW_RpcResponse& out_;
};

#endif
