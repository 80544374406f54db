# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/game_dir_service.cpp
    ${CMAKE_CURRENT_LIST_DIR}/game_folder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/key_values.cpp
    ${CMAKE_CURRENT_LIST_DIR}/steam_library.cpp
    ${CMAKE_CURRENT_LIST_DIR}/temp_cleanup.cpp
)
