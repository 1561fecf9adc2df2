add_library(tarvel_workbook STATIC
    spreadsheet.cpp spreadsheet.h
    workbook/sheetreaders.h workbook/sheetbuilder.cpp workbook/cellformat.cpp
    workbook/ziparchive.h workbook/ziparchive.cpp
    workbook/xmlscanner.h workbook/xmlscanner.cpp workbook/xmltokens.cpp
    workbook/formatrecognition.cpp
    workbook/xlsxreader.cpp workbook/xlsxcells.cpp
    workbook/csvreader.cpp
    workbook/odsreader.cpp
    workbook/compoundfile.h workbook/compoundfile.cpp
    workbook/biffrecords.h workbook/biffrecords.cpp
    workbook/xlsreader.cpp workbook/xlssheet.h workbook/xlssheet.cpp workbook/biffdecryption.cpp
)
target_include_directories(tarvel_workbook PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tarvel_workbook PUBLIC tarvel_database Qt6::Core
    PRIVATE PkgConfig::LIBZIP PkgConfig::NETTLE)
