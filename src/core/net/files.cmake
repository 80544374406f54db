# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_client.cpp
    ${CMAKE_CURRENT_LIST_DIR}/resume_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/resumable_get.cpp
)
