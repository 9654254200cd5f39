// VDW_Vdcore: the per-request facade over the core.
//
// While it lives it captures every message the core prints (informational, warning,
// error) into per-kind lists, so that handlers put them into the response instead of
// letting them reach standard output, which carries the response stream. Trace messages
// go to the trace file. The operations themselves are added as the RPCs that use them
// arrive.
#ifndef OPS_VDW_VDCORE_H
#define OPS_VDW_VDCORE_H

#include <cstddef>
#include <iosfwd>

#include "core/imsg/imsg.h"
#include "request/vdw_captured_messages.h"

class SUM_String;
class SUM_View;
class WCM_MemPool;
class WCM_Status;
struct tbs_uuid_t;

class VDW_Vdcore : public VDW_CapturedMessages {
public:
    VDW_Vdcore();
    virtual ~VDW_Vdcore();
    VDW_Vdcore(const VDW_Vdcore&) = delete;
    VDW_Vdcore& operator=(const VDW_Vdcore&) = delete;

    void handle_message(OutputType kind, char* text);
    char* msg_text(OutputType kind, WCM_MemPool& pool) override;
    bool have_msg_text(OutputType kind) const override;
    void clear_msg_text();
    bool capture_msg_text(bool capture);
    // Writes the request status as a complete error response.
    void rpc_dispatch_error(std::ostream& out, WCM_MemPool& pool, WCM_Status& status);

    // Drops the core's cached VOB handles: 0 to 3 are the core's cache actions 1 to 4;
    // any other value is an internal error.
    typedef int cache_action_t;
    void vob_cache_action(cache_action_t action);

    // The text between an element pathname and a version selector ("@@").
    static const char* get_ver_ext_string() { return s_ext_string; }

    // ---- Process set-up: the identity of the request's user.
    // Checks `password` (unless `smart_card`) and makes `user` the acting identity of every
    // following core operation, with `primary_group` and the ":"-separated `groups` first
    // when given. Wrong password: 1063 and VDSRV1084; identity not set: 1063 and VDSRV1086.
    void impersonate(const char* user, const char* password, const char* domain, bool smart_card,
                     const char* primary_group, const char* groups, WCM_Status& status);
    // Whether the core's temporary directory is writable; 1001 and VDSRV1263 when not.
    int check_tmpdir(WCM_Status& status);
    // 1 when a file can be made in `dir`, else 0.
    static int is_dir_writable(const char* dir);
    // Each puts NAME=value into the process environment; nothing for an empty value.
    static void set_tmpdir_ev(const SUM_String& dir);           // TMPDIR and TMP
    static void set_groups_ev(const SUM_String& groups);        // VERDANE_GROUPS
    static void set_primary_group_ev(const SUM_String& group);  // VERDANE_PRIMARY_GROUP
    static void set_region_mapfile_ev(const SUM_String& file);  // VDWEB_USER_REGION_MAPFILE

    // ---- Files and paths. Pathname buffers are PNAME_SIZE bytes unless a size is given;
    // a result that does not fit is a failure, never a cut name.
    static constexpr size_t PNAME_SIZE = 1024;

    // Copies `source` to `directory`/`leaf`, making the missing parent directories (0775).
    void copy_file(const char* source, const char* directory, const char* leaf, WCM_Status& status);
    // `view_root` + "/" + `path` ("/" only when `path` does not begin with one), or `path`
    // alone without a view root, in local separator form. False when it does not fit.
    static bool get_view_pname(const char* view_root, const char* path, char* out,
                               size_t size = PNAME_SIZE);
    // Removes the view-root prefix from `path` in place when `view_root` is the path or
    // a parent of it.
    static void strip_viewroot(const char* view_root, char* path);
    // Local separators to "/", and back.
    static void convert_pname_to_global(char* path);
    static void convert_pname_to_local(char* path);
    // A name that is free: `directory`/`name`, else with ".1" to ".99" appended. 0 and the
    // name in `out`, else a core status (TBS_ST_EXISTS when every candidate is taken).
    static int generate_available_ws_location(const char* directory, const char* name, char* out);
    // The same in the core's temporary directory.
    static int generate_available_tmp_location(const char* name, char* out);

    // ---- Views.
    struct ViewInfo {
        char tag[PNAME_SIZE];
        bool is_web, is_xcm, is_automatic, is_snapshot;
    };
    // The root of the view named by the text form of its UUID.
    void uuid_to_viewroot(const char* uuid_text, char* view_root, WCM_Status& status);
    // Tag and kind of a view found by UUID, by a pathname inside it, or by tag. No such
    // view is status 1002.
    void lookup_view_by_uuid(const tbs_uuid_t& uuid, ViewInfo* info, WCM_Status& status);
    void lookup_view_by_path(const char* path, ViewInfo* info, WCM_Status& status);
    void lookup_view_by_tag(const char* tag, ViewInfo* info, WCM_Status& status);
    // A view's root; a dynamic view's only where the server can start dynamic views.
    int get_view_root(const SUM_View& view, SUM_String* root);

private:
    char** list_for(OutputType kind, int*& count);

    WCM_MemPool* msg_pool_;
    char** all_ = nullptr;
    int all_count_ = 0;
    char** ok_ = nullptr;
    char** warn_ = nullptr;
    char** err_ = nullptr;
    int ok_count_ = 0, warn_count_ = 0, err_count_ = 0;
    bool capture_ = true;
    imsg_redirect_table_t saved_table_;
    imsg_prompt_procs_t saved_prompts_;

    static const char* s_ext_string;
};

// Redirect procedures registered with the core.
void vdw_handle_ok_message(void* facade, int msg_class, char* text);
void vdw_handle_warn_message(void* facade, int msg_class, char* text);
void vdw_handle_err_message(void* facade, int msg_class, char* text);
void vdw_handle_trace_message(void* facade, int msg_class, char* text);

#endif
