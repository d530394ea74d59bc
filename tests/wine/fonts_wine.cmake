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
set_tests_properties(wine${TARVISH_WINE_ARCH}.fonts_wine_test PROPERTIES
                     FIXTURES_REQUIRED demo_glyphs_absent)
