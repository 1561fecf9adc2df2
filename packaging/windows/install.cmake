# What `cmake --install` puts in the Windows folder (scripts/windows/build.sh
# adds the DLLs and Qt's plugins and texts): the programs side by side, the
# schema, the sample workbooks, the licence text, and qt.conf, which points
# Qt at the folder's plugins and German texts.
install(TARGETS tarvel tarvel-batch RUNTIME DESTINATION .)
install(PROGRAMS $<TARGET_FILE:tarvel-demodb> DESTINATION . RENAME tarvel-fill-demo-database.exe)
install(FILES ${PROJECT_SOURCE_DIR}/schema/sqlite.sql ${PROJECT_SOURCE_DIR}/schema/postgresql.sql DESTINATION schema)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/workbooks DESTINATION .
        FILES_MATCHING PATTERN "*.xls*" PATTERN "*.ods" PATTERN "*.csv")
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/windows/qt.conf DESTINATION .)
