# Lexmere.exe, the dictionary editor: a 32-bit desktop program with narrow
# strings, linked at build time against the engine core's editor entry
# points (the 64-bit test build against the 64-bit stand-in core).
add_library(qm_lexmere_portable STATIC test_recording.cpp)
target_include_directories(qm_lexmere_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(qm_lexmere_portable PUBLIC qm_render)

if(QM_FLAVOR STREQUAL "host")
  qm_add_test(NAME lexmere_test SOURCES lexmere_test.cpp LIBS qm_lexmere_portable qm_dictionary)
endif()

qm_add_fuzzer(NAME lexmere_recording_fuzz SOURCES test_recording_fuzz.cpp LIBS qm_lexmere_portable)

if(NOT QM_SHIPS_32)
  return()
endif()

enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(NOT DEFINED QM_VERSION)
  set(QM_VERSION "1.0.0")
endif()
string(REGEX MATCHALL "[0-9]+" qm_version_parts "${QM_VERSION}")
list(GET qm_version_parts 0 QM_VERSION_MAJOR)
list(GET qm_version_parts 1 QM_VERSION_MINOR)
list(GET qm_version_parts 2 QM_VERSION_PATCH)
configure_file(${CMAKE_SOURCE_DIR}/config/quellmar_version.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/lexmere_version.h @ONLY)

# The icon is drawn by the build: nothing binary in the sources.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/lexmere.ico
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/make_icon.py
          ${CMAKE_CURRENT_BINARY_DIR}/lexmere.ico
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_icon.py VERBATIM)

# The import library of the engine core's five editor entry points, bound
# when first called: the core lives in engine\Lib, not beside the editor,
# and the editor loads it from there before the first call.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(lexmere_import_def ${CMAKE_CURRENT_SOURCE_DIR}/qmcore_import_x86.def)
  set(lexmere_dlltool_machine i386)
else()
  set(lexmere_import_def ${CMAKE_CURRENT_SOURCE_DIR}/qmcore_import_x64.def)
  set(lexmere_dlltool_machine i386:x86-64)
endif()
string(REGEX REPLACE "g\\+\\+(-posix)?$" "dlltool" lexmere_dlltool "${CMAKE_CXX_COMPILER}")
set(lexmere_import_lib ${CMAKE_CURRENT_BINARY_DIR}/libqmcore_editor.a)
# dlltool names the library's symbols after the output path it is given:
# a bare name, so that no build folder gets into the editor.
add_custom_command(OUTPUT ${lexmere_import_lib}
  COMMAND ${lexmere_dlltool} -m ${lexmere_dlltool_machine} -d ${lexmere_import_def}
          -y libqmcore_editor.a
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DEPENDS ${lexmere_import_def} VERBATIM)
add_custom_target(qmcore_editor_import DEPENDS ${lexmere_import_lib})

# Everything but the entry point and the resources, so that Wine tests can
# drive the pieces.
add_library(qm_lexmere_win STATIC
  editor_session.cpp add_word_dialog.cpp list_dialogs.cpp word_sound.cpp)
# Narrow strings: the editor speaks the engine core's 8-bit text.
target_compile_options(qm_lexmere_win PUBLIC $<$<COMPILE_LANGUAGE:CXX>:-UUNICODE -U_UNICODE>)
add_dependencies(qm_lexmere_win qmcore_editor_import)
target_link_libraries(qm_lexmere_win PUBLIC qm_lexmere_portable qm_dictionary
                      ${lexmere_import_lib} delayimp winmm user32 gdi32)

add_executable(Lexmere WIN32 lexmere_main.cpp Lexmere.rc)
target_include_directories(Lexmere PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
set_source_files_properties(Lexmere.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_BINARY_DIR}/lexmere.ico;${CMAKE_CURRENT_SOURCE_DIR}/lexmere_resource.h")
target_link_libraries(Lexmere PRIVATE qm_lexmere_win)
qm_install(Lexmere "engine/Lexmere")

if(QM_TESTS)
  qm_add_test(NAME lexmere_win_test SOURCES lexmere_win_test.cpp LIBS qm_lexmere_win qm_testing)
endif()
