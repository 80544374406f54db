# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/cover_cache.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cover_cache_trim.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cover_store.cpp
)
