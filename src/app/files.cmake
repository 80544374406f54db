# Sources of this folder, added to furlane_ui.
list(APPEND FURLANE_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/app_icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/furlane.qrc
    ${CMAKE_CURRENT_LIST_DIR}/close_handling.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_scale.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_list_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_catalog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_gamedir.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_installed.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_skin_checks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_search.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_updater.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/queue_taskbar_progress.cpp
)
