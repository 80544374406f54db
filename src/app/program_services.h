#pragma once

#include "core/covers/cover_store.h"
#include "core/download/download_manager.h"
#include "core/install/install_store.h"
#include "core/net/http_client.h"

// The services the whole program shares, created once at start on the GUI
// thread (after the application object) and handed down to the window. The
// members go in reverse order: the download queue first, its worker thread
// stopped, then what is installed (whose records the queue's last install
// handed in), then the cover store, then the client whose managers they used.
struct ProgramServices final {
    ProgramServices() { installs.load(); }
    Q_DISABLE_COPY_MOVE(ProgramServices)

    HttpClient http;
    CoverStore covers{http};
    // The one owner of what is installed: records, journal settles, the
    // checks' states; beside the queue, not inside it.
    InstallStore installs;
    DownloadManager downloads{http, installs};
};
