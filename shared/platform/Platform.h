#pragma once
// The one place that picks the Linux adapter behind each port. Callers never choose for themselves.

#include "LoginItem.h"

#include <memory>

namespace Platform {
// The XDG autostart entry of the installed program.
std::shared_ptr<LoginItem> loginItem();
} // namespace Platform
