# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/button_styles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cover_cache.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cover_store.cpp
    ${CMAKE_CURRENT_LIST_DIR}/magnifier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_widget.cpp
)
