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

// Written now: the header with the stored size and the CRC.
constexpr size_t kHeaderSize = 32;
constexpr char kMagic[4] = {'V', 'D', 'C', '2'};
// Still read: the header of contents written before the CRC was kept.
constexpr size_t kHeaderSizeV1 = 16;
constexpr char kMagicV1[4] = {'V', 'D', 'C', '1'};
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

uint64_t get_be(const unsigned char* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

void put_be(unsigned char* p, int n, uint64_t v) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(v >> (8 * (n - 1 - i)));
}

// What a content file's header says.
struct header {
    size_t length = 0;  // of the header itself
    bool compressed = false;
    uint64_t size = 0;    // original
    uint64_t stored = 0;  // bytes after the header
    bool has_crc = false;
    uint32_t crc = 0;
};

void encode_header(unsigned char* h, unsigned char flag, uint64_t size, uint64_t stored,
                   uint32_t crc) {
    memset(h, 0, kHeaderSize);
    memcpy(h, kMagic, 4);
    h[4] = flag;
    put_be(h + 8, 8, size);
    put_be(h + 16, 8, stored);
    put_be(h + 24, 4, crc);
}

// Reads and checks the header of an open content file, and the file's length against it,
// leaving the file at the first byte after the header.
tbs_status_t read_header(int fd, header* out) {
    unsigned char h[kHeaderSize];
    ssize_t r = read_full(fd, h, kHeaderSizeV1);
    if (r < 0) return errno_status(errno);
    const bool v1 = r == static_cast<ssize_t>(kHeaderSizeV1) && memcmp(h, kMagicV1, 4) == 0;
    const bool v2 = r == static_cast<ssize_t>(kHeaderSizeV1) && memcmp(h, kMagic, 4) == 0;
    if ((!v1 && !v2) || (h[4] != kFlagRaw && h[4] != kFlagZlib) || h[5] || h[6] || h[7])
        return TBS_ST_DAMAGED;
    header hd;
    hd.length = v1 ? kHeaderSizeV1 : kHeaderSize;
    hd.compressed = h[4] == kFlagZlib;
    hd.size = get_be(h + 8, 8);
    if (v2) {
        r = read_full(fd, h + kHeaderSizeV1, kHeaderSize - kHeaderSizeV1);
        if (r < 0) return errno_status(errno);
        if (r != static_cast<ssize_t>(kHeaderSize - kHeaderSizeV1) || get_be(h + 28, 4) != 0)
            return TBS_ST_DAMAGED;
        hd.stored = get_be(h + 16, 8);
        hd.has_crc = true;
        hd.crc = static_cast<uint32_t>(get_be(h + 24, 4));
    }
    struct stat st;
    if (fsys_fstat(fd, &st) != 0) return errno_status(errno);
    const uint64_t file = static_cast<uint64_t>(st.st_size);
    if (file < hd.length) return TBS_ST_DAMAGED;
    if (v1) hd.stored = file - hd.length;
    if (file - hd.length != hd.stored || (!hd.compressed && hd.stored != hd.size))
        return TBS_ST_DAMAGED;
    *out = hd;
    return TBS_ST_OK;
}

