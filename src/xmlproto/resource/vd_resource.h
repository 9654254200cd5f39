// Resources: every object the XML protocol can name (a VOB, a view, an element, a version,
// a stream, an activity, a type, a tag, the server, a change record). A client names a resource by
// a location (vd_location.h); the server builds the resource, reads or writes its properties
// (xmlproto/props) and names it in answers by its canonical location and type name.
//
// Operations that can fail return a status (0 for success) and leave their out-parameters
// untouched on failure; the core's messages of a failure are printed through the core's
// message channel, where the caller captures them.
#ifndef XMLPROTO_RESOURCE_VD_RESOURCE_H
#define XMLPROTO_RESOURCE_VD_RESOURCE_H

#include <map>
#include <memory>
#include <string>

#include "core/sum/sum_string.h"
#include "xmlproto/resource/vd_location.h"

class PropVal;
class VDW_Vdcore;
class VdNestedPropResponse;
class VdPropReader;
class VdXmlDoc;
struct vob_t;

class VdResource {
public:
    enum Type {
        ACTIVITY = 0,
        ATTYPE,
        AUTOMATIC_VIEW,
        AUTOMATIC_DIRECTORY,
        AUTOMATIC_FILE,
        AUTOMATIC_SYMLINK,
        BASELINE,
        BRANCH,
        BRTYPE,
        COMPONENT,
        DELEM,
        DVER,
        DYNAMIC_VIEW,
        DYNAMIC_DIRECTORY,
        DYNAMIC_FILE,
        DYNAMIC_SYMLINK,
        ELTYPE,
        FELEM,
        FVER,
        HLINK,
        HLTYPE,
        LBTYPE,
        POLICY,
        PROJECT,
        FOLDER,
        RECORD,
        RECORD_TYPE,
        REGISTRYREGION,
        REPLICA,
        ROLEMAP,
        SERVER,
        SNAPSHOT_VIEW,
        SNAPSHOT_DIRECTORY,
        SNAPSHOT_FILE,
        SNAPSHOT_SYMLINK,
        STGLOC,
        STREAM,
        TASK,
        TRTYPE,
        USERDB,
        VIEWTAG,
        VOB,
        VOBTAG,
        WEB_VIEW,
        WEB_DIRECTORY,
        WEB_FILE,
        WEB_SYMLINK,
        TYPE_COUNT
    };

    VdResource() = default;
    virtual ~VdResource() = default;
    VdResource(const VdResource&) = delete;
    VdResource& operator=(const VdResource&) = delete;

    virtual int remove();
    virtual VdPropReader* get_prop_reader(const VdNestedPropResponse& r) const;
    virtual Type get_type() const = 0;
    virtual int get_display_name(SUM_String& out) const = 0;
    virtual int get_resource_id(SUM_String& out) const;
    virtual int get_efficient_location(VdLocation& out) const = 0;
    virtual int get_stable_location(VdLocation& out) const = 0;
    virtual int get_user_friendly_location(VdLocation& out) const = 0;
    virtual bool is_null() const = 0;
    virtual int write_prop(const PropVal& value);
    // Whether the object is obsolete (locked as obsolete); only VOB objects can be.
    virtual bool is_obsolete() const { return false; }

    static int construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out);
    // Makes a new object of `type` named by `location` ("folder:NAME@pvob",
    // "project:NAME@pvob", "component:NAME@pvob", "hltype:NAME@vob", "viewtag:TAG"), with the
    // settings of `props` (property names as read, without the namespace). Views are made
    // through `facade` for the acting user.
    static int create(Type type, const VdLocation& location,
                      const std::map<std::string, std::string>& props, VDW_Vdcore* facade,
                      std::unique_ptr<VdResource>& out);
    // The resource of a VOB object (`mtype` its metatype, as the core reports it).
    static int util_vd_object_to_resource(vob_t* vob, int64_t dbid, int mtype,
                                          std::unique_ptr<VdResource>& out);

    static int type_to_name(int type, SUM_String& out);
    static int name_to_type(const SUM_String& name, Type& out);

    int get_type_name(SUM_String& out) const;
    int get_canonical_location(SUM_String& out) const;
    // The reference of this resource in a response: a "resource" element with its type name
    // (and the caller's index), whose text is the canonical location.
    int marshal(VdXmlDoc& doc) const;
    int marshal(VdXmlDoc& doc, const SUM_String& index) const;

    bool client_auto_view_aware = false;
    bool client_snapshot_view_aware = false;

    // Prints the unsupported-operation message and answers its status (1001).
    static int unsupported(const std::string& what, const char* file, long line);
    // Prints the resource layer's internal-error message and answers its status (1001).
    static int internal_error(const std::string& what);

private:
    int marshal_impl(VdXmlDoc& doc, const SUM_String* index) const;
};

#define VD_UNSUPPORTED(what) VdResource::unsupported((what), __FILE__, __LINE__)

#endif
