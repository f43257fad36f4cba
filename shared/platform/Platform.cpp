#include "Platform.h"

#include "XdgAutostartLoginItem.h"

namespace Platform {

std::shared_ptr<LoginItem> loginItem() {
    return std::make_shared<XdgAutostartLoginItem>();
}

} // namespace Platform
