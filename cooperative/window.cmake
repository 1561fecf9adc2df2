add_library(tarvel_cooperativewindow STATIC
    frmtarvel.cpp frmtarvel.h
)
target_include_directories(tarvel_cooperativewindow PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tarvel_cooperativewindow PUBLIC tarvel_cooperativeruns tarvel_importwindow)
