#include "app/startup_files.h"

#include "app/attribute_names.h"

namespace dozered {

StartupConfiguration LoadStartupConfiguration(AppState& state, const StartupFiles& files, Feedback* feedback) {
  StartupConfiguration config;
  config.Notes = files.Notes;
  const std::string namesNote = LoadAttributeNames(files.StringIni, state.AttributeNames);
  if (!namesNote.empty()) config.Notes.push_back(namesNote);
  config.Pages = LoadPageList(files.TabSheetIni, state.PageEnabled, feedback);
  if (!config.Pages.Note.empty()) config.Notes.push_back(config.Pages.Note);
  state.FlashOption = 0x21;
  state.FlashChCe = 0x00;
  return config;
}

std::string StartupNotesText(const std::vector<std::string>& notes) {
  std::string text;
  for (const std::string& note : notes) text += (text.empty() ? "" : "\n") + note;
  return text;
}

}  // namespace dozered
