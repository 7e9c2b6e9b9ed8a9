#include "app/page_list.h"

#include "app/config_file.h"
#include "app/paths.h"
#include "app/feedback.h"
#include "app/page_table.h"

namespace dozered {

bool PageNameOfLine(const std::string& line, std::string& name) {
  std::size_t first = line.find('"');
  if (first == std::string::npos) return false;
  std::size_t second = line.find('"', first + 1);
  if (second == std::string::npos) return false;
  name = line.substr(1, second - 1);
  return true;
}

PageListLayout LoadPageList(const std::filesystem::path& path, std::array<uint8_t, kPageCount>& page_enabled,
                            Feedback* feedback) {
  PageListLayout layout;
  page_enabled.fill(0);
  ConfigLineReader file(path);
  if (!file.Readable()) {
    layout.Note = ConfigFileNote(file.State(), PathText(path));
    return layout;
  }

  std::string line;
  while (file.NextLine(line, kConfigLineLimit)) {
    if (feedback != nullptr) feedback->ProcessPendingEvents();
    std::string name;
    if (!PageNameOfLine(line, name)) break;
    for (int p = 0; p < kPageCount; ++p) {
      if (name == kPages[p].TabSheetName) page_enabled[p] = 1;
    }
  }

  for (int p = 0; p < kPageCount; ++p) {
    if (feedback != nullptr) feedback->ProcessPendingEvents();
    if (page_enabled[p] != 1) continue;
    if (layout.ActivePage < 0) layout.ActivePage = p;
    layout.TabVisible[p] = true;
    if (p == kPageChunkEcc) {
      layout.TabVisible[p] = false;
      layout.ChunkEccButtonVisible = true;
      page_enabled[p] = 0;
    }
  }
  return layout;
}

}  // namespace dozered
