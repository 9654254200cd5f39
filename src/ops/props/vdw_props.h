// What the property RPCs share: the category mask, the parts of the categories that every
// kind of object has (custom attributes and hyperlinks, lock, protection, mastership), and
// the lock changes of the set RPCs.
//
// Encodings (the client's dialogs show them as they come): a lock state is 0 unlocked,
// 1 locked, 2 obsolete; "LockMask" bit 1 changes the state, 2 the description, 4 the
// excluded users (any of them applies all three values sent); access is the octal
// permission text ("0775"); times are seconds since the epoch.
#ifndef OPS_PROPS_VDW_PROPS_H
#define OPS_PROPS_VDW_PROPS_H

#include <string>
#include <vector>

#include "core/vob/vob_obj.h"

class VDW_RpcArgs;
class VDW_RpcResponse;
class WCM_Status;

enum { VDW_LOCK_UNLOCKED = 0, VDW_LOCK_LOCKED = 1, VDW_LOCK_OBSOLETE = 2 };

struct VDW_LockChange {
    int mask = 0;
    int state = VDW_LOCK_UNLOCKED;
    std::string description;
    std::vector<std::string> excluded;
};

// "LockState", "LockDescription", "LockExcludedUserCount" and one "LockExcludedUser" each.
bool vdw_props_read_lock(VDW_RpcArgs& args, VDW_LockChange* out, WCM_Status& status);

// Locks or unlocks `object` (a pathname in `view`, or a selector) as `change` says, when its
// mask asks for any change. The core checks who may.
bool vdw_props_apply_lock(const std::string& object, const vob_view_ctx_t* view,
                          const VDW_LockChange& change, WCM_Status& status);

// One part `part` with the lock ("LockState", "LockedBy", "LockedOn", "Description"), then
// one `user_part` ("ExcludedUser") per excluded user. False when the stream failed.
bool vdw_props_send_lock(VDW_RpcResponse& out, const char* part, const char* user_part,
                         const vob_lock_info_t& lock);
// The lock of a VOB object, as above.
bool vdw_props_send_object_lock(VDW_RpcResponse& out, vob_t* vob, vob_dbid_t obj, const char* part,
                                const char* user_part, WCM_Status& status);

// One `attr_part` ("AttrType", "AttrValue") per attribute of the object and one
// `hlink_part` ("HLink": "<type>@<id>@<vob tag> <from> -> <to>") per hyperlink.
bool vdw_props_send_custom(VDW_RpcResponse& out, vob_t* vob, vob_dbid_t obj, const char* attr_part,
                           const char* hlink_part, WCM_Status& status);

// "CurrentReplica", "MasterReplica", "IsReplicated", "HasMaster": every object is mastered
// by the one replica of its VOB.
bool vdw_props_send_mastership(VDW_RpcResponse& out, const char* part);

// "IsDir", "Owner", "Group", "Access".
bool vdw_props_send_protection(VDW_RpcResponse& out, const char* part, const vob_obj_info_t& info,
                               bool is_dir);

// The octal text of a mode, and its rwx text for one class of users.
std::string vdw_props_access(int mode);
std::string vdw_props_rwx(int bits);

#endif
