// Resources of the site rather than of one VOB or view: this server, registry regions,
// and the registry's VOB and view tags.
#ifndef XMLPROTO_RESOURCE_VD_SITE_RESOURCES_H
#define XMLPROTO_RESOURCE_VD_SITE_RESOURCES_H

#include <string>

#include "xmlproto/resource/vd_resource.h"

// The server host: "server:<host>".
class VdServer : public VdResource {
public:
    explicit VdServer(std::string host) : host_(std::move(host)) {}
    const std::string& host() const { return host_; }
    Type get_type() const override { return SERVER; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return host_.empty(); }
    // Only this server can be named.
    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);

private:
    std::string host_;
};

// "registryregion:<name>".
class VdRegistryRegion : public VdResource {
public:
    explicit VdRegistryRegion(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    Type get_type() const override { return REGISTRYREGION; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return name_.empty(); }
    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);
    static std::string get_default();

private:
    std::string name_;
};

// A storage location of a region: "stgloc:<name>@<region>".
class VdStorageLocation : public VdResource {
public:
    VdStorageLocation(std::string name, std::string region)
        : name_(std::move(name)), region_(std::move(region)) {}
    const std::string& name() const { return name_; }
    const std::string& region() const { return region_; }
    Type get_type() const override { return STGLOC; }
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return name_.empty(); }
    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);

private:
    std::string name_;
    std::string region_;
};

// A task of a task provider, named by its URI ("task:<uri>"); activities are bound to tasks.
class VdTask : public VdResource {
public:
    explicit VdTask(std::string uri) : uri_(std::move(uri)) {}
    const std::string& uri() const { return uri_; }
    Type get_type() const override { return TASK; }
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return uri_.empty(); }
    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);
    // The URI a value names: "task:<uri>" or the URI itself; empty when it is no URI.
    static std::string uri_of(const std::string& value);

private:
    std::string uri_;
};

// A registry tag: "<prefix><tag>@<region>".
class VdTagBase : public VdResource {
public:
    VdTagBase(std::string tag, std::string region)
        : tag_(std::move(tag)), region_(std::move(region)) {}
    const std::string& tag() const { return tag_; }
    const std::string& region() const { return region_; }
    virtual bool is_valid() const = 0;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return tag_.empty(); }

protected:
    virtual LocationPrefix prefix() const = 0;
    std::string tag_;
    std::string region_;
};

class VdViewTag : public VdTagBase {
public:
    using VdTagBase::VdTagBase;
    Type get_type() const override { return VIEWTAG; }
    bool is_valid() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int write_prop(const PropVal& value) override;
    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);

protected:
    LocationPrefix prefix() const override { return LP_VIEWTAG; }
};

class VdVobTag : public VdTagBase {
public:
    using VdTagBase::VdTagBase;
    Type get_type() const override { return VOBTAG; }
    bool is_valid() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int write_prop(const PropVal& value) override;
    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);

protected:
    LocationPrefix prefix() const override { return LP_VOBTAG; }
};

#endif
