# Build flavours, compiler settings and the helpers every subsystem uses.
#
#   host        Linux: portable code, its unit tests, developer tools, benchmarks
#   fuzz        Linux, clang-14: libFuzzer targets over the portable parsers
#   win64       the 64-bit deliverables and the Wine tests of code they share
#   win32       the 32-bit deliverables as shipped (built, never run here)
#   win64-test  the 32-bit deliverables built as 64-bit, with their Wine tests

# The one version number of every binary's version resource and the installer.
set(QM_VERSION ${PROJECT_VERSION})
set(QM_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(QM_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(QM_VERSION_PATCH ${PROJECT_VERSION_PATCH})

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)

set(QM_HOST OFF)
set(QM_WINDOWS OFF)
set(QM_FUZZ OFF)
if(QM_FLAVOR STREQUAL "host")
  set(QM_HOST ON)
elseif(QM_FLAVOR STREQUAL "fuzz")
  set(QM_HOST ON)
  set(QM_FUZZ ON)
elseif(QM_FLAVOR MATCHES "^win(64|32|64-test)$")
  set(QM_WINDOWS ON)
else()
  message(FATAL_ERROR "Unknown QM_FLAVOR '${QM_FLAVOR}'")
endif()

# Which deliverables this flavour builds, and whether its tests can run here.
set(QM_SHIPS_64 OFF)   # QuellmarSAPI, QuellmarConfig, QuellmarDiag (64)
set(QM_SHIPS_32 OFF)   # QuellmarServer, QuellmarDiag (32), Lexmere, qmcore
set(QM_TESTS OFF)
if(QM_FLAVOR STREQUAL "win64")
  set(QM_SHIPS_64 ON)
  set(QM_TESTS ON)
elseif(QM_FLAVOR STREQUAL "win32")
  set(QM_SHIPS_32 ON)
elseif(QM_FLAVOR STREQUAL "win64-test")
  set(QM_SHIPS_32 ON)
  set(QM_TESTS ON)
elseif(QM_FLAVOR STREQUAL "host")
  set(QM_TESTS ON)
endif()

# Everything a release is made of in this flavour: the shipped binaries
# (qm_install) and the tools that stage and package them (scripts/build
# --release builds only this).
add_custom_target(qm_release)

set(QM_ARTEFACTS_DIR ${CMAKE_SOURCE_DIR}/build/artefacts)
file(MAKE_DIRECTORY ${QM_ARTEFACTS_DIR})

# ccache, where a developer has it, makes rebuilds in several work trees cheap
# (set base_dir in its configuration so that the trees share their entries).
find_program(QM_CCACHE ccache)
if(QM_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${QM_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${QM_CCACHE})
endif()

add_compile_options(-Wall -Wextra)
if(QM_WINDOWS)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Static runtime: nothing but the system's own DLLs travels with a program.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Debug information for the build tree (the shipped copies are stripped,
  # see qm_install), and nothing of the machine or the hour of the build in
  # any output: the source folder is "." in file names and debug information,
  # and the PE header carries no link time. Two builds of one commit in
  # different folders give the same bytes.
  add_compile_options(-g -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
  cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${CMAKE_BINARY_DIR}" NORMALIZE qm_build_inside)
  if(NOT qm_build_inside)
    # The last matching map wins: the build folder's own comes after.
    add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=./build)
  endif()
  add_link_options(-Wl,--no-insert-timestamp)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # SSE2 is the baseline of every x86 machine that runs a supported Windows.
    add_compile_options(-msse2 -mfpmath=sse)
  endif()
endif()
if(QM_FUZZ)
  # Every library a fuzzer reaches gets coverage and the sanitizers, not only
  # the fuzzer's own file.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QM_HOST AND QM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# GoogleTest from Debian's sources, built with each toolchain.
if(QM_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  enable_testing()
endif()

# qm_add_test(NAME <name> SOURCES <...> [LIBS <...>] [ENV <VAR=value...>] [TIMEOUT s] [LABELS ...])
# One test program, run by CTest on the host or through Wine.
function(qm_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  if(NOT QM_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(QM_WINDOWS)
    qm_windows_path(art ${QM_ARTEFACTS_DIR})
    qm_windows_path(bin ${CMAKE_BINARY_DIR})
    set(env "QM_ARTEFACTS=${art}" "QM_BIN=${bin}")
    set(labels wine)
  else()
    set(env "QM_ARTEFACTS=${QM_ARTEFACTS_DIR}" "QM_BIN=${CMAKE_BINARY_DIR}")
    set(labels host)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "${env};${T_ENV}" TIMEOUT ${T_TIMEOUT} LABELS "${labels};${T_LABELS}")
endfunction()

# qm_add_fuzzer(NAME <name> SOURCES <...> [LIBS <...>]): a libFuzzer target (fuzz flavour only).
function(qm_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT QM_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
endfunction()

# The Windows spelling of a path on this machine, as Wine maps it (Z: is the root).
function(qm_windows_path out path)
  string(REPLACE "/" "\\" p "${path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# qm_strip(<target> <out_var>): after every link of a Windows binary, its
# debug information goes to <binary>.debug beside it and a stripped copy that
# names that file (a GNU debug link, with its checksum) to shipped/<name>;
# <out_var> is that copy's path. The binary in the build tree keeps
# everything, for debugging.
function(qm_strip target out_var)
  set(file $<TARGET_FILE:${target}>)
  set(shipped $<TARGET_FILE_DIR:${target}>/shipped/$<TARGET_FILE_NAME:${target}>)
  # objcopy stamps a PE header it writes with the time unless told a date:
  # the linker's, none.
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:${target}>/shipped
    COMMAND ${objcopy} --only-keep-debug ${file} ${file}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${file}.debug ${file} ${shipped}
    VERBATIM)
  set(${out_var} ${shipped} PARENT_SCOPE)
endfunction()

# qm_install(<target> <folder>): stage a deliverable at its place in the install layout
# ("" is the install root). Only the program or DLL itself, stripped: no import libraries.
# Its debug information is the "symbols" component, staged on its own
# (cmake --install --component symbols) at the same place in a layout of its own.
function(qm_install target folder)
  if(folder STREQUAL "")
    set(folder ".")
  endif()
  add_dependencies(qm_release ${target})
  if(QM_WINDOWS)
    qm_strip(${target} shipped)
    install(FILES ${shipped} DESTINATION "${folder}")
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION "${folder}" COMPONENT symbols
            EXCLUDE_FROM_ALL)
  else()
    install(FILES $<TARGET_FILE:${target}> DESTINATION "${folder}")
  endif()
endfunction()

# qm_version_resource(<target> <description>): the version resource every
# shipped binary carries (company, product, description, file and product
# version), for a target that has no resource script of its own.
function(qm_version_resource target description)
  if(NOT QM_WINDOWS)
    return()
  endif()
  enable_language(RC)
  get_target_property(type ${target} TYPE)
  get_target_property(output ${target} OUTPUT_NAME)
  if(NOT output)
    set(output ${target})
  endif()
  if(type STREQUAL "SHARED_LIBRARY")
    set(qm_file_type VFT_DLL)
    set(qm_file_name "${output}.dll")
  else()
    set(qm_file_type VFT_APP)
    set(qm_file_name "${output}.exe")
  endif()
  set(qm_description "${description}")
  set(qm_name "${output}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
