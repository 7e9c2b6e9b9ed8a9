#include "app/caption.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

namespace dozered {
namespace {

// The caption the window starts with, kept when no version can be read.
constexpr char kInitialCaption[] = "Dozered V1.3.14 VE4810VO";

}  // namespace

std::string FormatCaption(unsigned major, unsigned minor, unsigned build) {
  char text[64];
  std::snprintf(text, sizeof text, "Dozered V%u.%u.%u VE4810VO", major, minor, build);
  return text;
}

#ifdef _WIN32

// From the fixed file version of the executable's version resource.
std::string MainWindowCaption() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return kInitialCaption;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return kInitialCaption;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return kInitialCaption;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT info_size = 0;
  char root[] = "\\";
  if (!VerQueryValueA(data.data(), root, reinterpret_cast<void**>(&info), &info_size) || info == nullptr ||
      info_size < sizeof(VS_FIXEDFILEINFO)) {
    return kInitialCaption;
  }
  return FormatCaption(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                       HIWORD(info->dwFileVersionLS));
}

#else

// From the version the build was configured with.
std::string MainWindowCaption() {
#if defined(DOZERED_VERSION_MAJOR) && defined(DOZERED_VERSION_MINOR) && defined(DOZERED_VERSION_PATCH)
  return FormatCaption(DOZERED_VERSION_MAJOR, DOZERED_VERSION_MINOR, DOZERED_VERSION_PATCH);
#else
  return kInitialCaption;
#endif
}

#endif

}  // namespace dozered
