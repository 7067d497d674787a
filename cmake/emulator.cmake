# How the tests run the programs this build makes. A -m32 build on a kernel
# without IA-32 emulation runs them through qemu-i386 (Debian qemu-user):
# CMAKE_CROSSCOMPILING_EMULATOR is set to it, so every test that names an
# executable target (add_test COMMAND <target>, gtest discovery) goes through
# it. A test script that runs vxrsim itself gets it from VXR_SIM_SCRIPT_ARGS.
#
# VXR_M32_RUN says which way the tests run: "native", "qemu-i386" or "none".
# An emulator given with -DCMAKE_CROSSCOMPILING_EMULATOR is used as it is.
if(VXR_M32 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/vxr_m32_probe)
  file(WRITE ${probe_dir}/probe.c "int main(void) { return 0; }\n")
  try_run(m32_run_rc m32_compiled ${probe_dir}/build ${probe_dir}/probe.c
          COMPILE_DEFINITIONS -m32 LINK_OPTIONS -m32)
  if(NOT m32_compiled)
    message(FATAL_ERROR "VXR_M32: the compiler cannot build a -m32 program (install g++-multilib)")
  endif()
  if("${m32_run_rc}" STREQUAL "0")
    set(VXR_M32_RUN native)
  else()
    find_program(VXR_QEMU_I386 qemu-i386)
    if(VXR_QEMU_I386)
      set(CMAKE_CROSSCOMPILING_EMULATOR ${VXR_QEMU_I386})
      set(VXR_M32_RUN qemu-i386)
    else()
      set(VXR_M32_RUN none)
      message(WARNING "VXR_M32: this kernel does not run 32-bit programs and qemu-i386 is not installed: the tests cannot run")
      # Listing a gtest program runs it: left to ctest time, so the build still succeeds.
      set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
    endif()
  endif()
elseif(VXR_M32)
  set(VXR_M32_RUN "${CMAKE_CROSSCOMPILING_EMULATOR}")
endif()
if(VXR_M32)
  set(VXR_M32_RUN "${VXR_M32_RUN}" CACHE INTERNAL "How the -m32 test programs run")
  message(STATUS "32-bit test programs run: ${VXR_M32_RUN}")
endif()

# The arguments that give a cmake -P test script the vxrsim to run: EXE, and
# EMULATOR (empty, or the emulator's command line) to put in front of it.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " vxr_emulator_line)
set(VXR_SIM_SCRIPT_ARGS -DEXE=$<TARGET_FILE:vxrsim> "-DEMULATOR=${vxr_emulator_line}")
