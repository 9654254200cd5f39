// What the benchmarks that run through a web server share.
#include "site_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace bench {

std::string command_output(const std::string& command) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return {};
    std::string out;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    if (pclose(p) != 0) return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string git_backend_path() {
    const std::string exec_path = command_output("git --exec-path");
    if (exec_path.empty()) return {};
    const std::string backend = exec_path + "/git-http-backend";
    return access(backend.c_str(), X_OK) == 0 ? backend : std::string();
}

std::string git_backend_config() {
    const std::string backend = git_backend_path();
    if (backend.empty()) return {};
    return "alias.url += ( \"/git\" => \"" + backend +
           "\" )\n"
           "$HTTP[\"url\"] =~ \"^/git/\" {\n"
           "    cgi.assign = ( \"\" => \"\" )\n"
           "    setenv.add-environment = (\n"
           "        \"GIT_PROJECT_ROOT\" => \"@HOME@/git\",\n"
           "        \"GIT_HTTP_EXPORT_ALL\" => \"1\",\n"
           "    )\n"
           "}\n";
}

std::string source_text(std::mt19937& rng, size_t size, int generation) {
    static const char* const words[] = {"int",    "return", "static", "const",  "struct",
                                        "void",   "if",     "else",   "for",    "while",
                                        "buffer", "status", "count",  "result", "value"};
    std::string s = "// generation " + std::to_string(generation) + "\n";
    while (s.size() < size) {
        s += words[rng() % 15];
        s += rng() % 7 == 0 ? "\n" : " ";
        if (rng() % 5 == 0) s += std::to_string(rng() % 100000);
    }
    s.resize(size);
    return s;
}

std::vector<std::string> write_source_tree(const std::string& dir, int files, size_t size,
                                           std::mt19937& rng) {
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        const std::string rel = "d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".c";
        names.push_back(rel);
        std::filesystem::create_directories(std::filesystem::path(dir + "/" + rel).parent_path());
        std::ofstream(dir + "/" + rel, std::ios::binary) << source_text(rng, size, 0);
    }
    return names;
}

size_t read_proc(const std::string& path, char* buf, size_t size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    ssize_t n = read(fd, buf, size - 1);
    close(fd);
    if (n <= 0) return 0;
    buf[n] = '\0';
    return static_cast<size_t>(n);
}

std::vector<pid_t> children_of(pid_t pid) {
    std::vector<pid_t> found;
    char buf[16384];
    const std::string p = std::to_string(pid);
    if (read_proc("/proc/" + p + "/task/" + p + "/children", buf, sizeof buf) == 0) return found;
    for (char* s = buf; *s;) {
        char* end = nullptr;
        long child = strtol(s, &end, 10);
        if (end == s) break;
        found.push_back(static_cast<pid_t>(child));
        s = end;
    }
    return found;
}

std::vector<pid_t> descendants_of(pid_t pid) {
    std::vector<pid_t> found = children_of(pid);
    for (size_t i = 0; i < found.size(); ++i)
        for (pid_t child : children_of(found[i])) found.push_back(child);
    return found;
}

long resident_pages(pid_t pid) {
    char buf[256];
    if (read_proc("/proc/" + std::to_string(pid) + "/statm", buf, sizeof buf) == 0) return 0;
    long size = 0, resident = 0;
    return sscanf(buf, "%ld %ld", &size, &resident) == 2 ? resident : 0;
}

long peak_resident_kib(pid_t pid) {
    char buf[4096];
    if (read_proc("/proc/" + std::to_string(pid) + "/status", buf, sizeof buf) == 0) return 0;
    const char* line = strstr(buf, "\nVmHWM:");
    return line ? atol(line + 7) : 0;
}

}  // namespace bench
