// Resources seen through a view: the view itself, the files, directories and symbolic
// links it selects, and its view-private objects.
//
// A view is named "workspace:<view uuid>" (efficient and stable) or "viewtag:<tag>"
// (user-friendly); an object in it by the view's location and the path below the view's
// root ("workspace:<uuid>/vobs/p/src/a.c").
#ifndef XMLPROTO_RESOURCE_VD_VIEW_RESOURCES_H
#define XMLPROTO_RESOURCE_VD_VIEW_RESOURCES_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "xmlproto/resource/vd_resource.h"

struct view_t;

class VdView : public VdResource {
public:
    explicit VdView(view_t* view) : view_(view) {}

    view_t* view() const { return view_; }
    // 0 dynamic, 1 snapshot, 2 web, 3 automatic.
    int view_type() const;

    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return !view_; }
    int write_prop(const PropVal& value) override;
    int remove() override;

    // "viewuuid:<uuid>".
    static int construct_from_view_uuid_location(const VdLocation& location,
                                                 std::unique_ptr<VdResource>& out);
    // The view a text names: a view UUID when it is one and the view exists, else a tag.
    static int open(const std::string& text, view_t** view);
    // The resource at `path` (relative to the view's root; "" is the view itself).
    int resolve_view_relative_path(const std::string& path, bool follow,
                                   std::unique_ptr<VdResource>& out) const;

private:
    view_t* view_;
};

// Shared by the objects below a view's root.
class VdViewResidentResource : public VdResource {
public:
    VdViewResidentResource(view_t* view, std::string path) : view_(view), path_(std::move(path)) {}

    view_t* view() const { return view_; }
    // The path below the view's root ("vobs/p/src/a.c").
    const std::string& path() const { return path_; }
    // The VOB pathname it stands for ("/vobs/p/src/a.c").
    std::string vob_pname() const;

    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int get_display_name(SUM_String& out) const override;
    int get_efficient_location(VdLocation& out) const override;
    int get_stable_location(VdLocation& out) const override;
    int get_user_friendly_location(VdLocation& out) const override;
    bool is_null() const override { return !view_; }

    // "workspace:/<view>/<path>".
    static int construct_from_workspace_location(const VdLocation& location,
                                                 std::unique_ptr<VdResource>& out);

protected:
    // The file, directory and symbolic-link types of the view's kind.
    Type kind_type(Type web, Type dynamic, Type snapshot, Type automatic) const;

    view_t* view_;
    std::string path_;
};

// An element as the view selects it.
class VdFileBase : public VdViewResidentResource {
public:
    VdFileBase(view_t* view, std::string path, vob_t* vob, int64_t element, int64_t version)
        : VdViewResidentResource(view, std::move(path)),
          vob_(vob),
          element_(element),
          version_(version) {}
    vob_t* vob() const { return vob_; }
    int64_t element() const { return element_; }
    int64_t version() const { return version_; }
    virtual bool get_is_directory() const = 0;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int write_prop(const PropVal& value) override;

protected:
    vob_t* vob_;
    int64_t element_;
    int64_t version_;
};

class VdFile : public VdFileBase {
public:
    using VdFileBase::VdFileBase;
    bool get_is_directory() const override { return false; }
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};

class VdDirectory : public VdFileBase {
public:
    using VdFileBase::VdFileBase;
    bool get_is_directory() const override { return true; }
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};

// A VOB symbolic link in a view.
class VdSymlink : public VdViewResidentResource {
public:
    VdSymlink(view_t* view, std::string path, vob_t* vob, int64_t link)
        : VdViewResidentResource(view, std::move(path)), vob_(vob), link_(link) {}
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    int link_text(std::string* out) const;

private:
    vob_t* vob_;
    int64_t link_;
};

// A directory above the VOBs' roots in a view ("vobs" when VOBs are tagged "/vobs/..."):
// it lists the VOB roots and directories below it.
class VdViewChildDirectory : public VdViewResidentResource {
public:
    using VdViewResidentResource::VdViewResidentResource;
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    // The names directly below it, each with whether it is a VOB's root.
    std::vector<std::pair<std::string, bool>> children() const;
    // Whether `path` (below a view's root) is such a directory.
    static bool is_tag_directory(const std::string& path);
};

// An object in the view's private storage (not a VOB object).
class VdViewPrivateFile : public VdViewResidentResource {
public:
    VdViewPrivateFile(view_t* view, std::string path, std::string local)
        : VdViewResidentResource(view, std::move(path)), local_(std::move(local)) {}
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
    // Where the object is on this machine.
    const std::string& local_path() const { return local_; }

protected:
    std::string local_;
};
class VdViewPrivateDirectory : public VdViewPrivateFile {
public:
    using VdViewPrivateFile::VdViewPrivateFile;
    Type get_type() const override;
    VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const override;
};
class VdViewPrivateSymlink : public VdViewPrivateFile {
public:
    using VdViewPrivateFile::VdViewPrivateFile;
    Type get_type() const override;
};

#endif
