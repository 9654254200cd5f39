// XML RPCs that change elements and names: check out, check in (one by one or all at once),
// cancel a checkout, make elements, move and remove names, merge, label, attributes, links,
// and the activity a view works on. Each runs the same core command as the web RPC of the
// same operation, as the authenticated user, and its outcome is the RPC's status; a few also
// answer a document.
//
// Views. "Dynamic" RPCs work in a dynamic view: their pathnames are absolute pathnames below
// the view's root on this server ("<root>/vobs/p/a.c"), or relative to that root; the view
// is the one whose root holds the pathname, or the one a "resource" or "view" location
// names. The view must be one this server can serve (it is started when it is not
// running), since its files are seen through its root. "Snapshot" RPCs work in a web,
// snapshot or automatic view, whose copy area may be on the client: their pathnames are
// relative to the copy area's root ("vobs/p/a.c"), and the view is named by a "view"
// element, by a "resource" location inside it, or by pathnames written as
// "workspace:/<view uuid or tag>/<path>" locations (accepted by the dynamic RPCs too).
// Every RPC that names pathnames accepts a "view" element. A pathname that climbs out of
// its root names nothing; a dynamic pathname outside the view's root is refused.
//
// Request shapes: each argument is a child of the request root whose text is its value;
// flags are attributes of the flags element whose value is "true". A "comment" element
// with the attribute "value-is-null" set to "true" is the same as no comment. What each RPC
// reads:
//
//   BulkCheckoutDynamic 1.0, BulkCheckoutSnapshot 1.0 — by position: "resource", then
//     "checkout-flags", then "path", then (optional) "comment". Nothing is answered.
//   VersionCheckoutLocal 1.0 — "view", "checked-out-file" (the version to check out: a
//     version-extended pathname in the view or a version selector), "comment",
//     "checkout-flags"; answers "VersionCheckoutLocalResponse" holding "checked-out-file"
//     (the checkout's resource reference) with the attribute "reserved" ("true"/"false").
//   BulkCheckinDynamic 1.2 (1.1), BulkCheckinSnapshot 1.1 (1.0) — one or more "path",
//     "comment", "dest-activity" (moves each checkout to that activity first),
//     "checkin-flags" ("atomic": all paths in one transaction; "checkin-identical";
//     "keep": accepted, the view sees the checked-in contents either way; "ptime"), and, in the
//     newer version only (`RPC_VERSION_NO_FROM` is the older one), with a single "path":
//     "from-path" (the contents, a file below the same view's root; else the view's own copy, or in
//     a snapshot view the request's uploaded file when there is one), "from-version" (a version the
//     client merged into its contents: recorded as merged before the check for a needed merge) and
//     "base-version" (that merge's base, for the record). A checkout not from the latest version of
//     its branch that the latest was not merged into checks nothing in: status 100006 and a
//     "merge-needed" element. Answers "BulkCheckinDynamicResponse" / "BulkCheckinSnapshotResponse"
//     with one "checked-in" per path ("path", "version": the new version's version-extended
//     pathname) and "merge-needed" ("path", "base-version", "from-version", "creator",
//     "merge-type").
//   AtomicCheckinDynamic 1.0, AtomicCheckinSnapshot 1.0 — "checkin-file-set" of
//     "checkin-file" elements (each "path", optional "from-version" and "base-version"),
//     "comment", "checkin-flags" ("checkin-identical", "keep", "ptime"). Every item is
//     resolved and checked for a needed merge first; when any needs one, nothing is checked
//     in (status 100006). Answers "AtmoicCheckinDynamicResponse" /
//     "AtomicCheckinSnapshotResponse" like the bulk checkin.
//   UncheckoutDynamic 1.0, UncheckoutSnapshot 1.0 — one or more "path", "uncheckout-flags"
//     ("keep": the checked-out contents are kept beside the file as "<name>.keep"),
//     "pop_kind" ("", "0", "none", "1" or "empty-branch").
//   BulkMkelemDynamic 1.0, BulkMkelemSnapshot 1.0 — one or more "path", "element-type-name",
//     "activity" (made the view's current activity first), "comment", "mkelem-flags"
//     ("checkin", "master-locally", "mkpath", "no-checkout", "ptime"); the element type
//     "directory" makes directory elements. A file's first contents are the view's own file
//     at the path, or in a snapshot view the request's uploaded file (a single path) when
//     there is one.
//   MoveDynamic 1.0, MoveSnapshot 1.0 — "source-dir", "old-name", "dest-dir", "new-name",
//     "comment".
//   RemoveDynamic 1.0, RemoveSnapshot 1.0 — one or more "pname", "force" (text "true"),
//     "comment".
//   MergeRpc 2.1, MergeSnapshotRpc 1.0 — "view" (a location; for MergeRpc an absolute
//     "to-version" pathname may name its dynamic view instead), "to-version" (the checked-out
//     element, a pathname in the view), "base-version" (optional), "contrib-versions" with
//     one "contrib" per version merged in (version-extended pathnames or selectors), and
//     the flags as elements whose text is "true": "no-data" (record the merge arrows only),
//     "no-arrows" (not offered: this server records every merge it makes), "replace"
//     (accepted: a merge always writes its result over the checkout's contents) and, for
//     the snapshot variant, "is-hijacked" (read; the checkout's contents are the view's).
//     A dynamic view's merge writes the checkout's file; the snapshot variant writes the
//     result beside it as "<name>.merge.out" and the last contributor's contents as
//     "<name>.contrib" and leaves the checkout's file alone, for the client to take. A merge
//     with conflicts ends with status 1026 and no arrow.
//   MakeMergeArrowRpc 1.0 — "from-version", "to-version" (version-extended pathnames or
//     selectors; the to-version a checkout), "view-context" (a view location the pathnames
//     are taken in; optional).
//   ApplyLabelRpc 1.0 — "Element" (a pathname in the view, or version-extended), "Version"
//     (optional: a version of it, "/main/3"), "View" (a location), "Selector" (the label
//     type, "lbtype:REL1@/vobs/p" or its name), "Comment", "ApplyLabel-Flags"
//     ("follow-symlinks", "recurse", "replace").
//   ApplyAttributeRpc 1.0, RemoveAttributeRpc 1.0 — "resource" (a location), "name" (the
//     attribute type), "value" (apply only), "version-id" (optional: the version of the
//     element named by "resource"), "comment", "flags" (apply: "default", "recurse",
//     "replace"; remove: "recurse"). Attributes go on the objects named: "recurse" is
//     refused, and so is "default" without a value (types keep no default value here).
//   MkLinkRpc 1.0 — "view", "parent-dir" (a pathname in the view), "link-name", "target"
//     (a symbolic link's text, or the pathname of the element a hard link names),
//     "is-symlink" (text "true"), "comment"; answers "mklink-response" with "new-link" (the
//     link's resource reference).
//   WorkOnRpc 1.0, BindActivityRpc 1.0 — "view" (a location), "activity-selector": the
//     activity becomes the view's current activity.
#ifndef XMLPROTO_RPC_VD_XML_OP_RPCS_H
#define XMLPROTO_RPC_VD_XML_OP_RPCS_H

