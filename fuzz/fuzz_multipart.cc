// Fuzz target: the multipart decoder over arbitrary bodies.
//
// The first input byte chooses how the stated length relates to the real one (exact,
// shorter, longer) and whether an upload limit and a form limit apply; the rest is the body,
// read with the boundary "BND". Uploads land in a private directory and are removed after
// each run, so a run that leaves a file behind is a fault.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "foundation/wcm_mempool.h"
#include "request/cgi_input.h"

namespace {
std::string g_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/vdweb-fuzz-multipart-XXXXXX";
    g_dir = mkdtemp(tmpl);
    setenv("VERDANE_TMP", g_dir.c_str(), 1);
    fileutl_reset_tmpdir();
    imsg_redirect_proc_t quiet[IMSG_NUM_CLASSES];
    for (auto& p : quiet) p = imsg_append_proc_suppress;
    imsg_set_redirect_procs(quiet, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t mode = data[0];
    std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    long length = static_cast<long>(body.size());
    if (mode & 1) length -= mode >> 2;
    if (mode & 2) length += mode >> 2;
    if (length < 0) length = 0;
    std::multimap<std::string, std::string> env = {
        {"REQUEST_METHOD", "POST"},
        {"CONTENT_TYPE", "multipart/form-data; boundary=BND"},
        {"CONTENT_LENGTH", std::to_string(length)},
    };
    set_upload_limit((mode & 0x80) ? 64 : 0);
    set_form_limit((mode & 0x40) ? 128 : 0);
    WCM_MemPool pool;
    llist entries{};
    std::istringstream in(body);
    int r = read_cgi_input(in, env, &entries, pool);
    if (r < CGI_FORM_TOO_LARGE || r > 1) __builtin_trap();
    size_t kept = 0;
    for (node* n = entries.head; n; n = n->next) {
        if ((r == 1 || r == -5) && n->entry.name && std::string(n->entry.name) == "filename" &&
            n->entry.value) {
            ++kept;
            unlink(n->entry.value);
        }
    }
    // Only a decoding that kept its upload entry may leave an upload file.
    std::error_code ec;
    size_t left = 0;
    for (auto it = std::filesystem::directory_iterator(g_dir + "/QLMXuploadtmp", ec);
         !ec && it != std::filesystem::directory_iterator(); ++it)
        ++left;
    if (left != 0) __builtin_trap();
    (void)kept;
    return 0;
}
