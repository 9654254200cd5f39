// Content pool: round trips, single storage, bounded memory, damage detection, a writer
// killed in the middle of a content, and faults of the file system under stores and fetches.
#include "core/store/content_pool.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/fault_fsys.h"
#include "support/temp_dir.h"

namespace {

std::string hex_of(const unsigned char* d, unsigned n) {
    std::string hex;
    char two[3];
    for (unsigned i = 0; i < n; ++i) {
        snprintf(two, sizeof two, "%02x", d[i]);
        hex += two;
    }
    return hex;
}

std::string sha256_hex(const std::string& data) {
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), d, &n, EVP_sha256(), nullptr);
    return hex_of(d, n);
}

// Finishes and frees a digest; its hexadecimal form.
std::string finish_hex(EVP_MD_CTX* md) {
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestFinal_ex(md, d, &n);
    EVP_MD_CTX_free(md);
    return hex_of(d, n);
}

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

std::string text_bytes(size_t n) {
    std::string s;
    for (int line = 0; s.size() < n; ++line)
        s += "line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog\n";
    s.resize(n);
    return s;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Reads a content through a reader in odd-sized pieces. `status` gets the first failure.
std::string read_all(content_pool& pool, const std::string& sha, tbs_status_t* status) {
    std::unique_ptr<content_reader> r;
    *status = pool.open_reader(sha.c_str(), &r);
    std::string out;
    char buf[7777];
    while (*status == TBS_ST_OK) {
        size_t got = 0;
        *status = r->read(buf, sizeof buf, &got);
        if (got == 0) break;
        out.append(buf, got);
    }
    return out;
}

// Reads a content's gzip member in pieces of changing sizes, so that the ends of its
// header, body and trailer fall inside reads. `status` gets the open's or the first read's
// failure, `size` what the reader promised.
std::string read_gzip(content_pool& pool, const std::string& sha, tbs_status_t* status,
                      uint64_t* size = nullptr) {
    std::unique_ptr<content_gzip_reader> r;
    *status = pool.open_gzip(sha.c_str(), &r);
    if (size) *size = r ? r->size() : 0;
    std::string out;
    static const size_t kPieces[] = {1, 3, 7777, 65536, 5};
    std::vector<char> buf(65536);
    for (size_t i = 0; *status == TBS_ST_OK; ++i) {
        size_t got = 0;
        *status = r->read(buf.data(), kPieces[i % 5], &got);
        if (got == 0) break;
        out.append(buf.data(), got);
    }
    return out;
}

// Inflates a gzip member as a client does: Z_STREAM_END only when it is whole, its CRC and
// size check, and nothing follows it.
int gunzip(const std::string& member, std::string* out) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return Z_MEM_ERROR;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
    z.avail_in = static_cast<uInt>(member.size());
    std::vector<char> buf(65536);
    int rc;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buf.data());
        z.avail_out = static_cast<uInt>(buf.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out->append(buf.data(), buf.size() - z.avail_out);
    } while (rc == Z_OK);
    if (rc == Z_STREAM_END && z.avail_in != 0) rc = Z_DATA_ERROR;
    inflateEnd(&z);
    return rc;
}

// What the gzip program makes of a member.
std::string gzip_program_output(const std::string& member, const std::string& scratch) {
    write_file(scratch, member);
    std::string out;
    FILE* p = popen(("gzip -dc < '" + scratch + "' 2>/dev/null").c_str(), "r");
    if (!p) return "<no gzip>";
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    return pclose(p) == 0 ? out : "<gzip failed>";
}

// Rewrites a content file into the form contents had before the CRC was kept: the 16-byte
// "VDC1" header, then the same stored bytes.
void to_old_format(const std::string& path) {
    std::string s = read_file(path);
    chmod(path.c_str(), 0644);
    write_file(path, "VDC1" + s.substr(4, 12) + s.substr(32));
}

// Files directly in the pool (temporaries) and in its two-digit directories (contents).
struct PoolFiles {
    int contents = 0;
    int temporaries = 0;
};

PoolFiles list_pool(const std::string& dir) {
    PoolFiles pf;
    DIR* d = opendir(dir.c_str());
    while (struct dirent* e = d ? readdir(d) : nullptr) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (name.rfind(".tmp-", 0) == 0) {
            ++pf.temporaries;
            continue;
        }
        DIR* sub = opendir((dir + "/" + name).c_str());
        while (struct dirent* f = sub ? readdir(sub) : nullptr)
            if (f->d_name[0] != '.') ++pf.contents;
        if (sub) closedir(sub);
    }
    if (d) closedir(d);
    return pf;
}

