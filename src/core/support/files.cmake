# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/config.cpp
    ${CMAKE_CURRENT_LIST_DIR}/folder_identity.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sha256.cpp
    ${CMAKE_CURRENT_LIST_DIR}/single_instance.cpp
)
