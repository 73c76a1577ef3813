# FFmpeg is used for its headers only: nothing links it. The program binds every
# function at run time from the folder "lib" beside itself, which the build fills
# with links to the system's shared libraries.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFMPEG_HEADERS REQUIRED
  libavcodec libavformat libavutil libswscale libswresample libavfilter libavdevice)
pkg_get_variable(FFMPEG_LIBDIR libavutil libdir)

add_library(ffmpeg_headers INTERFACE)
target_include_directories(ffmpeg_headers SYSTEM INTERFACE ${FFMPEG_HEADERS_INCLUDE_DIRS})
target_compile_definitions(ffmpeg_headers INTERFACE __STDC_CONSTANT_MACROS)

# The libraries the program loads, plus what they need from the same family.
set(FFMPEG_RUNTIME_LIBS avcodec avdevice avfilter avformat avutil swscale swresample postproc)
set(FFMPEG_LIB_LINKS)
foreach(lib ${FFMPEG_RUNTIME_LIBS})
  file(GLOB _candidates "${FFMPEG_LIBDIR}/lib${lib}.so.[0-9]*")
  set(_soname "")
  foreach(_c ${_candidates})
    get_filename_component(_n "${_c}" NAME)
    if(_n MATCHES "^lib${lib}\\.so\\.[0-9]+$")
      set(_soname "${_n}")
    endif()
  endforeach()
  if(_soname STREQUAL "")
    message(FATAL_ERROR "lib${lib}.so.<major> not found in ${FFMPEG_LIBDIR}")
  endif()
  list(APPEND FFMPEG_LIB_LINKS "${_soname}")
  string(TOUPPER ${lib} _upper)
  string(REGEX REPLACE "^.*\\.so\\." "" FFMPEG_${_upper}_MAJOR "${_soname}")
endforeach()

set(_lib_dir "${AUDIOCONV_BIN_DIR}/lib")
set(_stamps)
foreach(_soname ${FFMPEG_LIB_LINKS})
  add_custom_command(
    OUTPUT "${_lib_dir}/${_soname}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${_lib_dir}"
    COMMAND ${CMAKE_COMMAND} -E create_symlink "${FFMPEG_LIBDIR}/${_soname}" "${_lib_dir}/${_soname}"
    COMMENT "Linking ${_soname} into bin/lib"
    VERBATIM)
  list(APPEND _stamps "${_lib_dir}/${_soname}")
endforeach()
add_custom_target(ffmpeg_lib_folder ALL DEPENDS ${_stamps})
