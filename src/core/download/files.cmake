# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/download_worker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_manager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_answer.cpp
)