long status_kib(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return atol(line.c_str() + strlen(key));
    return -1;
}

std::unique_ptr<content_pool> open_pool(const std::string& dir) {
    std::unique_ptr<content_pool> pool;
    EXPECT_EQ(content_pool::open(dir.c_str(), &pool), TBS_ST_OK);
    return pool;
}

}  // namespace

TEST(ContentPool, RoundTripsAndStoresCompressedOnlyWhenItPays) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    std::string mixed = text_bytes(300 * 1024) + random_bytes(300 * 1024, 7);
    // Compressed, then stored through the random stretch, then compressed again.
    std::string banded = text_bytes(256 * 1024) + random_bytes(512 * 1024, 9) + text_bytes(3 << 20);
    struct Case {
        const char* name;
        std::string data;
        double stored_share;  // upper bound of stored / original; 0: kept as it is
    } cases[] = {
        {"empty", "", 0},
        {"tiny", "abc", 0},
        {"below the tiny limit", std::string(63, 'a'), 0},
        {"small text", text_bytes(5000), 0.5},
        {"one block exactly", text_bytes(256 * 1024), 0.3},
        {"compressible", text_bytes(1 << 20), 0.3},
        {"random", random_bytes(1 << 20, 1), 0},
        {"text head, random tail", mixed, 0.7},
        {"text, random, text", banded, 0.4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string sha;
        uint64_t size = 1;
        ASSERT_EQ(pool->put_buffer(c.data.data(), c.data.size(), &sha, &size), TBS_ST_OK);
        EXPECT_EQ(sha, sha256_hex(c.data));
        EXPECT_EQ(size, c.data.size());
        EXPECT_TRUE(pool->exists(sha.c_str()));
        uint64_t stored_size = 0;
        EXPECT_EQ(pool->size(sha.c_str(), &stored_size), TBS_ST_OK);
        EXPECT_EQ(stored_size, c.data.size());

        double on_disk = static_cast<double>(read_file(pool->path_of(sha.c_str())).size());
        if (c.stored_share > 0)
            EXPECT_LT(on_disk, c.stored_share * static_cast<double>(c.data.size()));
        else
            EXPECT_EQ(on_disk, static_cast<double>(32 + c.data.size()));

        tbs_status_t st;
        EXPECT_EQ(read_all(*pool, sha, &st), c.data);
        EXPECT_EQ(st, TBS_ST_OK);
        EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
        std::string out = dir / "out";
        write_file(out, "previous contents");
        ASSERT_EQ(pool->get_to_file(sha.c_str(), out.c_str()), TBS_ST_OK);
        EXPECT_EQ(read_file(out), c.data);
    }
    // Known digests: the empty text and "abc".
    EXPECT_TRUE(pool->exists("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_TRUE(pool->exists("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(list_pool(pool->dir()).temporaries, 0);
}

TEST(ContentPool, SameContentIsStoredOnce) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    std::string data = text_bytes(100000);
    write_file(dir / "src", data);
    std::string a, b, c;
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &a, nullptr), TBS_ST_OK);
    struct stat first;
    ASSERT_EQ(stat(pool->path_of(a.c_str()).c_str(), &first), 0);
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &b, nullptr), TBS_ST_OK);
    ASSERT_EQ(pool->put_file((dir / "src").c_str(), &c, nullptr), TBS_ST_OK);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    struct stat again;
    ASSERT_EQ(stat(pool->path_of(a.c_str()).c_str(), &again), 0);
    EXPECT_EQ(first.st_ino, again.st_ino);  // the stored file was left as it was
    PoolFiles pf = list_pool(pool->dir());
    EXPECT_EQ(pf.contents, 1);
    EXPECT_EQ(pf.temporaries, 0);
}

