// VDW_CurrentUser.
#include "facade/vdw_current_user.h"

#include "core/tbs/tbs.h"
#include "foundation/vdw_config.h"

VDW_CurrentUser& VDW_CurrentUser::the_instance() {
    static VDW_CurrentUser instance;
    return instance;
}

std::string VDW_CurrentUser::view_storage_root() {
    const char* storage = VDW_Config::getInstance().get_string_param(VDW_Config::VIEW_STORAGE_KEY);
    return storage && *storage ? std::string(storage) : std::string(tbs_product_dir()) + "/views";
}

void VDW_CurrentUser::set_user(const char* user) {
    user_ = user ? user : "";
    if (user_.empty()) {
        user_data_dir_.clear();
        view_storage_dir_.clear();
        return;
    }
    const VDW_Config& config = VDW_Config::getInstance();
    user_data_dir_ = std::string(tbs_product_dir()) + "/users/" + user_;
    view_storage_dir_ = view_storage_root() + "/" + user_;
    gpath_flag_ = config.get_boolean_param(VDW_Config::USE_VIEW_HOST_PATH_FOR_GLOBAL_PATH_KEY);
}
