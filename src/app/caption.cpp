#include "app/caption.h"

#include <cstdio>

namespace dozered {

std::string FormatCaption(unsigned major, unsigned minor, unsigned build) {
  char text[64];
  std::snprintf(text, sizeof text, "Dozered V%u.%u.%u VE4810VO", major, minor, build);
  return text;
}

std::string MainWindowCaption() {
#if defined(DOZERED_VERSION_MAJOR) && defined(DOZERED_VERSION_MINOR) && \
    defined(DOZERED_VERSION_PATCH)
  return FormatCaption(DOZERED_VERSION_MAJOR, DOZERED_VERSION_MINOR, DOZERED_VERSION_PATCH);
#else
  return "Dozered V1.3.14 VE4810VO";
#endif
}

}  // namespace dozered
