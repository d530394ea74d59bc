# The font tests under Wine. Included from tests/wine/CMakeLists.txt.

# "Demo Glyphs" at revisions 1.0, 1.5 and 2.0, made with Debian's fontTools
# into bin/fixtures/fonts/<revision>/DemoGlyphs.ttf, where the tests and the
# demo session look for them.
set(_fonts_generator ${TARVISH_SOURCE_ROOT}/tests/fixtures/fonts/make_demo_fonts.py)
set(_fonts_out ${CMAKE_BINARY_DIR}/bin/fixtures/fonts)
add_custom_command(OUTPUT ${_fonts_out}/1.0/DemoGlyphs.ttf ${_fonts_out}/1.5/DemoGlyphs.ttf
                          ${_fonts_out}/2.0/DemoGlyphs.ttf
                   COMMAND /usr/bin/python3 ${_fonts_generator} ${_fonts_out}
                   DEPENDS ${_fonts_generator}
                   COMMENT "Demo Glyphs font fixtures" VERBATIM)
add_custom_target(demo_glyphs_fixtures ALL DEPENDS ${_fonts_out}/1.0/DemoGlyphs.ttf)

# Clears the face from the prefix in a process of its own before the tests.
add_executable(fonts_wine_reset fonts_wine_reset.cpp)
target_include_directories(fonts_wine_reset PRIVATE ${TARVISH_SOURCE_ROOT})
target_link_libraries(fonts_wine_reset PRIVATE ${TARVISH_SYSTEM_LIBS})
add_test(NAME wine${TARVISH_WINE_ARCH}.fonts_wine_reset COMMAND fonts_wine_reset
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(wine${TARVISH_WINE_ARCH}.fonts_wine_reset PROPERTIES
                     LABELS wine FIXTURES_SETUP demo_glyphs_absent)

tarvish_wine_test(fonts_wine_test SOURCES fonts_wine_test.cpp
                  DEPENDS demo_glyphs_fixtures fonts_wine_reset)
# All but the cases below, which need processes of their own.
set_tests_properties(wine${TARVISH_WINE_ARCH}.fonts_wine_test PROPERTIES
                     FIXTURES_REQUIRED demo_glyphs_absent
                     ENVIRONMENT "GTEST_FILTER=UpdateFontUnderWine.*")

# A font already in the fonts folder, named as its own source: each case in
# a process of its own with a reset just before it, since what UpdateFont
# loads stays loaded in the process that called it. The runs form one chain
# behind the test above, so that no reset lands in another's middle.
set(_fonts_after wine${TARVISH_WINE_ARCH}.fonts_wine_test)
foreach(_case SourceIsTheFontsFolder SourceIsTheFontsFolderWithATrailingBackslash)
  set(_reset wine${TARVISH_WINE_ARCH}.fonts_wine_reset.${_case})
  set(_test wine${TARVISH_WINE_ARCH}.fonts_wine_test.${_case})
  add_test(NAME ${_reset} COMMAND fonts_wine_reset WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${_reset} PROPERTIES LABELS wine DEPENDS ${_fonts_after}
                       FIXTURES_SETUP demo_glyphs_absent_${_case})
  add_test(NAME ${_test}
           COMMAND fonts_wine_test --gtest_filter=FontAlreadyInTheFontsFolder.${_case}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${_test} PROPERTIES LABELS wine
                       FIXTURES_REQUIRED demo_glyphs_absent_${_case})
  set(_fonts_after ${_test})
endforeach()
