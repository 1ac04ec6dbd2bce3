# Shared compile settings and the helpers every folder uses to declare its targets.

add_library(lv_options INTERFACE)
target_compile_definitions(lv_options INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800
  STRICT)
target_compile_options(lv_options INTERFACE
  -Wall -Wextra -Wno-unknown-pragmas -Wno-cast-function-type -Wno-missing-field-initializers
  $<$<COMPILE_LANGUAGE:CXX>:-Wno-class-memaccess>)
target_include_directories(lv_options INTERFACE ${CMAKE_SOURCE_DIR})
target_link_options(lv_options INTERFACE -static -static-libgcc -static-libstdc++ -municode)

# lv_library(name SOURCES ... [LIBS ...]): a static library of shared code.
function(lv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_link_libraries(${name} PUBLIC lv_options ${A_LIBS})
endfunction()

# lv_program(name [GUI] SOURCES ... [LIBS ...]): a Windows program.
function(lv_program name)
  cmake_parse_arguments(A "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE lv_options ${A_LIBS})
  if(A_GUI)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
endfunction()

# lv_dll(name DEF file.def SOURCES ... [LIBS ...]): a DLL with plain C export names from a .def file.
function(lv_dll name)
  cmake_parse_arguments(A "" "DEF" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES} ${A_DEF})
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
  target_link_libraries(${name} PRIVATE lv_options ${A_LIBS})
  target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
endfunction()

# lv_test(name [DESKTOP] SOURCES ... [LIBS ...] [DEPENDS targets] [LABELS ...]): one GoogleTest program,
# one CTest entry (each Wine process costs start-up time, so a module keeps its cases in one program).
# DESKTOP: the program shows real windows that need the focus or activation; such programs take turns,
# since all tests share one Wine desktop and one foreground window.
function(lv_test name)
  cmake_parse_arguments(A "DESKTOP" "TIMEOUT" "SOURCES;LIBS;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE lv_options lv_testsupport ${A_LIBS})
  if(A_DEPENDS)
    add_dependencies(${name} ${A_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
  if(A_DESKTOP)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
endfunction()

# Copies a run-time folder (skin, Language) beside the programs.
function(lv_runtime_folder folder)
  add_custom_target(copy_${folder} ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/${folder} ${CMAKE_BINARY_DIR}/bin/${folder})
endfunction()

# The Wine that runs this build: 64-bit Wine is called by its own loader, since /usr/bin/wine takes the
# 32-bit one whenever it is installed.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LV_WINE /usr/lib/wine/wine64)
  set(LV_WINE_ENV "WINEARCH=win64 WINESERVER=/usr/lib/wine/wineserver64; export WINEARCH WINESERVER")
else()
  set(LV_WINE wine)
  set(LV_WINE_ENV "WINEARCH=win32; export WINEARCH
[ -x /usr/lib/wine/wineserver32 ] && WINESERVER=/usr/lib/wine/wineserver32 && export WINESERVER")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)
