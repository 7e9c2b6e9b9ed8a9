// The storage platform of the operating system the tool runs on.
#pragma once

#include <memory>

#include "device/storage_platform.h"

namespace dozered {

// Windows or Linux device access; nullptr where neither is built.
std::unique_ptr<StoragePlatform> CreateSystemStoragePlatform();

}  // namespace dozered
