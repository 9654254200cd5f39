// What the core's test fixtures share: plain file reads and writes, the core's messages
// captured or dropped, a VOB and elements made in the test site, vdtool command lines run
// in-process, and what a pathname selects.
#ifndef TESTS_SUPPORT_CORE_FIXTURE_H
#define TESTS_SUPPORT_CORE_FIXTURE_H

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn.h"
#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

// The whole file; the empty text when it cannot be read.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Replaces the file's contents with `data`; returns `path`.
inline std::string write_file(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
    return path;
}

// `n` bytes drawn from a generator seeded with `seed`: the same bytes for the same seed.
inline std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The core's messages as printed: all of them in `text`; the informational classes also
// in `out` and warnings and errors in `err`, as vdtool's terminal splits them.
struct Captured {
    std::string text;
    std::string out;
    std::string err;
    static void proc(void* ctx, int cls, char* text) {
        Captured* c = static_cast<Captured*>(ctx);
        c->text += text;
        (cls <= IMSG_NOTE ? c->out : c->err) += text;
    }
};

inline void drop_message(void*, int, char*) {}

// Sends every class of message to `proc` with `ctx`; returns the table to restore.
inline imsg_redirect_table_t redirect_messages(imsg_redirect_proc_t proc, void* ctx) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (auto& p : procs) p = proc;
    imsg_redirect_table_t saved = imsg_get_redirect_table();
    imsg_set_redirect_procs(procs, ctx);
    return saved;
}

// Makes the VOB `tag` with its storage at `storage`.
inline tbs_status_t create_vob(const char* tag, const std::string& storage) {
    vob_create_args_t args;
    args.tag = tag;
    args.storage = storage.c_str();
    return vob_create(args, nullptr);
}

// Makes an element with its first version checked in: a directory, or a file holding
// what the file `from` holds (nothing when `from` is empty).
inline tbs_status_t mkelem_ci(const std::string& pname, bool dir = false,
                              const std::string& from = "") {
    cmd_mkelem_args_t a;
    a.pnames = {pname};
    a.is_dir = dir;
    a.checkin = true;
    if (!from.empty()) a.from = {from};
    return cmd_utl_mkelem(&a);
}

// Runs one vdtool command line; `cap` is emptied first, so it holds this line's messages.
inline tbs_status_t run_vdtool(Captured* cap, const std::vector<std::string>& args) {
    *cap = Captured{};
    std::vector<const char*> argv{"vdtool"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    return cmdsyn_execv(static_cast<int>(argv.size()), argv.data());
}

// The version ("/main/2") the null view or `view` selects at `pname`; "<none>" when the
// name resolves to nothing.
inline std::string idstr(const std::string& pname, const vob_view_ctx_t* view = nullptr) {
    vob_resolved_t r;
    if (vob_resolve_pname(pname.c_str(), view, 0, &r) != 0) return "<none>";
    std::string s;
    vob_ver_get_idstr(r.vob, r.version ? r.version : r.dbid, &s);
    return s;
}

// The contents of the version the null view selects at `pname`, fetched through `dest`;
// "<none>" when the name resolves to nothing, "<error>" when the fetch fails.
inline std::string cleartext(const std::string& pname, const std::string& dest) {
    vob_resolved_t r;
    if (vob_resolve_pname(pname.c_str(), nullptr, 0, &r) != 0) return "<none>";
    if (vob_ver_get_cleartext(r.vob, r.version, dest.c_str()) != 0) return "<error>";
    return read_file(dest);
}

#endif
