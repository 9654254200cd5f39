// Content pool benchmark: storing 100 MB as 10,000 files of 10 KB, and as one 100 MB
// file, with put_file; half of the data is text, half random (incompressible).
//
// Beside each figure it prints a plain copy of the same files (read, write, fsync of file
// and directory, no hashing or compression) on the same disk, since the flushes that make
// a put durable bound small files, and the read-back rate of the large content.
//
// Then it sends a set of 100 MB of versions (16 KB to 1 MB each) as download parts the two
// ways a download has done it: the cleartext copied to a temporary file and gzipped at
// level 6 into another, then read; and the gzip member framed from the pool's compressed
// form (contents kept uncompressed go as they are). Once for a set of text, once for a set
// half text, half random, and once for the text set in the older content form (no CRC in
// the header, so the member's CRC is computed by inflating alongside). Rates count the
// versions' own bytes; the parts go to /dev/null.
//   bench_content_pool [dir] [files] [file KiB] [big MiB] [set MiB]
// dir defaults to $TMPDIR or /tmp.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/store/content_pool.h"
#include "core/util/fileutl.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Text-like or random data; `seed` makes each file distinct.
std::string make_data(size_t n, bool text, unsigned seed) {
    std::string s;
    s.reserve(n);
    if (text) {
        for (unsigned line = 0; s.size() < n; ++line)
            s += "file " + std::to_string(seed) + " line " + std::to_string(line) +
                 ": int value = compute(input, " + std::to_string(line * 7 % 13) + ");\n";
        s.resize(n);
    } else {
        std::mt19937 rng(seed);
        for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(rng()));
    }
    return s;
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The floor: copy a file and make it durable the way the pool does.
bool plain_copy(const std::string& src, const std::string& dst, const std::string& dst_dir) {
    int in = open(src.c_str(), O_RDONLY);
    int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) return false;
    std::vector<char> buf(256 * 1024);
    ssize_t n;
    while ((n = read(in, buf.data(), buf.size())) > 0)
        if (write(out, buf.data(), static_cast<size_t>(n)) != n) return false;
    bool ok = n == 0 && fsync(out) == 0;
    close(in);
    close(out);
    int d = open(dst_dir.c_str(), O_RDONLY | O_DIRECTORY);
    ok = ok && d >= 0 && fsync(d) == 0;
    if (d >= 0) close(d);
    return ok;
}

// Version sizes of the sending set, repeated until it is large enough.
constexpr size_t kSetSizes[] = {16000, 40000, 100000, 250000, 1000000};

// Puts a set of about `bytes` into the pool; every other version random when `mixed`.
std::vector<std::string> put_set(content_pool& pool, double bytes, bool mixed, unsigned seed,
                                 double* total) {
    std::vector<std::string> shas;
    *total = 0;
    for (size_t i = 0; *total < bytes; ++i) {
        std::string data = make_data(kSetSizes[i % 5], !mixed || i % 2 == 0, seed + i);
        std::string sha;
        if (pool.put_buffer(data.data(), data.size(), &sha, nullptr)) return {};
        shas.push_back(sha);
        *total += static_cast<double>(data.size());
    }
    return shas;
}

bool drain(int sink, int fd, std::vector<char>& buf, double* sent) {
    ssize_t n;
    while ((n = read(fd, buf.data(), buf.size())) > 0) {
        if (write(sink, buf.data(), static_cast<size_t>(n)) != n) return false;
        *sent += static_cast<double>(n);
    }
    return n == 0;
}

// The older download: cleartext to a temporary file, gzip level 6 into another, read it.
bool send_recompressed(content_pool& pool, const std::vector<std::string>& shas,
                       const std::string& tmp, int sink, double* sent) {
    std::vector<char> buf(64 * 1024);
    const std::string clear = tmp + "/cleartext", gz = tmp + "/cleartext.gz";
    for (const std::string& sha : shas) {
        if (pool.get_to_file(sha.c_str(), clear.c_str()) ||
            fileutl_gzip(clear.c_str(), gz.c_str(), 6))
            return false;
        int fd = open(gz.c_str(), O_RDONLY);
        bool ok = fd >= 0 && drain(sink, fd, buf, sent);
        if (fd >= 0) close(fd);
        unlink(clear.c_str());
        unlink(gz.c_str());
        if (!ok) return false;
    }
    return true;
}

// Streams a pool reader (plain or gzip) to the sink.
template <class Reader>
bool stream(Reader& r, int sink, std::vector<char>& buf, double* sent) {
    for (;;) {
        size_t got = 0;
        if (r.read(buf.data(), buf.size(), &got)) return false;
        if (got == 0) return true;
        if (write(sink, buf.data(), got) != static_cast<ssize_t>(got)) return false;
        *sent += static_cast<double>(got);
    }
}

// The download now: the gzip member framed from the pool, or the bytes as they are.
bool send_framed(content_pool& pool, const std::vector<std::string>& shas, int sink, double* sent) {
    std::vector<char> buf(64 * 1024);
    for (const std::string& sha : shas) {
        std::unique_ptr<content_gzip_reader> gz;
        tbs_status_t st = pool.open_gzip(sha.c_str(), &gz);
        if (st == TBS_ST_OK) {
            if (!stream(*gz, sink, buf, sent)) return false;
            continue;
        }
        std::unique_ptr<content_reader> plain;
        if (st != TBS_ST_NOT_SUPPORTED || pool.open_reader(sha.c_str(), &plain) ||
            !stream(*plain, sink, buf, sent))
            return false;
    }
    return true;
}

// Rewrites a content file into the older form: the 16-byte "VDC1" header, the same data.
bool to_old_format(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), {});
    if (s.size() < 32) return false;
    std::string old = "VDC1" + s.substr(4, 12) + s.substr(32);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    write_file(path, old);
    return true;
}

