// VDW_RpcResponse: the multipart response stream of one RPC.
//
// It writes the document header before the first part, carries interaction requests to
// the client, sends keep-alive parts between parts while a long operation runs, and
// writes the status part and trailer exactly once: at the latest when it is destroyed,
// so that constructing and destroying a response writes a complete error response.
//
// Keep-alives come from a timer thread of the process, never from a signal handler. The
// timer writes to the innermost live response, and only while it holds the stream lock
// that every part and the status take, so a keep-alive is never spliced into a part.
#ifndef REQUEST_VDW_RPC_RESPONSE_H
#define REQUEST_VDW_RPC_RESPONSE_H

#include <ctime>
#include <iosfwd>
#include <mutex>

class VDW_MultipartData;
class VDW_Vdcore;
class WCM_MemPool;
class WCM_Status;

// The response stream can no longer be written.
class VDW_ResponseWriteErrorException {};

class VDW_RpcResponse {
public:
    typedef int (*listener_t)(const char* message, void* response);
    typedef int (*listener_start_t)(listener_t listener, void* response);
    typedef void (*listener_stop_t)();
    typedef bool (*flush_t)(VDW_RpcResponse* response);

    VDW_RpcResponse(WCM_MemPool& pool, WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    virtual ~VDW_RpcResponse();
    VDW_RpcResponse(const VDW_RpcResponse&) = delete;
    VDW_RpcResponse& operator=(const VDW_RpcResponse&) = delete;

    // Each returns true once the output stream has failed.
    bool add_part(VDW_MultipartData& part, bool flush);
    bool send_header();
    bool generate_header();
    bool send_status_and_trailer();
    bool send_interaction_request(const char* message);

    // Starts (or re-times) the process's keep-alive timer: every `seconds` a keep-alive
    // part goes to the innermost live response, unless a part is being written or the
    // trailer is out. Below 1 nothing is scheduled.
    static void schedule_keepalive(int seconds);
    static void unschedule_keepalive();
    static int keepalive_interval();
    bool keepalive_needed();

    static void enable_interaction_requests(listener_start_t start, listener_stop_t stop,
                                            flush_t flush);
    // Writes one interaction-request part for a message the listener delivers.
    static int ProcessMsg(const char* message, void* response);

    WCM_MemPool& pool() { return *pool_; }
    WCM_Status& status() { return *status_; }
    std::ostream& out() { return *out_; }
    VDW_Vdcore* facade() { return facade_; }
    bool trailer_sent() const { return trailer_sent_; }
    bool stream_failed() const;
    time_t last_write() const { return last_write_; }
    // The lock every write to the response stream holds.
    static std::recursive_mutex& stream_lock();

private:
    friend class VDW_KeepaliveTimer;
    bool write_header_locked();
    bool write_keepalive();

    WCM_MemPool* pool_;
    WCM_Status* status_;
    VDW_Vdcore* facade_;
    std::ostream* out_;
    bool header_sent_ = false;
    bool trailer_sent_ = false;
    time_t last_write_ = 0;
    bool writing_ = false;
    VDW_RpcResponse* outer_ = nullptr;  // the response that was innermost before this one

    static listener_start_t s_listener_start;
    static listener_stop_t s_listener_stop;
    static flush_t s_flush;
};

#endif