// 20 MB through put_file and back, plainly and as a gzip member, with the process's peak
// memory watched: the content must pass in blocks, never whole.
TEST(ContentPool, LargeContentStreamsInBoundedMemory) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    const std::string src = dir / "big";
    constexpr int kBlocks = 20;
    auto block = [](int i) {
        return i % 2 ? random_bytes(1 << 20, static_cast<unsigned>(i)) : text_bytes(1 << 20);
    };
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
    {
        std::ofstream f(src, std::ios::binary);
        for (int i = 0; i < kBlocks; ++i) {
            std::string b = block(i);
            EVP_DigestUpdate(md, b.data(), b.size());
            f.write(b.data(), static_cast<std::streamsize>(b.size()));
        }
    }
    const std::string want = finish_hex(md);

    // Resetting the peak needs /proc/self/clear_refs; without it the peak only grows and
    // the check below still holds or fails for the right reason.
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    long rss_before = status_kib("VmRSS:");
    std::string sha;
    uint64_t size = 0;
    ASSERT_EQ(pool->put_file(src.c_str(), &sha, &size), TBS_ST_OK);
    EXPECT_EQ(sha, want);
    EXPECT_EQ(size, uint64_t{kBlocks} << 20);
    EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
    const std::string out = dir / "out";
    ASSERT_EQ(pool->get_to_file(sha.c_str(), out.c_str()), TBS_ST_OK);
    // The gzip member, inflated as it comes and hashed: blocks of both kinds, whole.
    {
        std::unique_ptr<content_gzip_reader> gz;
        ASSERT_EQ(pool->open_gzip(sha.c_str(), &gz), TBS_ST_OK);
        z_stream z{};
        ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
        EVP_MD_CTX* back_md = EVP_MD_CTX_new();
        EVP_DigestInit_ex(back_md, EVP_sha256(), nullptr);
        std::vector<unsigned char> in(100000), inflated(1 << 16);
        uint64_t member = 0;
        int rc = Z_OK;
        for (size_t got = 1; got;) {
            ASSERT_EQ(gz->read(in.data(), in.size(), &got), TBS_ST_OK);
            member += got;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
            while (got && (z.avail_in || !z.avail_out) && rc == Z_OK) {
                z.next_out = inflated.data();
                z.avail_out = static_cast<uInt>(inflated.size());
                rc = inflate(&z, Z_NO_FLUSH);
                EVP_DigestUpdate(back_md, inflated.data(), inflated.size() - z.avail_out);
            }
        }
        inflateEnd(&z);
        EXPECT_EQ(rc, Z_STREAM_END);
        EXPECT_EQ(member, gz->size());
        EXPECT_EQ(finish_hex(back_md), want);
    }
    long growth_kib = status_kib("VmHWM:") - rss_before;
    EXPECT_LT(growth_kib, 8 * 1024) << "peak grew by " << growth_kib << " KiB";

    // Compare block by block.
    std::unique_ptr<content_reader> r;
    ASSERT_EQ(pool->open_reader(sha.c_str(), &r), TBS_ST_OK);
    EXPECT_EQ(r->size(), size);
    std::ifstream copy(out, std::ios::binary);
    std::vector<char> buf(1 << 20), back(1 << 20);
    for (int i = 0; i < kBlocks; ++i) {
        size_t have = 0;
        while (have < buf.size()) {
            size_t got = 0;
            ASSERT_EQ(r->read(buf.data() + have, buf.size() - have, &got), TBS_ST_OK);
            ASSERT_GT(got, 0u);
            have += got;
        }
        std::string b = block(i);
        ASSERT_EQ(memcmp(buf.data(), b.data(), b.size()), 0) << "block " << i;
        copy.read(back.data(), static_cast<std::streamsize>(back.size()));
        ASSERT_EQ(memcmp(back.data(), b.data(), b.size()), 0) << "copied block " << i;
    }
    size_t got = 1;
    EXPECT_EQ(r->read(buf.data(), buf.size(), &got), TBS_ST_OK);
    EXPECT_EQ(got, 0u);
}

