# klv_add_plugin(<Name> CORE_SOURCES ... ENTRY_SOURCES ...)
#
# Builds, for one plug-in, a static core library per variant (what tests and
# fuzzers link) and a loadable module per variant:
#   <Name>        STEREO_DETECT=1   e.g. KLV_Clampora.so / .dll
#   <Name>_mono   STEREO_DETECT=0   e.g. KLV_Clampora_mono.so / .dll
# Core libraries are named <lower>_stereo_core and <lower>_mono_core.
function(klv_add_plugin name)
  cmake_parse_arguments(ARG "" "PREFIX" "CORE_SOURCES;ENTRY_SOURCES" ${ARGN})
  foreach(variant stereo mono)
    if(variant STREQUAL "stereo")
      set(detect 1)
      set(out ${name})
    else()
      set(detect 0)
      set(out ${name}_mono)
    endif()
    set(core ${ARG_PREFIX}_${variant}_core)
    add_library(${core} STATIC ${ARG_CORE_SOURCES})
    target_compile_definitions(${core} PUBLIC STEREO_DETECT=${detect})
    target_link_libraries(${core} PUBLIC klv_host klv_display)

    set(module ${ARG_PREFIX}_${variant})
    add_library(${module} MODULE ${ARG_ENTRY_SOURCES} ${CMAKE_SOURCE_DIR}/host/entry.cpp)
    target_link_libraries(${module} PRIVATE ${core})
    set_target_properties(${module} PROPERTIES OUTPUT_NAME ${out} PREFIX "")
    if(WIN32)
      target_sources(${module} PRIVATE ${CMAKE_SOURCE_DIR}/host/exports.def)
      # Self-contained DLLs: only system DLLs are imported.
      target_link_options(${module} PRIVATE -static -static-libgcc -static-libstdc++)
    else()
      target_link_options(${module} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/host/exports.map)
      # No undefined symbols, except in sanitizer builds, whose runtime the
      # executable brings.
      if(NOT KLV_SANITIZE)
        target_link_options(${module} PRIVATE -Wl,-z,defs)
      endif()
    endif()
    # <prefix>/lib/vst: where hosts and an installed klv-render look.
    install(TARGETS ${module} LIBRARY DESTINATION lib/vst)
  endforeach()
endfunction()
