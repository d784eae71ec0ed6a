# The version this build carries: in what --version prints, the package, the
# manual page and the software-centre metadata alike.
#
# TAPPO_RELEASE       the release it belongs to, project()'s VERSION ("0.1")
# TAPPO_COMMIT        the commit it was built from ("2013283"), empty outside git
# TAPPO_PACKAGE_VERSION  the Debian version, ordered as apt orders them:
#   "0.1"               the release itself: built at the tag v0.1, or outside git
#   "0.1+git5.abc1234"  5 commits after the tag v0.1
#   "0.1~git349.abc1234" no tag v0.1 yet: a snapshot on the way to 0.1 (349
#                       commits in all), which the release will replace
# TAPPO_VERSION_TEXT  what --version prints: "Tappo Player 0.1 (commit abc1234)"
# TAPPO_DATE, TAPPO_DATE_RFC2822  the commit's date (outside git, the day of
#                     the build, or SOURCE_DATE_EPOCH's), for the manual page
#                     and the package's changelog
#
# It is worked out when CMake configures; a commit, a checkout or a new tag
# makes the next build configure again, so a build never carries a stale one.
set(TAPPO_RELEASE ${PROJECT_VERSION})
set(TAPPO_COMMIT "")
set(TAPPO_PACKAGE_VERSION ${TAPPO_RELEASE})
set(TAPPO_VERSION_TEXT "Tappo Player ${TAPPO_RELEASE}")
string(TIMESTAMP TAPPO_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP TAPPO_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)

find_package(Git QUIET)
if(GIT_FOUND)
  function(tappo_git out)
    # Dates in UTC, named in English.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC LC_ALL=C ${GIT_EXECUTABLE} ${ARGN} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE text RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(failed)
      set(text "")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
  endfunction()
  # Only a tree that is itself a git checkout counts, not a tarball unpacked
  # inside some other repository.
  tappo_git(top rev-parse --show-toplevel)
  get_filename_component(top "${top}" REALPATH)
  get_filename_component(source "${PROJECT_SOURCE_DIR}" REALPATH)
  if(top STREQUAL source)
    tappo_git(TAPPO_COMMIT rev-parse --short=7 HEAD)
  endif()
endif()

if(TAPPO_COMMIT)
  set(TAPPO_VERSION_TEXT "Tappo Player ${TAPPO_RELEASE} (commit ${TAPPO_COMMIT})")
  tappo_git(TAPPO_DATE log -1 --date=format-local:%Y-%m-%d --format=%cd)
  tappo_git(TAPPO_DATE_RFC2822 log -1 "--date=format-local:%a, %d %b %Y %H:%M:%S +0000" --format=%cd)
  tappo_git(described describe --tags --long --match "v${TAPPO_RELEASE}" HEAD)
  if(described MATCHES "-([0-9]+)-g[0-9a-f]+$")
    if(NOT CMAKE_MATCH_1 EQUAL 0)
      set(TAPPO_PACKAGE_VERSION "${TAPPO_RELEASE}+git${CMAKE_MATCH_1}.${TAPPO_COMMIT}")
    endif()
  else()
    tappo_git(count rev-list --count HEAD)
    set(TAPPO_PACKAGE_VERSION "${TAPPO_RELEASE}~git${count}.${TAPPO_COMMIT}")
  endif()
  # What moves HEAD or adds a tag touches one of these.
  foreach(name HEAD logs/HEAD refs/tags packed-refs)
    tappo_git(path rev-parse --path-format=absolute --git-path ${name})
    if(path AND EXISTS "${path}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    endif()
  endforeach()
endif()
message(STATUS "Tappo Player version: ${TAPPO_PACKAGE_VERSION} (${TAPPO_VERSION_TEXT})")

configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/app/Version.h @ONLY)
