add_library(tarvel_database STATIC
    failure.cpp failure.h
    orbebase.cpp orbebase.h
    orbelocation.cpp
    orbeconnection.cpp orbeconnection.h
    orbesystem.h
    orbedialect.cpp orbedialect.h
    dialect_sqlite.cpp dialect_postgresql.cpp dialect_mariadb.cpp
    orbelink.h
    orbelink_qt.cpp orbelink_qt.h
    orbelink_odbc.cpp orbelink_odbc.h
    orbelink_pq.cpp orbelink_pq.h pqvalues.cpp pqcancel.cpp pqpipeline.cpp
    orbesocket.h
    odbcconnectionstring.cpp odbcconnectionstring.h
    odbcqtarguments.cpp odbcqtarguments.h
    odbcdatasources.cpp
    orbeschemacheck.cpp
    databasesetting.cpp databasesetting.h
    orbesession.cpp orbesession.h
    orbestatementcache.cpp orbestatementcache.h
    orbetransaction.cpp orbetransaction.h
    orberecordset.cpp orberecordset.h orberecordsetimpl.h
    orberecordsetsaves.cpp orbejournal.h
    orbesnapshot.cpp orbesavebatch.cpp
    orbeopenrecordset.cpp
    orbevalues.cpp
    numbertext.cpp numbertext.h
    orbefilter.cpp
    orbefailures.cpp
    orbesqlitefile.cpp
    fileidentity.h
    orbetools.cpp orbetools.h
    orbewatchdog.cpp orbewatchdog.h
    orbewaits.cpp orbewaits.h
    orbeerrorreport.cpp orbeerrorreport.h
    qtnotes.cpp qtnotes.h
    consoletext.h
    programend.h
    orbeinternal.h
    schema.qrc
)
if(WIN32)
    target_sources(tarvel_database PRIVATE socket_windows.cpp consoletext_windows.cpp programend_windows.cpp fileidentity_windows.cpp databasesetting_windows.cpp)
    target_link_libraries(tarvel_database PRIVATE ws2_32)
    # Windows' sql.h uses the types of <windows.h> without including it, and
    # under Qt's UNICODE it names the wide functions: these files ask for ASCII
    # (SQLSTATEs, system and data source names), as from unixODBC.
    set_source_files_properties(orbelink_odbc.cpp odbcdatasources.cpp PROPERTIES COMPILE_OPTIONS "-include;windows.h;-UUNICODE;-U_UNICODE")
else()
    target_sources(tarvel_database PRIVATE socket_posix.cpp consoletext_posix.cpp programend_posix.cpp fileidentity_posix.cpp databasesetting_posix.cpp)
endif()
target_include_directories(tarvel_database PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
find_package(PostgreSQL REQUIRED)
# The same SQLite library that Qt's driver uses, for what only the file can tell.
find_package(SQLite3 REQUIRED)
# The ODBC manager, to ask a driver what Qt's ODBC driver does not tell.
find_package(ODBC REQUIRED)
target_link_libraries(tarvel_database PUBLIC Qt6::Core Qt6::Sql
    PRIVATE PostgreSQL::PostgreSQL SQLite::SQLite3 ODBC::ODBC)
