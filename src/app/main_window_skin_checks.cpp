// The background checks of installed skins against the server: once the
// start-up's version check is through, then every ten minutes.
#include "app/main_window.h"

#include "core/download/download_manager.h"
#include "core/install/skin_files.h"
#include "core/download/update_answer.h"
#include "core/download/update_check.h"
#include "core/gamedir/game_dir_service.h"
#include "core/update/updater.h"

void MainWindow::start_skin_checks(HttpClient &http)
{
    auto *checker = new SkinUpdateChecker(http, this);
    checker->set_supplier([this] {
        const QString game_dir = m_game_dir->game_dir();
        return game_dir.isEmpty() ? QVector<InstallRecord>()
                                  : m_downloads.installs().records_in(mod_folder_path(game_dir));
    });
    connect(checker, &SkinUpdateChecker::answered, this,
            [this](const PackageCheck &check) { apply_package_check(m_downloads.installs(), check); });
    connect(m_updater, &Updater::up_to_date, checker, [checker] {
        checker->start_periodic();
        checker->check_now();
    });
}
