# Fails when the song library reaches past what it stands on: library/ may
# include base/, files/, chart/ and its own headers, never the screens, the
# platform or media; sqlite3 is included by LibraryDatabase.cpp alone and
# libcrypto by ChartDigest.cpp alone, libcurl by TableFetch.cpp alone.
include(${CMAKE_CURRENT_LIST_DIR}/IncludeRule.cmake)
keep_includes(library "base|files|chart|library" "")
file(GLOB_RECURSE files ${ROOT}/library/*.cpp ${ROOT}/library/*.h)
foreach(f ${files})
  file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<(sqlite3|openssl/|curl/)")
  get_filename_component(name ${f} NAME)
  foreach(line ${includes})
    if(line MATCHES "<sqlite3\\.h>" AND NOT name STREQUAL "LibraryDatabase.cpp")
      message(FATAL_ERROR "${f} uses sqlite3 outside LibraryDatabase.cpp: ${line}")
    endif()
    if(line MATCHES "<openssl/" AND NOT name STREQUAL "ChartDigest.cpp")
      message(FATAL_ERROR "${f} uses libcrypto outside ChartDigest.cpp: ${line}")
    endif()
    if(line MATCHES "<curl/" AND NOT name STREQUAL "TableFetch.cpp")
      message(FATAL_ERROR "${f} uses libcurl outside TableFetch.cpp: ${line}")
    endif()
  endforeach()
endforeach()
