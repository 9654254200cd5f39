// WCM_Session.
#include "request/wcm_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <thread>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/util/strutl.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "request/wcm_request.h"

namespace {

constexpr size_t kIdMax = 765;
constexpr size_t kUniqueMax = 511;
constexpr int kReadAttempts = 5;

std::string encode(const std::string& text, size_t max) {
    if (text.size() > max) return {};
    std::string buf(STRUTL_EXTRACT_HEAD_SIZE(text.size()), '\0');
    if (strutl_extract_head(text.c_str(), buf.data(), buf.size()) != TBS_ST_OK) return {};
    buf.resize(strlen(buf.c_str()));
    return buf;
}

bool decode(const std::string& text, size_t max, std::string* out) {
    if (text.size() > max) return false;
    std::string buf(text.size() + 1, '\0');
    if (strutl_extract_tail(text.c_str(), buf.data(), buf.size()) != TBS_ST_OK) return false;
    *out = buf.c_str();
    explicit_bzero(buf.data(), buf.size());
    return true;
}

// A value inside its double quotes.
std::string quote(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '"')
            out += "%22";
        else if (c == '%')
            out += "%25";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

std::string unquote(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size()) {
            std::string code = v.substr(i + 1, 2);
            char c = code == "22" ? '"' : code == "25" ? '%' : code == "0A" ? '\n' : '\0';
            if (c) {
                out += c;
                i += 2;
                continue;
            }
        }
        out += v[i];
    }
    return out;
}

bool safe_user(const std::string& user) {
    return !user.empty() && user.size() < 256 && user.find('/') == std::string::npos &&
           user != "." && user != "..";
}

}  // namespace

WCM_Session::WCM_Session(const char* root, int timeout)
    : root_(root && *root ? root : std::string(tbs_product_dir()) + "/sessions"),
      timeout_(timeout <= 0            ? TIMEOUT_DEFAULT
               : timeout < TIMEOUT_MIN ? TIMEOUT_MIN
                                       : timeout) {}

namespace {

// Every parameter name begins with "-"; one given without it gets it.
std::string param_name(const char* name) {
    return name[0] == '-' ? std::string(name) : "-" + std::string(name);
}

}  // namespace

void WCM_Session::add_param(const char* name, const char* value) {
    if (name && *name) params_[param_name(name)] = value ? value : "";
}

const char* WCM_Session::param(const char* name) const {
    auto it = name && *name ? params_.find(param_name(name)) : params_.end();
    return it == params_.end() ? nullptr : it->second.c_str();
}

void WCM_Session::add_login_param(const char* name, const char* value) {
    add_param(name, value);
}

const char* WCM_Session::login_param(const char* name) const {
    return param(name);
}

void WCM_Session::add_login_param_bool(const char* name, bool value) {
    add_login_param(name, value ? "true" : "false");
}

bool WCM_Session::login_param_bool(const char* name) const {
    const char* v = login_param(name);
    return v && strcmp(v, "true") == 0;
}

void WCM_Session::set_user(const char* user, const char* domain) {
    add_login_param("username", user);
    add_login_param("domain", domain);
}

void WCM_Session::set_password(const char* password) {
    invalidate_password();
    add_login_param("unique", password);
}

void WCM_Session::invalidate_password() {
    auto it = params_.find("-unique");
    if (it == params_.end()) return;
    explicit_bzero(it->second.data(), it->second.size());
    params_.erase(it);
}

std::string WCM_Session::encode_session_id() const {
    const char* user = username();
    const char* dom = domain();
    std::ostringstream text;
    text << (user ? user : "") << ':' << (dom && *dom ? dom : ".") << ':' << number_ << ':'
         << static_cast<long long>(time(nullptr));
    return encode(text.str(), kIdMax / 2 - 2);
}

bool WCM_Session::decode_session_id(const char* id, std::string* user, std::string* domain,
                                    int* number, long* age) {
    std::string text;
    if (!id || !decode(id, kIdMax, &text)) return false;
    size_t a = text.find(':');
    size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    size_t c = b == std::string::npos ? b : text.find(':', b + 1);
    if (c == std::string::npos) return false;
    *user = text.substr(0, a);
    *domain = text.substr(a + 1, b - a - 1);
    if (*domain == ".") domain->clear();
    char* end = nullptr;
    long n = strtol(text.c_str() + b + 1, &end, 10);
    if (end != text.c_str() + c || n < 0 || n > 1000000) return false;
    *number = static_cast<int>(n);
    long long made = atoll(text.c_str() + c + 1);
    long long now = static_cast<long long>(time(nullptr));
    *age = made > 0 && now >= made ? static_cast<long>(now - made) : 0;
    return safe_user(*user);
}

std::string WCM_Session::session_dir(const std::string& user) const {
    return root_ + "/" + user;
}

