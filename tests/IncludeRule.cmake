# keep_includes(DIR FOLDERS SYSTEM): fails when a file below DIR includes a
# project header outside FOLDERS (a regex alternation such as
# "base|files|chart"), a system header matching SYSTEM ("" for none), or
# calls SDL itself.
function(keep_includes dir folders system)
  string(REPLACE "|" ", " named "${folders}")
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
      if((NOT system STREQUAL "" AND line MATCHES "#[ \t]*include[ \t]*<(${system})") OR
         (line MATCHES "#[ \t]*include[ \t]*\"" AND
          NOT line MATCHES "#[ \t]*include[ \t]*\"(${folders})/"))
        message(FATAL_ERROR "${f} includes outside ${named}: ${line}")
      endif()
    endforeach()
    file(STRINGS ${f} sdl REGEX "SDL_")
    if(sdl)
      message(FATAL_ERROR "${f} uses SDL: ${sdl}")
    endif()
  endforeach()
endfunction()
