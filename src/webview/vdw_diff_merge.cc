// VDW_DiffMerge and the older get_diff_merge_rpc that drives it.
#include "webview/vdw_diff_merge.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "core/cmd/cmd.h"
#include "core/dcl/dcl.h"
#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/catalogs.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_rpc_response.h"

namespace {

const char* const kClass = "VDW_DiffMerge";
enum { COMMON = 0, TO_VER = 1, FROM_VER = 2, BASE_VER = 3, RESULT = 4 };

// One contributor, resolved to its version.
struct Contributor {
    vob_t* vob = nullptr;
    vob_dbid_t version = 0;
    int kind = 0;  // 3: a directory version
};

tbs_status_t resolve(const std::string& pname, const vob_view_ctx_t* view, Contributor* out) {
    vob_resolved_t r;
    tbs_status_t st = cmd_resolve_obj_long(pname.c_str(), view, 0, &r);
    if (st != TBS_ST_OK) return st;
    out->vob = r.vob;
    out->version =
        r.mtype == VOB_MTYPE_VERSION || r.mtype == VOB_MTYPE_DIR_VERSION ? r.dbid : r.version;
    if (!out->version) return TBS_ST_NAME_NOT_FOUND;
    vob_version_info_t v;
    if ((st = vob_ver_get_info(r.vob, out->version, &v)) != TBS_ST_OK) return st;
    out->kind = v.is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION;
    return TBS_ST_OK;
}

// A temporary file removed when it goes.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) unlink(path.c_str());
    }
    bool make() {
        std::string p = std::string(fileutl_get_tmpdir()) + "/diffmerge.XXXXXX";
        int fd = mkstemp(p.data());
        if (fd < 0) return false;
        close(fd);
        path = p;
        return true;
    }
};

// A directory version's entries as the engine compares them.
tbs_status_t listing(const Contributor& c, std::vector<DCL_DirItem>* out) {
    std::vector<vob_dir_entry_t> entries;
    tbs_status_t st = vob_dir_list(c.vob, c.version, &entries);
    for (const vob_dir_entry_t& e : entries) {
        if (st != TBS_ST_OK) break;
        vob_obj_info_t info;
        if ((st = vob_obj_get_info(c.vob, e.target, &info)) != TBS_ST_OK) break;
        DCL_DirItem item;
        item.name = e.name;
        item.kind = e.mtype == VOB_MTYPE_DIR_ELEMENT ? DCL_ITEM_DIR
                    : e.mtype == VOB_MTYPE_SLINK     ? DCL_ITEM_SYMLINK
                                                     : DCL_ITEM_FILE;
        item.oid = tbs_uuid_text(info.oid);
        item.time = info.created;
        item.attr1 = info.creator;
        item.trailing = e.mtype == VOB_MTYPE_DIR_ELEMENT ? "directory element"
                        : e.mtype == VOB_MTYPE_SLINK     ? "symbolic link"
                                                         : "file element";
        out->push_back(std::move(item));
    }
    return st;
}

std::string catalog_text(vdw_lib_msg_t entry) {
    char text[512];
    imsg_sprintf(text, sizeof text, &_vdw_lib_lib_msg_table, entry);
    return text;
}

}  // namespace

const char* VDW_DiffMerge::contributor_string(int contributor) {
    static const char* const kNames[] = {"common", "to_ver", "from_ver", "base_ver", "result"};
    return contributor >= 0 && contributor < 5 ? kNames[contributor] : "";
}

const char* VDW_DiffMerge::block_kind_string(int type) {
    switch (type) {
        case 0:
            return "common";
        case 1:
            return "nochange";
        case 2:
            return "changed";
        case 3:
            return "inserted";
        case 4:
            return "deleted";
        case 5:
            return "diffobjid";
        case 6:
            return "insertmoved";
        case 7:
            return "deletemoved";
        case 8:
            return "padding";
        case 10:
            return "merged";
        case 11:
            return "merging";
        default:
            return "";
    }
}

const char* VDW_DiffMerge::dir_item_type_string(int type) {
    switch (type) {
        case 0:
            return "file";
        case 1:
            return "dir";
        case 2:
            return "symlink";
        case 3:
            return "padding";
        default:
            return "UNKNOWN";
    }
}

