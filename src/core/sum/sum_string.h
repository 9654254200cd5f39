// SUM_String, SUM_Uuid, SUM_Oid: the value classes the core's object layer hands out.
#ifndef CORE_SUM_SUM_STRING_H
#define CORE_SUM_SUM_STRING_H

#include <string>

#include "core/tbs/tbs.h"

class SUM_String {
public:
    SUM_String() = default;
    SUM_String(const char* s) : s_(s ? s : "") {}    // NOLINT: implicit by design
    SUM_String(std::string s) : s_(std::move(s)) {}  // NOLINT
    const char* c_str() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    size_t length() const { return s_.size(); }
    bool is_empty() const { return s_.empty(); }
    bool operator==(const SUM_String& o) const { return s_ == o.s_; }

private:
    std::string s_;
};

class SUM_Uuid {
public:
    SUM_Uuid() : u_(tbs_uuid_null()) {}
    explicit SUM_Uuid(const tbs_uuid_t& u) : u_(u) {}
    const tbs_uuid_t& uuid() const { return u_; }
    bool is_null() const { return tbs_uuid_is_null(u_); }
    // The 32-digit text form.
    SUM_String string() const {
        char buf[TBS_UUID_STR_SIZE];
        tbs_uuid_to_str(u_, buf);
        return SUM_String(buf);
    }

private:
    tbs_uuid_t u_;
};

// An object id: the UUID of one VOB object.
class SUM_Oid {
public:
    SUM_Oid() = default;
    explicit SUM_Oid(const tbs_oid_t& o) : uuid_(o) {}
    const SUM_Uuid& uuid() const { return uuid_; }
    bool is_null() const { return uuid_.is_null(); }

private:
    SUM_Uuid uuid_;
};

#endif
