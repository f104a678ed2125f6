# Export tables of the 64-bit Windows test build.
#
# The .def files name each export as 32-bit stdcall decorates it
# ("_Fn@12 = Fn@12": exported name = the linker's internal name). x86-64 has
# one calling convention and no decoration, so there the internal name is the
# plain "Fn". stanvex_win64_exports() rewrites each .def among a target's
# sources to point at the plain internal names and keeps the exported names
# as they are, so the 64-bit DLLs export the same names as the 32-bit ones
# and the core finds its companions the same way on both.
function(stanvex_win64_exports)
  foreach(target IN LISTS ARGN)
    if(NOT TARGET ${target})
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(rewritten)
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.def$")
        if(NOT IS_ABSOLUTE "${source}")
          set(source "${source_dir}/${source}")
        endif()
        get_filename_component(name "${source}" NAME)
        set(out "${CMAKE_BINARY_DIR}/win64-exports/${target}/${name}")
        file(READ "${source}" text)
        # "  Exported = Internal@N" -> "  Exported = Internal"
        string(REGEX REPLACE "(=[ \t]*[A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
        set(old "")
        if(EXISTS "${out}")
          file(READ "${out}" old)
        endif()
        if(NOT old STREQUAL text)
          file(WRITE "${out}" "${text}")
        endif()
        set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
        list(APPEND rewritten "${out}")
      else()
        list(APPEND rewritten "${source}")
      endif()
    endforeach()
    set_property(TARGET ${target} PROPERTY SOURCES "${rewritten}")
  endforeach()
endfunction()