int VDW_DiffMerge::str_to_dir_item_type(const char* text) {
    if (!text) return 3;
    if (strcmp(text, "file") == 0) return 0;
    if (strcmp(text, "dir") == 0) return 1;
    if (strcmp(text, "symlink") == 0) return 2;
    return 3;
}

VDW_DiffMerge::VDW_DiffMerge(VDW_RpcResponse& out, const char* first, const char* second)
    : mode_(0), pnames_{first ? first : "", second ? second : ""}, out_(out) {}

VDW_DiffMerge::VDW_DiffMerge(VDW_RpcResponse& out, const char* base, const char* from,
                             const char* to)
    : mode_(1), pnames_{base ? base : "", from ? from : "", to ? to : ""}, out_(out) {}

void VDW_DiffMerge::run_diff(const char* view_rel_pname, WCM_Status& status, WCM_MemPool& pool) {
    status.set_status(TBS_ST_OK);
    if (view_rel_pname && *view_rel_pname &&
        !write_view_rel_pname(contributor_string(FROM_VER), view_rel_pname, status))
        return;
    run(status, pool);
}

void VDW_DiffMerge::run_merge(const char* view_rel_pname, WCM_Status& status, WCM_MemPool& pool) {
    status.set_status(TBS_ST_OK);
    if (view_rel_pname && *view_rel_pname &&
        !write_view_rel_pname(contributor_string(BASE_VER), view_rel_pname, status))
        return;
    run(status, pool);
}

bool VDW_DiffMerge::write_view_rel_pname(const char* contributor, const char* pname,
                                         WCM_Status& status) {
    char buf[VDW_PNAME_BUF_SIZE];
    const std::string body = std::string(VDW_ReqArgsGenerator::encode_pname(pname, buf)) + "\r\n";
    VDW_MultipartData part(contributor, "text/plain", "view_rel_pname", body.data(),
                           static_cast<long long>(body.size()));
    if (!out_.add_part(part, false)) return true;
    status.set_status(TBS_ST_ERR);
    return false;
}

void VDW_DiffMerge::run(WCM_Status& status, WCM_MemPool&) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "run");
    std::vector<Contributor> contributors(pnames_.size());
    for (size_t i = 0; i < pnames_.size(); ++i) {
        tbs_status_t st = resolve(pnames_[i], view_, &contributors[i]);
        if (st != TBS_ST_OK) {
            status.set_status(st);
            status.format(&_vdw_lib_lib_msg_table, VDW_LIB_DETERMINE_VOB_PATH_FAILED,
                          VDW_MultipartData::echo_text(pnames_[i].c_str()).c_str(),
                          tbs_strerror(st));
            status.add_text("\n");
            return;
        }
    }
    kind_ = contributors[0].kind;
    for (const Contributor& c : contributors) {
        if ((c.kind == VOB_MTYPE_DIR_VERSION) != (kind_ == VOB_MTYPE_DIR_VERSION)) {
            status.set_status(TBS_ST_ERR);
            status.format(&_vdw_lib_lib_msg_table, VDW_LIB_MERGE_TYPES_DIFFER);
            return;
        }
    }
    std::string error;
    if (kind_ == VOB_MTYPE_DIR_VERSION) {
        std::vector<std::vector<DCL_DirItem>> listings(contributors.size());
        for (size_t i = 0; i < contributors.size(); ++i) {
            tbs_status_t st = listing(contributors[i], &listings[i]);
            if (st != TBS_ST_OK) {
                status.set_status(st);
                status.format(&_vdw_lib_lib_msg_table, VDW_LIB_COMPARE_DIRS_TEMP_FILE_FAILED,
                              tbs_strerror(st));
                return;
            }
        }
        std::unique_ptr<DCL_DirSession> session;
        tbs_status_t st = DCL_DirSession::open(listings, &session, &error);
        if (st != TBS_ST_OK) {
            status.set_status(st);
            status.add_text(error.c_str());
            return;
        }
        write_blocks(*session, true, status);
        return;
    }
    // Text: each version's cleartext, or the file given in its place.
    std::vector<TempFile> temps(contributors.size());
    DCL_TextArgs args;
    args.tool_name = "MergeTool";
    for (size_t i = 0; i < contributors.size(); ++i) {
        if (i < cleartext_.size() && !cleartext_[i].empty()) {
            args.paths.push_back(cleartext_[i]);
            continue;
        }
        tbs_status_t st = temps[i].make()
                              ? vob_ver_get_cleartext(contributors[i].vob, contributors[i].version,
                                                      temps[i].path.c_str())
                              : TBS_ST_ERR;
        if (st != TBS_ST_OK) {
            status.set_status(st);
            status.format(&_vdw_lib_lib_msg_table, VDW_LIB_DETERMINE_VOB_PATH_FAILED,
                          VDW_MultipartData::echo_text(pnames_[i].c_str()).c_str(),
                          tbs_strerror(st));
            return;
        }
        args.paths.push_back(temps[i].path);
    }
    std::unique_ptr<DCL_TextSession> session;
    tbs_status_t st = DCL_TextSession::open(args, &session, &error);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        status.add_text(error.c_str());
        return;
    }
    write_blocks(*session, false, status);
}

