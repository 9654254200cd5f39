// VDW_Session: the per-request session object; carries the kind of client.
#ifndef OPS_VDW_SESSION_H
#define OPS_VDW_SESSION_H

#include <cstring>

class VDW_Session {
public:
    enum client_type_t {
        UNKNOWN = 0,
        BROWSER = 1,
        STANDALONE = 2,
        HALDENSTUDIO = 3,
        ECLIPSE = 4,
        VISUALSTUDIO = 5,
        CLI = 6,
    };

    client_type_t client_type() const { return client_type_; }
    void set_client_type(client_type_t t) { client_type_ = t; }

    // The client type named by the login argument "clienttype"; anything else is UNKNOWN.
    static client_type_t decode_client_type(const char* text) {
        static const char* const kNames[] = {
            "ClientType.UNKNOWN",      "ClientType.BROWSER", "ClientType.STANDALONE",
            "ClientType.HALDENSTUDIO", "ClientType.ECLIPSE", "ClientType.VISUALSTUDIO",
            "ClientType.CLI",
        };
        if (!text) return UNKNOWN;
        for (int i = 0; i < 7; ++i)
            if (strcmp(kNames[i], text) == 0) return static_cast<client_type_t>(i);
        return UNKNOWN;
    }

private:
    client_type_t client_type_ = UNKNOWN;
};

#endif
