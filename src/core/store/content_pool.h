// The content pool of a VOB: every distinct file content kept once, named by its SHA-256.
//
// A content lives at `<pool>/<first 2 hex digits>/<other 62 digits>` and is immutable. The
// file starts with a 32-byte header; all numbers are big-endian:
//
//   bytes 0-3   "VDC2"
//   byte  4     0: the data follows as it is; 1: it follows as one zlib stream
//   bytes 5-7   zero
//   bytes 8-15  the original size
//   bytes 16-23 the stored size: the bytes that follow the header, which end the file
//   bytes 24-27 the CRC-32 of the original data
//   bytes 28-31 zero
//
// Contents written before the CRC was kept have a 16-byte header, "VDC1", with bytes 0-15
// as above and no stored size or CRC; they are read as before, never rewritten in place
// (storing the same content again replaces one by the newer form). Readers take both.
//
// The CRC and the sizes are what a gzip member needs besides the raw deflate data inside
// the zlib stream, so a compressed content goes out as gzip without being compressed
// again (`open_gzip`).
//
// Contents are compressed unless that does not pay: contents under 64 bytes, and contents
// whose first block (up to 256 KiB) does not shrink below 90% of its size, are stored as
// they are. Deciding on the first block keeps memory flat and spares the time of
// compressing contents that are already compressed. Within a compressed content, a block
// that does not shrink switches the stream to stored blocks, and compression is tried
// again a few blocks later.
//
// Writing is crash safe and durable before it returns: the content is streamed, hashed as
// it goes, into a temporary file of the pool directory (created exclusively under an
// unpredictable name beginning ".tmp-"), flushed, renamed to its name and the directory
// flushed. A database transaction may then refer to the content and commit; a crash at
// any point leaves either the complete content or none, plus perhaps a temporary file that
// no name refers to and that `sweep_temporaries` removes. Storing a content that is already
// present leaves the pool as it was.
//
// Stale temporaries. Opening a VOB sweeps its pool's temporary files (one listing of the
// pool directory, never a walk of the pool), by the rule fileutl.h states for every
// temporary file of the core: a temporary is removed only when it is older than
// CONTENT_TEMP_STALE_S (FILEUTL_STALE_TEMP_S, an hour) and no writer holds its lock. A
// writer holds flock(LOCK_EX) on its temporary file from its creation until it closes it
// just before naming it; a killed writer's lock goes with its process. The temporaries of
// a batch wait closed for the batch's sync, however long the batch takes, so a batch holds
// a shared lock on the pool's guard file ".sweep-lock" from its first content until it is
// synced or destroyed, and a sweep that cannot take that lock exclusively at once sweeps
// nothing (the next open will).
//
// Reading checks: a reader hashes what it returns and fails with TBS_ST_DAMAGED at the
// end when the content does not match its name or its size, so damaged data is never
// delivered as good; `verify` also checks the CRC that the gzip form sends. A file whose length
// disagrees with its header (the stored size; for an old content stored as it is, the original
// size) fails at the open. A missing content gives TBS_ST_OBJ_NOT_FOUND; a name that is not 64
// lower-case hexadecimal digits TBS_ST_INVALID.
//
// Memory does not grow with content size: every operation works in fixed blocks.
// A pool object holds no open files and may be used from several threads and processes.
#ifndef CORE_STORE_CONTENT_POOL_H
#define CORE_STORE_CONTENT_POOL_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/store/db.h"
#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"

enum { CONTENT_SHA_HEX_LEN = 64 };
// The age from which a temporary file of the pool may be swept (with its lock free).
enum { CONTENT_TEMP_STALE_S = FILEUTL_STALE_TEMP_S };

class content_pool;

// Writes one content into the pool. Feed it with `write`, then `commit` to name it; a
// writer destroyed without committing removes its temporary file.
class content_writer {
public:
    ~content_writer();
    content_writer(const content_writer&) = delete;
    content_writer& operator=(const content_writer&) = delete;

    tbs_status_t write(const void* data, size_t len);
    // Makes the content durable under its name; `sha256_hex` gets the 64-digit name and
    // `size` the original size (either may be null). The writer is finished either way.
    tbs_status_t commit(std::string* sha256_hex, uint64_t* size);

private:
    friend class content_pool;
    struct impl;
    explicit content_writer(std::unique_ptr<impl> p);
    std::unique_ptr<impl> p_;
};

// Reads one content back. `read` returns up to `n` bytes in `*got`; 0 bytes with
// TBS_ST_OK is the end, reached only when the whole content matched its name.
class content_reader {
public:
    ~content_reader();
    content_reader(const content_reader&) = delete;
    content_reader& operator=(const content_reader&) = delete;

    tbs_status_t read(void* buf, size_t n, size_t* got);
    // Original size, from the header.
    uint64_t size() const;

private:
    friend class content_pool;
    struct impl;
    explicit content_reader(std::unique_ptr<impl> p);
    std::unique_ptr<impl> p_;
};

