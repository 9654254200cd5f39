// Applies the update records of a response to a copy area, as they arrive.
//
// A fetch (and the download that follows a checkout, checkin, uncheckout, element
// creation or namespace change) streams directory contexts, element records each followed
// by its data part, renames and unloads. Each file is written under a temporary name
// (kTempPrefix) in its directory and renamed into place once whole; directories, symbolic links,
// modes and modification times follow the records. What the client must not lose it keeps:
// a hijacked file stays as the user left it (and is not reported as applied), and a file
// the area does not know that is in the way of a new element is kept beside it as
// "<name>.keep". Within a fetch session every record applied is remembered in the index so
// that the commit names exactly what the area now holds.
#ifndef CLIENT_RECORD_APPLIER_H
#define CLIENT_RECORD_APPLIER_H

#include <zlib.h>

#include <functional>
#include <set>
#include <string>

#include "client/copy_area.h"
#include "client/multipart_reader.h"

namespace client {

class RpcChannel;

// The name a file has while its contents arrive, beside where it goes.
constexpr const char kTempPrefix[] = ".#vdweb.";

struct ApplyStats {
    long long elements = 0;      // records applied
    long long bytes = 0;         // data bytes received
    long long kept = 0;          // hijacked files left alone
    long long failures = 0;      // element failures the server reported
    long long server_count = 0;  // the server's own count ("SyncProgress")
};

class RecordApplier {
public:
    enum class Mode {
        SESSION,  // a fetch: applied records are remembered for the commit
        SINGLE,   // a download after another operation: the server records it itself
    };
    using Say = std::function<void(const std::string&)>;

    RecordApplier(CopyArea& area, RpcChannel& channel, Mode mode, Say warn);
    ~RecordApplier();
    RecordApplier(const RecordApplier&) = delete;
    RecordApplier& operator=(const RecordApplier&) = delete;

    // Paths whose file in the area is the element's own content (a new element made from
    // it): kept when the download brings the same bytes, without a ".keep".
    void adopt(const std::string& path) { adopted_.insert(path); }
    // Called after each record, for progress.
    void on_progress(std::function<void(const ApplyStats&)> fn) { progress_ = std::move(fn); }

    // The three faces of a part sink (see RpcChannel::call).
    bool streams(const Part& part);
    bool body(const char* data, size_t n);
    bool on_part(Part& part);

    // Settles an element whose contents never came and writes what is still in the open
    // batch of the index; call it when the response has ended.
    bool finish();
    // Writes the open batch of the index (safe in the middle of a response).
    bool flush();

    bool began() const { return began_; }
    bool ended() const { return ended_; }
    bool completed_ok() const { return completed_ok_; }
    const std::string& session_id() const { return session_id_; }
    const std::string& session_ts() const { return session_ts_; }
    const ApplyStats& stats() const { return stats_; }
    const std::string& error() const { return error_; }
    // Paths of the element records applied (for the caller to report).
    const std::set<std::string>& touched() const { return touched_; }

private:
    struct Pending;
    bool element(const Part& part);
    bool unload(const std::string& path);
    bool rename(const Part& part);
    bool place(Pending& p);
    bool settle();
    // Leaves a hijacked file as the user made it (the record is not taken).
    bool keep_hijacked(const std::string& path);
    // What a file taken as it is holds: the version's bytes, or other bytes (a hijacked
    // file checked out as it was).
    enum class Holds { VERSION, OTHER };
    // Takes the file in the area as the element's (mode set by the checkout state).
    bool keep_file(Elem& e, const AppliedItem& item, Holds holds);
    bool fetch_by_url(Pending& p);
    bool record(const Elem& e, const AppliedItem& item);
    bool fail(const std::string& why);
    // Makes room for `path`: a file the area does not know is moved to a free ".keep" name,
    // which is left in `moved` (and not yet reported) when the caller asks for it.
    bool clear_way(const std::string& path, const Elem* known, std::string* moved = nullptr);
    // Whether every existing directory of `rel_dir` is a real directory (no link on the
    // way out of the area); make_dirs also makes the missing ones.
    bool inside(const std::string& rel_dir);
    bool make_dirs(const std::string& rel_dir);

    CopyArea& area_;
    RpcChannel& channel_;
    Mode mode_;
    Say warn_;
    std::function<void(const ApplyStats&)> progress_;
    std::set<std::string> adopted_;
    std::set<std::string> touched_;
    std::set<std::string> checked_dirs_;  // directories known to be real ones
    std::string dir_;
    std::string text_mode_ = "unix";
    std::unique_ptr<Pending> pending_;
    bool began_ = false, ended_ = false, completed_ok_ = false;
    std::string session_id_, session_ts_;
    ApplyStats stats_;
    std::string error_;
    int batch_ = 0;
};

}  // namespace client

#endif  // CLIENT_RECORD_APPLIER_H
