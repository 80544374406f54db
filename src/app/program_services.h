#pragma once

#include "core/covers/cover_store.h"
#include "core/download/download_manager.h"
#include "core/install/install_states.h"
#include "core/install/install_store.h"
#include "core/net/http_client.h"

// The services the whole program shares, created once at start on the GUI
// thread (after the application object) and handed down to the window. The
// members go in reverse order: the download queue first, its worker thread
// stopped, then what is installed (whose records the queue's last install
// handed in), then the cover store, then the client whose managers they used.
struct ProgramServices final {
    ProgramServices()
    {
        installs.load();
        follow_queue();
    }
    Q_DISABLE_COPY_MOVE(ProgramServices)

    HttpClient http;
    CoverStore covers{http};
    // The one owner of what is installed: records, journal settles, the
    // checks' states; beside the queue, not inside it.
    InstallStore installs;
    DownloadManager downloads{http, installs};
    // Where each skin stands: the store's answers and the queue's phase.
    InstallStates states{installs};

private:
    // Connected before any card exists, so a card that hears the queue
    // finds the states already moved on.
    void follow_queue()
    {
        QObject::connect(&downloads, &DownloadManager::queue_updated, &states, [this] {
            QStringList waiting;
            for (const DownloadTask &task : downloads.get_queue())
                waiting << task.skin_id;
            states.set_waiting(waiting);
        });
        QObject::connect(&downloads, &DownloadManager::task_started, &states, &InstallStates::started);
        QObject::connect(&downloads, &DownloadManager::progress_updated, &states, &InstallStates::progress);
        QObject::connect(&downloads, &DownloadManager::task_completed, &states, &InstallStates::ended);
        QObject::connect(&downloads, &DownloadManager::task_failed, &states,
                         [this](const QString &skin_id, const QString &) { states.ended(skin_id); });
        QObject::connect(&downloads, &DownloadManager::task_cancelled, &states, &InstallStates::ended);
    }
};
