# The Debian package: `cmake --build <dir> --target package` (or `make package`) writes
# audioconv_<version>_amd64.deb into the build folder, with the install tree of
# cmake/Install.cmake under /usr.
#
# dpkg-shlibdeps computes the dependencies of what the programs link (Qt, the C and C++
# libraries). The FFmpeg libraries are loaded at run time, which it cannot see: their packages
# are named here, each with the dependency its own shlibs entry gives, found through the package
# that holds the library the folder "lib" links to. The Qt platform plug-ins are loaded at run
# time too.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME audioconv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavrel Software")
set(CPACK_PACKAGE_CONTACT "Tavrel Software <support@tavrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch audio converter for the desktop")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Collect audio and video files in a list, pick one of eight output formats\n"
    "(WAV, MP3, WMA, OGG, AAC, M4A, FLAC, MP2) and a preset, choose an output folder\n"
    "and convert the whole list in one run. audioconv-cli converts files and\n"
    "folders the same way without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tavrel.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(_runtime_depends)
find_program(AUDIOCONV_DPKG_QUERY dpkg-query)
if(AUDIOCONV_DPKG_QUERY)
  foreach(_soname ${FFMPEG_LIB_LINKS})
    execute_process(
      COMMAND ${AUDIOCONV_DPKG_QUERY} -S ${FFMPEG_LIBDIR}/${_soname}
      OUTPUT_VARIABLE _owner
      RESULT_VARIABLE _rc
      ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _rc EQUAL 0)
      message(WARNING "No Debian package holds ${FFMPEG_LIBDIR}/${_soname}: "
                      "the package will not depend on it")
      continue()
    endif()
    string(REGEX REPLACE "[:,].*$" "" _package "${_owner}")
    # "libavcodec 59 libavcodec59 (>= 7:5.1.9)": the dependency is what follows the major.
    execute_process(
      COMMAND ${AUDIOCONV_DPKG_QUERY} --control-show ${_package} shlibs
      OUTPUT_VARIABLE _shlibs
      ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REGEX REPLACE "^lib([^.]+)\\.so\\.([0-9]+)$" "\\1" _name "${_soname}")
    string(REGEX REPLACE "^.*\\.so\\." "" _major "${_soname}")
    set(_depend ${_package})
    if(_shlibs MATCHES "(^|\n)lib${_name} ${_major} ([^\n]+)")
      set(_depend "${CMAKE_MATCH_2}")
    endif()
    list(APPEND _runtime_depends "${_depend}")
  endforeach()
endif()
# Linked libraries that dpkg-shlibdeps finds too, named so that the package says what it needs
# for tags (TagLib), scaled covers (libjpeg) and loudness (libebur128) even where shlibdeps is
# turned off.
list(APPEND _runtime_depends libtag1v5 libjpeg62-turbo libebur128-1)
if(AUDIOCONV_GUI)
  list(APPEND _runtime_depends qt6-qpa-plugins)
endif()
list(JOIN _runtime_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