// The CRC-32 of `n` more bytes.
uint32_t crc_update(uint32_t crc, const unsigned char* p, size_t n) {
    return static_cast<uint32_t>(crc32_z(crc, p, n));
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
    uint32_t crc = 0;  // CRC-32 of the original, for the header
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
        crc = crc_update(crc, p, n);
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

    struct stat tmp_st;
    if (fsys_fstat(fd, &tmp_st) != 0) return fail(errno_status(errno));
    unsigned char h[kHeaderSize];
    encode_header(h, m == mode::zlib ? kFlagZlib : kFlagRaw, total,
                  static_cast<uint64_t>(tmp_st.st_size) - kHeaderSize, crc);
    if (fsys_pwrite(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h))
        return fail(errno_status(errno));
    // The bytes must be on disk before any name refers to them: now, or at the batch's sync.
    if (!batch && fsys_fsync(fd) != 0) return fail(errno_status(errno));
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
        // damaged, or in the older form, and is replaced below.
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
    header h;
    uint64_t delivered = 0;
    md_ctx md;
    // The CRC is checked only by `verify`: the hash already guards what is read, and the
    // CRC, which costs a fifth more per byte, matters only to the gzip form.
    bool check_crc = false;
    uint32_t crc = 0;
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
        if (h.compressed) {
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
        if (md.hex() != expect || (check_crc && crc != h.crc)) return fail(TBS_ST_DAMAGED);
        done = true;
        return TBS_ST_OK;
    }

    tbs_status_t read(unsigned char* buf, size_t n, size_t* got) {
        *got = 0;
        if (failed) return failed;
        if (done) return TBS_ST_OK;
        if (delivered == h.size) return check_end();
        size_t want = static_cast<size_t>(std::min<uint64_t>(n, h.size - delivered));
        size_t produced = 0;
        if (h.compressed) {
            if (inflate_some(buf, want, &produced)) return failed;
        } else {
            ssize_t r = read_full(fd, buf, want);
            if (r < 0) return fail(errno_status(errno));
            produced = static_cast<size_t>(r);
        }
        if (produced == 0) return fail(TBS_ST_DAMAGED);  // shorter than the header says
        md.update(buf, produced);
        if (check_crc) crc = crc_update(crc, buf, produced);
        delivered += produced;
        // The block that completes the content is handed out only once it all checks.
        if (delivered == h.size && check_end()) return failed;
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
    return p_->h.size;
}

// ---------------------------------------------------------------------------------------
// Gzip member reader

namespace {

constexpr size_t kZlibHead = 2;
constexpr size_t kZlibTrail = 4;  // Adler-32
constexpr size_t kGzipHead = 10;
constexpr size_t kGzipTrail = 8;  // CRC-32 and size, little-endian
// The shortest zlib stream: its header, a final block holding nothing, the Adler-32.
constexpr uint64_t kMinZlib = kZlibHead + 2 + kZlibTrail;

// A zlib header this reader can take the deflate data out of: deflate with a window the
// gzip format allows, a valid check, and no preset dictionary (which gzip cannot carry).
bool plain_zlib_header(const unsigned char* h) {
    return (h[0] & 0x0f) == Z_DEFLATED && (h[0] >> 4) <= 7 && ((h[0] << 8) | h[1]) % 31 == 0 &&
           !(h[1] & 0x20);
}

void put_le32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

struct content_gzip_reader::impl {
    int fd = -1;
    std::string expect;
    header h;
    unsigned char head[kGzipHead] = {0x1f, 0x8b, Z_DEFLATED, 0, 0, 0, 0, 0, 0, 3 /* Unix */};
    unsigned char trail[kGzipTrail] = {};
    size_t head_at = 0;
    uint64_t body_left = 0;        // deflate bytes still to hand out
    size_t trail_at = kGzipTrail;  // set to 0 once the body checks
    tbs_status_t failed = TBS_ST_OK;

    // An old content without a CRC in its header: its zlib stream is inflated alongside,
    // for the CRC and to check it whole.
    bool alongside = false;
    std::unique_ptr<md_ctx> md;
    uint32_t crc = 0;
    z_stream z{};
    bool z_live = false;
    bool z_end = false;
    std::vector<unsigned char> scratch;

    ~impl() {
        if (z_live) inflateEnd(&z);
        if (fd >= 0) fsys_close(fd);
    }

    tbs_status_t fail(tbs_status_t st) {
        if (!failed) failed = st;
        return failed;
    }

    uint64_t size() const { return kGzipHead + (h.stored - kZlibHead - kZlibTrail) + kGzipTrail; }

    // Inflates `n` bytes of the zlib stream into the scratch buffer, for the CRC and hash.
    tbs_status_t inflate_alongside(const unsigned char* p, size_t n) {
        z.next_in = const_cast<unsigned char*>(p);
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = scratch.data();
            z.avail_out = static_cast<uInt>(scratch.size());
            int rc = inflate(&z, Z_NO_FLUSH);
            size_t produced = scratch.size() - z.avail_out;
            md->update(scratch.data(), produced);
            crc = crc_update(crc, scratch.data(), produced);
            if (rc == Z_STREAM_END) {
                z_end = true;
                break;
            }
            if (rc != Z_OK && !(rc == Z_BUF_ERROR && z.avail_in == 0)) return fail(TBS_ST_DAMAGED);
        } while (z.avail_in > 0 || z.avail_out == 0);
        // Data after the end of the stream, or more than the header promised.
        if ((z_end && z.avail_in > 0) || z.total_out > h.size) return fail(TBS_ST_DAMAGED);
        return TBS_ST_OK;
    }

    // After the last deflate byte: the Adler-32 must end the file, and an old content must
    // have inflated whole to its name. Only then is the trailer made.
    tbs_status_t end_body() {
        unsigned char adler[kZlibTrail + 1];
        ssize_t r = read_full(fd, adler, sizeof adler);
        if (r < 0) return fail(errno_status(errno));
        if (r != static_cast<ssize_t>(kZlibTrail)) return fail(TBS_ST_DAMAGED);
        uint32_t sum = h.crc;
        if (alongside) {
            if (inflate_alongside(adler, kZlibTrail)) return failed;
            if (!z_end || z.total_out != h.size || md->hex() != expect) return fail(TBS_ST_DAMAGED);
            sum = crc;
        }
        put_le32(trail, sum);
        put_le32(trail + 4, static_cast<uint32_t>(h.size));
        trail_at = 0;
        return TBS_ST_OK;
    }

    tbs_status_t read(unsigned char* buf, size_t n, size_t* got) {
        *got = 0;
        if (failed) return failed;
        size_t done = 0;
        if (head_at < kGzipHead) {
            size_t k = std::min(n, kGzipHead - head_at);
            memcpy(buf, head + head_at, k);
            head_at += k;
            done += k;
        }
        if (done < n && body_left > 0) {
            size_t want = static_cast<size_t>(
                std::min<uint64_t>(std::min<size_t>(n - done, 1u << 30), body_left));
            ssize_t r = read_full(fd, buf + done, want);
            if (r < 0) return fail(errno_status(errno));
            if (static_cast<size_t>(r) != want) return fail(TBS_ST_DAMAGED);  // cut short
            if (alongside && inflate_alongside(buf + done, want)) return failed;
            body_left -= want;
            done += want;
            // The block that ends the body is handed out only once the end checks.
            if (body_left == 0 && end_body()) return failed;
        }
        if (done < n && body_left == 0 && trail_at < kGzipTrail) {
            size_t k = std::min(n - done, kGzipTrail - trail_at);
            memcpy(buf + done, trail + trail_at, k);
            trail_at += k;
            done += k;
        }
        *got = done;
        return TBS_ST_OK;
    }
};

content_gzip_reader::content_gzip_reader(std::unique_ptr<impl> p) : p_(std::move(p)) {}
content_gzip_reader::~content_gzip_reader() = default;

tbs_status_t content_gzip_reader::read(void* buf, size_t n, size_t* got) {
    if (!got) return TBS_ST_INVALID;
    *got = 0;
    if (!buf || n == 0) return TBS_ST_INVALID;
    return p_->read(static_cast<unsigned char*>(buf), n, got);
}

uint64_t content_gzip_reader::size() const {
    return p_->size();
}

uint64_t content_gzip_reader::content_size() const {
    return p_->h.size;
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
    if (tbs_status_t st = read_header(p->fd, &p->h)) return st;
    p->expect = sha;
    if (p->h.compressed) {
        p->in.resize(64 * 1024);
        if (inflateInit(&p->z) != Z_OK) return tbs_errno2status(ENOMEM);
        p->z_live = true;
    }
    out->reset(new content_reader(std::move(p)));
    return TBS_ST_OK;
}

tbs_status_t content_pool::open_gzip(const char* sha, std::unique_ptr<content_gzip_reader>* out) {
    if (!out) return TBS_ST_INVALID;
    out->reset();
    std::string path = path_of(sha);
    if (path.empty()) return TBS_ST_INVALID;
    auto p = std::make_unique<content_gzip_reader::impl>();
    p->fd = fsys_open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (p->fd < 0) return open_status(errno);
    if (tbs_status_t st = read_header(p->fd, &p->h)) return st;
    if (!p->h.compressed) return TBS_ST_NOT_SUPPORTED;
    if (p->h.stored < kMinZlib) return TBS_ST_DAMAGED;
    unsigned char zh[kZlibHead];
    ssize_t r = read_full(p->fd, zh, sizeof zh);
    if (r < 0) return errno_status(errno);
    if (r != static_cast<ssize_t>(sizeof zh) || !plain_zlib_header(zh)) return TBS_ST_DAMAGED;
    p->body_left = p->h.stored - kZlibHead - kZlibTrail;
    p->expect = sha;
    if (!p->h.has_crc) {
        p->alongside = true;
        p->md = std::make_unique<md_ctx>();
        if (!p->md->ctx) return TBS_ST_ERR;
        p->scratch.resize(64 * 1024);
        if (inflateInit(&p->z) != Z_OK) return tbs_errno2status(ENOMEM);
        p->z_live = true;
        if (p->inflate_alongside(zh, sizeof zh)) return p->failed;
    }
    out->reset(new content_gzip_reader(std::move(p)));
    return TBS_ST_OK;
}

tbs_status_t content_pool::get_to_file(const char* sha, const char* dest, bool flush) {
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
    if (!st && flush && fsys_fsync(fd) != 0) st = errno_status(errno);
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
    header h;
    tbs_status_t st = read_header(fd, &h);
    fsys_close(fd);
    if (st == TBS_ST_OK) *size = h.size;
    return st;
}

tbs_status_t content_pool::verify(const char* sha) {
    std::unique_ptr<content_reader> r;
    if (tbs_status_t st = open_reader(sha, &r)) return st;
    r->p_->check_crc = r->p_->h.has_crc;
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
    const char* const prefixes[] = {kTempPrefix};
    return fileutl_list_stale_temps(dir_.c_str(), prefixes, 1, min_age_s, names);
}
