// Resources stored in a VOB: the VOB itself, elements, branches, versions, hyperlinks,
// types, and the change-management objects of project VOBs (folders, projects,
// components, streams, activities, baselines).
//
// Each holds the VOB (owned by the core's VOB cache), the object's database id and its
// metatype. Locations: stable "oid:<oid>@vobuuid:<family>", efficient
// "dbid:<n>@replica_uuid:<replica>", user-friendly the core's readable selector; all are
// selectors the core resolves back to the same object.
#ifndef XMLPROTO_RESOURCE_VD_VOB_RESOURCES_H
#define XMLPROTO_RESOURCE_VD_VOB_RESOURCES_H

#include <cstdint>

#include "xmlproto/resource/vd_resource.h"

class VdVobResource : public VdResource {
public:
    VdVobResource(vob_t* vob, int64_t dbid, int mtype) : vob_(vob), dbid_(dbid), mtype_(mtype) {}

    vob_t* vob() const { return vob_; }
    int64_t dbid() const { return dbid_; }
    int mtype() const { return mtype_; }

    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return !vob_ || !dbid_; }
    int write_prop(const PropVal& value) override;
    bool is_obsolete() const override;

    // The selector other code resolves this object by (the efficient location's text).
    std::string selector() const;

protected:
    vob_t* vob_;
    int64_t dbid_;
    int mtype_;
};

class VdVob : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return VOB; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    // "replicauuid:<uuid>" (the VOB's replica or family id).
    static int construct_from_replica_uuid_location(const VdLocation& location,
                                                    std::unique_ptr<VdResource>& out);
};

// The one replica of a VOB: this server's. It is named by the VOB's replica id.
class VdReplica : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return REPLICA; }
    int get_display_name(SUM_String& out) const override;
};

class VdElement : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
};

class VdBranch : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return BRANCH; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
};

class VdVersion : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int write_prop(const PropVal& value) override;
};

class VdHyperlink : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return HLINK; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
};

class VdTypeBase : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int remove() override;
};
class VdAttributeType : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return ATTYPE; }
};
class VdBranchType : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return BRTYPE; }
};
class VdElementType : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return ELTYPE; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};
class VdHyperlinkType : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return HLTYPE; }
};
class VdLabelType : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return LBTYPE; }
};
class VdTriggerType : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return TRTYPE; }
};
// Access control: a policy's lists, and a role map (who plays each role of its policy).
class VdPolicy : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return POLICY; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};
class VdRolemap : public VdTypeBase {
public:
    using VdTypeBase::VdTypeBase;
    Type get_type() const override { return ROLEMAP; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};

// Change-management objects (their VOB is a project VOB).
class VdProjectFolder : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return FOLDER; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};
class VdProject : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return PROJECT; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    bool is_obsolete() const override;
};
class VdComponent : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return COMPONENT; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};
class VdStream : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return STREAM; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int write_prop(const PropVal& value) override;
};
class VdActivity : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return ACTIVITY; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int write_prop(const PropVal& value) override;
    // Binds the activity to the tasks a value names ("task:<uri>" or URIs): a single value
    // or a collection replaces the list, additions and removals change it, null clears it.
    int set_task_list(const PropVal& value);
};
class VdBaseline : public VdVobResource {
public:
    using VdVobResource::VdVobResource;
    Type get_type() const override { return BASELINE; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int write_prop(const PropVal& value) override;
};

#endif
