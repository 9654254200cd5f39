// The content pool: streaming, hashing, compressing writers and checking readers over
// files named by SHA-256.
#include "core/store/content_pool.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/util/fileutl.h"
#include "core/util/fsys.h"

namespace {

constexpr size_t kHeaderSize = 16;
constexpr char kMagic[4] = {'V', 'D', 'C', '1'};
constexpr unsigned char kFlagRaw = 0;
constexpr unsigned char kFlagZlib = 1;

// The block the writer judges compression on, and the unit of file I/O.
constexpr size_t kBlock = 256 * 1024;
// Below this a zlib stream's own overhead eats most of the gain.
constexpr size_t kTinyContent = 64;
// Compressed data must come under this share of the original to be kept compressed.
constexpr double kKeepRatio = 0.90;
constexpr int kLevel = Z_BEST_SPEED;
// A compressed content whose block does not compress goes on stored (level 0, about as
// fast as a copy) and tries compressing again every this many blocks.
constexpr int kProbeEvery = 4;
constexpr const char* kTempPrefix = ".tmp-";
// Held shared by waiting batches, exclusively by a sweep.
constexpr const char* kSweepGuard = ".sweep-lock";

bool valid_sha(const char* sha) {
    if (!sha) return false;
    size_t i = 0;
    for (; sha[i]; ++i) {
        char c = sha[i];
        if (i >= CONTENT_SHA_HEX_LEN || !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return i == CONTENT_SHA_HEX_LEN;
}

tbs_status_t errno_status(int err) {
    return tbs_errno2status(err ? err : EIO);
}

tbs_status_t open_status(int err) {
    return err == ENOENT ? TBS_ST_OBJ_NOT_FOUND : errno_status(err);
}

// Reads up to `n` bytes, fewer only at the end of the file.
ssize_t read_full(int fd, void* data, size_t n) {
    auto* p = static_cast<char*>(data);
    size_t done = 0;
    while (done < n) {
        ssize_t r = fsys_read(fd, p + done, n - done);
        if (r < 0) return -1;
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(done);
}

tbs_status_t fsync_dir(const std::string& dir) {
    int fd = fsys_open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno_status(errno);
    int rc = fsys_fsync(fd);
    int err = errno;
    fsys_close(fd);
    return rc == 0 ? TBS_ST_OK : errno_status(err);
}

std::string to_hex(const unsigned char* d, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string s(n * 2, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = kHex[d[i] >> 4];
        s[2 * i + 1] = kHex[d[i] & 15];
    }
    return s;
}

void encode_header(unsigned char* h, unsigned char flag, uint64_t size) {
    memcpy(h, kMagic, 4);
    h[4] = flag;
    h[5] = h[6] = h[7] = 0;
    for (int i = 0; i < 8; ++i) h[8 + i] = static_cast<unsigned char>(size >> (56 - 8 * i));
}

// Reads and checks the header of an open content file.
tbs_status_t read_header(int fd, bool* compressed, uint64_t* size) {
    unsigned char h[kHeaderSize];
    ssize_t r = read_full(fd, h, sizeof h);
    if (r < 0) return errno_status(errno);
    if (static_cast<size_t>(r) < sizeof h || memcmp(h, kMagic, 4) != 0 ||
        (h[4] != kFlagRaw && h[4] != kFlagZlib) || h[5] || h[6] || h[7])
        return TBS_ST_DAMAGED;
    *compressed = h[4] == kFlagZlib;
    *size = 0;
    for (int i = 0; i < 8; ++i) *size = (*size << 8) | h[8 + i];
    return TBS_ST_OK;
}

struct md_ctx {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    md_ctx() {
        if (ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(ctx);
            ctx = nullptr;
        }
    }
    ~md_ctx() { EVP_MD_CTX_free(ctx); }
    void update(const void* p, size_t n) {
        if (n) EVP_DigestUpdate(ctx, p, n);
    }
    std::string hex() {
        unsigned char d[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_DigestFinal_ex(ctx, d, &n);
        return to_hex(d, n);
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Writer

struct content_writer::impl {
    enum class mode { deciding, raw, zlib };

    std::string pool_dir;
    std::string tmp_path;
    int fd = -1;
    md_ctx md;
    uint64_t total = 0;
    mode m = mode::deciding;
    std::vector<unsigned char> first;  // the first block, held until the mode is decided
    z_stream z{};
    bool z_live = false;
    std::vector<unsigned char> zbuf;  // deflate's output
    int level = kLevel;
    int probe_in = 0;                // blocks until the next try at kLevel
    size_t block_in = 0;             // input since the current block began
    uLong block_out_at = 0;          // z.total_out when it began
    std::vector<unsigned char> out;  // pending file output
    tbs_status_t failed = TBS_ST_OK;
    content_batch* batch = nullptr;  // durability deferred to the batch's sync

    ~impl() {
        if (z_live) deflateEnd(&z);
        if (fd >= 0) fsys_close(fd);
        if (!tmp_path.empty()) fsys_unlink(tmp_path.c_str());
    }

    tbs_status_t fail(tbs_status_t st) {
        if (!failed) failed = st;
        return failed;
    }

    tbs_status_t flush_out() {
        if (!out.empty() && !fileutl_write_all(fd, out.data(), out.size()))
            return fail(errno_status(errno));
        out.clear();
        return TBS_ST_OK;
    }

    tbs_status_t emit(const unsigned char* p, size_t n) {
        if (out.size() + n > kBlock && flush_out()) return failed;
        if (n >= kBlock) {
            if (!fileutl_write_all(fd, p, n)) return fail(errno_status(errno));
            return TBS_ST_OK;
        }
        out.insert(out.end(), p, p + n);
        return TBS_ST_OK;
    }

    // Runs deflate over `p` (`n` bytes) with `flush`, handing its output to `sink`.
    template <class Sink>
    tbs_status_t deflate_into(const unsigned char* p, size_t n, int flush, Sink sink) {
        z.next_in = const_cast<unsigned char*>(p);
        z.avail_in = static_cast<uInt>(n);
        for (;;) {
            z.next_out = zbuf.data();
            z.avail_out = static_cast<uInt>(zbuf.size());
            int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR) return fail(TBS_ST_ERR);
            size_t produced = zbuf.size() - z.avail_out;
            if (produced && sink(zbuf.data(), produced)) return failed;
            if (rc == Z_STREAM_END) return TBS_ST_OK;
            // Done when deflate left output room and has taken all input.
            if (z.avail_out != 0 && z.avail_in == 0) return TBS_ST_OK;
        }
    }

    tbs_status_t start_zlib() {
        zbuf.resize(64 * 1024);
        if (deflateInit(&z, kLevel) != Z_OK) return fail(tbs_errno2status(ENOMEM));
        z_live = true;
        return TBS_ST_OK;
    }

    // Chooses raw or zlib from the first block; `at_end` when it is the whole content.
    tbs_status_t decide(bool at_end) {
        if (at_end && first.size() < kTinyContent) {
            m = mode::raw;
        } else {
            if (start_zlib()) return failed;
            std::vector<unsigned char> trial;
            auto keep = [&](const unsigned char* p, size_t n) {
                trial.insert(trial.end(), p, p + n);
                return TBS_ST_OK;
            };
            // Z_BLOCK pushes out everything deflate holds, so `trial` is the true size.
            if (deflate_into(first.data(), first.size(), at_end ? Z_FINISH : Z_BLOCK, keep))
                return failed;
            if (static_cast<double>(trial.size()) <
                kKeepRatio * static_cast<double>(first.size())) {
                m = mode::zlib;
                block_out_at = z.total_out;
                emit(trial.data(), trial.size());
            } else {
                m = mode::raw;
                deflateEnd(&z);
                z_live = false;
            }
        }
        if (m == mode::raw) emit(first.data(), first.size());
        std::vector<unsigned char>().swap(first);
        return failed;
    }

    tbs_status_t write(const unsigned char* p, size_t n) {
        if (failed) return failed;
        md.update(p, n);
        total += n;
        if (m == mode::deciding) {
            size_t take = std::min(n, kBlock - first.size());
            first.insert(first.end(), p, p + take);
            p += take;
            n -= take;
            if (first.size() < kBlock) return TBS_ST_OK;
            if (decide(false)) return failed;
        }
        if (m == mode::raw) return emit(p, n);
        auto sink = [this](const unsigned char* q, size_t k) { return emit(q, k); };
        while (n > 0) {
            size_t take = std::min(n, kBlock - block_in);
            if (deflate_into(p, take, Z_NO_FLUSH, sink)) return failed;
            p += take;
            n -= take;
            block_in += take;
            if (block_in == kBlock && end_block()) return failed;
        }
        return TBS_ST_OK;
    }

    // Judges the block just compressed and picks the level for the next one, so that the
    // incompressible stretches of a content are not spent compressing in vain.
    tbs_status_t end_block() {
        auto sink = [this](const unsigned char* q, size_t k) { return emit(q, k); };
        if (deflate_into(nullptr, 0, Z_BLOCK, sink)) return failed;
        size_t produced = z.total_out - block_out_at;
        int next = level;
        if (level == kLevel &&
            static_cast<double>(produced) >= kKeepRatio * static_cast<double>(block_in)) {
            next = Z_NO_COMPRESSION;
            probe_in = kProbeEvery;
        } else if (level == Z_NO_COMPRESSION && --probe_in == 0) {
            next = kLevel;
        }
        if (next != level) {
            // Everything is flushed, so the change compresses nothing and needs no room.
            z.next_out = zbuf.data();
            z.avail_out = static_cast<uInt>(zbuf.size());
            if (deflateParams(&z, next, Z_DEFAULT_STRATEGY) != Z_OK) return fail(TBS_ST_ERR);
            size_t out = zbuf.size() - z.avail_out;
            if (out && emit(zbuf.data(), out)) return failed;
            level = next;
        }
        block_in = 0;
        block_out_at = z.total_out;
        return TBS_ST_OK;
    }

    tbs_status_t finish(std::string* sha, uint64_t* size);
};

content_writer::content_writer(std::unique_ptr<impl> p) : p_(std::move(p)) {}
content_writer::~content_writer() = default;

tbs_status_t content_writer::write(const void* data, size_t len) {
    if (!p_) return TBS_ST_INVALID;
    if (len && !data) return TBS_ST_INVALID;
    return p_->write(static_cast<const unsigned char*>(data), len);
}

tbs_status_t content_writer::commit(std::string* sha256_hex, uint64_t* size) {
    if (!p_) return TBS_ST_INVALID;
    tbs_status_t st = p_->finish(sha256_hex, size);
    p_.reset();  // removes the temporary file when it is still there
    return st;
}

tbs_status_t content_writer::impl::finish(std::string* sha, uint64_t* size) {
    if (failed) return failed;
    if (m == mode::deciding && decide(true)) return failed;
    if (m == mode::zlib) {
        auto sink = [this](const unsigned char* q, size_t k) { return emit(q, k); };
        if (deflate_into(nullptr, 0, Z_FINISH, sink)) return failed;
        deflateEnd(&z);
        z_live = false;
    }
    if (flush_out()) return failed;

    unsigned char h[kHeaderSize];
    encode_header(h, m == mode::zlib ? kFlagZlib : kFlagRaw, total);
    if (fsys_pwrite(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h))
        return fail(errno_status(errno));
    // The bytes must be on disk before any name refers to them: now, or at the batch's sync.
    if (!batch && fsys_fsync(fd) != 0) return fail(errno_status(errno));
    struct stat tmp_st;
    if (fsys_fstat(fd, &tmp_st) != 0) return fail(errno_status(errno));
    int fd_copy = fd;
    fd = -1;
    if (fsys_close(fd_copy) != 0) return fail(errno_status(errno));

    std::string hex = md.hex();
    std::string sub = pool_dir + "/" + hex.substr(0, 2);
    std::string target = sub + "/" + hex.substr(2);
    if (batch) {
        batch->pending_.push_back({tmp_path, sub, target});
        tmp_path.clear();
        if (sha) *sha = std::move(hex);
        if (size) *size = total;
        return TBS_ST_OK;
    }
    bool made_sub = fsys_mkdir(sub.c_str(), 0777) == 0;
    if (!made_sub && errno != EEXIST) return fail(errno_status(errno));
    if (made_sub) {
        if (tbs_status_t st = fsync_dir(pool_dir)) return fail(st);
    }

    struct stat cur;
    if (fsys_stat(target.c_str(), &cur) == 0 && cur.st_size == tmp_st.st_size) {
        // Already present: the same content makes the same bytes. One of another size is
        // damaged and is replaced below.
        fsys_unlink(tmp_path.c_str());
    } else if (fsys_rename(tmp_path.c_str(), target.c_str()) != 0) {
        return fail(errno_status(errno));
    }
    tmp_path.clear();
    // Also when the content was there already: its writer may not have flushed the
    // directory yet, and the caller is about to commit a reference to it.
    if (tbs_status_t st = fsync_dir(sub)) return fail(st);
    if (sha) *sha = std::move(hex);
    if (size) *size = total;
    return TBS_ST_OK;
}

// ---------------------------------------------------------------------------------------
// Reader

struct content_reader::impl {
    int fd = -1;
    std::string expect;
    uint64_t size = 0;
    bool compressed = false;
    uint64_t delivered = 0;
    md_ctx md;
    z_stream z{};
    bool z_live = false;
    bool z_end = false;  // the zlib stream ended
    bool in_eof = false;
    std::vector<unsigned char> in;
    bool done = false;
    tbs_status_t failed = TBS_ST_OK;

    ~impl() {
        if (z_live) inflateEnd(&z);
        if (fd >= 0) fsys_close(fd);
    }

    tbs_status_t fail(tbs_status_t st) {
        if (!failed) failed = st;
        return failed;
    }

    // Refills the input buffer once it is used up.
    tbs_status_t fill() {
        if (z.avail_in != 0 || in_eof) return TBS_ST_OK;
        ssize_t r = read_full(fd, in.data(), in.size());
        if (r < 0) return fail(errno_status(errno));
        if (r == 0) in_eof = true;
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(r);
        return TBS_ST_OK;
    }

    // Inflates into `buf`; `*got` bytes produced (0 only at the stream's end).
    tbs_status_t inflate_some(unsigned char* buf, size_t n, size_t* got) {
        *got = 0;
        z.next_out = buf;
        z.avail_out = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        uInt room = z.avail_out;
        while (!z_end && z.avail_out == room) {
            if (fill()) return failed;
            int rc = inflate(&z, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                z_end = true;
            } else if (rc == Z_BUF_ERROR && in_eof && z.avail_in == 0) {
                return fail(TBS_ST_DAMAGED);  // the stream stops short
            } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
                return fail(TBS_ST_DAMAGED);
            }
        }
        *got = room - z.avail_out;
        return TBS_ST_OK;
    }

    // Called once every byte the header promises was produced: nothing may follow, and the
    // whole must hash to the name.
    tbs_status_t check_end() {
        unsigned char extra;
        if (compressed) {
            size_t got = 0;
            if (inflate_some(&extra, 1, &got)) return failed;
            if (got) return fail(TBS_ST_DAMAGED);  // longer than the header says
            if (z.avail_in != 0) return fail(TBS_ST_DAMAGED);
            if (!in_eof) {
                ssize_t r = read_full(fd, &extra, 1);
                if (r != 0) return fail(r < 0 ? errno_status(errno) : TBS_ST_DAMAGED);
            }
        } else {
            ssize_t r = read_full(fd, &extra, 1);
            if (r != 0) return fail(r < 0 ? errno_status(errno) : TBS_ST_DAMAGED);
        }
        if (md.hex() != expect) return fail(TBS_ST_DAMAGED);
        done = true;
        return TBS_ST_OK;
    }

    tbs_status_t read(unsigned char* buf, size_t n, size_t* got) {
        *got = 0;
        if (failed) return failed;
        if (done) return TBS_ST_OK;
        if (delivered == size) return check_end();
        size_t want = static_cast<size_t>(std::min<uint64_t>(n, size - delivered));
        size_t produced = 0;
        if (compressed) {
            if (inflate_some(buf, want, &produced)) return failed;
        } else {
            ssize_t r = read_full(fd, buf, want);
            if (r < 0) return fail(errno_status(errno));
            produced = static_cast<size_t>(r);
        }
        if (produced == 0) return fail(TBS_ST_DAMAGED);  // shorter than the header says
        md.update(buf, produced);
        delivered += produced;
        // The block that completes the content is handed out only once it all checks.
        if (delivered == size && check_end()) return failed;
        *got = produced;
        return TBS_ST_OK;
    }
};

content_reader::content_reader(std::unique_ptr<impl> p) : p_(std::move(p)) {}
content_reader::~content_reader() = default;

tbs_status_t content_reader::read(void* buf, size_t n, size_t* got) {
    if (!got) return TBS_ST_INVALID;
    *got = 0;
    if (!buf || n == 0) return TBS_ST_INVALID;
    return p_->read(static_cast<unsigned char*>(buf), n, got);
}

uint64_t content_reader::size() const {
    return p_->size;
}

// ---------------------------------------------------------------------------------------
// Pool

tbs_status_t content_pool::open(const char* dir, std::unique_ptr<content_pool>* out) {
    if (!dir || !*dir || !out) return TBS_ST_INVALID;
    if (tbs_status_t st = fileutl_mkdir_p(dir, 0777)) return st;
    out->reset(new content_pool(dir));
    return TBS_ST_OK;
}

std::string content_pool::path_of(const char* sha) const {
    if (!valid_sha(sha)) return std::string();
    return dir_ + "/" + std::string(sha, 2) + "/" + (sha + 2);
}

tbs_status_t content_pool::open_writer(std::unique_ptr<content_writer>* out) {
    if (!out) return TBS_ST_INVALID;
    auto p = std::make_unique<content_writer::impl>();
    if (!p->md.ctx) return TBS_ST_ERR;
    p->pool_dir = dir_;
    std::vector<char> path(dir_.size() + 64);
    p->fd = fileutl_create_temp(dir_.c_str(), kTempPrefix, 0444, path.data(), path.size());
    if (p->fd < 0) return errno_status(errno);
    p->tmp_path = path.data();
    // Room for the header, written once the size and the mode are known.
    unsigned char h[kHeaderSize] = {};
    if (!fileutl_write_all(p->fd, h, sizeof h)) return errno_status(errno);
    out->reset(new content_writer(std::move(p)));
    return TBS_ST_OK;
}

tbs_status_t content_pool::put_buffer(const void* data, size_t len, std::string* sha256_hex,
                                      uint64_t* size) {
    if (tbs_status_t st = fileutl_check_reserve(dir_.c_str(), len + kHeaderSize)) return st;
    std::unique_ptr<content_writer> w;
    if (tbs_status_t st = open_writer(&w)) return st;
    if (tbs_status_t st = w->write(data, len)) return st;
    return w->commit(sha256_hex, size);
}

tbs_status_t content_pool::put_file(const char* path, std::string* sha256_hex, uint64_t* size) {
    return put_file(path, sha256_hex, size, nullptr);
}

content_batch::~content_batch() {
    for (const pending& p : pending_) fsys_unlink(p.tmp.c_str());
    let_go();
}

tbs_status_t content_batch::hold() {
    if (guard_fd_ >= 0) return TBS_ST_OK;
    const std::string guard = dir_ + "/" + kSweepGuard;
    int fd = fsys_open(guard.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno_status(errno);
    // A sweep holds the guard only for one listing of the pool directory.
    while (::flock(fd, LOCK_SH) != 0) {
        if (errno != EINTR) {
            int err = errno;
            fsys_close(fd);
            return errno_status(err);
        }
    }
    guard_fd_ = fd;
    return TBS_ST_OK;
}

void content_batch::let_go() {
    if (guard_fd_ >= 0) fsys_close(guard_fd_);
    guard_fd_ = -1;
}

tbs_status_t content_batch::sync() {
    if (pending_.empty()) return TBS_ST_OK;
    int fd = fsys_open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno_status(errno);
    tbs_status_t st = fsys_syncfs(fd) == 0 ? TBS_ST_OK : errno_status(errno);
    for (size_t i = 0; st == TBS_ST_OK && i < pending_.size(); ++i) {
        const pending& p = pending_[i];
        if (fsys_mkdir(p.sub.c_str(), 0777) != 0 && errno != EEXIST) {
            st = errno_status(errno);
            break;
        }
        struct stat cur, tmp;
        if (fsys_stat(p.target.c_str(), &cur) == 0 && fsys_stat(p.tmp.c_str(), &tmp) == 0 &&
            cur.st_size == tmp.st_size) {
            fsys_unlink(p.tmp.c_str());
        } else if (fsys_rename(p.tmp.c_str(), p.target.c_str()) != 0) {
            st = errno_status(errno);
        }
    }
    // The new names (and directories) are durable once the file system is flushed again.
    if (st == TBS_ST_OK && fsys_syncfs(fd) != 0) st = errno_status(errno);
    fsys_close(fd);
    if (st == TBS_ST_OK) {
        pending_.clear();
        let_go();
    }
    return st;
}

tbs_status_t content_pool::put_file(const char* path, std::string* sha256_hex, uint64_t* size,
                                    content_batch* batch) {
    if (!path) return TBS_ST_INVALID;
    // Before the temporary file exists, so that it is never unguarded once closed.
    int fd = fsys_open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno_status(errno);
    // Refused before a byte is written: contents are stored at most their own size (and a
    // header) when they do not compress.
    struct stat src;
    tbs_status_t room =
        fsys_fstat(fd, &src) != 0
            ? errno_status(errno)
            : fileutl_check_reserve(dir_.c_str(), static_cast<uint64_t>(src.st_size) + kHeaderSize);
    if (!room && batch) room = batch->hold();
    if (room) {
        fsys_close(fd);
        return room;
    }
    std::unique_ptr<content_writer> w;
    tbs_status_t st = open_writer(&w);
    // One read buffer per thread: clearing a fresh one per file costs more than a small
    // file's whole put.
    thread_local std::vector<unsigned char> buf(kBlock);
    while (!st) {
        ssize_t r = read_full(fd, buf.data(), buf.size());
        if (r < 0) {
            st = errno_status(errno);
            break;
        }
        if (r == 0) break;
        st = w->write(buf.data(), static_cast<size_t>(r));
    }
    fsys_close(fd);
    if (!st) w->p_->batch = batch;
    return st ? st : w->commit(sha256_hex, size);
}

tbs_status_t content_pool::open_reader(const char* sha, std::unique_ptr<content_reader>* out) {
    if (!out) return TBS_ST_INVALID;
    out->reset();
    std::string path = path_of(sha);
    if (path.empty()) return TBS_ST_INVALID;
    auto p = std::make_unique<content_reader::impl>();
    if (!p->md.ctx) return TBS_ST_ERR;
    p->fd = fsys_open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (p->fd < 0) return open_status(errno);
    if (tbs_status_t st = read_header(p->fd, &p->compressed, &p->size)) return st;
    p->expect = sha;
    if (p->compressed) {
        p->in.resize(64 * 1024);
        if (inflateInit(&p->z) != Z_OK) return tbs_errno2status(ENOMEM);
        p->z_live = true;
    }
    out->reset(new content_reader(std::move(p)));
    return TBS_ST_OK;
}

tbs_status_t content_pool::get_to_file(const char* sha, const char* dest) {
    if (!dest || !*dest) return TBS_ST_INVALID;
    std::unique_ptr<content_reader> r;
    if (tbs_status_t st = open_reader(sha, &r)) return st;
    std::string d(dest);
    size_t slash = d.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : d.substr(0, slash);
    std::vector<char> tmp(dir.size() + 64);
    int fd = fileutl_create_temp(dir.c_str(), kTempPrefix, 0666, tmp.data(), tmp.size());
    if (fd < 0) return errno_status(errno);
    std::vector<unsigned char> buf(kBlock);
    tbs_status_t st = TBS_ST_OK;
    for (;;) {
        size_t got = 0;
        st = r->read(buf.data(), buf.size(), &got);
        if (st || got == 0) break;
        if (!fileutl_write_all(fd, buf.data(), got)) {
            st = errno_status(errno);
            break;
        }
    }
    if (fsys_close(fd) != 0 && !st) st = errno_status(errno);
    if (!st && fsys_rename(tmp.data(), dest) != 0) st = errno_status(errno);
    if (st) fsys_unlink(tmp.data());
    return st;
}

bool content_pool::exists(const char* sha) const {
    std::string path = path_of(sha);
    struct stat st;
    return !path.empty() && fsys_stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

tbs_status_t content_pool::size(const char* sha, uint64_t* size) const {
    if (!size) return TBS_ST_INVALID;
    std::string path = path_of(sha);
    if (path.empty()) return TBS_ST_INVALID;
    int fd = fsys_open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return open_status(errno);
    bool compressed = false;
    tbs_status_t st = read_header(fd, &compressed, size);
    fsys_close(fd);
    return st;
}

tbs_status_t content_pool::verify(const char* sha) {
    std::unique_ptr<content_reader> r;
    if (tbs_status_t st = open_reader(sha, &r)) return st;
    std::vector<unsigned char> buf(kBlock);
    for (;;) {
        size_t got = 0;
        if (tbs_status_t st = r->read(buf.data(), buf.size(), &got)) return st;
        if (got == 0) return TBS_ST_OK;
    }
}

tbs_status_t content_pool::remove(const char* sha) {
    std::string path = path_of(sha);
    if (path.empty()) return TBS_ST_INVALID;
    if (fsys_unlink(path.c_str()) != 0) return open_status(errno);
    return TBS_ST_OK;
}

tbs_status_t content_pool::sweep_temporaries(int64_t min_age_s, int* removed) {
    if (removed) *removed = 0;
    const std::string guard = dir_ + "/" + kSweepGuard;
    int fd = fsys_open(guard.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno_status(errno);
    tbs_status_t st = TBS_ST_OK;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        const char* const prefixes[] = {kTempPrefix};
        st = fileutl_sweep_temps(dir_.c_str(), prefixes, 1, min_age_s, removed);
    }
    fsys_close(fd);
    return st;
}

tbs_status_t content_pool::each_content(
    const std::function<void(const std::string&, int64_t)>& fn) const {
    DIR* top = ::opendir(dir_.c_str());
    if (!top) return errno_status(errno);
    tbs_status_t st = TBS_ST_OK;
    while (struct dirent* e = ::readdir(top)) {
        const std::string sub = e->d_name;
        if (sub.size() != 2 || !valid_sha((sub + std::string(62, '0')).c_str())) continue;
        DIR* d = ::opendir((dir_ + "/" + sub).c_str());
        if (!d) {
            st = errno_status(errno);
            break;
        }
        while (struct dirent* f = ::readdir(d)) {
            const std::string sha = sub + f->d_name;
            struct stat s;
            if (!valid_sha(sha.c_str()) || fsys_lstat(path_of(sha.c_str()).c_str(), &s) != 0 ||
                !S_ISREG(s.st_mode))
                continue;
            fn(sha, static_cast<int64_t>(s.st_mtime));
        }
        ::closedir(d);
    }
    ::closedir(top);
    return st;
}

tbs_status_t content_pool::stale_temporaries(int64_t min_age_s,
                                             std::vector<std::string>* names) const {
    names->clear();
    DIR* d = ::opendir(dir_.c_str());
    if (!d) return errno_status(errno);
    const time_t now = ::time(nullptr);
    while (struct dirent* e = ::readdir(d)) {
        if (strncmp(e->d_name, kTempPrefix, strlen(kTempPrefix)) != 0) continue;
        const std::string path = dir_ + "/" + e->d_name;
        struct stat s;
        if (fsys_lstat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode) ||
            static_cast<int64_t>(now - s.st_mtime) < min_age_s)
            continue;
        int fd = fsys_open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (fileutl_lock_temp(fd)) names->push_back(e->d_name);
        fsys_close(fd);
    }
    ::closedir(d);
    std::sort(names->begin(), names->end());
    return TBS_ST_OK;
}
