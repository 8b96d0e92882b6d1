# Shared settings and helpers for the deliverables and their tests.

get_filename_component(QX_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# The same source gives the same bytes in any folder: debug information and
# __FILE__ name files relative to the checkout, never the folders themselves.
# The compiler runs in the target's build folder (make runs it there), which
# stands for the checkout too; so does the relative path from it to the
# checkout, the form in which ccache (its base folder is the checkout) hands
# the compiler the paths. So a build with the cache and one without, and a
# cache result compiled for another target or in another clone, are the same.
set(target_dir "$<TARGET_PROPERTY:BINARY_DIR>")
set(relative_source_dir "$<PATH:RELATIVE_PATH,${QX_SOURCE_DIR},${target_dir}>")
foreach(folder IN ITEMS ${QX_SOURCE_DIR} ${relative_source_dir} ${target_dir})
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${folder}=.>")
endforeach()

# The time of the last commit (or SOURCE_DATE_EPOCH when set), in seconds
# since 1970; empty when neither is known, as in a copy without git.
function(qx_source_date out)
  set(${out} "" PARENT_SCOPE)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(${out} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
    return()
  endif()
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${QX_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0 AND time MATCHES "^[0-9]+$")
    set(${out} ${time} PARENT_SCOPE)
  endif()
  # A new commit or checkout configures again, so the time follows it.
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${QX_SOURCE_DIR} rev-parse --absolute-git-dir
                  OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(git_dir AND EXISTS ${git_dir}/logs/HEAD)
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${git_dir}/logs/HEAD)
  endif()
endfunction()

# Every PE header's link time (and a DLL's export table's) is the last
# commit's, not the clock's: the linker takes it from SOURCE_DATE_EPOCH, and
# so do objcopy and strip, which write the header again. QX_WITH_SOURCE_DATE
# runs a command with it; QX_SOURCE_DATE_FILE holds it, for the deliverables
# to link again when it changes.
macro(qx_fix_link_time)
  qx_source_date(QX_SOURCE_DATE_EPOCH)
  set(QX_WITH_SOURCE_DATE "")
  set(QX_SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
  file(CONFIGURE OUTPUT ${QX_SOURCE_DATE_FILE} CONTENT "${QX_SOURCE_DATE_EPOCH}\n")
  if(QX_SOURCE_DATE_EPOCH)
    set(QX_WITH_SOURCE_DATE ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QX_SOURCE_DATE_EPOCH})
    set(CMAKE_C_LINKER_LAUNCHER ${QX_WITH_SOURCE_DATE})
    set(CMAKE_CXX_LINKER_LAUNCHER ${QX_WITH_SOURCE_DATE})
  else()
    message(STATUS "No commit time (no git, no SOURCE_DATE_EPOCH): link times are the clock's")
  endif()
endmacro()

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

  qx_fix_link_time()
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
    COMMAND ${QX_WITH_SOURCE_DATE} ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${QX_WITH_SOURCE_DATE} ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${QX_WITH_SOURCE_DATE} ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QX_SOURCE_DATE_FILE})
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
  # dlltool names the library's symbols after the path it writes; a bare
  # file name keeps the build folder out of the programs' debug information.
  # It also leaves two empty temporary files behind on each call: they go to
  # a folder of the build's own, removed afterwards, not to /tmp.
  set(temp ${CMAKE_CURRENT_BINARY_DIR}/${target}-dlltool-temp)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${temp}
    COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${temp}
            ${QX_DLLTOOL} --input-def ${def} --dllname $<TARGET_FILE_NAME:${target}> --kill-at
            --output-lib $<TARGET_LINKER_FILE_NAME:${target}>
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${temp}
    WORKING_DIRECTORY $<TARGET_LINKER_FILE_DIR:${target}>
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
