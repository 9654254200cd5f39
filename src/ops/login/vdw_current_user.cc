// VDW_CurrentUser.
#include "ops/login/vdw_current_user.h"

#include "core/tbs/tbs.h"
#include "foundation/vdw_config.h"

VDW_CurrentUser& VDW_CurrentUser::the_instance() {
    static VDW_CurrentUser instance;
    return instance;
}

void VDW_CurrentUser::set_user(const char* user) {
    user_ = user ? user : "";
    if (user_.empty()) {
        user_data_dir_.clear();
        view_storage_dir_.clear();
        return;
    }
    const VDW_Config& config = VDW_Config::getInstance();
    const std::string product = tbs_product_dir();
    user_data_dir_ = product + "/users/" + user_;
    const char* storage = config.get_string_param(VDW_Config::VIEW_STORAGE_KEY);
    view_storage_dir_ =
        (storage && *storage ? std::string(storage) : product + "/views") + "/" + user_;
    gpath_flag_ = config.get_boolean_param(VDW_Config::USE_VIEW_HOST_PATH_FOR_GLOBAL_PATH_KEY);
}
