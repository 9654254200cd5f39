// VDW_ComputePrimesRpc.
#include "ops/diag/vdw_compute_primes_rpc.h"

#include <chrono>
#include <string>
#include <thread>

#include "foundation/catalogs/vdweb_catalog.h"
#include "foundation/wcm_status.h"
#include "ops/diag/vdw_diag_access.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

namespace {
// A part body is held in memory; larger ones are refused rather than attempted.
constexpr long kMaxBodySize = 64L << 20;
}  // namespace

void VDW_ComputePrimesRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!vdw_diag_allowed(request(), status())) return;
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser args(request().rpcargs());
    // A value points into the parser and lasts until the next argument is read.
    const char* text = nullptr;
    if (!args.match_next("primeCount", &text, status())) return;
    long count = VDW_ReqArgsParser::decode_long(text);
    if (!args.match_next("periodInSeconds", &text, status())) return;
    long period = VDW_ReqArgsParser::decode_long(text);
    if (!args.match_next("bodySize", &text, status())) return;
    long size = VDW_ReqArgsParser::decode_long(text);
    if (size < 0) size = 0;  // no body
    if (size > kMaxBodySize) {
        status().set_status(TBS_ST_ERR);
        status().format(&_vdweb_lib_msg_table, VDWEB_STRING_TOO_LONG, text);
        return;
    }
    const std::string body(static_cast<size_t>(size), 'p');
    for (long i = 0; i < count; ++i) {
        VDW_MultipartData part("PrimeFound", VDW_MultipartData::MIME_CLEARTEXT, nullptr,
                               body.data(), size);
        part.add_part_item("Ordinal", i);
        part.add_part_item("Prime", i);
        if (add_part(part, true)) return;  // the client is gone
        if (period > 0) std::this_thread::sleep_for(std::chrono::seconds(period));
    }
}
