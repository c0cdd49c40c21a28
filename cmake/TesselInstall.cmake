# Installation: libraries, headers, programs with their manual pages, the
# CMake package (find_package(Tessel)), tessel.pc, and tessel-sqld's service
# files. Components are the Debian packages cpack builds from them:
#   libtessel      the shared libraries and libntwdblib.so
#   libtessel-dev  headers, static libraries, CMake and pkg-config files
#   tessel-sqld    the server, its manual page, systemd unit and settings
#   tessel-tools   the other programs (tessel-run, tessel-demo, ...)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TESSEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)

# --- libraries ---------------------------------------------------------------
# Shared libraries are the package's plain names (Tessel::runtime), static ones
# carry _static. The design layer, the data-aware controls and their screen
# loader join when they were built (they need Qt 6).
set(tessel_layers framework runtime)
foreach(layer design controls controls_loader)
  if(TARGET tessel_${layer} AND TARGET tessel_${layer}_shared)
    list(APPEND tessel_layers ${layer})
  endif()
endforeach()
set(tessel_install_targets "")
foreach(layer IN LISTS tessel_layers)
  set_target_properties(tessel_${layer}_shared PROPERTIES EXPORT_NAME ${layer})
  set_target_properties(tessel_${layer} PROPERTIES EXPORT_NAME ${layer}_static)
  list(APPEND tessel_install_targets tessel_${layer} tessel_${layer}_shared)
endforeach()
install(TARGETS ${tessel_install_targets}
  EXPORT TesselTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libtessel-dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libtessel
          NAMELINK_COMPONENT libtessel-dev)
# The client library is loaded by name at run time, never linked: it needs
# no SONAME, and the runtime finds it beside itself when it is not on the
# search path.
if(TARGET ntwdblib)
  install(TARGETS ntwdblib LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libtessel)
endif()

# --- headers: framework/, runtime/ and controls/ under include/tessel ---------
foreach(folder framework runtime design design/controls)
  get_filename_component(layer ${folder} NAME)
  if(layer IN_LIST tessel_layers AND IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/include/${layer})
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/include/${layer}
      DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessel COMPONENT libtessel-dev
      FILES_MATCHING PATTERN "*.h")
  endif()
endforeach()

# --- CMake package -------------------------------------------------------------
install(EXPORT TesselTargets NAMESPACE Tessel:: DESTINATION ${TESSEL_CMAKE_DIR}
  COMPONENT libtessel-dev)
set(TESSEL_NEEDS_QT OFF)
set(TESSEL_QT_COMPONENTS Widgets)
if(design IN_LIST tessel_layers OR controls IN_LIST tessel_layers)
  set(TESSEL_NEEDS_QT ON)
endif()
if(controls_loader IN_LIST tessel_layers)
  list(APPEND TESSEL_QT_COMPONENTS UiTools)
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TesselConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TesselConfig.cmake INSTALL_DESTINATION ${TESSEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TesselConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TesselConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/TesselConfigVersion.cmake
  DESTINATION ${TESSEL_CMAKE_DIR} COMPONENT libtessel-dev)

# --- pkg-config: relocatable, the prefix is found from the file's own place ---
file(RELATIVE_PATH TESSEL_PC_TO_PREFIX
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TESSEL_PC_TO_PREFIX "${TESSEL_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tessel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tessel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT libtessel-dev)

# --- programs and their manual pages, made from their --help -------------------
set(tessel_man_pages "")
foreach(program tessel-sqld tessel-run tessel-demo tessel-dblib-probe tessel-designer
                tessel-explorer)
  if(NOT TARGET ${program})
    continue()
  endif()
  if(program STREQUAL "tessel-sqld")
    set(component tessel-sqld)
  else()
    set(component tessel-tools)
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
            -DVERSION=${PROJECT_VERSION} -DOUTPUT=${page}
            -P ${CMAKE_CURRENT_LIST_DIR}/TesselManPage.cmake
    DEPENDS ${program} ${CMAKE_CURRENT_LIST_DIR}/TesselManPage.cmake
    COMMENT "Writing the manual page of ${program} from its --help"
    VERBATIM)
  list(APPEND tessel_man_pages ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()
add_custom_target(tessel_man_pages ALL DEPENDS ${tessel_man_pages})

# --- tessel-sqld as a service ----------------------------------------------------
# The unit and the settings are written for a system install (prefix /usr, as
# the Debian package has it); the settings file goes to the system's /etc.
set(TESSEL_SQLD_BIN ${CMAKE_INSTALL_FULL_BINDIR}/tessel-sqld)
set(TESSEL_SQLD_CONF_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tessel-sqld)
set(TESSEL_SQLD_STATE_DIR ${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/tessel-sqld)
set(service_dir ${PROJECT_SOURCE_DIR}/packaging/tessel-sqld)
set(service_out ${CMAKE_CURRENT_BINARY_DIR}/packaging/tessel-sqld)
foreach(file tessel-sqld.service tessel-sqld.conf postinst prerm postrm conffiles)
  configure_file(${service_dir}/${file}.in ${service_out}/${file} @ONLY)
endforeach()
install(FILES ${service_out}/tessel-sqld.service
  DESTINATION lib/systemd/system COMPONENT tessel-sqld)
install(FILES ${service_out}/tessel-sqld.conf DESTINATION ${TESSEL_SQLD_CONF_DIR}
  COMPONENT tessel-sqld)

include(TesselPackaging)