int VDW_DiffMerge::region_of(const DCL_Block& block) const {
    // The engine keeps each block's index in the region map; checked against the table, so
    // a block of no region reads -1.
    const int i = block.region();
    return i >= 0 && static_cast<size_t>(i) < regions_.size() && regions_[i] == block.id() ? i : -1;
}

bool VDW_DiffMerge::write_blocks(const DCL_Session& session, bool dirs, WCM_Status& status) {
    regions_.assign(session.region_map().begin(), session.region_map().end());
    const int n = session.num_contributors();
    // Wire names of the engine's contributors: the reference first.
    const int wire[3] = {mode_ ? BASE_VER : FROM_VER, mode_ ? FROM_VER : TO_VER, TO_VER};
    std::vector<DCL_Walk> walks;
    for (int c = 0; c < n; ++c) walks.push_back(session.walk(c));
    DCL_Walk result = session.merge_walk();
    auto ended = [&]() {
        for (const DCL_Walk& w : walks)
            if (!w.at_end()) return false;
        return !mode_ || result.at_end();
    };
    while (!ended()) {
        bool moved = false;
        for (int c = 0; c < n; ++c) {
            DCL_Walk& w = walks[c];
            if (w.at_end()) continue;
            const DCL_Block& first = w.block();
            if (first.type() == DCL_COMMON || first.type() == DCL_SYNC) {
                // Common text goes once, from the first contributor's writer.
                if (first.type() == DCL_COMMON && c == 0 &&
                    !write_block(COMMON, first, DCL_COMMON, DCL_NO_CHOICE, -1, dirs, status))
                    return false;
                w.next();
                moved = true;
                continue;
            }
            for (; !w.at_end() && w.block().type() != DCL_COMMON && w.block().type() != DCL_SYNC;
                 w.next()) {
                if (!write_block(wire[c], w.block(), w.block().type(), DCL_NO_CHOICE,
                                 region_of(w.block()), dirs, status))
                    return false;
                moved = true;
            }
        }
        if (mode_ && !result.at_end()) {
            if (result.block().type() == DCL_COMMON || result.block().type() == DCL_SYNC) {
                result.next();
                moved = true;
            } else {
                for (; !result.at_end() && result.block().type() != DCL_COMMON &&
                       result.block().type() != DCL_SYNC;
                     result.next()) {
                    const DCL_Block& b = result.block();
                    const long region = result_blocks_++;
                    bool ok;
                    if (b.type() == DCL_MERGING && b.conflict()) {
                        ok = write_block(RESULT, b, DCL_MERGING, DCL_NO_CHOICE,
                                         static_cast<int>(region), dirs, status);
                    } else if (b.type() == DCL_MERGING && b.choice_block()) {
                        ok = write_block(RESULT, *b.choice_block(), DCL_MERGED, b.default_choice(),
                                         static_cast<int>(region), dirs, status);
                    } else {
                        ok = write_block(RESULT, b, b.type(), DCL_NO_CHOICE,
                                         static_cast<int>(region), dirs, status);
                    }
                    if (!ok) return false;
                    moved = true;
                }
            }
        }
        if (!moved) break;  // the walks disagree: nothing more can be written in order
    }
    return true;
}

