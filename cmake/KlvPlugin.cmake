# klv_add_plugin(<Name> PREFIX <prefix> CORE_SOURCES ... ENTRY_SOURCES ...
#                SKIN_DIR <dir> SKIN_IDS <id>... SKIN_SYMBOL <ns::name>)
#
# Builds, for one plug-in, a static core library per variant (what tests and
# fuzzers link) and a loadable module per variant:
#   <Name>        STEREO_DETECT=1   e.g. KLV_Clampora.so / .dll
#   <Name>_mono   STEREO_DETECT=0   e.g. KLV_Clampora_mono.so / .dll
# Core libraries are named <lower>_stereo_core and <lower>_mono_core.
# The skin bitmaps SKIN_DIR/<id>.bmp become BITMAP resources of the Windows
# DLLs, and elsewhere embedded bytes behind the ResourceTable SKIN_SYMBOL.
function(klv_add_plugin name)
  cmake_parse_arguments(ARG "" "PREFIX;SKIN_DIR;SKIN_SYMBOL" "CORE_SOURCES;ENTRY_SOURCES;SKIN_IDS" ${ARGN})
  set(skin_sources "")
  string(REGEX REPLACE "::[^:]*$" "" skin_namespace ${ARG_SKIN_SYMBOL})
  string(REGEX REPLACE "^.*::" "" skin_symbol ${ARG_SKIN_SYMBOL})
  # The art at 2 and 3 times the size, for the editor scales above 1: PNG
  # files beside the BMP folder, embedded in every build that draws.
  get_filename_component(skin_root ${ARG_SKIN_DIR} DIRECTORY)
  set(larger_dirs ${skin_root}/png-2x ${skin_root}/png-3x)
  set(skin_ids ${ARG_SKIN_IDS})
  set(larger_ids ${ARG_SKIN_IDS})
  if(WIN32)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${ARG_PREFIX}_skin.rc)
    set(rc_text "")
    foreach(id IN LISTS ARG_SKIN_IDS)
      string(APPEND rc_text "${id} BITMAP \"${ARG_SKIN_DIR}/${id}.bmp\"\n")
    endforeach()
    file(CONFIGURE OUTPUT ${rc} CONTENT "${rc_text}")
    set(skin_files "")
    foreach(id IN LISTS ARG_SKIN_IDS)
      list(APPEND skin_files ${ARG_SKIN_DIR}/${id}.bmp)
    endforeach()
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${skin_files}")
    # The scale-1 bitmaps are found through the module's resources.
    set(skin_ids "")
  elseif(KLV_HEADLESS)
    set(skin_ids "")  # nothing draws in these builds
    set(larger_ids "")
    set(larger_dirs "")
  endif()
  set(embedded ${CMAKE_CURRENT_BINARY_DIR}/${ARG_PREFIX}_skin.cpp)
  set(skin_files "")
  foreach(id IN LISTS skin_ids)
    list(APPEND skin_files ${ARG_SKIN_DIR}/${id}.bmp)
  endforeach()
  foreach(dir IN LISTS larger_dirs)
    foreach(id IN LISTS larger_ids)
      list(APPEND skin_files ${dir}/${id}.png)
    endforeach()
  endforeach()
  string(REPLACE ";" "\\;" skin_id_list "${skin_ids}")
  string(REPLACE ";" "\\;" larger_id_list "${larger_ids}")
  string(REPLACE ";" "\\;" larger_dir_list "${larger_dirs}")
  add_custom_command(OUTPUT ${embedded}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${embedded} -DNAMESPACE=${skin_namespace} -DSYMBOL=${skin_symbol}
            -DDIR=${ARG_SKIN_DIR} "-DIDS=${skin_id_list}" "-DLARGER=${larger_dir_list}"
            "-DLARGER_IDS=${larger_id_list}" -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
    DEPENDS ${skin_files} ${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake
    COMMENT "Embedding the skin bitmaps of ${name}")
  set(skin_sources ${embedded})

  foreach(variant stereo mono)
    if(variant STREQUAL "stereo")
      set(detect 1)
      set(out ${name})
    else()
      set(detect 0)
      set(out ${name}_mono)
    endif()
    set(core ${ARG_PREFIX}_${variant}_core)
    add_library(${core} STATIC ${ARG_CORE_SOURCES} ${skin_sources})
    target_compile_definitions(${core} PUBLIC STEREO_DETECT=${detect})
    target_link_libraries(${core} PUBLIC klv_host klv_display klv_editor)

    set(module ${ARG_PREFIX}_${variant})
    add_library(${module} MODULE ${ARG_ENTRY_SOURCES} ${CMAKE_SOURCE_DIR}/host/entry.cpp)
    target_link_libraries(${module} PRIVATE ${core})
    set_target_properties(${module} PROPERTIES OUTPUT_NAME ${out} PREFIX "")
    if(WIN32)
      target_sources(${module} PRIVATE ${CMAKE_SOURCE_DIR}/host/exports.def ${rc})
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
