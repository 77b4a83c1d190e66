# The navigator's standard glyphs: a build-time program draws them into PNG files (1x and 2x)
# and writes their resource list, which rcc compiles into tindrel_navigator. Included by
# navigator/CMakeLists.txt after the library is defined.
add_executable(tindrel_make_glyphs ${CMAKE_CURRENT_LIST_DIR}/MakeGlyphs.cpp)
target_link_libraries(tindrel_make_glyphs PRIVATE Qt6::Gui)
set_target_properties(tindrel_make_glyphs PROPERTIES AUTOMOC OFF AUTORCC OFF)

set(TINDREL_GLYPH_DIR ${CMAKE_CURRENT_BINARY_DIR}/glyphs)
add_custom_command(
  OUTPUT ${TINDREL_GLYPH_DIR}/glyphs.qrc
  COMMAND tindrel_make_glyphs ${TINDREL_GLYPH_DIR}
  DEPENDS tindrel_make_glyphs
  COMMENT "Drawing the navigator glyphs")
add_custom_command(
  OUTPUT ${TINDREL_GLYPH_DIR}/qrc_glyphs.cpp
  COMMAND Qt6::rcc --name glyphs --output ${TINDREL_GLYPH_DIR}/qrc_glyphs.cpp ${TINDREL_GLYPH_DIR}/glyphs.qrc
  DEPENDS ${TINDREL_GLYPH_DIR}/glyphs.qrc Qt6::rcc
  WORKING_DIRECTORY ${TINDREL_GLYPH_DIR})
set_source_files_properties(${TINDREL_GLYPH_DIR}/qrc_glyphs.cpp PROPERTIES GENERATED ON SKIP_AUTOGEN ON)
target_sources(tindrel_navigator PRIVATE ${TINDREL_GLYPH_DIR}/qrc_glyphs.cpp)