bool VDW_DiffMerge::write_block(int contributor, const DCL_Block& block, int kind, int choice,
                                int region, bool dirs, WCM_Status& status) {
    static const int kChoiceWire[3] = {BASE_VER, FROM_VER, TO_VER};
    const char* who = contributor_string(contributor);
    const char* what = block_kind_string(kind);
    auto decorate = [&](VDW_MultipartData& part) {
        if (choice >= 0 && choice < 3)
            part.add_part_item("Merge-choice", contributor_string(kChoiceWire[choice]));
        if (region != -1) part.add_part_item("Diff-region", static_cast<long>(region));
    };
    auto send = [&](VDW_MultipartData& part) {
        if (!out_.add_part(part, false)) return true;
        status.set_status(TBS_ST_ERR);
        return false;
    };
    const bool no_data = kind == DCL_DELETED || kind == 7 || kind == DCL_PADDING;
    const bool merge_mark = kind == DCL_MERGED || kind == DCL_MERGING;
    if (!dirs) {
        std::string body;
        if (merge_mark)
            body = catalog_text(VDW_LIB_MERGE_NEEDED_MARK);
        else if (!no_data)
            body.assign(block.text());
        VDW_MultipartData part(who, "text/plain", what, body.data(),
                               static_cast<long long>(body.size()));
        if (no_data) part.add_part_item("Num-lines", static_cast<long>(block.num_lines()));
        decorate(part);
        return send(part);
    }
    const bool deleted = block.type() == DCL_DELETED || block.type() == DCL_PADDING;
    if (kind == DCL_MERGING || deleted || block.items().empty()) {
        const std::string body = kind == DCL_MERGING ? catalog_text(VDW_LIB_MERGE_NEEDED_MARK) : "";
        VDW_MultipartData part(who, "text/plain", what, body.data(),
                               static_cast<long long>(body.size()));
        part.add_part_item("Dir-item-kind", "file");
        if (kind != DCL_MERGING) part.add_part_item("Num-lines", 1L);
        decorate(part);
        return send(part);
    }
    for (const DCL_DirItem& item : block.items()) {
        const time_t t = static_cast<time_t>(item.time);
        struct tm local;
        localtime_r(&t, &local);
        char when[25] = "", token[32] = "";
        strftime(when, sizeof when, "%x.%X", &local);
        strftime(token, sizeof token, "%Y-%m-%dT%H:%M:%S", &local);
        const std::string body = item.name + "\r\n" + when + "\r\n" + token + "\r\n" + item.attr1 +
                                 "\r\n" + item.attr2 + "\r\n" + item.trailing + "\r\n";
        VDW_MultipartData part(who, "text/plain", what, body.data(),
                               static_cast<long long>(body.size()));
        part.add_part_item("Dir-item-kind", dir_item_type_string(item.kind));
        decorate(part);
        if (!send(part)) return false;
    }
    return true;
}

// ---- the facade's diff and merge -----------------------------------------------------

void VDW_Vdcore::diff_versions(VDW_RpcResponse& out, view_t* view, const char* first,
                               const char* second, const char* view_rel, const char* second_file,
                               WCM_MemPool& pool, WCM_Status& status) {
    const std::string a = view ? to_vob_pname(view, first) : std::string(first ? first : "");
    const std::string b = view ? to_vob_pname(view, second) : std::string(second ? second : "");
    VDW_DiffMerge diff(out, a.c_str(), b.c_str());
    if (view) diff.set_view(&view->ctx);
    if (second_file && *second_file) diff.set_cleartext_pnames({"", second_file});
    diff.run_diff(view_rel, status, pool);
}

void VDW_Vdcore::merge_versions(VDW_RpcResponse& out, view_t* view, const char* to,
                                const char* from, const char* base, const char* view_rel,
                                const char* to_file, WCM_MemPool& pool, WCM_Status& status) {
    const std::string t = view ? to_vob_pname(view, to) : std::string(to ? to : "");
    const std::string f = view ? to_vob_pname(view, from) : std::string(from ? from : "");
    const std::string b = view ? to_vob_pname(view, base) : std::string(base ? base : "");
    VDW_DiffMerge merge(out, b.c_str(), f.c_str(), t.c_str());
    if (view) merge.set_view(&view->ctx);
    if (to_file && *to_file) merge.set_cleartext_pnames({"", "", to_file});
    merge.run_merge(view_rel, status, pool);
}

