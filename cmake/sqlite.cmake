# SQLite from the amalgamation that scripts/fetch-sqlite unpacks (never committed).
if(NOT EXISTS ${LV_SQLITE_DIR}/sqlite3.c)
  message(FATAL_ERROR "SQLite amalgamation missing in ${LV_SQLITE_DIR}: run scripts/setup (or scripts/fetch-sqlite)")
endif()
add_library(lv_sqlite STATIC ${LV_SQLITE_DIR}/sqlite3.c)
target_include_directories(lv_sqlite SYSTEM PUBLIC ${LV_SQLITE_DIR})
target_compile_definitions(lv_sqlite PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(lv_sqlite PRIVATE -w -O2)
