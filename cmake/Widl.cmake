# mirdex_idl(TARGET IDL_FILE): compiles a type library with widl into
#   <name>.h       interface declarations
#   <name>_i.c     the GUID definitions, built into the static library TARGET
#   <name>.tlb     the type library, for embedding as a TYPELIB resource
# where <name> is the IDL file's base name. Linking TARGET gives the header's
# include path; the .tlb path is in the target property MIRDEX_TLB.
set(MIRDEX_WIDL_INCLUDE /usr/include/wine/wine/windows)
set(MIRDEX_WIDL_LIBDIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

function(mirdex_idl target idl)
  get_filename_component(name ${idl} NAME_WE)
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(widl ${MIRDEX_WIDL} -m64 -I${MIRDEX_WIDL_INCLUDE} -I${CMAKE_CURRENT_SOURCE_DIR}
           -L${MIRDEX_WIDL_LIBDIR})
  add_custom_command(
    OUTPUT ${out}.h ${out}_i.c ${out}.tlb
    COMMAND ${widl} -h -o ${out}.h ${idl_abs}
    COMMAND ${widl} -u -o ${out}_i.c ${idl_abs}
    COMMAND ${widl} -t -o ${out}.tlb ${idl_abs}
    DEPENDS ${idl_abs}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  add_library(${target} STATIC ${out}_i.c ${out}.h ${out}.tlb)
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
  set_target_properties(${target} PROPERTIES MIRDEX_TLB ${out}.tlb)
endfunction()
