// The main window's caption, built from the tool's version.
#pragma once

#include <string>

namespace dozered {

// "Dozered V<major>.<minor>.<build> VE4810VO".
std::string FormatCaption(unsigned major, unsigned minor, unsigned build);

// The caption for the version this executable was built with.
std::string MainWindowCaption();

}  // namespace dozered