void VDW_Vdcore::find_ancestor(vob_t* vob, vob_dbid_t to, vob_dbid_t from, vob_dbid_t* base,
                               WCM_Status& status) {
    bool merged = false;
    int64_t distance = 0, found = 0;
    tbs_status_t st = cmd_merge_base(vob, to, from, &merged, &found, &distance);
    *base = merged ? 0 : found;
    if (st != TBS_ST_OK) status.set_status(st);
}

void VDW_Vdcore::find_predecessor(vob_t* vob, vob_dbid_t version, vob_dbid_t* pred,
                                  WCM_Status& status) {
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, version, &v);
    *pred = st == TBS_ST_OK ? v.predecessor : 0;
    if (st != TBS_ST_OK) status.set_status(st);
}

// ---- the older RPC ---------------------------------------------------------------------

void VDW_Vdcore::get_diff_merge_rpc(const char* viewroot, const char* args, const char* upload,
                                    std::ostream& out, WCM_MemPool& pool, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "get_diff_merge_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_ReqArgsParser parser(args);
    const char* value = nullptr;
    char buf[VDW_PNAME_BUF_SIZE];
    if (!parser.match_next("IsDiff", &value, status)) return;
    const bool is_diff = VDW_ReqArgsParser::decode_bool(value);
    // Pathnames are made absolute against the request's view root.
    auto pname = [&](const char* name, std::string* out_name) {
        if (!parser.match_next(name, &value, status)) return false;
        const char* decoded = VDW_ReqArgsParser::decode_pname(value, buf);
        char full[PNAME_SIZE];
        if (viewroot && *viewroot && decoded[0] && decoded[0] != '/') {
            if (!get_view_pname(viewroot, decoded, full)) {
                status.set_status(TBS_ST_TOO_LONG);
                return false;
            }
            decoded = full;
        }
        *out_name = decoded;
        return true;
    };
    // What the names are taken in: the view whose root the request names, if any.
    view_t* view = nullptr;
    if (viewroot && *viewroot) {
        ViewInfo info;
        lookup_view_by_path(viewroot, &info, status);
        if (status.is_ok() && view_open_by_tag(info.tag, &view) != TBS_ST_OK) view = nullptr;
        status.clear();  // a root of no view: the names are taken as they are
    }
    if (is_diff) {
        std::string first, second;
        if (!pname("Version", &first) || !pname("Version", &second)) return;
        if (second.empty()) {
            // No second version: the first one's predecessor.
            Contributor c;
            vob_dbid_t pred = 0;
            const std::string vob_first = view ? to_vob_pname(view, first.c_str()) : first;
            if (resolve(vob_first, view ? &view->ctx : nullptr, &c) == TBS_ST_OK) {
                find_predecessor(c.vob, c.version, &pred, status);
                if (pred) get_obj_name(c.vob, pred, &second, status);
                if (!status.is_ok()) return;
            }
        }
        diff_versions(response, view, first.c_str(), second.c_str(), nullptr, nullptr, pool,
                      status);
        return;
    }
    std::string to, from, base;
    if (!pname("ToVersion", &to) || !pname("FromVersion", &from) || !pname("BaseVersion", &base))
        return;
    if (base.empty()) {
        // No base given: the common ancestor nearest the from-version, through predecessors
        // and merge arrows.
        Contributor a, b;
        const vob_view_ctx_t* ctx = view ? &view->ctx : nullptr;
        if (resolve(view ? to_vob_pname(view, to.c_str()) : to, ctx, &a) == TBS_ST_OK &&
            resolve(view ? to_vob_pname(view, from.c_str()) : from, ctx, &b) == TBS_ST_OK &&
            a.vob == b.vob) {
            bool merged = false;
            int64_t found = 0, distance = 0;
            if (cmd_merge_base(a.vob, a.version, b.version, &merged, &found, &distance) ==
                    TBS_ST_OK &&
                (found || merged)) {
                get_obj_name(a.vob, merged ? b.version : found, &base, status);
                if (!status.is_ok()) return;
            }
        }
    }
    // The client's own copy stands for the to-version.
    merge_versions(response, view, to.c_str(), from.c_str(), base.c_str(), nullptr, upload, pool,
                   status);
}
