// VDW_FindMergeCandidatesRpc: the elements of a view whose versions must be merged to bring
// in a branch, a label, a version or another view, one "MergeItem" part per element with the
// three versions of its merge. VDW_MergeItem gathers what the search reports for one
// element, and the messages printed while it is current, until the part is written.
#ifndef OPS_REPO_VDW_FIND_MERGE_CANDIDATES_RPC_H
#define OPS_REPO_VDW_FIND_MERGE_CANDIDATES_RPC_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/sum/sum_string.h"
#include "core/vob/vob.h"
#include "request/vdw_abstract_rpc.h"

class VDW_Vdcore;
struct view_t;

class VDW_MergeItem {
public:
    VDW_MergeItem(const SUM_String& working_path, const SUM_String& element_path, bool is_dir,
                  VDW_Vdcore* facade, const SUM_String& merge_type);

    // Takes one candidate of the element: its versions as extended pathnames, the trivial
    // flag and the search's further value, the checkout type of the to-version, the
    // element's and replica's oids, whether it lies in a component. A lookup that fails
    // adds its error text and makes the item an error; the item is still reported.
    void Update(view_t* view, vob_t* vob, vob_dbid_t to, vob_dbid_t from, vob_dbid_t base,
                int trivial, int64_t further);
    // A message printed while this item was current: 0 ok, 1 warning, 2 error.
    void add_message(int severity, const char* text);

    const SUM_String& element_path() const { return element_path_; }
    // Writes the "MergeItem" part; true once the output has failed.
    bool write(VDW_RpcResponse& response) const;

private:
    void fail(const char* what, tbs_status_t st);

    SUM_String working_path_;  // not sent
    SUM_String element_path_;
    SUM_String from_version_, to_version_, base_version_;
    std::string element_oid_, replica_oid_;
    SUM_String merge_type_;
    bool is_dir_;
    bool in_component_ = false;
    bool trivial_ = true;
    int64_t further_ = 0;  // not sent
    int co_type_ = 0;      // 0 not checked out; 1 reserved, 2 unreserved
    int msg_type_ = -1;    // the highest severity of its messages, -1 when none
    std::string msg_text_;
    VDW_Vdcore* facade_;
};

class VDW_FindMergeCandidatesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    ~VDW_FindMergeCandidatesRpc() override;
    void send_response_body() override;

    // Selection kinds, by their "SelKind" value's mode number.
    enum Mode {
        MODE_NONE = 0,
        MODE_BRANCH = 1,
        MODE_LABEL = 2,
        MODE_VERSION = 3,
        MODE_VIEW = 4,
        MODE_ACTIVITIES = 5
    };

private:
    bool read_args();
    void perform_action();
    void candidate(const char* pname, vob_t* vob, vob_dbid_t to, vob_dbid_t from, vob_dbid_t base,
                   int mtype, int trivial, int64_t further);
    void message(int severity, char* text);
    void end_item();
    std::string reported_path(const char* pname, bool is_dir);

    static void candidate_proc(void* data, const char* pname, vob_t* vob, vob_dbid_t to,
                               vob_dbid_t from, vob_dbid_t base, int mtype, int trivial,
                               int64_t further);
    static void message_proc(void* data, int msg_class, char* text);

    std::string view_uuid_;
    view_t* view_ = nullptr;
    std::string view_root_;
    bool dir_only_ = true;
    bool follow_ = true;
    int mode_ = MODE_NONE;
    std::string selector_;               // the version selector, or the source view's tag
    std::vector<std::string> elements_;  // or activities
    std::unique_ptr<VDW_MergeItem> current_;
    std::string own_text_;  // messages that came while no item was current
    bool own_messages_ = false;
    int severity_ = -1;  // overall: the highest seen
    bool output_failed_ = false;
};

#endif
