// The saving commands of the main window: the context menus "Save To BIN
// File" and "&Save To TXT File" with their save dialogs, "Save Info", and the
// "Save Erase Count" and "Show Analyze" buttons of the "Erase Count" page.
// They only bind controls to the operations of reports/.
#pragma once

#include <QObject>
#include <filesystem>
#include <functional>
#include <string>

class QAction;
class QFileDialog;
class QMenu;
class QWidget;

namespace dozered {

struct AppState;
class TMainForm;
class TMEraseCount_Analyze;

class TSaveCommands : public QObject {
  Q_OBJECT

 public:
  // The controls that carry each context menu, by name.
  static const char* const kBinMenuControls[];
  static const char* const kTxtMenuControls[];

  TSaveCommands(TMainForm& form, AppState& state);

  // Gives every control of the two menu lists that the window holds its
  // context menu; a control added later gets its menu from a later call.
  void AttachMenus();
  // The analysis window that "Show Analyze" fills and shows.
  void SetAnalyzeWindow(TMEraseCount_Analyze* window) { analyze_ = window; }

  // Replaces running a save dialog, so that tests can answer it: gets the
  // dialog, its file name already set to the default name, and returns the
  // chosen path, or an empty path for "Cancel".
  using SaveDialogHandler = std::function<std::filesystem::path(QFileDialog& dialog)>;
  void SetSaveDialogHandler(SaveDialogHandler handler) { dialog_handler_ = std::move(handler); }

  QMenu* PM_SaveBinTile = nullptr;
  QAction* MI_SaveToBinFile = nullptr;
  QMenu* PM_SaveTxtFile = nullptr;
  QAction* MI_SaveToTxtFile = nullptr;
  QFileDialog* SD_SaveBinFile = nullptr;
  QFileDialog* SD_SaveTxtFile = nullptr;

 public slots:
  void MI_SaveToBinFileClick();
  void MI_SaveToTxtFileClick();
  void BTN_SaveInfoClick();
  void BTN_SaveEraseCntClick();
  void BTN_ShowAnalyzeClick();

 private:
  // Runs `dialog` with `defaultName` as its file name.
  std::filesystem::path RunSaveDialog(QFileDialog& dialog, const std::string& defaultName);
  void Attach(QWidget* control, QMenu* menu);
  QWidget* FindControl(const char* name) const;

  TMainForm& form_;
  AppState& state_;
  TMEraseCount_Analyze* analyze_ = nullptr;
  SaveDialogHandler dialog_handler_;
};

}  // namespace dozered
