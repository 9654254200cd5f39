// Resources of the change-request databases: change records, their record types and the
// user databases that hold them (core/tide/tide.h).
//
// Locations. A user database is named with its database set; a record or a record type
// with its user database and set. Database and set names never hold "@", so the last two
// "@" of a location split it, and a record id may hold any printable character:
//
//   userdb:<userdb>@<dbset>                 a user database
//   tn-record-type:<type>@<userdb>@<dbset>  a record type
//   record:<id>@<userdb>@<dbset>            a record (efficient and user-friendly location)
//   repo.tn-record:<id>@<userdb>@<dbset>    the same record (its stable location: an id
//                                           never changes within its database)
//
// These are names for the general resolution (VdResource::construct_from_location): a
// location of these prefixes that does not have this shape is no change-record name, and
// fails as any other name that names nothing. A well-formed name is built only when the
// object is there; records and record types are read with the user's login to their
// database, which the core asks the web layer's credentials manager for (and which that
// asks the client for, once per process and database).
//
// Properties. An activity bound to a record (cmd_chactivity_record) and that record answer
// the same pair: "bound-vd-activity" the activity, "bound-tn-record" the record,
// "tn-xcm-integration-state" BOUND_VD_ACTIVITY_TN_RECORD_PAIR. An activity or record that is
// not bound answers null for both, and UNBOUND_VD_ACTIVITY or UNBOUND_TN_RECORD. The
// activity's side needs no login: it names its record without reading it.
#ifndef XMLPROTO_RESOURCE_TN_RESOURCES_H
#define XMLPROTO_RESOURCE_TN_RESOURCES_H

#include <memory>
#include <string>

#include "core/tide/tide.h"
#include "xmlproto/resource/vd_resource.h"

// A user database of a database set.
class TnUserDb : public VdResource {
public:
    TnUserDb(std::string user_db, std::string db_set)
        : user_db_(std::move(user_db)), db_set_(std::move(db_set)) {}
    const std::string& user_db() const { return user_db_; }
    const std::string& db_set() const { return db_set_; }
    Type get_type() const override { return USERDB; }
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return user_db_.empty() || db_set_.empty(); }

private:
    std::string user_db_;
    std::string db_set_;
};

// A record type of a user database.
class TnRecordType : public VdResource {
public:
    TnRecordType(std::string name, std::string user_db, std::string db_set)
        : name_(std::move(name)), user_db_(std::move(user_db)), db_set_(std::move(db_set)) {}
    Type get_type() const override { return RECORD_TYPE; }
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return name_.empty() || user_db_.empty(); }

private:
    std::string name_;
    std::string user_db_;
    std::string db_set_;
};

// A change record. Its contents are read once, on first need, with the user's login.
class TnRecord : public VdResource {
public:
    TnRecord(std::string id, std::string user_db, std::string db_set)
        : id_(std::move(id)), user_db_(std::move(user_db)), db_set_(std::move(db_set)) {}
    const std::string& id() const { return id_; }
    const std::string& user_db() const { return user_db_; }
    const std::string& db_set() const { return db_set_; }
    Type get_type() const override { return RECORD; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return id_.empty() || user_db_.empty(); }

    // The record's contents; a failure (no login, no such record) prints its messages.
    int load(const CTide_Record** out) const;

private:
    std::string id_;
    std::string user_db_;
    std::string db_set_;
    mutable bool loaded_ = false;
    mutable CTide_Record record_;
};

// The resource a change-request location names. Answers 0 with `out` left empty when the
// location is no change-record name (the caller resolves it otherwise), and the status of
// the failure when it is one that names nothing.
int tn_construct_from_name(const VdLocation& location, std::unique_ptr<VdResource>& out);

#endif
