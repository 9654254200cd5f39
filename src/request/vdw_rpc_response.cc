// The response stream: ordering of parts, status and trailer, keep-alive timer.
#include "request/vdw_rpc_response.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "core/stg/stg.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_captured_messages.h"
#include "request/vdw_multipart_data.h"

VDW_RpcResponse::listener_start_t VDW_RpcResponse::s_listener_start = nullptr;
VDW_RpcResponse::listener_stop_t VDW_RpcResponse::s_listener_stop = nullptr;
VDW_RpcResponse::flush_t VDW_RpcResponse::s_flush = nullptr;

namespace {

const char* const kClass = "VDW_RpcResponse";

// The innermost live response: the one keep-alives go to.
std::mutex g_registry_mutex;
VDW_RpcResponse* g_current = nullptr;

}  // namespace

// The process's keep-alive timer thread.
class VDW_KeepaliveTimer {
public:
    static VDW_KeepaliveTimer& instance() {
        // Never destroyed: the exit handler stops the thread before statics go away.
        static auto* timer = new VDW_KeepaliveTimer;
        return *timer;
    }

    void start(int seconds) {
        stop();
        std::lock_guard<std::mutex> lk(m_);
        interval_ = seconds;
        stopping_ = false;
        // Started for every request, so made cheap: a small stack, and nothing on the heap
        // (a thread's first free makes the allocator build it an arena of its own).
        pthread_attr_t attr;
        bool started = pthread_attr_init(&attr) == 0;
        if (started) {
            pthread_attr_setstacksize(&attr, kStackBytes);
            started = pthread_create(&thread_, &attr, &VDW_KeepaliveTimer::main, this) == 0;
            pthread_attr_destroy(&attr);
        }
        if (!started) {
            interval_ = 0;  // no thread: running() reports the failure
            return;
        }
        joinable_ = true;
        if (!exit_hook_) {
            exit_hook_ = true;
            atexit([] { VDW_KeepaliveTimer::instance().stop(); });
        }
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lk(m_);
            stopping_ = true;
        }
        cv_.notify_all();
        if (joinable_ && !pthread_equal(thread_, pthread_self())) {
            pthread_join(thread_, nullptr);
            joinable_ = false;
        }
        std::lock_guard<std::mutex> lk(m_);
        interval_ = 0;
    }

    bool running() {
        std::lock_guard<std::mutex> lk(m_);
        return interval_ > 0 && !stopping_;
    }

    int interval() {
        std::lock_guard<std::mutex> lk(m_);
        return interval_;
    }

private:
    // Room enough for writing a keep-alive part; the default would map 8 MiB per request.
    static constexpr size_t kStackBytes = 256 * 1024;

    static void* main(void* self) {
        static_cast<VDW_KeepaliveTimer*>(self)->run();
        return nullptr;
    }

    void run() {
        std::unique_lock<std::mutex> lk(m_);
        while (!stopping_) {
            if (cv_.wait_for(lk, std::chrono::seconds(interval_), [this] { return stopping_; }))
                break;
            lk.unlock();
            {
                std::lock_guard<std::mutex> reg(g_registry_mutex);
                if (g_current) g_current->write_keepalive();
            }
            lk.lock();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    pthread_t thread_{};
    bool joinable_ = false;
    int interval_ = 0;
    bool stopping_ = false;
    bool exit_hook_ = false;
};

std::recursive_mutex& VDW_RpcResponse::stream_lock() {
    static std::recursive_mutex lock;
    return lock;
}

VDW_RpcResponse::VDW_RpcResponse(WCM_MemPool& pool, WCM_Status& status, std::ostream& out,
                                 VDW_Vdcore* facade)
    : pool_(&pool), status_(&status), facade_(facade), out_(&out) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "constructor");
    if (trace.shouldTrace(4))
        trace.writeTrace("listener_start: %s", s_listener_start ? "ON" : "off");
    if (s_listener_stop) s_listener_stop();
    if (s_listener_start && s_listener_start(&VDW_RpcResponse::ProcessMsg, this) != 0)
        throw std::runtime_error("Unable to initialize listener to support interaction requests");
    std::lock_guard<std::mutex> reg(g_registry_mutex);
    outer_ = g_current;
    g_current = this;
}

VDW_RpcResponse::~VDW_RpcResponse() {
    if (!trailer_sent_) send_status_and_trailer();
    {
        std::lock_guard<std::mutex> reg(g_registry_mutex);
        if (g_current == this) {
            g_current = outer_;
        } else {
            // Responses normally end innermost first; unlink this one wherever it is.
            for (VDW_RpcResponse* r = g_current; r; r = r->outer_) {
                if (r->outer_ == this) {
                    r->outer_ = outer_;
                    break;
                }
            }
        }
    }
    if (s_listener_stop) s_listener_stop();
}

bool VDW_RpcResponse::stream_failed() const {
    return out_->bad() || out_->fail();
}

