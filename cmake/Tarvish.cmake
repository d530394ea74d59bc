# Build conventions shared by every folder.
#
# A subsystem folder holds three kinds of source, told apart by name:
#   name.cpp        platform-free logic: builds on Linux and Windows, never
#                   includes windows.h;
#   name_win.cpp    the thin Win32 binding of that logic (Windows builds only);
#   name_test.cpp   host unit tests (GoogleTest, Linux build only);
#   name_fake.cpp   recording fakes of the platform, linked into those tests.
# tarvish_subsystem() turns a folder into the object libraries
# tarvish_<sub> (logic) and tarvish_<sub>_win (binding) and one host test
# program <sub>_tests.

option(TARVISH_SANITIZE "Build host code with AddressSanitizer and UBSan" OFF)

if(WIN32)
  set(TARVISH_WINDOWS ON)
  if(NOT TARVISH_WINE_ARCH)
    message(FATAL_ERROR "Configure the Windows builds through a preset (win32 or win64)")
  endif()
  if(NOT TARVISH_WINE_PREFIX)
    set(TARVISH_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  # CTest puts this in front of every test command that runs one of our .exe.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/tools/wine/winerun ${TARVISH_WINE_ARCH} ${TARVISH_WINE_PREFIX})
  add_compile_options(-Wall -Wextra -Werror)
  # Only system DLLs at run time: libgcc, libstdc++ and winpthread go in statically.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

  # GoogleTest from Debian's source package, built for the cross target.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(_tarvish_saved_flags ${CMAKE_CXX_FLAGS})
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -Wno-error)
  endforeach()
else()
  add_compile_options(-Wall -Wextra -Werror)
  if(TARVISH_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

set(TARVISH_SOURCE_ROOT ${CMAKE_SOURCE_DIR})

# tarvish_subsystem(<sub> [DEPENDS <sub> ...] [WIN_LIBS <system libs>]
#                   [TEST_LIBS <libs>] [EXCLUDE <file> ...])
function(tarvish_subsystem sub)
  cmake_parse_arguments(ARG "" "" "DEPENDS;WIN_LIBS;TEST_LIBS;EXCLUDE" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM all_sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  set(logic_sources "")
  set(win_sources "")
  set(test_sources "")
  set(fake_sources "")
  foreach(src IN LISTS all_sources)
    if(src MATCHES "_test\\.cpp$")
      list(APPEND test_sources ${src})
    elseif(src MATCHES "_fake\\.cpp$")
      list(APPEND fake_sources ${src})
    elseif(src MATCHES "_win\\.cpp$")
      list(APPEND win_sources ${src})
    else()
      list(APPEND logic_sources ${src})
    endif()
  endforeach()

  # A subsystem's tests also need the logic and the platform fakes of the
  # subsystems it builds on: object files reach only direct linkers.
  set_property(GLOBAL PROPERTY tarvish_${sub}_fakes ${fake_sources})
  set(deps "")
  set(dep_fakes "")
  foreach(d IN LISTS ARG_DEPENDS)
    list(APPEND deps tarvish_${d})
    get_property(fakes GLOBAL PROPERTY tarvish_${d}_fakes)
    list(APPEND dep_fakes ${fakes})
  endforeach()

  if(logic_sources)
    add_library(tarvish_${sub} OBJECT ${logic_sources})
    target_include_directories(tarvish_${sub} PUBLIC ${TARVISH_SOURCE_ROOT})
    target_link_libraries(tarvish_${sub} PUBLIC ${deps})
  else()
    add_library(tarvish_${sub} INTERFACE)
    target_include_directories(tarvish_${sub} INTERFACE ${TARVISH_SOURCE_ROOT})
    target_link_libraries(tarvish_${sub} INTERFACE ${deps})
  endif()

  if(TARVISH_WINDOWS)
    if(win_sources)
      add_library(tarvish_${sub}_win OBJECT ${win_sources})
      target_link_libraries(tarvish_${sub}_win PUBLIC tarvish_${sub} ${ARG_WIN_LIBS})
    endif()
  elseif(test_sources)
    add_executable(${sub}_tests ${test_sources} ${fake_sources} ${dep_fakes})
    target_link_libraries(${sub}_tests PRIVATE tarvish_${sub} ${deps} ${ARG_TEST_LIBS}
                          GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${sub}_tests TEST_PREFIX "host.${sub}." PROPERTIES LABELS host)
  endif()
endfunction()

# The system libraries that any of the Win32 bindings use.
set(TARVISH_SYSTEM_LIBS kernel32 user32 gdi32 advapi32 version ole32 uuid shell32)

# tarvish_wine_test(<name> SOURCES ... [LIBS ...])
# A GoogleTest program that runs under Wine against the real DLL.
function(tarvish_wine_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${TARVISH_SOURCE_ROOT})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gmock gtest_main ${TARVISH_SYSTEM_LIBS})
  add_dependencies(${name} Tarvish ${ARG_DEPENDS})
  add_test(NAME wine${TARVISH_WINE_ARCH}.${name} COMMAND ${name}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(wine${TARVISH_WINE_ARCH}.${name} PROPERTIES LABELS wine)
endfunction()

# tarvish_fuzz_target(<name> SOURCES <files> CORPUS <dir> [SECONDS <n>])
# Host preset only: a libFuzzer target built with clang
# (-fsanitize=fuzzer,address,undefined) and a CTest test that runs it for a
# bounded time over its seed corpus (the corpus in the tree is not written).
function(tarvish_fuzz_target name)
  if(TARVISH_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  find_program(TARVISH_CLANGXX clang++ REQUIRED)
  set(out ${CMAKE_BINARY_DIR}/fuzz/${name})
  set(flags -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=all -I${TARVISH_SOURCE_ROOT})
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fuzz
                     COMMAND ${TARVISH_CLANGXX} ${flags} -MD -MF ${out}.d ${ARG_SOURCES} -o ${out}
                     DEPENDS ${ARG_SOURCES}
                     DEPFILE ${out}.d
                     WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
                     COMMENT "clang libFuzzer target ${name}" VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
  set(work ${CMAKE_BINARY_DIR}/fuzz/${name}-corpus)
  add_test(NAME fuzz.${name}
           COMMAND /bin/sh -c "mkdir -p '${work}' && exec '${out}' -max_total_time=${ARG_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 '${work}' '${ARG_CORPUS}'")
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT ${ARG_SECONDS}0)
endfunction()
