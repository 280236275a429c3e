# mirdex_check_headers(TARGET) compiles every header in the calling folder
# (and the folders given after TARGET) on its own, with TARGET's include
# folders and definitions: a header that leans on what its includer
# happened to include first breaks the build here instead of at some later
# includer.
function(mirdex_check_headers target)
  set(folders ${CMAKE_CURRENT_SOURCE_DIR} ${ARGN})
  set(sources)
  foreach(folder IN LISTS folders)
    file(GLOB headers CONFIGURE_DEPENDS ${folder}/*.h)
    foreach(header IN LISTS headers)
      file(RELATIVE_PATH name ${CMAKE_SOURCE_DIR} ${header})
      string(MAKE_C_IDENTIFIER ${name} stem)
      set(source ${CMAKE_CURRENT_BINARY_DIR}/header_check/${stem}.cpp)
      file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
      list(APPEND sources ${source})
    endforeach()
  endforeach()
  add_library(${target}_header_check OBJECT ${sources})
  target_compile_options(${target}_header_check PRIVATE ${MIRDEX_WARNINGS})
  target_include_directories(${target}_header_check PRIVATE
    $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  target_compile_definitions(${target}_header_check PRIVATE
    $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
  target_link_libraries(${target}_header_check PRIVATE $<TARGET_PROPERTY:${target},LINK_LIBRARIES>)
endfunction()
