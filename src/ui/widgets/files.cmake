# Sources of this folder, added to furlane_ui.
list(APPEND FURLANE_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/elided_label.cpp
    ${CMAKE_CURRENT_LIST_DIR}/flow_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_preview_dialog.cpp
)
