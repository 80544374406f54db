# Sources of this folder, added to furlane_ui.
list(APPEND FURLANE_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/button_styles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/magnifier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_widget.cpp
)