// Reads one compressed content as a complete gzip member (RFC 1952): a 10-byte header,
// the raw deflate data of the stored zlib stream byte for byte (its 2-byte header and
// 4-byte Adler-32 trailer left out), then the CRC-32 and the original size modulo 2^32,
// little-endian. Nothing is compressed or inflated again, and `size()` is exact before the
// first read.
//
// What it checks: the file's length against the header (at the open), the zlib header
// (deflate, no preset dictionary), and that the file ends where the header says. The
// deflate data is not inflated, so damage inside it reaches the client, whose gunzip
// checks it against the CRC and size in the trailer; the trailer is withheld when a check
// fails, so a truncated member never passes as whole. Contents written before the CRC was
// kept are inflated alongside to compute it, and for those the whole content is checked as
// a content_reader checks it.
class content_gzip_reader {
public:
    ~content_gzip_reader();
    content_gzip_reader(const content_gzip_reader&) = delete;
    content_gzip_reader& operator=(const content_gzip_reader&) = delete;

    // As content_reader::read, over the gzip member.
    tbs_status_t read(void* buf, size_t n, size_t* got);
    // Bytes of the gzip member.
    uint64_t size() const;
    // Original size of the content.
    uint64_t content_size() const;

private:
    friend class content_pool;
    struct impl;
    explicit content_gzip_reader(std::unique_ptr<impl> p);
    std::unique_ptr<impl> p_;
};

// Many contents made durable together: contents put with a batch stay under their
// temporary names until `sync`, which flushes the whole file system once, names them all,
// and flushes again. A caller puts a batch, syncs it, and only then commits the
// transaction that refers to its contents. Two flushes per batch instead of two per
// content; a crash before the sync leaves only temporary files. Contents of a batch that
// is destroyed unsynced are removed.
class content_batch {
public:
    explicit content_batch(std::string pool_dir) : dir_(std::move(pool_dir)) {}
    ~content_batch();
    content_batch(const content_batch&) = delete;
    content_batch& operator=(const content_batch&) = delete;
    tbs_status_t sync();
    size_t size() const { return pending_.size(); }

private:
    friend class content_writer;
    friend class content_pool;
    // Takes the shared guard lock that keeps sweeps away while contents wait; held until
    // the batch is synced or destroyed.
    tbs_status_t hold();
    void let_go();
    int guard_fd_ = -1;
    struct pending {
        std::string tmp, sub, target;
    };
    std::string dir_;
    std::vector<pending> pending_;
};

class content_pool {
public:
    // Uses (and creates when missing) the pool directory `dir`.
    static tbs_status_t open(const char* dir, std::unique_ptr<content_pool>* out);

    const std::string& dir() const { return dir_; }

    tbs_status_t open_writer(std::unique_ptr<content_writer>* out);
    tbs_status_t put_buffer(const void* data, size_t len, std::string* sha256_hex, uint64_t* size);
    tbs_status_t put_file(const char* path, std::string* sha256_hex, uint64_t* size);
    // The same, made durable later by `batch->sync()`.
    tbs_status_t put_file(const char* path, std::string* sha256_hex, uint64_t* size,
                          content_batch* batch);

    tbs_status_t open_reader(const char* sha256_hex, std::unique_ptr<content_reader>* out);
    // The content as a gzip member; TBS_ST_NOT_SUPPORTED when it is stored uncompressed
    // (then the caller sends it as it is or compresses it itself).
    tbs_status_t open_gzip(const char* sha256_hex, std::unique_ptr<content_gzip_reader>* out);
    // Writes the content to `dest` (replaced whole, through a temporary file beside it, so
    // a damaged content never leaves a partial or wrong file there). Flushed to disk before
    // it takes `dest`'s place only when `flush` asks for it.
    tbs_status_t get_to_file(const char* sha256_hex, const char* dest, bool flush = false);

    bool exists(const char* sha256_hex) const;
    tbs_status_t size(const char* sha256_hex, uint64_t* size) const;
    // Reads the whole content: TBS_ST_OK when it matches its name, size and CRC,
    // TBS_ST_DAMAGED when it does not.
    tbs_status_t verify(const char* sha256_hex);
    tbs_status_t remove(const char* sha256_hex);
    // Removes temporary files left by writers that died: those older than `min_age_s`
    // seconds whose lock is free, unless a batch is waiting (see above); `removed` gets
    // the count.
    tbs_status_t sweep_temporaries(int64_t min_age_s, int* removed);
    // Names (in the pool directory) of the temporaries a sweep for `min_age_s` would
    // remove now.
    tbs_status_t stale_temporaries(int64_t min_age_s, std::vector<std::string>* names) const;
    // Calls `fn(sha256_hex, mtime)` for every content file of the pool (a walk of the
    // whole pool, for checks; temporaries and files of other names are skipped).
    tbs_status_t each_content(const std::function<void(const std::string&, int64_t)>& fn) const;

    // Pathname of a content, whether or not it exists; empty for a malformed name.
    std::string path_of(const char* sha256_hex) const;

private:
    explicit content_pool(std::string dir) : dir_(std::move(dir)) {}
    std::string dir_;
};

#endif
