// VDW_ValidateCopyAreaStateRpc and VDW_FetchVobsAtLeastPartiallyLoadedRpc.
#include <zlib.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/cmd/cmd.h"
#include "core/sum/sum_view.h"
#include "core/view/config_spec.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"
#include "webview/vdw_validate_copy_area_rpcs.h"
#include "webview/vdw_view_state_digest.h"

namespace {

// `text` as one gzip member.
bool gzip(const std::string& text, std::string* out) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&z, static_cast<uLong>(text.size())) + 32);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out->data());
    z.avail_out = static_cast<uInt>(out->size());
    const int rc = deflate(&z, Z_FINISH);
    out->resize(out->size() - z.avail_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

std::string strip_version(const std::string& path) {
    const size_t at = path.find("@@");
    return at == std::string::npos ? path : path.substr(0, at);
}

}  // namespace

void VDW_ValidateCopyAreaStateRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_ValidateCopyAreaStateRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser args(request().rpcargs());
    const char* value = nullptr;
    bool found = false;
    char buf[VDW_PNAME_BUF_SIZE];
    if (!args.match_next("ViewUuid", &value, status())) return;
    const std::string uuid_text = value;
    std::string rel, client_digest;
    if (!args.match_next_opt("ViewRelPname", &value, found, status())) return;
    if (found) rel = VDW_ReqArgsParser::decode_pname(value, buf);
    if (!args.match_next("ViewStateDigest", &value, status())) return;
    client_digest = value;
    std::vector<std::string> listed;
    for (;;) {
        if (!args.match_next_opt("NonFrozenCheckout", &value, found, status())) return;
        if (!found) break;
        listed.push_back(VDW_ReqArgsParser::decode_pname(value, buf));
    }
    if (args.has_more_args()) {
        const char* name = nullptr;
        args.next(name, value, status());
        VDW_RpcArgs::bad_value(status(), name ? name : "", value ? value : "");
        return;
    }
    tbs_uuid_t uuid;
    SUM_View view;
    tbs_status_t st = tbs_uuid_from_str(uuid_text.c_str(), &uuid);
    if (st == TBS_ST_OK) st = SUM_View::construct_from_uuid(uuid, &view);
    view_t* vh = nullptr;
    if (st == TBS_ST_OK) st = view.handle(&vh);
    if (st != TBS_ST_OK) {
        VDW_RpcArgs::bad_value(status(), "ViewUuid", uuid_text);
        status().set_status(st);
        return;
    }

    WebViewStateDigest digest(view, rel);
    std::string parents;
    std::set<std::string> server_checkouts;
    std::string server_digest;
    const bool read = vdw_read_digest(status(), [&] {
        server_digest = digest.get_digest().get_hex_string();
        if (server_digest != client_digest) digest.get_parent_digests(parents);
        server_checkouts = digest.get_non_frozen_checkouts();
    });
    if (!read) return;

    // The checkouts the client holds outside the loaded state: those the view does not have,
    // and those the view has that the client did not list.
    std::string bogus;
    std::set<std::string> listed_elements;
    for (const std::string& path : listed) {
        vob_resolved_t r;
        const bool resolves = cmd_resolve_ws_obj(vh, strip_version(path).c_str(),
                                                 VOB_RESOLVE_NOFOLLOW, &r) == TBS_ST_OK &&
                              r.element != 0;
        vob_version_info_t v;
        const bool checked_out = resolves && r.version &&
                                 vob_ver_get_info(r.vob, r.version, &v) == TBS_ST_OK &&
                                 v.checked_out;
        if (!checked_out) bogus += path + "\n";
        std::string pname;
        if (resolves && vob_elem_get_pname(r.vob, r.element, &pname) == TBS_ST_OK)
            listed_elements.insert(pname);
    }
    std::string missing;
    for (const std::string& version : server_checkouts) {
        const std::string element = strip_version(version);
        if (!element.empty() && !listed_elements.count(element)) missing += element + "\n";
    }

    if (!parents.empty()) {
        std::string packed;
        if (!gzip(parents, &packed)) {
            status().set_status(TBS_ST_ERR);
        } else {
            VDW_MultipartData part("DetailedViewStateDigest", "application/x-gzip", nullptr,
                                   packed.data(), static_cast<long long>(packed.size()));
            if (add_part(part, true)) return;
        }
    }
    if (!bogus.empty()) {
        VDW_MultipartData part("BogusNonFrozenCheckouts", "text/plain", nullptr, bogus.data(),
                               static_cast<long long>(bogus.size()));
        if (add_part(part, false)) return;
    }
    if (!missing.empty()) {
        VDW_MultipartData part("MissingNonFrozenCheckouts", "text/plain", nullptr, missing.data(),
                               static_cast<long long>(missing.size()));
        if (add_part(part, false)) return;
    }
}

void VDW_FetchVobsAtLeastPartiallyLoadedRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_FetchVobsAtLeastPartiallyLoadedRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string uuid;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &uuid)) return;
    view_t* view = nullptr;
    facade()->open_view(uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    std::vector<std::string> tags;
    for (const std::string& rule : view_cspec_load_rules(*view->cspec)) {
        vob_resolved_t r;
        WCM_Status quiet;
        facade()->resolve_vob_obj(view, rule.c_str(), 0, &r, quiet);
        if (!quiet.is_ok() || !r.vob) continue;
        if (std::find(tags.begin(), tags.end(), r.vob->tag) == tags.end())
            tags.push_back(r.vob->tag);
    }
    for (const std::string& tag : tags) {
        VDW_MultipartData part("VobFound", nullptr, nullptr, nullptr, 0);
        part.add_part_item("VobTag", tag.c_str());
        if (add_part(part, false)) return;
    }
}
