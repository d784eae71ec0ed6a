# Fails when a file of the game logic mentions SDL: those folders must stay
# testable without a window or a sound card.
foreach(dir chart play select effects)
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} hits REGEX "SDL_|#include <SDL")
    if(hits)
      message(FATAL_ERROR "${f} uses SDL: ${hits}")
    endif()
  endforeach()
endforeach()