std::string WCM_Session::file_of(const std::string& user) const {
    return session_dir(user) + "/session.dat";
}

bool WCM_Session::read_sessions(const std::string& user, std::vector<Stored>* out) const {
    out->clear();
    if (!safe_user(user)) return false;
    WCM_MemPool pool;
    char* text = nullptr;
    const std::string path = file_of(user);
    for (int attempt = 0; attempt < kReadAttempts && !text; ++attempt) {
        int handle = -1;
        text = pool.read_file(path.c_str(), true, false, handle);
        if (!text && attempt + 1 < kReadAttempts)
            std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    if (!text) return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        Stored s;
        size_t i = 0;
        bool have_number = false;
        while (i < line.size()) {
            while (i < line.size() && line[i] == ' ') ++i;
            size_t name_end = line.find(' ', i);
            if (i >= line.size() || name_end == std::string::npos) break;
            std::string name = line.substr(i, name_end - i);
            i = name_end + 1;
            if (name == "-session") {
                size_t num_end = line.find(' ', i);
                s.number = atoi(line.substr(i, num_end - i).c_str());
                have_number = true;
                i = num_end == std::string::npos ? line.size() : num_end;
                continue;
            }
            if (i >= line.size() || line[i] != '"') break;
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos) break;
            std::string value = unquote(line.substr(i + 1, close - i - 1));
            if (name == "-unique") {
                std::string plain;
                value = decode(value, 2 * kUniqueMax + 4, &plain) ? plain : std::string();
            }
            s.params[name] = value;
            i = close + 1;
        }
        if (have_number) out->push_back(std::move(s));
    }
    return true;
}

int WCM_Session::num_sessions(const std::string& user) const {
    std::vector<Stored> all;
    return read_sessions(user, &all) ? static_cast<int>(all.size()) : 0;
}

void WCM_Session::load_session(const char* id, WCM_Status& status) {
    std::string user, dom;
    int number = 0;
    long age = 0;
    std::vector<Stored> all;
    if (!decode_session_id(id, &user, &dom, &number, &age) || !read_sessions(user, &all)) {
        status.set_status(TBS_ST_NOT_FOUND);
        return;
    }
    for (Stored& s : all) {
        if (s.number != number || s.params["-invalid"] == "true") continue;
        number_ = s.number;
        params_ = std::move(s.params);
        status.set_status(TBS_ST_OK);
        if (age > timeout_) {
            invalidate_password();
            status.set_status(TBS_ST_SESSION_EXPIRED);
        }
        return;
    }
    status.set_status(TBS_ST_NOT_FOUND);
}

void WCM_Session::load_login_session_for_request(const WCM_Request& request, WCM_Status& status) {
    load_session(request.session(), status);
    const char* password = request.password();
    if (status.status() == TBS_ST_SESSION_EXPIRED && password && *password)
        status.set_status(TBS_ST_OK);
}

void WCM_Session::save(WCM_Status& status) {
    const char* user_text = username();
    const std::string user = user_text ? user_text : "";
    if (!safe_user(user)) {
        status.set_status(TBS_ST_BAD_NAME);
        return;
    }
    const std::string dir = session_dir(user);
    const std::string path = file_of(user);
    if (fileutl_mkdir_p(dir.c_str(), 0700) != TBS_ST_OK) {
        status.set_status(tbs_errno2status(errno ? errno : EIO));
        return;
    }
    // A new file is made 0600 first; replacing it keeps that mode.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    WCM_MemPool pool;
    int handle = pool.lock_file(path.c_str());
    if (handle < 0) {
        status.set_status(TBS_ST_BUSY);
        return;
    }
    std::vector<Stored> all;
    read_sessions(user, &all);
    if (number_ == 0) {
        for (const Stored& s : all) number_ = std::max(number_, s.number);
        ++number_;
    }
    std::ostringstream out;
    bool written = false;
    auto line = [&](int number, const std::map<std::string, std::string>& params) {
        out << "-session " << number;
        for (const auto& [name, value] : params) {
            if (name.empty() || name[0] != '-' || name.find(' ') != std::string::npos) continue;
            std::string v = name == "-unique" ? encode(value, kUniqueMax) : value;
            out << ' ' << name << " \"" << quote(v) << '"';
        }
        out << '\n';
    };
    for (const Stored& s : all) {
        if (s.number == number_) {
            line(number_, params_);
            written = true;
        } else {
            line(s.number, s.params);
        }
    }
    if (!written) line(number_, params_);
    std::string text = out.str();
    bool ok = pool.write_file(path.c_str(), text.c_str(), true, handle);
    explicit_bzero(text.data(), text.size());
    status.set_status(ok ? TBS_ST_OK : TBS_ST_ERR);
}
