# The runtime library's bitmaps (*.bmp here) become a static library with a name table:
# embed.cmake turns each file into a byte array named after the file (upper case), and
# dbv::RegisterRuntimeResources() registers the table as the "VDBVantor" resource module.
file(GLOB DBV_RESOURCE_BITMAPS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.bmp)
list(SORT DBV_RESOURCE_BITMAPS)
set(DBV_RESOURCE_CPP ${CMAKE_CURRENT_BINARY_DIR}/dbv_resources_data.cpp)
string(REPLACE ";" "|" DBV_RESOURCE_LIST "${DBV_RESOURCE_BITMAPS}")
add_custom_command(
  OUTPUT ${DBV_RESOURCE_CPP}
  COMMAND ${CMAKE_COMMAND} -DOUT=${DBV_RESOURCE_CPP} "-DINPUTS=${DBV_RESOURCE_LIST}"
          -DMODULE=VDBVantor -P ${CMAKE_CURRENT_SOURCE_DIR}/embed.cmake
  DEPENDS ${DBV_RESOURCE_BITMAPS} ${CMAKE_CURRENT_SOURCE_DIR}/embed.cmake
  COMMENT "Embedding the library's bitmaps"
  VERBATIM)
add_library(dbv_resources STATIC ${DBV_RESOURCE_CPP})
target_include_directories(dbv_resources PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
target_link_libraries(dbv_resources PUBLIC dbv_graphics)

# The generator of the bitmaps and the sampler picture (run by hand: cmake --build . --target
# regen-bitmaps; the results are committed).
add_executable(dbv_make_bitmaps ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_bitmaps.cpp)
target_link_libraries(dbv_make_bitmaps PRIVATE dbv_graphics)
add_custom_target(regen-bitmaps
  COMMAND dbv_make_bitmaps ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/docs/graphics-sampler.png
  DEPENDS dbv_make_bitmaps
  COMMENT "Drawing the library's bitmaps and docs/graphics-sampler.png")
