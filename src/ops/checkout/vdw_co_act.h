// VDW_CoAct: how a checkout treats an element whose selected version is not the latest on
// its branch, and what it met on the way. The action is the core's checkout decision hook
// (its callback and data, see cmd_checkout_args_t); the checkout RPCs read its record
// afterwards to turn a refused checkout into the status the client expects.
//
// A plain action gives the block's default answer (refuse, take the selected version, or
// take the latest, as the caller chose) and records a refusal as a non-latest conflict.
// VDW_ForcedLatestCoAct always takes the latest version (a client that asks for the
// latest on the branch, or for the version the view selects, which the core only offers
// when it is the latest).
//
// Mastership: the core keeps one replica per VOB, which masters every object, so nothing
// reports an element or a branch type mastered elsewhere; the record still has room for
// both, and the callers check it, so that a core that replicates needs no new checkout
// path.
#ifndef OPS_CHECKOUT_VDW_CO_ACT_H
#define OPS_CHECKOUT_VDW_CO_ACT_H

#include <string>

#include "core/cmd/cmd.h"

class VDW_CoAct {
public:
    explicit VDW_CoAct(int nonlatest = CMD_NONLATEST_FAIL) : default_(nonlatest) {}
    virtual ~VDW_CoAct() = default;
    VDW_CoAct(const VDW_CoAct&) = delete;
    VDW_CoAct& operator=(const VDW_CoAct&) = delete;

    // Puts the action into a checkout block: its callback and data, and the block's default
    // non-latest handling.
    void install(cmd_checkout_args_t* co);

    bool had_nonlatest_conflict() const { return nonlatest_conflict_; }
    // The element itself is mastered by another replica.
    bool had_not_mastered_locally_conflict() const { return not_mastered_; }
    // The branch type whose branch the checkout needed and whose mastership the caller
    // must check ("" when none was recorded).
    const std::string& branch_type() const { return branch_type_; }
    void note_not_mastered_locally() { not_mastered_ = true; }
    void note_branch_type(const std::string& branch_type) { branch_type_ = branch_type; }

protected:
    // The decision for one pathname (a cmd_nonlatest_t).
    virtual int decide(const char* pname, vob_dbid_t selected, vob_dbid_t latest);
    int default_decision() const { return default_; }

private:
    static int callback(void* data, const char* pname, vob_dbid_t selected, vob_dbid_t latest);

    int default_;
    bool nonlatest_conflict_ = false;
    bool not_mastered_ = false;
    std::string branch_type_;
};

class VDW_ForcedLatestCoAct : public VDW_CoAct {
public:
    VDW_ForcedLatestCoAct() : VDW_CoAct(CMD_NONLATEST_LATEST) {}

protected:
    int decide(const char*, vob_dbid_t, vob_dbid_t) override { return CMD_NONLATEST_LATEST; }
};

#endif
