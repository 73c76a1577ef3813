# Installing like a desktop application. The programs and what they load beside themselves
# (the folder "lib" with the links to the system's FFmpeg libraries, the brand file, the splash
# picture, the sounds and skins) go into <prefix>/lib/audioconv; <prefix>/bin holds links to the
# programs, which find their folder through /proc/self/exe, so that a link works. The desktop
# entry, the icons, the software centre's description, the man pages and the bash completion go
# under <prefix>/share. Test programs, benchmarks and tools are not installed.
include(GNUInstallDirs)

set(AUDIOCONV_APP_ID org.example.audioconv)
set(AUDIOCONV_INSTALL_DIR lib/audioconv)

set(_programs audioconv-cli)
if(AUDIOCONV_GUI)
  list(APPEND _programs audioconv)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${AUDIOCONV_INSTALL_DIR})

# The links of the build's bin/lib, installed as links (to the absolute paths of the system's
# libraries, which the package depends on).
list(TRANSFORM FFMPEG_LIB_LINKS PREPEND "${AUDIOCONV_BIN_DIR}/lib/" OUTPUT_VARIABLE _lib_links)
install(FILES ${_lib_links} DESTINATION ${AUDIOCONV_INSTALL_DIR}/lib)

install(FILES ${AUDIOCONV_BIN_DIR}/lame.dll DESTINATION ${AUDIOCONV_INSTALL_DIR})
foreach(_f ${AUDIOCONV_DATA_FILES})
  get_filename_component(_dir "${_f}" DIRECTORY)
  install(FILES data/${_f} DESTINATION ${AUDIOCONV_INSTALL_DIR}/${_dir})
endforeach()

# <prefix>/bin/<program> -> ../lib/audioconv/<program>: relative, so that the tree can be
# installed under any prefix or DESTDIR. The links are made in the build tree and installed.
set(_link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_link_dir})
file(RELATIVE_PATH _bin_to_programs /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${AUDIOCONV_INSTALL_DIR})
foreach(_p ${_programs})
  file(CREATE_LINK ${_bin_to_programs}/${_p} ${_link_dir}/${_p} SYMBOLIC)
  install(FILES ${_link_dir}/${_p} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# The desktop: the entry (named by the application's id), its icons in the icon theme and the
# description for software centres.
if(AUDIOCONV_GUI)
  install(FILES data/desktop/${AUDIOCONV_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/desktop/${AUDIOCONV_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY data/desktop/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# The man pages, kept beside the programs' code, with the version filled in and compressed as
# the man reader expects them.
set(_man_pages app/cli/audioconv-cli.1.in)
if(AUDIOCONV_GUI)
  list(APPEND _man_pages app/audioconv.1.in)
endif()
set(_man_dir ${CMAKE_BINARY_DIR}/man)
set(_man_outputs)
foreach(_page ${_man_pages})
  get_filename_component(_name "${_page}" NAME_WLE)
  configure_file(${_page} ${_man_dir}/${_name} @ONLY)
  add_custom_command(
    OUTPUT ${_man_dir}/${_name}.gz
    COMMAND gzip -9nkf ${_man_dir}/${_name}
    DEPENDS ${_man_dir}/${_name}
    COMMENT "Compressing the man page ${_name}"
    VERBATIM)
  list(APPEND _man_outputs ${_man_dir}/${_name}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${_man_outputs})
install(FILES ${_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES app/cli/audioconv-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME audioconv-cli)
