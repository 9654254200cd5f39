// The least a CGI program can do for a stream: write a header and then QUERY_STRING bytes
// from memory, in writes of 64 KiB and a little more, the size of one compute_primes part
// with its framing. bench_http serves it through the same lighttpd configuration as
// vdweb.cgi, to show what lighttpd's relay of CGI output costs on its own.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "core/util/fileutl.h"

int main() {
    const char* q = getenv("QUERY_STRING");
    long long left = q ? atoll(q) : 0;
    if (left <= 0) return 2;
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);  // as vdweb.cgi does
    static const char header[] = "Content-Type: application/octet-stream\r\n\r\n";
    static char block[65536 + 128];
    memset(block, 'p', sizeof block);
    if (!fileutl_write_all(STDOUT_FILENO, header, sizeof header - 1)) return 1;
    while (left > 0) {
        size_t n =
            left < static_cast<long long>(sizeof block) ? static_cast<size_t>(left) : sizeof block;
        if (!fileutl_write_all(STDOUT_FILENO, block, n)) return 1;
        left -= static_cast<long long>(n);
    }
    return 0;
}
