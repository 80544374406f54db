# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/update_logic.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_worker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/updater.cpp
)
# The shell's elevated launch and Authenticode exist only on Windows;
# elsewhere a stand-in records the launch and no file counts as signed.
if(WIN32)
    list(APPEND FURLANE_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/code_signature_win.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/elevated_launch_win.cpp)
else()
    list(APPEND FURLANE_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/code_signature_other.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/elevated_launch_other.cpp)
endif()
