# Fails when a file of the game logic, of the file formats or of the sound
# engine mentions SDL, SDL_ttf or FluidSynth: those folders must stay testable
# without a window or a sound card. Fails too when a codec library (libjpeg, libpng, libsndfile, FFmpeg)
# is used outside formats/ (the asset maker in tools/ may write JPEG itself).
foreach(dir base files formats audio chart render library play select effects screen)
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} hits REGEX "SDL_|#include <SDL|fluid_|#include <fluidsynth")
    if(hits)
      message(FATAL_ERROR "${f} uses SDL or FluidSynth: ${hits}")
    endif()
  endforeach()
endforeach()

foreach(dir base files audio platform chart render library media play select effects screen app)
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} hits REGEX "#include <((jpeglib|jerror|png|pngconf|sndfile)\\.h|lib(avformat|avcodec|avutil|swscale|swresample)/)")
    if(hits)
      message(FATAL_ERROR "${f} uses a codec library outside formats/: ${hits}")
    endif()
  endforeach()
endforeach()
