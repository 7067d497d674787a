# Helpers shared by every model library and fixture.

set(VXR_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
set(VXR_REVISIONS 187 160 142)

# vxr_model_library(<name> REVISION <187|160|142> SOURCES <files...>)
# A self-contained shared library: the module sources, the runtime compiled for
# its revision, and a build identifier written afresh on every build. Only the
# symbols marked VXR_EXPORT are visible; -Bsymbolic keeps two libraries of
# different revisions in one process from binding to each other.
function(vxr_model_library name)
  cmake_parse_arguments(ARG "" "REVISION;OUTPUT_NAME" "SOURCES" ${ARGN})
  set(idfile ${CMAKE_CURRENT_BINARY_DIR}/${name}_buildid.c)
  add_custom_target(${name}_buildid
    COMMAND ${CMAKE_COMMAND} -DOUT=${idfile} -P ${VXR_ROOT}/cmake/gen_buildid.cmake
    BYPRODUCTS ${idfile}
    COMMENT "Build identifier for ${name}" VERBATIM)
  add_library(${name} SHARED ${ARG_SOURCES} ${idfile} $<TARGET_OBJECTS:vxr_runtime_${ARG_REVISION}>)
  add_dependencies(${name} ${name}_buildid)
  target_link_libraries(${name} PRIVATE vxr_runtime_${ARG_REVISION}_headers m)
  set_target_properties(${name} PROPERTIES PREFIX "" )
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  if(VXR_WINDOWS)
    # A DLL that stands alone: the compiler's runtime linked in statically,
    # automatic exports off, so exactly what VXR_EXPORT marks is exported.
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--exclude-all-symbols
                        -Wl,--no-undefined)
    return()
  endif()
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic -Wl,--exclude-libs,ALL)
  if(NOT VXR_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# vxr_runtime_test(<name> SOURCES <files...> [LIBS <libs...>] [REVISIONS <revs...>])
# One gtest executable per revision (<name>_<rev>), compiled with that
# revision's VXR_REVISION and linked with its runtime objects.
function(vxr_runtime_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;REVISIONS" ${ARGN})
  if(NOT ARG_REVISIONS)
    set(ARG_REVISIONS ${VXR_REVISIONS})
  endif()
  foreach(rev ${ARG_REVISIONS})
    set(t ${name}_${rev})
    add_executable(${t} ${ARG_SOURCES} $<TARGET_OBJECTS:vxr_runtime_${rev}>)
    target_link_libraries(${t} PRIVATE vxr_runtime_${rev}_headers gtest_main ${ARG_LIBS} ${CMAKE_DL_LIBS} m)
    gtest_discover_tests(${t} TEST_PREFIX "r${rev}." DISCOVERY_TIMEOUT 60)
  endforeach()
endfunction()