TEST(ContentPool, DamageIsDetectedAndNeverDeliveredAsGood) {
    struct Damage {
        const char* name;
        void (*apply)(const std::string& path);
    } damages[] = {
        {"flipped byte in the middle",
         [](const std::string& p) {
             std::string s = read_file(p);
             s[16 + (s.size() - 16) / 2] ^= 0x20;
             write_file(p, s);
         }},
        {"flipped last byte",
         [](const std::string& p) {
             std::string s = read_file(p);
             s.back() ^= 0x01;
             write_file(p, s);
         }},
        {"one byte cut off",
         [](const std::string& p) {
             truncate(p.c_str(), static_cast<off_t>(read_file(p).size() - 1));
         }},
        {"cut to half",
         [](const std::string& p) {
             truncate(p.c_str(), static_cast<off_t>(read_file(p).size() / 2));
         }},
        {"header only", [](const std::string& p) { truncate(p.c_str(), 16); }},
        {"byte appended",
         [](const std::string& p) {
             std::ofstream f(p, std::ios::binary | std::ios::app);
             f << 'x';
         }},
        {"size in header grown",
         [](const std::string& p) {
             std::string s = read_file(p);
             s[15] = static_cast<char>(s[15] + 1);
             write_file(p, s);
         }},
        {"bad magic",
         [](const std::string& p) {
             std::string s = read_file(p);
             s[0] = 'X';
             write_file(p, s);
         }},
    };
    const std::string contents[] = {text_bytes(700 * 1024), random_bytes(700 * 1024, 3),
                                    text_bytes(1000)};
    for (const std::string& data : contents) {
        for (const Damage& dmg : damages) {
            SCOPED_TRACE(std::string(dmg.name) + ", " + std::to_string(data.size()) + " bytes");
            TempDir dir;
            auto pool = open_pool(dir / "pool");
            ASSERT_TRUE(pool);
            std::string sha;
            ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
            std::string path = pool->path_of(sha.c_str());
            chmod(path.c_str(), 0644);
            dmg.apply(path);

            EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_DAMAGED);
            tbs_status_t st;
            read_all(*pool, sha, &st);
            EXPECT_EQ(st, TBS_ST_DAMAGED);
            const std::string out = dir / "out";
            write_file(out, "kept");
            EXPECT_EQ(pool->get_to_file(sha.c_str(), out.c_str()), TBS_ST_DAMAGED);
            EXPECT_EQ(read_file(out), "kept");
            EXPECT_EQ(list_pool(dir / "").temporaries, 0);  // no leftover beside `out`
        }
    }
}

TEST(ContentPool, RestoringRepairsATruncatedContent) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    std::string data = text_bytes(50000);
    std::string sha;
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
    std::string path = pool->path_of(sha.c_str());
    ASSERT_EQ(truncate(path.c_str(), 100), 0);
    ASSERT_EQ(pool->verify(sha.c_str()), TBS_ST_DAMAGED);
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
    EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
}

TEST(ContentPool, MissingAndMalformedNames) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    std::string sha;
    ASSERT_EQ(pool->put_buffer("gone", 4, &sha, nullptr), TBS_ST_OK);
    ASSERT_EQ(pool->remove(sha.c_str()), TBS_ST_OK);
    const std::string out = dir / "out";
    uint64_t size = 0;
    std::unique_ptr<content_reader> r;
    struct Case {
        std::string name;
        tbs_status_t want;
    } cases[] = {
        {sha, TBS_ST_OBJ_NOT_FOUND},
        {std::string(64, 'A'), TBS_ST_INVALID},
        {std::string(63, 'a'), TBS_ST_INVALID},
        {std::string(65, 'a'), TBS_ST_INVALID},
        {"../" + std::string(61, 'a'), TBS_ST_INVALID},
        {"", TBS_ST_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(pool->exists(c.name.c_str()));
        EXPECT_EQ(pool->size(c.name.c_str(), &size), c.want);
        EXPECT_EQ(pool->verify(c.name.c_str()), c.want);
        EXPECT_EQ(pool->open_reader(c.name.c_str(), &r), c.want);
        EXPECT_EQ(pool->get_to_file(c.name.c_str(), out.c_str()), c.want);
        EXPECT_EQ(pool->remove(c.name.c_str()), c.want);
    }
    EXPECT_FALSE(pool->exists(nullptr));
    EXPECT_EQ(pool->put_file((dir / "no-such-file").c_str(), &sha, nullptr),
              tbs_errno2status(ENOENT));
    EXPECT_EQ(list_pool(pool->dir()).temporaries, 0);
}

