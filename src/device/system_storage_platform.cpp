#include "device/system_storage_platform.h"

#if defined(_WIN32)
#include "device/windows_storage_platform.h"
#elif defined(__linux__)
#include "device/linux_storage_platform.h"
#endif

namespace dozered {

std::unique_ptr<StoragePlatform> CreateSystemStoragePlatform() {
#if defined(_WIN32)
  return std::make_unique<WindowsStoragePlatform>();
#elif defined(__linux__)
  return std::make_unique<LinuxStoragePlatform>();
#else
  return nullptr;
#endif
}

}  // namespace dozered
