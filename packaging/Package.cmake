# The Debian package, made by CPack's DEB generator from the install rules
# (`cmake --build build --target package`, which builds what is missing first):
# tappoplayer_<version>_<architecture>.deb.
set(TAPPO_PACKAGE_MAINTAINER "Tappo Player developers <maintainers@tappoplayer.invalid>"
  CACHE STRING "Maintainer field of the Debian package: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tappoplayer)
set(CPACK_PACKAGE_VERSION ${TAPPO_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "Tappo Player developers")
set(CPACK_PACKAGE_CONTACT ${TAPPO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAPPO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line is the summary, the rest the long description (CPack
# indents it and marks the empty line as Debian's control files want).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "autoplayer of BMS rhythm-game charts
Tappo Player plays BMS rhythm-game charts by itself: it finds every chart
below your song folders, lets you pick one on a song-select screen, and
plays it, with arrows scrolling up to the receptors, every keysound, MIDI
background music and background images. There is no judgement and no score.

It reads charts as the format stood around 2000, or as they are written
today (.bme, .bml, .pms and bmson charts, long notes, #RANDOM, video
backgrounds), plays song packs made on Windows as they are, renders charts
to WAV files, and comes with four demo songs.")

# The libraries' packages are found by dpkg-shlibdeps from what the program
# links. The font is looked up by name when the program runs, so it is named
# here: without it no text is drawn. (The General MIDI soundfont comes with
# libfluidsynth3's own dependencies.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-mincho")
set(CPACK_STRIP_FILES ON)
# Removing the package takes away the problem log a run as root left in the
# program folder.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/prerm)
# The maintainer files get the modes dpkg expects.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# lintian (2.116, Debian 12) reports no error and no warning on the package.
# What it says at the info and pedantic levels, and why it stays:
#   I: hardening-no-bindnow, hardening-no-fortify-functions (a package made
#      from a development build folder): scripts/package.sh builds with
#      dpkg-buildflags' hardening flags, which are a choice for the build,
#      not for the package rules; its package has neither.
#   I: spelling-error-in-binary withoutH without (hardened build): the
#      compiler puts the bytes of a text " without" straight into the machine
#      code, and the instruction byte after them reads as "H"; no text of the
#      program says "withoutH".
#   P: image-file-in-usr-lib: the program folder (executable, sprites and demo
#      songs side by side, as the program finds them) is lib/tappoplayer.
include(CPack)

