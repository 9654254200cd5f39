// Upload streaming benchmark: a 100 MiB multipart upload decoded from a file, against
// `cat` copying the same bytes to a file on the same disk, in one run.
//
// Reports the decoder's copy rate, cat's rate and their ratio, and the decoding process's
// peak resident memory above its baseline (VmHWM minus VmRSS before decoding).
//   bench_upload [dir] [MiB]     dir defaults to $TMPDIR or /tmp
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/util/fileutl.h"
#include "foundation/wcm_mempool.h"
#include "request/cgi_input.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

long status_kib(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return atol(line.c_str() + strlen(key));
    return -1;
}

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string base = argc > 1 ? argv[1] : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    long mib = argc > 2 ? atol(argv[2]) : 100;
    fs::path dir = fs::path(base) / ("vdweb-bench-upload-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string body_path = (dir / "body").string();
    const size_t content = static_cast<size_t>(mib) << 20;

    {
        std::ofstream out(body_path, std::ios::binary);
        out << "--BND\r\nContent-Disposition: form-data; name=\"rpc\"\r\n\r\nx\r\n"
            << "--BND\r\nContent-Disposition: form-data; name=\"up\"; filename=\"f\"\r\n"
            << "Content-Type: application/octet-stream\r\n\r\n";
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 131) ^ (i >> 7));
        for (long i = 0; i < mib; ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        out << "\r\n--BND--\r\n";
    }
    const long length = static_cast<long>(fs::file_size(body_path));
    // Warm the page cache for both runs alike.
    std::system(("cat '" + body_path + "' > /dev/null").c_str());

    auto t = Clock::now();
    std::string cmd = "cat '" + body_path + "' > '" + (dir / "cat-copy").string() + "' && sync";
    if (std::system(cmd.c_str()) != 0) return 1;
    double cat_s = seconds_since(t);
    fs::remove(dir / "cat-copy");

    int pipefd[2];
    if (pipe(pipefd) != 0) return 1;
    pid_t pid = fork();
    if (pid == 0) {
        close(pipefd[0]);
        setenv("VERDANE_TMP", dir.c_str(), 1);
        fileutl_reset_tmpdir();
        std::ifstream in(body_path, std::ios::binary);

        std::multimap<std::string, std::string> env = {
            {"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "multipart/form-data; boundary=BND"},
            {"CONTENT_LENGTH", std::to_string(length)}};
        WCM_MemPool pool;
        llist entries{};
        long rss_before = status_kib("VmRSS:");
        auto t0 = Clock::now();
        int r = read_cgi_input(in, env, &entries, pool);
        sync();
        double s = seconds_since(t0);
        long hwm = status_kib("VmHWM:");
        char msg[256];
        int n = snprintf(msg, sizeof msg, "%d %.6f %ld %ld\n", r, s, rss_before, hwm);
        if (write(pipefd[1], msg, static_cast<size_t>(n)) < 0) _exit(2);
        _exit(0);
    }
    close(pipefd[1]);
    char buf[256] = {0};
    ssize_t got = read(pipefd[0], buf, sizeof buf - 1);
    waitpid(pid, nullptr, 0);
    if (got <= 0) return 1;
    int r = 0;
    double dec_s = 0;
    long before = 0, hwm = 0;
    sscanf(buf, "%d %lf %ld %ld", &r, &dec_s, &before, &hwm);
    fs::remove_all(dir);

    double mb = static_cast<double>(content) / (1 << 20);
    printf("upload %ld MiB: decoder result %d\n", mib, r);
    printf("  decoder: %.3f s  %.1f MiB/s\n", dec_s, mb / dec_s);
    printf("  cat:     %.3f s  %.1f MiB/s\n", cat_s, mb / cat_s);
    printf("  ratio decoder/cat rate: %.2f\n", cat_s / dec_s);
    printf("  peak RSS above baseline: %.1f MiB (baseline %.1f MiB, peak %.1f MiB)\n",
           (hwm - before) / 1024.0, before / 1024.0, hwm / 1024.0);
    return r == 1 ? 0 : 1;
}
