# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/flow_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_preview_dialog.cpp
)
