// VDW_Cancel: the cancellation channel of a web view update session.
//
// The update runs in one server process; the cancel arrives as another request served by
// another process. They meet through a marker file named after the session id in the
// core's temporary directory: the canceller creates it, the running update polls for it,
// whoever finishes removes it.
#ifndef FOUNDATION_VDW_CANCEL_H
#define FOUNDATION_VDW_CANCEL_H

class VDW_Cancel {
public:
    static constexpr int FILENAME_SIZE = 256;

    VDW_Cancel();  // a null channel
    explicit VDW_Cancel(long session_id);

    void set_sessionid(long session_id);
    const char* get_cancel_filename();
    long session_id() const { return session_id_; }
    bool is_null() const;
    void signal_cancel();
    bool is_cancelled();
    void cleanup_cancel();

private:
    void build_name();

    long session_id_;
    char cancel_filename_[FILENAME_SIZE];
};

#endif
