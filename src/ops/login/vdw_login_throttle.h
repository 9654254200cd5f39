// VDW_LoginThrottle: failed logins make further attempts wait, per user and per client
// address, so that guessing passwords costs the guesser time and the site next to nothing.
//
// Every CGI process of the host meets in the same records: one small file per user, per
// client address and per pair of user and address that logged in, in
// `<tmp>/login-throttle` (0700, files 0600, owned by the site account). A record counts the
// failures of its key; past a number of free failures each further one blocks the key for a
// delay that doubles, up to a cap, and a key that failed nothing for its quiet time starts
// afresh. A blocked attempt is refused at once, before any password is looked at, and no
// process ever sleeps for a delay: the client is told how long to wait.
//
// An attempt counts as a failure from the moment it is admitted until `succeeded`: a burst of
// guesses sent at once meets the failures of the burst before it, not an empty record, and
// a process that dies during the check leaves a failure. Only a different guess counts at
// once, though: while the user's check of one password is under way, a few further attempts
// with the same password (a client's parallel requests) are admitted without counting, and
// count only if they fail. A success forgets the user's failures, takes back only its own count
// from the address (so mixing one's own good logins with guesses gains nothing), and marks
// the pair of user and address as known. Guesses are recorded only as a keyed hash under a
// random key of the site.
//
// The two keys are weighed differently. The per-user delay is short and capped, because
// anyone may fail in another's name: it bounds guessing from many addresses without locking
// the user out for long. The per-address delay grows far further: it is what stops one
// guesser. An address that logged in as the user lately is not held back by that user's
// record (only by its own), so the user's own clients keep working while others guess.
#ifndef OPS_LOGIN_VDW_LOGIN_THROTTLE_H
#define OPS_LOGIN_VDW_LOGIN_THROTTLE_H

#include <cstdint>
#include <string>

class VDW_LoginThrottle {
public:
    // How one kind of key is throttled: failures that cost nothing, the first delay in
    // seconds (doubled by each further failure), its cap, and the quiet time after which
    // the failures are forgotten.
    struct Policy {
        int free_failures;
        int first_delay_s;
        int max_delay_s;
        int forget_after_s;
    };
    static constexpr Policy USER_POLICY = {5, 1, 30, 15 * 60};
    static constexpr Policy ADDRESS_POLICY = {10, 1, 15 * 60, 24 * 3600};
    // How long a pair of user and address that logged in stays known.
    static constexpr int KNOWN_PAIR_S = 30 * 24 * 3600;
    // How long a check under way makes attempts with the same password wait for its outcome
    // instead of counting (longer than any check takes; a check whose process died is
    // forgotten after it).
    static constexpr int CHECK_UNDER_WAY_S = 30;
    // How many attempts repeating a password under check are admitted without counting: as
    // many as a client sends at once (the requests per session clients are told of).
    static constexpr int PARALLEL_REPEATS = 10;

    typedef int64_t (*clock_fn)();

    // The throttle of one attempt by `user` from the client address `remote_addr` (as the
    // web server gives it; empty when unknown: then only the user is throttled), over the
    // records in the site's temporary directory.
    VDW_LoginThrottle(const std::string& user, const std::string& remote_addr);
    // The same over the records in `dir`, with `now` as the clock (for tests).
    VDW_LoginThrottle(const std::string& dir, const std::string& user,
                      const std::string& remote_addr, clock_fn now);
    VDW_LoginThrottle(const VDW_LoginThrottle&) = delete;
    VDW_LoginThrottle& operator=(const VDW_LoginThrottle&) = delete;

    // Before the check of `password`: 0 when the attempt may go on, else the seconds the
    // client must wait (nothing counted). An admitted attempt counts as a failure until
    // `succeeded` (see above for one that repeats a password under check). Records that
    // cannot be kept admit the attempt: the throttle never locks a site out of its logins.
    int admit(const std::string& password);
    // The same for credentials already known to be right: held to the blocks, never counted.
    int admit_known();
    // The admitted attempt's password was right.
    void succeeded();
    // The admitted attempt's password was wrong.
    void failed();

    // The key of a client address: IPv4 as it is, IPv6 by its /64 network (a host commonly
    // holds the whole of one), an IPv4-mapped IPv6 address as its IPv4 address; text that is
    // no address is kept as it is, up to 64 bytes.
    static std::string address_key(const std::string& remote_addr);
    // Removes from `dir` the records nobody changed for longer than they can matter; run
    // now and then by the attempts themselves.
    static void sweep(const std::string& dir);

private:
    // `guess`: the keyed hash of the password tried, or null for credentials known right.
    int enter(const std::string* guess);
    // Counts one failure for the address and the user (both records locked in turn).
    void count_now();

    std::string dir_;
    std::string user_;
    std::string user_file_;
    std::string address_file_;  // empty without an address
    std::string pair_file_;
    clock_fn now_;
    std::string guess_;      // the keyed hash of this attempt's password, when counted
    bool admitted_ = false;  // admitted and not yet told its outcome
    bool counted_ = false;   // counted as a failure when admitted
    bool address_counted_ = false;
    int64_t address_until_before_ = 0;  // the address's block before this attempt counted
    int64_t address_until_set_ = 0;     // and the block this attempt set
};

#endif
