# Sources of this folder, added to furlane_ui.
list(APPEND FURLANE_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/category_bar.cpp
    ${CMAKE_CURRENT_LIST_DIR}/search_field.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_grid.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installed_button.cpp
)
