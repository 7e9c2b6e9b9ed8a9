// Which pages of the main window TabSheet.ini enables.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/app_state.h"

namespace dozered {

class Feedback;

// What the window applies after reading the page list.
struct PageListLayout {
  std::array<bool, kPageCount> TabVisible{};  // tab shown on the page control
  int ActivePage = -1;                        // page made active; -1 for none
  bool ChunkEccButtonVisible = false;         // BTN_Chunk_ECC on the Flash RW page
  std::string Note;  // names the file when it is there but cannot be used
};

// Clears `page_enabled` and sets the entry of every page whose TabSheet.ini
// name appears quoted at the start of a line. Reading stops at the first line
// without a second double quote. The "Chunk ECC" page never gets a tab: when
// listed it makes BTN_Chunk_ECC visible and its entry goes back to 0. The
// first enabled page becomes the active one. A missing file enables nothing,
// and so does one that cannot be used (too large, UTF-16), with a note.
// `feedback`, when given, processes pending events before each line and each
// page.
PageListLayout LoadPageList(const std::filesystem::path& path, std::array<uint8_t, kPageCount>& page_enabled,
                            Feedback* feedback);

// The page name of one TabSheet.ini line: the text after the first character
// up to the second double quote. False when the line has no second quote.
bool PageNameOfLine(const std::string& line, std::string& name);

}  // namespace dozered
