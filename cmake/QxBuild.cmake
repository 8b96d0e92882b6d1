# Shared settings and helpers for the deliverables and their tests.

set(QX_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)

if(WIN32)
  # Everything a deliverable runs lands in bin/, so programs find each other
  # and the libraries they import.
  set(QX_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
  enable_language(RC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  add_compile_options(-Wall -Wextra)
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Programs load at 0x01000000, as Windows XP's own do. The linker's
    # 0x400000 is where Debian 13's 32-bit Wine puts its own loader; there
    # every start took Wine's restart into a second process, and under
    # emulation that start hung now and then.
    string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--image-base=0x01000000")
  endif()
  if(QX_TARGET STREQUAL "win32")
    add_link_options(-Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,0
                     -Wl,--major-os-version,5 -Wl,--minor-os-version,0)
  endif()
  set_property(GLOBAL PROPERTY QX_DELIVERABLES "")

  # Built for size: every function and datum in its own section so the linker
  # drops what nothing reaches; no RTTI, which nothing here uses. -Os came out
  # smaller than -O2 for every deliverable (README, "Sizes").
  set(QX_SIZE_OPTIMIZATION -Os CACHE STRING "Optimization of the Windows builds (-Os or -O2)")
  add_compile_options(${QX_SIZE_OPTIMIZATION} -ffunction-sections -fdata-sections
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
  add_link_options(-Wl,--gc-sections)
else()
  add_compile_options(-Wall -Wextra)
endif()

# Windows 2000 headers for what we ship, so later APIs fail at compile time
# and record sizes are those of the platform we target.
function(qx_target_windows target)
  target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0500 WINVER=0x0500
                             _WIN32_IE=0x0500 NOMINMAX)
  target_include_directories(${target} PRIVATE ${QX_SOURCE_DIR})
endfunction()

# Ships the file stripped; its debug information stays beside it in the build
# tree as <file>.debug, named in the file by a debug link, so a debugger can
# still read a crash address.
function(qx_strip_deliverable target)
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    VERBATIM)
endfunction()

# The runtime parts every deliverable takes: a terminate handler without the
# demangler, and a link map (<file>.map) from which scripts/runtime-share tells
# what the static C++ runtime costs each module.
function(qx_lean_runtime target)
  target_sources(${target} PRIVATE ${QX_SOURCE_DIR}/framework/TerminateHandler.cpp)
  target_link_options(${target} PRIVATE -Wl,-Map,$<TARGET_FILE:${target}>.map)
endfunction()

function(qx_register_deliverable target)
  set_property(GLOBAL APPEND PROPERTY QX_DELIVERABLES ${target})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QX_BIN_DIR})
  qx_lean_runtime(${target})
  qx_strip_deliverable(${target})
endfunction()

# qx_program(Name SOURCES ... [LIBS ...]): a GUI program of the system.
function(qx_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} WIN32 ${ARG_SOURCES})
  qx_target_windows(${name})
  target_link_libraries(${name} PRIVATE framework ${ARG_LIBS})
  qx_register_deliverable(${name})
endfunction()

# qx_library(Name DEF file.def SOURCES ... [LIBS ...]): a DLL of the system.
# Its one .def file names every export as a 32-bit caller's compiler spells it
# (stdcall names with their @N suffix); both builds export the names without
# the suffix (--kill-at).
function(qx_library name)
  cmake_parse_arguments(ARG "" "DEF;OUTPUT_DIR" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES} ${ARG_DEF})
  qx_target_windows(${name})
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -Wl,--kill-at)
  qx_register_deliverable(${name})
  if(ARG_OUTPUT_DIR)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
  endif()
  if(QX_TARGET STREQUAL "win32")
    qx_remake_import_library(${name} ${ARG_DEF})
  endif()
endfunction()

# The 32-bit import library of a qx_library. The linker's own carries only the
# plain names, which a 32-bit caller's stdcall references (name@N) cannot
# find; dlltool remakes it from the .def so that each @N name imports the
# plain export.
function(qx_remake_import_library target def)
  find_program(QX_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)
  get_filename_component(def ${def} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${QX_DLLTOOL} --input-def ${def} --dllname $<TARGET_FILE_NAME:${target}> --kill-at
            --output-lib $<TARGET_LINKER_FILE:${target}>
    VERBATIM)
endfunction()

# qx_win_test(name SOURCES ... [LIBS ...]): a GoogleTest program run under Wine.
function(qx_win_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_definitions(${name} PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX
                             QX_BIN_DIR="${QX_BIN_DIR}" QX_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests/bin")
  target_include_directories(${name} PRIVATE ${QX_SOURCE_DIR} ${QX_SOURCE_DIR}/tests/win)
  target_link_libraries(${name} PRIVATE win_test_support GTest::gtest_main ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin
                       PROPERTIES TIMEOUT 300)
endfunction()

# qx_test_program(name SOURCES ... [LIBS ...]): a helper program for the tests
# (fixtures, probes), never shipped.
function(qx_test_program name)
  cmake_parse_arguments(ARG "CONSOLE" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_CONSOLE)
    add_executable(${name} ${ARG_SOURCES})
  else()
    add_executable(${name} WIN32 ${ARG_SOURCES})
  endif()
  target_compile_definitions(${name} PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  target_include_directories(${name} PRIVATE ${QX_SOURCE_DIR} ${QX_SOURCE_DIR}/tests/win)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
endfunction()

# qx_native_test(name SOURCES ... [LIBS ...]): a GoogleTest program of the
# platform-free logic.
function(qx_native_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${QX_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest_main ${ARG_LIBS})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endfunction()
