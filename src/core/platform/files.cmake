# Sources of this folder, added to furlane_core. The process listing has one
# implementation per system; the Win32 one builds only on Windows. So do the
# display metrics read before the window exists (Win32, or the X server),
# a file's size and time (the system's own call), Steam's folder from the
# registry, the task-bar progress and the installer's shortcut and entry
# (Windows only), and SHA-256 from CNG on
# Windows and from libcrypto elsewhere.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/end_now.cpp
    ${CMAKE_CURRENT_LIST_DIR}/foreground.cpp
    ${CMAKE_CURRENT_LIST_DIR}/open_folder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/std_error.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wine_paths.cpp
)
if(WIN32)
    list(APPEND FURLANE_CORE_SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/display_metrics_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/file_stamp_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installed_entry_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/native_sha256_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/process_list_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/steam_registry_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/taskbar_progress_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win_error_text.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win_processes.cpp
    )
else()
    list(APPEND FURLANE_CORE_SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/display_metrics_x11.cpp
        ${CMAKE_CURRENT_LIST_DIR}/file_stamp_posix.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installed_entry_none.cpp
        ${CMAKE_CURRENT_LIST_DIR}/native_sha256_openssl.cpp
        ${CMAKE_CURRENT_LIST_DIR}/process_list_linux.cpp
        ${CMAKE_CURRENT_LIST_DIR}/taskbar_progress_none.cpp
    )
endif()
