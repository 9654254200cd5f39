// Import of a directory tree as checked-in elements.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/store/content_pool.h"
#include "core/vob/vob_store.h"

namespace {

// Files per transaction: enough to make commits cheap, few enough that a batch's
// contents and names stay small in memory.
constexpr size_t kBatch = 256;

struct Entry {
    std::string name;
    enum { FILE_, DIR_, LINK_ } kind;
};

tbs_status_t list_source(const std::string& dir, std::vector<Entry>* out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return tbs_errno2status(errno);
    out->clear();
    while (dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        std::string path = dir + "/" + e->d_name;
        struct stat sb;
        if (lstat(path.c_str(), &sb) != 0) continue;
        if (S_ISREG(sb.st_mode))
            out->push_back({e->d_name, Entry::FILE_});
        else if (S_ISDIR(sb.st_mode))
            out->push_back({e->d_name, Entry::DIR_});
        else if (S_ISLNK(sb.st_mode))
            out->push_back({e->d_name, Entry::LINK_});
        else
            imsg_warning("Skipped \"%s\": not a file, directory or symbolic link.\n", path.c_str());
    }
    closedir(d);
    std::sort(out->begin(), out->end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return TBS_ST_OK;
}

struct Importer {
    cmd_import_args_t* a;
    cmd_ctx ctx;
    vob_t* vob = nullptr;
    int64_t file_type = 0, dir_type = 0;

    // The directory element `pname`'s element and version as the view sees it.
    tbs_status_t dir_at(const std::string& pname, int64_t* element, int64_t* version) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r);
        if (st != TBS_ST_OK) return st;
        if (r.mtype != VOB_MTYPE_DIR_VERSION) return TBS_ST_NOT_DIRECTORY;
        *element = r.element;
        *version = r.version;
        return TBS_ST_OK;
    }

