// VDW_InteractionResponseRpc.
#include "ops/interaction/vdw_interaction_response_rpc.h"

#include <string>

#include "core/stg/stg.h"
#include "foundation/wcm_status.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

void VDW_InteractionResponseRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser args(request().rpcargs());
    // Values point into the parser until the next argument is read: keep copies.
    const char* value = nullptr;
    if (!args.match_next("MsgProtocol", &value, status())) return;
    const std::string protocol = value;
    if (!args.match_next("MsgVersion", &value, status())) return;
    const std::string version = value;
    if (!args.match_next("MsgConnection", &value, status())) return;
    const std::string connection = value;

    stg_scoped_area area;
    ireq_msg_t* msg =
        area.get() ? ireq_msg_create(area.get(), protocol.c_str(), version.c_str(), 10) : nullptr;
    if (!msg) {
        status().set_status(TBS_ST_ERR);
        return;
    }
    while (args.has_more_args()) {
        const char* name = nullptr;
        if (!args.next(name, value, status())) return;
        std::string text = value;
        VDW_ReqArgsParser::decode_rich_string(text.data());
        text.resize(std::char_traits<char>::length(text.c_str()));
        if (!ireq_msg_add_element(msg, name, text.c_str())) {
            status().set_status(TBS_ST_ERR);
            return;
        }
    }
    char* text = nullptr;
    // The channel accepts only a response file of its own making: the name comes from the
    // client, so nothing else of the site can be written through it.
    if (ireq_msg_to_string(msg, area.get(), &text) != 0 || !text ||
        ireq_response_send(text, connection.c_str()) != 0) {
        status().set_status(TBS_ST_ERR);
        return;
    }
    VDW_MultipartData part("InteractionResponseResult", nullptr, nullptr, nullptr, 0);
    part.add_part_item("InteractionResponseResult", "OK");
    add_part(part, true);
}
