// The configuration files read once at start-up, before the first scan: the
// SMART attribute names of String.ini and the page list of TabSheet.ini,
// both from the working directory. The window and dozered-cli start the same
// way.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/page_list.h"

namespace dozered {

class Feedback;

// The files read at start-up (working directory by default), and what
// start-up found wrong before them (told to the user with theirs).
struct StartupFiles {
  std::filesystem::path StringIni = "String.ini";
  std::filesystem::path TabSheetIni = "TabSheet.ini";
  std::vector<std::string> Notes;
};

struct StartupConfiguration {
  PageListLayout Pages;            // what the window applies to its pages
  std::vector<std::string> Notes;  // the files' notes, then those of the two files read here
};

// Fills AttributeNames and PageEnabled from the two files and sets the flash
// option bytes to their start values (FlashOption 0x21, FlashChCe 0x00).
// `feedback`, when given, processes pending events while the page list is read.
StartupConfiguration LoadStartupConfiguration(AppState& state, const StartupFiles& files, Feedback* feedback);

// The notes as the one start-up message shows them: one per line.
std::string StartupNotesText(const std::vector<std::string>& notes);

}  // namespace dozered