// A writer killed in the middle of a large content: nothing appears under a content name,
// the leftover temporary does not disturb later writers, and a sweep removes it.
TEST(ContentPool, KilledWriterLeavesNoContentAndPoolStaysUsable) {
    TempDir dir;
    const std::string pool_dir = dir / "pool";
    auto pool = open_pool(pool_dir);
    ASSERT_TRUE(pool);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        std::unique_ptr<content_pool> p;
        std::unique_ptr<content_writer> w;
        if (content_pool::open(pool_dir.c_str(), &p) || p->open_writer(&w)) _exit(2);
        std::string block = text_bytes(1 << 20);
        for (int i = 0;; ++i) {
            block[0] = static_cast<char>(i);
            if (w->write(block.data(), block.size())) _exit(3);
            if (i == 8 && write(ready[1], "r", 1) != 1) _exit(4);
        }
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    PoolFiles pf = list_pool(pool_dir);
    EXPECT_EQ(pf.contents, 0);
    EXPECT_EQ(pf.temporaries, 1);

    std::string data = text_bytes(3 << 20);
    std::string sha;
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
    EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
    int removed = -1;
    EXPECT_EQ(pool->sweep_temporaries(3600, &removed), TBS_ST_OK);
    EXPECT_EQ(removed, 0);  // too young: it could belong to a live writer
    EXPECT_EQ(pool->sweep_temporaries(0, &removed), TBS_ST_OK);
    EXPECT_EQ(removed, 1);
    pf = list_pool(pool_dir);
    EXPECT_EQ(pf.contents, 1);
    EXPECT_EQ(pf.temporaries, 0);
    EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
}

// Contents put with a batch have no names until the batch is synced; an unsynced batch
// leaves nothing behind, and a content already present is not replaced.
TEST(ContentPool, BatchNamesContentsOnlyWhenSynced) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) write_file(dir / ("f" + std::to_string(i)), text_bytes(5000 + i));
    std::string present;
    ASSERT_EQ(pool->put_file((dir / "f0").c_str(), &present, nullptr), TBS_ST_OK);
    {
        content_batch lost(pool->dir());
        std::string n;
        ASSERT_EQ(pool->put_file((dir / "f1").c_str(), &n, nullptr, &lost), TBS_ST_OK);
        EXPECT_FALSE(pool->exists(n.c_str()));
    }
    PoolFiles pf = list_pool(pool->dir());
    EXPECT_EQ(pf.contents, 1);
    EXPECT_EQ(pf.temporaries, 0);

    content_batch batch(pool->dir());
    for (int i = 0; i < 3; ++i) {
        std::string n;
        ASSERT_EQ(pool->put_file((dir / ("f" + std::to_string(i))).c_str(), &n, nullptr, &batch),
                  TBS_ST_OK);
        names.push_back(n);
    }
    EXPECT_EQ(names[0], present);
    EXPECT_FALSE(pool->exists(names[2].c_str()));
    ASSERT_EQ(batch.sync(), TBS_ST_OK);
    for (const std::string& n : names) EXPECT_EQ(pool->verify(n.c_str()), TBS_ST_OK);
    pf = list_pool(pool->dir());
    EXPECT_EQ(pf.contents, 3);
    EXPECT_EQ(pf.temporaries, 0);
}

