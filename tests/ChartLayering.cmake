# Fails when the chart library reaches past the file formats: chart/ reads
# chart bytes into a compiled chart and may include only base/, files/,
# formats/ and its own headers, never platform/ (media loading lives in
# media/), the screens, or SDL. The two readings stay apart: chart/exact/ and
# chart/standard/ do not include each other, and the shared chart/ files do
# not include either, except Reading, which chooses between them. The sound
# engine in audio/ stands on the same folders: never the platform (the SDL
# device is the platform's shell around it), the screens or media loading.
# Also keeps the select and play screens apart (below).
include(${CMAKE_CURRENT_LIST_DIR}/IncludeRule.cmake)
keep_includes(chart "base|files|formats|chart" "SDL")
keep_includes(audio "base|files|formats|audio" "SDL|alsa/|fluidsynth")
# The chart image in render/ is pure drawing: it may include base/, files/,
# formats/, chart/ and its own headers, never the platform (text comes from
# its caller), the screens or media loading.
keep_includes(render "base|files|formats|chart|render" "SDL")

# The readings stay apart.
file(GLOB_RECURSE files ${ROOT}/chart/*.cpp ${ROOT}/chart/*.h)
foreach(f ${files})
  file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include")
  file(RELATIVE_PATH rel ${ROOT}/chart ${f})
  if(rel MATCHES "^exact/")
    set(other "chart/standard/")
  elseif(rel MATCHES "^standard/")
    set(other "chart/exact/")
  elseif(NOT rel MATCHES "^Reading\\.")
    set(other "chart/(exact|standard)/")
  else()
    continue()
  endif()
  foreach(line ${includes})
    if(line MATCHES "\"${other}")
      message(FATAL_ERROR "${f} mixes the readings: ${line}")
    endif()
  endforeach()
endforeach()

# The two screens stand side by side: select/ and play/ do not include each
# other; what both use (the display services, the user's toggles) is in screen/,
# which includes neither.
foreach(pair "select;play" "play;select" "screen;play" "screen;select")
  list(GET pair 0 dir)
  list(GET pair 1 other)
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"${other}/")
    if(includes)
      message(FATAL_ERROR "${f} includes ${other}/: ${includes}")
    endif()
  endforeach()
endforeach()
