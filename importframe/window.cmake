# The import window frame both import windows share.
add_library(tarvel_importwindow STATIC
    twips.h
    userdialogs.cpp userdialogs.h
    importwindow.cpp importwindow.h
)
target_include_directories(tarvel_importwindow PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tarvel_importwindow PUBLIC tarvel_importcore Qt6::Widgets)
