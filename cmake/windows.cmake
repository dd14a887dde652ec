# The Windows programs' resources: icon, version block and manifest, made from res/'s data by
# wobblegen-winres, a tool of the build machine (built as a project of its own here, where the
# compiler makes Windows programs).
enable_language(RC)
include(ExternalProject)
set(WOBBLEGEN_HOST_TOOLS ${CMAKE_BINARY_DIR}/host-tools)
ExternalProject_Add(wobblegen-host-tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/res/windows/host
  BINARY_DIR ${WOBBLEGEN_HOST_TOOLS}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON  # res/'s data lives outside the sub-project
  BUILD_BYPRODUCTS ${WOBBLEGEN_HOST_TOOLS}/wobblegen-winres)
set(WOBBLEGEN_WINRES ${WOBBLEGEN_HOST_TOOLS}/wobblegen-winres)

set(WOBBLEGEN_WINRES_DIR ${CMAKE_BINARY_DIR}/winres)
add_custom_command(
  OUTPUT ${WOBBLEGEN_WINRES_DIR}/wobblegen.ico
  COMMAND ${WOBBLEGEN_WINRES} icon ${WOBBLEGEN_WINRES_DIR}/wobblegen.ico
  DEPENDS wobblegen-host-tools
  COMMENT "Writing the icon file")
add_custom_target(wobblegen-icon-file DEPENDS ${WOBBLEGEN_WINRES_DIR}/wobblegen.ico)

# Gives the program target its resource script: icon 128, version block, manifest.
function(wobblegen_windows_resources target program description)
  set(WOBBLEGEN_PROGRAM ${program})
  set(WOBBLEGEN_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/program.rc.in
                 ${WOBBLEGEN_WINRES_DIR}/${program}.rc @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/program.manifest.in
                 ${WOBBLEGEN_WINRES_DIR}/${program}.manifest @ONLY)
  add_custom_command(
    OUTPUT ${WOBBLEGEN_WINRES_DIR}/${program}-version.rc
    COMMAND ${WOBBLEGEN_WINRES} version ${program} "${description}"
            ${WOBBLEGEN_WINRES_DIR}/${program}-version.rc
    DEPENDS wobblegen-host-tools
    COMMENT "Writing the version block of ${program}")
  add_custom_target(${target}-version DEPENDS ${WOBBLEGEN_WINRES_DIR}/${program}-version.rc)
  add_dependencies(${target} ${target}-version wobblegen-icon-file)
  target_sources(${target} PRIVATE ${WOBBLEGEN_WINRES_DIR}/${program}.rc)
  set_source_files_properties(${WOBBLEGEN_WINRES_DIR}/${program}.rc PROPERTIES
    OBJECT_DEPENDS "${WOBBLEGEN_WINRES_DIR}/${program}-version.rc;${WOBBLEGEN_WINRES_DIR}/wobblegen.ico;${WOBBLEGEN_WINRES_DIR}/${program}.manifest")
endfunction()
