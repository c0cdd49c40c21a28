# tessel_add_library(NAME INCLUDE_DIR SOURCES src... [LINK dep...])
#
# Builds one layer of the package as NAME (static) and NAME_shared (shared,
# with a SONAME), both from one set of objects so that nothing is compiled
# twice. Tessel's own dependencies in LINK are taken as their shared variant
# by NAME_shared. Headers are found under INCLUDE_DIR in the build tree and
# under include/tessel once installed.
include(GNUInstallDirs)

function(tessel_add_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "INCLUDE_DIR" "SOURCES;LINK")
  add_library(${name}_objects OBJECT ${arg_SOURCES})
  add_library(${name} STATIC $<TARGET_OBJECTS:${name}_objects>)
  add_library(${name}_shared SHARED $<TARGET_OBJECTS:${name}_objects>)
  set_target_properties(${name}_shared PROPERTIES
    OUTPUT_NAME ${name}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})

  set(shared_links "")
  foreach(dep IN LISTS arg_LINK)
    if(dep MATCHES "^tessel_")
      list(APPEND shared_links ${dep}_shared)
    else()
      list(APPEND shared_links ${dep})
    endif()
  endforeach()
  foreach(target ${name}_objects ${name} ${name}_shared)
    target_include_directories(${target} PUBLIC
      $<BUILD_INTERFACE:${arg_INCLUDE_DIR}>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tessel>)
  endforeach()
  target_link_libraries(${name}_objects PUBLIC ${arg_LINK})
  target_link_libraries(${name} PUBLIC ${arg_LINK})
  target_link_libraries(${name}_shared PUBLIC ${shared_links})
endfunction()
