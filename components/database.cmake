add_library(tarvel_database STATIC
    failure.cpp failure.h
    orbebase.cpp orbebase.h
    orbelocation.cpp
    orbeconnection.cpp orbeconnection.h
    orbesession.cpp orbesession.h
    orbestatementcache.cpp orbestatementcache.h
    orbetransaction.cpp orbetransaction.h
    orberecordset.cpp orberecordset.h orberecordsetimpl.h
    orbeopenrecordset.cpp
    orbevalues.cpp
    numbertext.cpp numbertext.h
    orbefilter.cpp
    orbefailures.cpp
    orbesqlitefile.cpp
    orbetools.cpp orbetools.h
    orbewatchdog.cpp orbewatchdog.h
    orbewaits.cpp orbewaits.h
    orbeerrorreport.cpp orbeerrorreport.h
    consoletext.h
    orbeinternal.h
    schema.qrc
)
if(WIN32)
    target_sources(tarvel_database PRIVATE socket_windows.cpp consoletext_windows.cpp)
    target_link_libraries(tarvel_database PRIVATE ws2_32)
else()
    target_sources(tarvel_database PRIVATE socket_posix.cpp consoletext_posix.cpp)
endif()
target_include_directories(tarvel_database PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
find_package(PostgreSQL REQUIRED)
# The same SQLite library that Qt's driver uses, for what only the file can tell.
find_package(SQLite3 REQUIRED)
target_link_libraries(tarvel_database PUBLIC Qt6::Core Qt6::Sql PRIVATE PostgreSQL::PostgreSQL SQLite::SQLite3)