// Sends a set both ways and prints both rates.
bool bench_sending(content_pool& pool, const char* what, const std::vector<std::string>& shas,
                   double bytes, const std::string& tmp, bool old_way) {
    int sink = open("/dev/null", O_WRONLY);
    double sent = 0;
    char label[80];
    bool ok = true;
    if (old_way) {
        auto t = Clock::now();
        ok = send_recompressed(pool, shas, tmp, sink, &sent);
        double secs = seconds_since(t);
        snprintf(label, sizeof label, "%s, temporary + gzip -6", what);
        printf("%-44s %8.1f MB/s  (%.2f s; %.1f MB sent)\n", label, bytes / 1e6 / secs, secs,
               sent / 1e6);
    }
    sent = 0;
    auto t = Clock::now();
    ok = ok && send_framed(pool, shas, sink, &sent);
    double secs = seconds_since(t);
    snprintf(label, sizeof label, "%s, framed from the pool", what);
    printf("%-44s %8.1f MB/s  (%.2f s; %.1f MB sent)\n", label, bytes / 1e6 / secs, secs,
           sent / 1e6);
    close(sink);
    return ok;
}

void report(const char* what, double bytes, double secs, double base_secs) {
    printf("%-34s %8.1f MB/s  (%.2f s; plain copy %.1f MB/s, %.2f s)\n", what, bytes / 1e6 / secs,
           secs, bytes / 1e6 / base_secs, base_secs);
}

}  // namespace

int main(int argc, char** argv) {
    std::string base = argc > 1 ? argv[1] : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    const int files = argc > 2 ? atoi(argv[2]) : 10000;
    const size_t file_size = (argc > 3 ? static_cast<size_t>(atol(argv[3])) : 10) * 1000;
    const long big_mib = argc > 4 ? atol(argv[4]) : 100;
    const double set_bytes = (argc > 5 ? atof(argv[5]) : 100) * (1 << 20);
    fs::path dir = fs::path(base) / ("vdweb-bench-pool-" + std::to_string(getpid()));
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "copy");

    std::vector<std::string> sources;
    for (int i = 0; i < files; ++i) {
        sources.push_back((dir / "src" / ("f" + std::to_string(i))).string());
        write_file(sources.back(), make_data(file_size, i % 2 == 0, static_cast<unsigned>(i)));
    }
    const std::string big = (dir / "big").string();
    {
        std::ofstream f(big, std::ios::binary);
        for (long i = 0; i < big_mib; ++i) {
            std::string block = make_data(1 << 20, i % 2 == 0, static_cast<unsigned>(i));
            f.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }

    std::unique_ptr<content_pool> pool;
    if (content_pool::open((dir / "pool").c_str(), &pool)) {
        fprintf(stderr, "cannot open the pool\n");
        return 1;
    }
    int rc = 0;

    auto t = Clock::now();
    for (const std::string& s : sources) {
        std::string sha;
        if (pool->put_file(s.c_str(), &sha, nullptr)) {
            fprintf(stderr, "put_file %s failed\n", s.c_str());
            rc = 1;
            break;
        }
    }
    double small_secs = seconds_since(t);
    t = Clock::now();
    const std::string copy_dir = (dir / "copy").string();
    for (int i = 0; i < files; ++i) {
        // Spread over 256 directories as the pool is, so that both flush small directories.
        char sub[8];
        snprintf(sub, sizeof sub, "/%02x", i % 256);
        std::string d = copy_dir + sub;
        if (i < 256) fs::create_directories(d);
        plain_copy(sources[static_cast<size_t>(i)], d + "/f" + std::to_string(i), d);
    }
    double small_base = seconds_since(t);
    char label[64];
    snprintf(label, sizeof label, "put %d files of %zu KB", files, file_size / 1000);
    report(label, static_cast<double>(files) * static_cast<double>(file_size), small_secs,
           small_base);
    printf("%-34s %8.0f files/s\n", "", files / small_secs);

    std::string sha;
    t = Clock::now();
    if (pool->put_file(big.c_str(), &sha, nullptr)) {
        fprintf(stderr, "put_file of the large file failed\n");
        return 1;
    }
    double big_secs = seconds_since(t);
    t = Clock::now();
    plain_copy(big, copy_dir + "/big", copy_dir);
    double big_base = seconds_since(t);
    snprintf(label, sizeof label, "put one file of %ld MiB", big_mib);
    const double big_bytes = static_cast<double>(big_mib) * (1 << 20);
    report(label, big_bytes, big_secs, big_base);

    t = Clock::now();
    if (pool->verify(sha.c_str())) {
        fprintf(stderr, "verify failed\n");
        rc = 1;
    }
    double read_secs = seconds_since(t);
    printf("%-34s %8.1f MB/s  (%.2f s)\n", "read back and check the large one",
           big_bytes / 1e6 / read_secs, read_secs);

    printf("\nsending a set of %.0f MB of versions as download parts\n", set_bytes / 1e6);
    const std::string tmp = (dir / "copy").string();
    for (bool mixed : {false, true}) {
        double bytes = 0;
        std::vector<std::string> set =
            put_set(*pool, set_bytes, mixed, mixed ? 50000 : 20000, &bytes);
        const char* what = mixed ? "half text, half random" : "text";
        if (set.empty() || !bench_sending(*pool, what, set, bytes, tmp, true)) {
            fprintf(stderr, "sending the %s set failed\n", what);
            rc = 1;
        }
        if (mixed) continue;
        for (const std::string& sha : set) to_old_format(pool->path_of(sha.c_str()));
        if (!bench_sending(*pool, "text, older form", set, bytes, tmp, false)) {
            fprintf(stderr, "sending the older set failed\n");
            rc = 1;
        }
    }

    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
}
