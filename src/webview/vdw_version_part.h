// The "SyncElemData" part that carries one file's bytes to the client: a version streamed
// from its VOB's content pool, or a file of the server. The part is gzip-compressed when
// the client takes compressed parts and the bytes are at least the site's
// "qlmxDownloadCompressionThreshold" KiB.
//
// Failures set the status and print the core's message: a version or file that cannot be
// opened (18), a read that fails (20) or ends before the size announced (VDSRV1239), a
// write to the client that fails (21). Once a part has begun, a failure cuts it short and
// the response cannot go on: the status is then 1055, as for a cancelled part.
#ifndef WEBVIEW_VDW_VERSION_PART_H
#define WEBVIEW_VDW_VERSION_PART_H

#include "core/vob/vob_obj.h"

class VDW_Cancel;
class VDW_RpcResponse;
class WCM_Status;

// `name` is how messages name the version; a version whose bytes cannot be had (a
// directory version, a content missing from the pool) is refused before the part begins,
// with the core's status and VDSRV1042. `cancel` (may be null) is polled while the bytes
// are copied.
void vdw_send_version_part(VDW_RpcResponse& response, vob_t* vob, vob_dbid_t version,
                           const char* name, bool compress_ok, VDW_Cancel* cancel,
                           WCM_Status& status);
void vdw_send_file_part(VDW_RpcResponse& response, const char* path, long long size,
                        bool compress_ok, VDW_Cancel* cancel, WCM_Status& status);

#endif
