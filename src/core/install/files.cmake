# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/file_ops.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installed_skins.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_store.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_journal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uninstall.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_states.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installed_scan.cpp
)
