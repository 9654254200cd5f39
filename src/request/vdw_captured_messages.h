// VDW_CapturedMessages: what the response writer needs from whoever captures the core's
// messages during a request, so that the status part can carry them.
//
// The facade implements it; the response writer knows only this interface, which keeps
// the request layer free of the layers above it.
#ifndef REQUEST_VDW_CAPTURED_MESSAGES_H
#define REQUEST_VDW_CAPTURED_MESSAGES_H

class VDW_Vdcore;
class WCM_MemPool;

class VDW_CapturedMessages {
public:
    enum OutputType { OK = 0, WARN = 1, ERR = 2, ALL = 3 };

    // Whether any message of the kind was captured.
    virtual bool have_msg_text(OutputType kind) const = 0;
    // All captured messages of one kind (every message, in arrival order, for ALL), joined
    // with nothing between them, in a buffer the caller releases with free_msg_text; null
    // when there is nothing.
    virtual char* msg_text(OutputType kind, WCM_MemPool& pool) = 0;
    static void free_msg_text(char* text);

protected:
    ~VDW_CapturedMessages() = default;
};

// The facade seen as a message source; null for a null facade. Defined by the layer that
// defines the facade (the facade's class is only declared here).
VDW_CapturedMessages* vdw_captured_messages(VDW_Vdcore* facade);

#endif