// A store that meets a fault fails with the failing call's status and leaves no temporary
// file; a content has its name only when the fault came after the rename (a directory or
// file-system flush), and the pool stores the same content afterwards.
TEST(ContentPool, StoreFaultsAreReportedAndLeaveNoTemporaries) {
    const std::string raw = random_bytes(600 * 1024, 7);
    const std::string text = text_bytes(1 << 20);
    struct Case {
        const char* name;
        fs_fault fault;
        bool batch = false;
        bool named = false;
        bool compressed = false;
    };
    const Case cases[] = {
        {"temporary not created", {fs_op::open, ENOSPC, ".tmp-"}},
        {"disk full at the header", {fs_op::write, ENOSPC, ".tmp-", 0, 0}},
        {"disk full in stored data", {fs_op::write, ENOSPC, ".tmp-", 0, 300000}},
        {.name = "disk full in compressed data",
         .fault = {fs_op::write, ENOSPC, ".tmp-", 0, 4096},
         .compressed = true},
        {"temporary not flushed", {fs_op::fsync, EIO, ".tmp-"}},
        {"temporary not closed", {fs_op::close, EIO, ".tmp-"}},
        {"subdirectory not made", {fs_op::mkdir, ENOSPC, "/pool-store/"}},
        {"rename fails", {fs_op::rename, EIO, ".tmp-"}},
        {"rename finds no room", {fs_op::rename, ENOSPC, ".tmp-"}},
        // Flushes of the temporary, the pool directory (for a new subdirectory), then the
        // subdirectory (after the rename).
        {"pool directory not flushed", {fs_op::fsync, EIO, "/pool-store", 1}},
        {"subdirectory not flushed", {fs_op::fsync, EIO, "/pool-store", 2}, false, true},
        {"batch: disk full", {fs_op::write, ENOSPC, ".tmp-", 0, 300000}, true},
        {"batch: first flush", {fs_op::syncfs, EIO, "/pool-store"}, true},
        {"batch: subdirectory not made", {fs_op::mkdir, ENOSPC, "/pool-store/"}, true},
        {"batch: rename fails", {fs_op::rename, EIO, ".tmp-"}, true},
        {"batch: second flush", {fs_op::syncfs, EIO, "/pool-store", 1}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto pool = open_pool(dir / "pool-store");
        ASSERT_TRUE(pool);
        const std::string src = dir / "src";
        write_file(src, c.compressed ? text : raw);
        std::string sha;
        tbs_status_t st;
        int hits = 0;
        {
            ScopedFault fault(c.fault);
            content_batch batch(pool->dir());  // unsynced, it is dropped under the fault
            st = pool->put_file(src.c_str(), &sha, nullptr, c.batch ? &batch : nullptr);
            if (st == TBS_ST_OK && c.batch) st = batch.sync();
            hits = fault.hits();
        }
        EXPECT_EQ(st, tbs_errno2status(c.fault.err));
        EXPECT_GT(hits, 0);
        PoolFiles pf = list_pool(pool->dir());
        EXPECT_EQ(pf.temporaries, 0);
        EXPECT_EQ(pf.contents, c.named ? 1 : 0);

        ASSERT_EQ(pool->put_file(src.c_str(), &sha, nullptr), TBS_ST_OK);
        EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
        pf = list_pool(pool->dir());
        EXPECT_EQ(pf.temporaries, 0);
        EXPECT_EQ(pf.contents, 1);
    }
}

// A fetch that meets a fault fails with the failing call's status (a read error is not
// reported as damage), the destination keeps what it held, and no temporary is left
// beside it.
TEST(ContentPool, FetchFaultsLeaveTheDestinationAsItWas) {
    TempDir dir;
    auto pool = open_pool(dir / "pool-store");
    ASSERT_TRUE(pool);
    const std::string data = random_bytes(600 * 1024, 9);
    std::string sha;
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
    ASSERT_EQ(mkdir((dir / "dest").c_str(), 0777), 0);
    const std::string dest = dir / "dest/out";
    struct Case {
        const char* name;
        fs_fault fault;
    };
    const Case cases[] = {
        {"content unreadable", {fs_op::read, EIO, "/pool-store/"}},
        {"destination full", {fs_op::write, ENOSPC, "/dest/", 0, 100000}},
        {"destination not closed", {fs_op::close, EIO, "/dest/"}},
        {"destination rename fails", {fs_op::rename, EIO, "/dest/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(dest, "old");
        tbs_status_t st;
        int hits = 0;
        {
            ScopedFault fault(c.fault);
            st = pool->get_to_file(sha.c_str(), dest.c_str());
            hits = fault.hits();
        }
        EXPECT_EQ(st, tbs_errno2status(c.fault.err));
        EXPECT_GT(hits, 0);
        EXPECT_EQ(read_file(dest), "old");
        EXPECT_EQ(list_pool(dir / "dest").temporaries, 0);
    }
    EXPECT_EQ(pool->get_to_file(sha.c_str(), dest.c_str()), TBS_ST_OK);
    EXPECT_EQ(read_file(dest), data);
}

// A compressed content goes out as a gzip member whose body is the stored deflate data byte
// for byte, and which inflates to the content; a content stored as it is has no gzip form.
TEST(ContentPool, GzipMemberIsTheStoredDeflateDataFramed) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    struct Case {
        const char* name;
        std::string data;
        bool framed;
    } cases[] = {
        {"empty", "", false},
        {"tiny", "abc", false},
        {"random", random_bytes(1 << 20, 1), false},
        {"at the tiny limit", std::string(64, 'a'), true},
        {"small text", text_bytes(5000), true},
        {"one block exactly", text_bytes(256 * 1024), true},
        {"two blocks exactly", text_bytes(512 * 1024), true},
        {"one block and a byte", text_bytes(256 * 1024 + 1), true},
        {"text head, random tail", text_bytes(300 * 1024) + random_bytes(300 * 1024, 7), true},
        // Compressed, stored blocks through the random stretch, compressed again.
        {"text, random, text",
         text_bytes(256 * 1024) + random_bytes(512 * 1024, 9) + text_bytes(3 << 20), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string sha;
        ASSERT_EQ(pool->put_buffer(c.data.data(), c.data.size(), &sha, nullptr), TBS_ST_OK);
        tbs_status_t st;
        uint64_t size = 0;
        const std::string member = read_gzip(*pool, sha, &st, &size);
        if (!c.framed) {
            EXPECT_EQ(st, TBS_ST_NOT_SUPPORTED);
            continue;
        }
        ASSERT_EQ(st, TBS_ST_OK);
        EXPECT_EQ(member.size(), size);
        std::string back;
        EXPECT_EQ(gunzip(member, &back), Z_STREAM_END);
        EXPECT_TRUE(back == c.data);
        // The body is the zlib stream of the file without its header and Adler-32.
        const std::string file = read_file(pool->path_of(sha.c_str()));
        ASSERT_GT(member.size(), 18u);
        EXPECT_TRUE(member.substr(10, member.size() - 18) == file.substr(34, file.size() - 38));
        EXPECT_TRUE(gzip_program_output(member, dir / "member.gz") == c.data);
        std::unique_ptr<content_gzip_reader> r;
        ASSERT_EQ(pool->open_gzip(sha.c_str(), &r), TBS_ST_OK);
        EXPECT_EQ(r->content_size(), c.data.size());
    }
}

// Contents written with the older 16-byte header read as before, give the same gzip member
// (its CRC computed by inflating alongside, the whole content checked on the way), and are
// replaced by the newer form when stored again.
TEST(ContentPool, OldFormatContentsStillRead) {
    TempDir dir;
    auto pool = open_pool(dir / "pool");
    ASSERT_TRUE(pool);
    struct Case {
        const char* name;
        std::string data;
        bool compressed;
    } cases[] = {
        {"tiny", "abc", false},
        {"random", random_bytes(100 * 1024, 4), false},
        {"text", text_bytes(5000), true},
        {"text, random, text",
         text_bytes(256 * 1024) + random_bytes(512 * 1024, 9) + text_bytes(1 << 20), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string sha;
        ASSERT_EQ(pool->put_buffer(c.data.data(), c.data.size(), &sha, nullptr), TBS_ST_OK);
        const std::string path = pool->path_of(sha.c_str());
        tbs_status_t st;
        const std::string new_member = read_gzip(*pool, sha, &st);
        to_old_format(path);

        uint64_t size = 0;
        EXPECT_EQ(pool->size(sha.c_str(), &size), TBS_ST_OK);
        EXPECT_EQ(size, c.data.size());
        EXPECT_TRUE(read_all(*pool, sha, &st) == c.data);
        EXPECT_EQ(st, TBS_ST_OK);
        EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
        uint64_t member_size = 0;
        const std::string member = read_gzip(*pool, sha, &st, &member_size);
        if (!c.compressed) {
            EXPECT_EQ(st, TBS_ST_NOT_SUPPORTED);
        } else {
            ASSERT_EQ(st, TBS_ST_OK);
            EXPECT_EQ(member.size(), member_size);
            EXPECT_TRUE(member == new_member);
        }

        ASSERT_EQ(pool->put_buffer(c.data.data(), c.data.size(), &sha, nullptr), TBS_ST_OK);
        EXPECT_EQ(read_file(path).substr(0, 4), "VDC2");
        EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_OK);
    }

    // Damage inside an old content's deflate data is found on the way, since it is inflated:
    // the read fails and the trailer never goes out.
    const std::string data = text_bytes(700 * 1024);
    for (int cut : {0, 1}) {
        SCOPED_TRACE(cut ? "one byte cut off" : "flipped byte in the middle");
        std::string sha;
        ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
        const std::string path = pool->path_of(sha.c_str());
        to_old_format(path);
        std::string s = read_file(path);
        if (cut)
            s.pop_back();
        else
            s[s.size() / 2] ^= 0x20;
        write_file(path, s);
        tbs_status_t st;
        uint64_t size = 0;
        const std::string member = read_gzip(*pool, sha, &st, &size);
        EXPECT_EQ(st, TBS_ST_DAMAGED);
        EXPECT_LT(member.size(), size);
        ASSERT_EQ(pool->remove(sha.c_str()), TBS_ST_OK);
    }
}

// Damage to a compressed content never goes out as a good gzip member: the open or a read
// fails (the trailer is withheld), or, for damage inside the deflate data or the CRC that
// only inflating would show, the client's gunzip rejects the member. The pool's own check
// finds every case.
TEST(ContentPool, GzipOfADamagedContentNeverPassesAsGood) {
    enum class found { at_open, at_read, by_client };
    struct Damage {
        const char* name;
        void (*apply)(std::string& file);
        found where;
        bool after_open = false;
    } damages[] = {
        {"one byte cut off", [](std::string& s) { s.pop_back(); }, found::at_open},
        {"cut to half", [](std::string& s) { s.resize(s.size() / 2); }, found::at_open},
        {"header only", [](std::string& s) { s.resize(32); }, found::at_open},
        {"byte appended", [](std::string& s) { s += 'x'; }, found::at_open},
        {"stored size in header changed", [](std::string& s) { s[23] ^= 1; }, found::at_open},
        {"preset dictionary in the zlib header",
         [](std::string& s) {
             unsigned cmf = static_cast<unsigned char>(s[32]);
             unsigned flg = (static_cast<unsigned char>(s[33]) & 0xc0) | 0x20;
             flg |= (31 - (cmf * 256 + flg) % 31) % 31;
             s[33] = static_cast<char>(flg);
         },
         found::at_open},
        {"original size in header changed", [](std::string& s) { s[15] ^= 1; }, found::by_client},
        {"CRC in header changed", [](std::string& s) { s[27] ^= 1; }, found::by_client},
        {"flipped byte in the deflate data", [](std::string& s) { s[s.size() / 2] ^= 0x20; },
         found::by_client},
        {"cut short after the open", [](std::string& s) { s.resize(s.size() / 2); }, found::at_read,
         true},
    };
    auto damage = [](const std::string& path, const Damage& d) {
        std::string s = read_file(path);
        d.apply(s);
        write_file(path, s);  // the same file, so a reader that has it open sees the change
    };
    const std::string data = text_bytes(700 * 1024);
    for (const Damage& dmg : damages) {
        SCOPED_TRACE(dmg.name);
        TempDir dir;
        auto pool = open_pool(dir / "pool");
        ASSERT_TRUE(pool);
        std::string sha;
        ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
        const std::string path = pool->path_of(sha.c_str());
        chmod(path.c_str(), 0644);
        if (!dmg.after_open) damage(path, dmg);

        std::unique_ptr<content_gzip_reader> r;
        tbs_status_t st = pool->open_gzip(sha.c_str(), &r);
        if (dmg.where == found::at_open) {
            EXPECT_EQ(st, TBS_ST_DAMAGED);
        } else {
            ASSERT_EQ(st, TBS_ST_OK);
            if (dmg.after_open) damage(path, dmg);
            std::string member;
            std::vector<char> buf(65536);
            for (;;) {
                size_t got = 0;
                st = r->read(buf.data(), buf.size(), &got);
                if (st || got == 0) break;
                member.append(buf.data(), got);
            }
            std::string back;
            if (dmg.where == found::at_read) {
                EXPECT_EQ(st, TBS_ST_DAMAGED);
                EXPECT_LT(member.size(), r->size());
            } else {
                EXPECT_EQ(st, TBS_ST_OK);
                EXPECT_NE(gunzip(member, &back), Z_STREAM_END);
            }
        }
        EXPECT_EQ(pool->verify(sha.c_str()), TBS_ST_DAMAGED);
    }

    // A read error is reported as itself, not as damage: at the open (the header's two
    // reads, then the zlib header's), and in the body.
    TempDir dir;
    auto pool = open_pool(dir / "pool-store");
    ASSERT_TRUE(pool);
    std::string sha;
    ASSERT_EQ(pool->put_buffer(data.data(), data.size(), &sha, nullptr), TBS_ST_OK);
    for (int skip : {0, 2, 3, 5}) {
        SCOPED_TRACE("reads before the fault: " + std::to_string(skip));
        tbs_status_t st;
        uint64_t size = 0;
        std::string member;
        int hits = 0;
        {
            ScopedFault fault({fs_op::read, EIO, "/pool-store/", skip});
            member = read_gzip(*pool, sha, &st, &size);
            hits = fault.hits();
        }
        EXPECT_EQ(st, tbs_errno2status(EIO));
        EXPECT_GT(hits, 0);
        if (size) {
            EXPECT_LT(member.size(), size);  // opened: the trailer was withheld
        }
    }
}
