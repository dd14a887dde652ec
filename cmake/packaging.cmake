# Release packages with CPack: on Linux the Debian package (programs, desktop entry, icons, man
# pages, README and licence; Depends from dpkg-shlibdeps), on Windows the zip of the programs
# with the README and the licence as text, and the NSIS installer. `make package` makes them.
set(CPACK_PACKAGE_NAME wobblegen)
set(CPACK_PACKAGE_VENDOR "the wobblegen developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wow-and-flutter test-tone generator and meter")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Both programs at the top of a folder named as the zip, beside README.txt and LICENSE.txt
  # with Windows line ends.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME wobblegen-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  foreach(text README.md:README.txt LICENSE:LICENSE.txt)
    string(REPLACE ":" ";" text ${text})
    list(GET text 0 source)
    list(GET text 1 target)
    file(READ ${PROJECT_SOURCE_DIR}/${source} content)
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${CMAKE_BINARY_DIR}/package/${target} "${content}")
    install(FILES ${CMAKE_BINARY_DIR}/package/${target} DESTINATION .)
  endforeach()

  # The installer, package/wobblegen-VERSION-setup.exe (`cmake --build . --target installer`,
  # which `make package` runs): packaging/wobblegen.nsi run by NSIS's makensis on the programs
  # this build has, stripped into a folder of their own, with the same two text files.
  set(stage ${CMAKE_BINARY_DIR}/installer)
  set(setup ${CMAKE_BINARY_DIR}/package/wobblegen-${PROJECT_VERSION}-setup.exe)
  set(nsis_defines -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage} -DOUTFILE=${setup})
  set(stage_commands COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${stage})
  foreach(program wobblegen-cli:- wobblegen:WITH_GUI wobblemeter:WITH_METER
                  wobblemeter-gui:WITH_METER_GUI)
    string(REPLACE ":" ";" program ${program})
    list(GET program 0 target)
    list(GET program 1 define)
    if(TARGET ${target})
      list(APPEND stage_commands COMMAND ${CMAKE_STRIP} -o ${stage}/${target}.exe
                                         $<TARGET_FILE:${target}>)
      list(APPEND installer_programs ${target})
      if(NOT define STREQUAL "-")
        list(APPEND nsis_defines -D${define})
      endif()
    endif()
  endforeach()
  # The installer's and the uninstaller's icon: the programs' own.
  list(APPEND nsis_defines -DICON=${WOBBLEGEN_WINRES_DIR}/wobblegen.ico)
  list(APPEND installer_programs wobblegen-icon-file)
  find_program(WOBBLEGEN_MAKENSIS makensis)
  add_custom_target(
    installer
    ${stage_commands}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/package/README.txt
            ${CMAKE_BINARY_DIR}/package/LICENSE.txt ${stage}
    COMMAND ${WOBBLEGEN_MAKENSIS} -V2 -NOCD ${nsis_defines} ${PROJECT_SOURCE_DIR}/packaging/wobblegen.nsi
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/wobblegen.nsi
    COMMENT "Making the installer wobblegen-${PROJECT_VERSION}-setup.exe with makensis"
    VERBATIM)
  add_dependencies(installer ${installer_programs})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # wobblegen_VERSION_amd64.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the wobblegen developers <wobblegen@invalid>")
  # The summary above is the synopsis line; this the long description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "wobblegen writes the standard test signal for measuring wow and flutter, a\n"
      "sine carrier whose frequency swings sinusoidally, as a 16-bit mono WAV file,\n"
      "from a dialog (wobblegen) or the command line (wobblegen-cli). wobblemeter\n"
      "reads a recording of the tone, or measures live from a sound card, and\n"
      "reports the weighted and unweighted two-sigma peak, the RMS, the speed error\n"
      "and the dominant modulation; wobblemeter-gui shows the same in a window.")
  string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: the shared libraries the programs use
  # wobblemeter loads PortAudio (and ALSA with it) only when a live command needs it, by name
  # at run time, where dpkg-shlibdeps does not see it: named here, before what it finds.
  if(WOBBLEGEN_LIVE_CAPTURE)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libportaudio2")
  endif()

  # Man pages compressed as Debian keeps them; README, guides and licence in the package's doc
  # folder.
  set(pages wobblegen-cli.1 wobblegen.1 wobblemeter.1)
  if(WOBBLEGEN_BUILD_METER_GUI)
    list(APPEND pages wobblemeter-gui.1)
  endif()
  foreach(page ${pages})
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}
      COMMENT "Compressing the man page ${page}")
    list(APPEND man_pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
  endforeach()
  add_custom_target(wobblegen-man-pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The user guides the README links to, with their pictures, in the same relative place.
  install(FILES docs/generator.md docs/meter.md docs/meter-window.md docs/windows.md
                docs/dialog.png docs/dialog-windows.png docs/meter-file.png docs/meter-live.png
                docs/wobblemeter-example.png
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
endif()
include(CPack)
