# Every header is compiled on its own, as the first and only include of a
# file: a header that leans on what its includer happened to include first
# breaks the build here instead of at some later includer.

# The generated one-include sources for the headers of the folders.
function(_mirdex_header_sources out)
  set(sources)
  foreach(folder IN LISTS ARGN)
    file(GLOB headers CONFIGURE_DEPENDS ${folder}/*.h)
    foreach(header IN LISTS headers)
      file(RELATIVE_PATH name ${CMAKE_SOURCE_DIR} ${header})
      string(MAKE_C_IDENTIFIER ${name} stem)
      set(source ${CMAKE_BINARY_DIR}/header_check/${stem}.cpp)
      file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
      list(APPEND sources ${source})
    endforeach()
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# mirdex_check_headers(TARGET [FOLDER...]): the headers of the calling folder
# and the folders given, with TARGET's include folders, definitions and
# libraries.
function(mirdex_check_headers target)
  _mirdex_header_sources(sources ${CMAKE_CURRENT_SOURCE_DIR} ${ARGN})
  add_library(${target}_header_check OBJECT ${sources})
  target_compile_options(${target}_header_check PRIVATE ${MIRDEX_WARNINGS})
  target_include_directories(${target}_header_check PRIVATE
    $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  target_compile_definitions(${target}_header_check PRIVATE
    $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
  target_link_libraries(${target}_header_check PRIVATE $<TARGET_PROPERTY:${target},LINK_LIBRARIES>)
endfunction()

# mirdex_check_test_headers(FOLDERS folder... LIBS lib...): the test
# helpers' headers, which include each other across the test folders.
function(mirdex_check_test_headers)
  cmake_parse_arguments(H "" "" "FOLDERS;LIBS" ${ARGN})
  list(TRANSFORM H_FOLDERS PREPEND ${CMAKE_SOURCE_DIR}/)
  _mirdex_header_sources(sources ${H_FOLDERS})
  add_library(test_header_check OBJECT ${sources})
  target_compile_options(test_header_check PRIVATE ${MIRDEX_WARNINGS})
  target_include_directories(test_header_check PRIVATE ${H_FOLDERS})
  target_link_libraries(test_header_check PRIVATE ${H_LIBS})
endfunction()
