# The check kit (check_kit.h) that the tests and the fuzz targets share: the tools' routines run
# and the rules they keep, without GoogleTest, which the fuzz build lacks.
if(NOT TARGET check_kit)
    add_library(check_kit STATIC ${CMAKE_CURRENT_LIST_DIR}/check_kit.cpp)
    target_include_directories(check_kit PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(check_kit PUBLIC expand_core tabsqueeze_core linefill_core tally_core)
endif()