#include <string>

#include "xmlproto/rpc/vd_xml_object_rpcs.h"

struct view_t;

// An RPC that accepts a newer and an older version of its request (the older one without
// the "from-" elements).
#define VD_XML_RPC_CLASS_TWO_VERSIONS(Cls, Name, Version, Older)                   \
    class Cls : public VdXmlRpc {                                                  \
    public:                                                                        \
        static constexpr const char* RPC_NAME = Name;                              \
        static constexpr const char* RPC_VERSION = Version;                        \
        static constexpr const char* RPC_VERSION_NO_FROM = Older;                  \
        Cls(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,   \
            WCM_Status& status, std::ostream& out, VDW_Vdcore* facade)             \
            : VdXmlRpc(RPC_NAME, request, session, pool, status, out, facade) {}   \
        static SUM_String get_name() { return RPC_NAME; }                          \
        void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override; \
    }

VD_XML_RPC_CLASS(VdCheckoutDynamicRpc, "BulkCheckoutDynamic", "1.0");
VD_XML_RPC_CLASS(VdCheckoutSnapshotRpc, "BulkCheckoutSnapshot", "1.0");
VD_XML_RPC_CLASS(VdVersionCheckoutLocalRpc, "VersionCheckoutLocal", "1.0");
VD_XML_RPC_CLASS_TWO_VERSIONS(VdCheckinDynamicRpc, "BulkCheckinDynamic", "1.2", "1.1");
VD_XML_RPC_CLASS_TWO_VERSIONS(VdCheckinSnapshotRpc, "BulkCheckinSnapshot", "1.1", "1.0");
VD_XML_RPC_CLASS(VdCheckinAtomicDynamicRpc, "AtomicCheckinDynamic", "1.0");
VD_XML_RPC_CLASS(VdCheckinAtomicSnapshotRpc, "AtomicCheckinSnapshot", "1.0");
VD_XML_RPC_CLASS(VdUncheckoutDynamicRpc, "UncheckoutDynamic", "1.0");
VD_XML_RPC_CLASS(VdUncheckoutSnapshotRpc, "UncheckoutSnapshot", "1.0");
VD_XML_RPC_CLASS(VdMkelemDynamicRpc, "BulkMkelemDynamic", "1.0");
VD_XML_RPC_CLASS(VdMkelemSnapshotRpc, "BulkMkelemSnapshot", "1.0");
VD_XML_RPC_CLASS(VdMoveDynamicRpc, "MoveDynamic", "1.0");
VD_XML_RPC_CLASS(VdMoveSnapshotRpc, "MoveSnapshot", "1.0");
VD_XML_RPC_CLASS(VdRmnameDynamicRpc, "RemoveDynamic", "1.0");
VD_XML_RPC_CLASS(VdRmnameSnapshotRpc, "RemoveSnapshot", "1.0");
VD_XML_RPC_CLASS(VdMergeDynamicRpc, "MergeRpc", "2.1");
VD_XML_RPC_CLASS(VdMergeSnapshotRpc, "MergeSnapshotRpc", "1.0");
VD_XML_RPC_CLASS(VdMakeMergeArrowRpc, "MakeMergeArrowRpc", "1.0");
VD_XML_RPC_CLASS(VdApplyLabelRpc, "ApplyLabelRpc", "1.0");
VD_XML_RPC_CLASS(VdApplyAttributeRpc, "ApplyAttributeRpc", "1.0");
VD_XML_RPC_CLASS(VdRemoveAttributeRpc, "RemoveAttributeRpc", "1.0");
VD_XML_RPC_CLASS(VdMkLinkRpc, "MkLinkRpc", "1.0");
VD_XML_RPC_CLASS(VdWorkOnRpc, "WorkOnRpc", "1.0");
VD_XML_RPC_CLASS(VdBindActivityRpc, "BindActivityRpc", "1.0");

// The builders WorkOnRpc and BindActivityRpc share. Each takes its child out of the request
// root; a missing child or an empty text is a request that does not fit (1072, logged).
class ConstructFromXmlUtil {
public:
    // The view that the location in child `tag` names (a view, or an object inside one).
    static int construct_view_from_xml(VdXmlElem* root, const char* tag, view_t** view);
    // The activity whose selector is the text of child `tag`, found from `view` (its
    // selector in the user-friendly form in `activity`).
    static int construct_commonact_from_xml(VdXmlElem* root, const char* tag, view_t* view,
                                            std::string* activity);
};

#endif
