# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/catalog_model.cpp
    ${CMAKE_CURRENT_LIST_DIR}/catalog_service.cpp
    ${CMAKE_CURRENT_LIST_DIR}/search_index.cpp
)