    tbs_status_t import_dir(const std::string& source, const std::string& dest, int depth) {
        if (depth > 256) return tbs_errno2status(ELOOP);
        std::vector<Entry> entries;
        tbs_status_t st = list_source(source, &entries);
        if (st != TBS_ST_OK) return cmd_fail("Unable to read directory", source, st);
        for (const Entry& e : entries)
            if ((st = cmd_check_name(e.name)) != TBS_ST_OK) return st;

        // Files and links in batches; subdirectories are made in the last batch.
        size_t i = 0;
        std::vector<std::string> subdirs;
        for (const Entry& e : entries)
            if (e.kind == Entry::DIR_) subdirs.push_back(e.name);
        std::vector<const Entry*> items;
        for (const Entry& e : entries)
            if (e.kind != Entry::DIR_) items.push_back(&e);
        bool dirs_done = false;
        while (i < items.size() || !dirs_done) {
            size_t end = std::min(items.size(), i + kBatch);
            struct Put {
                const Entry* e;
                std::string content;
                int64_t size = 0;
                std::string link;
            };
            std::vector<Put> puts;
            content_batch batch(vob->pool->dir());
            for (size_t k = i; k < end; ++k) {
                Put p{items[k], "", 0, ""};
                std::string path = source + "/" + items[k]->name;
                if (items[k]->kind == Entry::FILE_) {
                    uint64_t n = 0;
                    if ((st = vob->pool->put_file(path.c_str(), &p.content, &n, &batch)) !=
                        TBS_ST_OK)
                        return cmd_fail("Unable to store the contents of", path, st);
                    p.size = static_cast<int64_t>(n);
                } else {
                    char buf[4096];
                    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
                    if (n < 0)
                        return cmd_fail("Unable to read link", path, tbs_errno2status(errno));
                    p.link.assign(buf, static_cast<size_t>(n));
                }
                puts.push_back(std::move(p));
            }
            // The contents are durable before the transaction that names them commits.
            if ((st = batch.sync()) != TBS_ST_OK) return cmd_fail("Unable to store", source, st);
            const bool with_dirs = end == items.size();
            int64_t files = 0, dirs = 0, bytes = 0;
            st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
                const cmd_txn t{vob, txn, ctx};
                files = dirs = bytes = 0;
                int64_t del = 0, dver = 0;
                tbs_status_t s = dir_at(dest, &del, &dver);
                if (s != TBS_ST_OK) return s;
                if ((s = cmd_check_write(vob, ctx, del)) != TBS_ST_OK) return s;
                if ((s = cmd_check_locks(vob, ctx, {del})) != TBS_ST_OK) return s;
                int64_t co = 0;
                bool made = false;
                if ((s = cmd_dir_checkout(t, del, dver, &co, &made)) != TBS_ST_OK) return s;
                bool changed = false;
                for (const Put& p : puts) {
                    int64_t existing = 0;
                    if (vob_store_dir_lookup(*vob->db, co, p.e->name, &existing, nullptr) ==
                        TBS_ST_OK)
                        continue;  // already imported
                    changed = true;
                    if (p.e->kind == Entry::LINK_) {
                        int64_t link = 0;
                        if ((s = cmd_new_object(vob, txn, ctx, VOB_MTYPE_SLINK, 0777, &link)) !=
                            TBS_ST_OK)
                            return s;
                        if ((s = vob_store_new_slink(*vob->db, link, p.link)) != TBS_ST_OK)
                            return s;
                        if ((s = vob_store_dir_add(*vob->db, co, p.e->name, link)) != TBS_ST_OK)
                            return s;
                        continue;
                    }
                    int64_t elem = 0, v0 = 0;
                    if ((s = cmd_do_mkelem(t,
                                           {.dir_checkout = co,
                                            .leaf = p.e->name,
                                            .eltype = file_type,
                                            .is_dir = false,
                                            .comment = a->comment},
                                           &elem, &v0)) != TBS_ST_OK)
                        return s;
                    if ((s = cmd_do_first_version(t,
                                                  {.element = elem,
                                                   .version0 = v0,
                                                   .content = p.content,
                                                   .size = p.size,
                                                   .comment = a->comment,
                                                   .created = 0},
                                                  nullptr)) != TBS_ST_OK)
                        return s;
                    ++files;
                    bytes += p.size;
                }
                if (with_dirs) {
                    for (const std::string& name : subdirs) {
                        int64_t existing = 0;
                        if (vob_store_dir_lookup(*vob->db, co, name, &existing, nullptr) ==
                            TBS_ST_OK)
                            continue;
                        changed = true;
                        int64_t elem = 0;
                        if ((s = cmd_do_mkelem(t,
                                               {.dir_checkout = co,
                                                .leaf = name,
                                                .eltype = dir_type,
                                                .is_dir = true,
                                                .comment = a->comment},
                                               &elem, nullptr)) != TBS_ST_OK)
                            return s;
                        ++dirs;
                    }
                }
                if (made && !changed) {
                    // Nothing new here: no empty directory version.
                    if ((s = vob_store_dir_clear(*vob->db, co)) != TBS_ST_OK) return s;
                    if ((s = vob_store_delete_checkout(*vob->db, co)) != TBS_ST_OK) return s;
                    return vob_store_delete_object(*vob->db, co);
                }
                if (made)
                    return cmd_do_checkin(t,
                                          {.checkout = co,
                                           .content = nullptr,
                                           .size = 0,
                                           .comment = &a->comment,
                                           .identical = true,
                                           .created = 0},
                                          nullptr);
                return TBS_ST_OK;
            });
            if (st != TBS_ST_OK) return cmd_fail("Unable to import into", dest, st);
            a->files += files;
            a->dirs += dirs;
            a->bytes += bytes;
            i = end;
            if (with_dirs) dirs_done = true;
        }
        for (const std::string& name : subdirs) {
            if ((st = import_dir(source + "/" + name, dest + "/" + name, depth + 1)) != TBS_ST_OK)
                return st;
        }
        return TBS_ST_OK;
    }
};

}  // namespace

tbs_status_t cmd_import(cmd_import_args_t* a) {
    Importer im;
    im.a = a;
    tbs_status_t st = cmd_ctx_init(&im.ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    a->files = a->dirs = a->bytes = 0;
    struct stat sb;
    if (stat(a->source.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode))
        return cmd_fail("Not a directory", a->source, TBS_ST_NOT_DIRECTORY);
    std::string dest = a->dest;
    while (dest.size() > 1 && dest.back() == '/') dest.pop_back();
    vob_resolved_t r;
    if ((st = vob_resolve_pname(dest.c_str(), im.ctx.view, 0, &r)) != TBS_ST_OK)
        return cmd_fail("Unable to find", dest, st);
    if (r.mtype != VOB_MTYPE_DIR_VERSION)
        return cmd_fail("Not a directory", dest, TBS_ST_NOT_DIRECTORY);
    im.vob = r.vob;
    if ((st = vob_store_find_type(*im.vob->db, VOB_MTYPE_ELTYPE, "file", &im.file_type)) !=
            TBS_ST_OK ||
        (st = vob_store_find_type(*im.vob->db, VOB_MTYPE_ELTYPE, "directory", &im.dir_type)) !=
            TBS_ST_OK)
        return st;
    std::string source = a->source;
    while (source.size() > 1 && source.back() == '/') source.pop_back();
    if ((st = im.import_dir(source, dest, 0)) != TBS_ST_OK) return st;
    imsg_ok("Imported %lld files and %lld directories (%lld bytes) into \"%s\".\n",
            static_cast<long long>(a->files), static_cast<long long>(a->dirs),
            static_cast<long long>(a->bytes), dest.c_str());
    return TBS_ST_OK;
}
