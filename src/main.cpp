// The dozered executable: creates the process-wide state, then the windows;
// runs until the main window closes; destroys the windows, then the state.
#include <QApplication>
#include <memory>

#include "app/app_state.h"
#include "app/gui/application.h"
#include "app/gui/main_form.h"
#include "app/gui/qt_text.h"
#include "app/gui/setup_form.h"
#include "app/startup/platform_setup.h"
#include "flash/gui/dbs_dps_page.h"
#include "flash/gui/distribution_form.h"
#include "flash/gui/flash_rw_lba.h"
#include "flash/gui/flash_rw_page.h"
#include "reports/gui/erase_count_analyze_form.h"
#include "reports/gui/save_commands.h"

int main(int argc, char** argv) {
  auto state = std::make_unique<dozered::AppState>();
  int result = 0;
  {
    dozered::TApplication app(argc, argv);
    state->ExecutableDir = dozered::ToPath(QCoreApplication::applicationDirPath());
    dozered::StartupFiles files;
    files.Notes = dozered::SetUpStoragePlatform(*state);

    auto main_form = std::make_unique<dozered::TMainForm>(*state, files);
    main_form->FormCreate();
    auto setup_form = std::make_unique<dozered::TSetupForm>(*state);
    main_form->FlashRwPage->SetSettingsDialogHandler([&setup_form] { setup_form->exec(); });
    auto setup_access = std::make_unique<dozered::TSetupFormAccess>(*setup_form);
    main_form->FlashRwPage->SetSettingsAccess(setup_access.get());
    main_form->DbsDpsPage->SetSettingsDialogHandler([&setup_form] { setup_form->exec(); });
    auto distribution = std::make_unique<dozered::TM_Distribution>(*state);
    distribution->BindButton(*main_form->FlashRwPage, *main_form, main_form.get());
    auto erase_count_analyze = std::make_unique<dozered::TMEraseCount_Analyze>(*state);
    main_form->SaveCommands->SetAnalyzeWindow(erase_count_analyze.get());

    main_form->show();
    result = app.exec();

    erase_count_analyze.reset();
    distribution.reset();
    main_form->FlashRwPage->SetSettingsAccess(nullptr);
    setup_access.reset();
    setup_form.reset();
    main_form.reset();
  }
  state.reset();
  return result;
}
