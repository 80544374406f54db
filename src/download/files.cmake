# Sources of this folder, added to furlane_core.
list(APPEND FURLANE_SOURCES
)