bool VDW_RpcResponse::write_header_locked() {
    if (!header_sent_) {
        header_sent_ = true;
        VDW_MultipartData::generate_doc_header(*out_);
    }
    return stream_failed();
}

bool VDW_RpcResponse::send_header() {
    std::lock_guard<std::recursive_mutex> lk(stream_lock());
    return write_header_locked();
}

bool VDW_RpcResponse::generate_header() {
    return send_header();
}

bool VDW_RpcResponse::add_part(VDW_MultipartData& part, bool flush) {
    std::lock_guard<std::recursive_mutex> lk(stream_lock());
    writing_ = true;
    write_header_locked();
    if (stream_failed()) {
        writing_ = false;
        return true;
    }
    part.write_self_to_stream(*out_);
    last_write_ = time(nullptr);
    if (flush) out_->flush();
    writing_ = false;
    return stream_failed();
}

bool VDW_RpcResponse::send_status_and_trailer() {
    std::lock_guard<std::recursive_mutex> lk(stream_lock());
    if (trailer_sent_) return false;
    // Nothing can reach a client whose stream has failed; every call says so.
    if (write_header_locked()) return true;
    bool has_non_ok = false;
    char* extra = nullptr;
    if (VDW_CapturedMessages* messages = vdw_captured_messages(facade_)) {
        has_non_ok = messages->have_msg_text(VDW_CapturedMessages::WARN) ||
                     messages->have_msg_text(VDW_CapturedMessages::ERR);
        extra = messages->msg_text(VDW_CapturedMessages::ALL, *pool_);
    }
    VDW_MultipartData::generate_status_part(*out_, *status_, has_non_ok, extra);
    VDW_CapturedMessages::free_msg_text(extra);
    VDW_MultipartData::generate_body_trailer(*out_);
    trailer_sent_ = true;
    last_write_ = time(nullptr);
    return stream_failed();
}

bool VDW_RpcResponse::send_interaction_request(const char* message) {
    std::lock_guard<std::recursive_mutex> lk(stream_lock());
    const char* text = message ? message : "";
    VDW_MultipartData part(VDW_MultipartData::INTERACTOR_REQUEST, VDW_MultipartData::MIME_TEXT,
                           nullptr, text, static_cast<long long>(strlen(text)));
    add_part(part, true);
    if (s_flush) s_flush(this);
    return true;
}

int VDW_RpcResponse::ProcessMsg(const char* message, void* response) {
    if (!response) return 0;
    static_cast<VDW_RpcResponse*>(response)->send_interaction_request(message);
    return 1;
}

void VDW_RpcResponse::enable_interaction_requests(listener_start_t start, listener_stop_t stop,
                                                  flush_t flush) {
    s_listener_start = start;
    s_listener_stop = stop;
    s_flush = flush;
}

bool VDW_RpcResponse::keepalive_needed() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "keepalive_needed");
    if (trace.shouldTrace(4))
        trace.writeTrace("Time now %d and since = %d", static_cast<int>(time(nullptr)),
                         static_cast<int>(time(nullptr) - last_write_));
    return !writing_ && !trailer_sent_ && !stream_failed();
}

// Called on the timer thread with the registry locked.
bool VDW_RpcResponse::write_keepalive() {
    std::unique_lock<std::recursive_mutex> lk(stream_lock(), std::try_to_lock);
    if (!lk.owns_lock() || !keepalive_needed()) return false;  // a part is being written
    VDW_Trace trace(QLMX_COMPONENT, kClass, "keepalive");
    if (trace.shouldTrace(4)) trace.writeTrace("Sending keepalive messages.");
    VDW_MultipartData part(VDW_MultipartData::QLMX_KEEPALIVE, VDW_MultipartData::MIME_TEXT, nullptr,
                           "", 0);
    add_part(part, true);
    if (s_flush) s_flush(this);
    if (trace.shouldTrace(4)) trace.writeTrace("Sent keepalive message");
    return true;
}

void VDW_RpcResponse::schedule_keepalive(int seconds) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "schedule_keepalive");
    if (trace.shouldTrace(2)) trace.writeTrace("Interval is %d", seconds);
    if (seconds < 1) return;
    if (trace.shouldTrace(2))
        trace.writeTrace("Scheduling keepalive (unix) after %d seconds", seconds);
    VDW_KeepaliveTimer::instance().start(seconds);
    if (trace.shouldTrace(2))
        trace.writeTrace(VDW_KeepaliveTimer::instance().running() ? "Timer schedule succeeded."
                                                                  : "Timer schedule failed.");
}

void VDW_RpcResponse::unschedule_keepalive() {
    VDW_KeepaliveTimer::instance().stop();
}

int VDW_RpcResponse::keepalive_interval() {
    return VDW_KeepaliveTimer::instance().interval();
}

void VDW_CapturedMessages::free_msg_text(char* text) {
    stg_free(text);
}
