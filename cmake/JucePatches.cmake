# Builds JUCE's plug-in client (the VST3 wrapper) from a copy of Debian's juce_audio_plugin_client
# module in the build tree, with cmake/juce-patches/juce_audio_plugin_client.patch applied. Every
# other JUCE module, and every other file of this one, is compiled as Debian ships it.
# quolbane_patch_juce_plugin_client (<shared code target>), called after juce_add_plugin.
function(quolbane_patch_juce_plugin_client shared_code_target)
    set(patch_file "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/juce-patches/juce_audio_plugin_client.patch")
    set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${patch_file}")

    get_target_property(juce_modules juce::juce_audio_plugin_client INTERFACE_JUCE_MODULE_PATH)
    set(system_module "${juce_modules}/juce_audio_plugin_client")
    set(stage "${CMAKE_BINARY_DIR}/juce-patches/stage")
    set(patched_modules "${CMAKE_BINARY_DIR}/juce-patches/modules")

    find_program(QUOLBANE_PATCH patch)
    if(NOT QUOLBANE_PATCH)
        message(FATAL_ERROR "'patch' is needed to mend JUCE's VST3 wrapper (bash scripts/setup.sh installs it)")
    endif()

    # The module is patched in a staging copy; JUCE's sources have CRLF line ends, the patch file has not.
    file(REMOVE_RECURSE "${stage}")
    file(COPY "${system_module}" DESTINATION "${stage}")
    file(READ "${patch_file}" patch_text)
    string(REPLACE "\n" "\r\n" patch_text "${patch_text}")
    file(WRITE "${stage}/crlf.patch" "${patch_text}")
    foreach(pass --dry-run "")
        execute_process(
            COMMAND "${QUOLBANE_PATCH}" -p1 --binary --forward --batch ${pass} -i "${stage}/crlf.patch"
            WORKING_DIRECTORY "${stage}/juce_audio_plugin_client"
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "${patch_file} no longer applies to ${system_module}; "
                                "update the patch for this JUCE version.\n${output}")
        endif()
    endforeach()

    # Only files whose content changed are rewritten, so configuring again rebuilds nothing.
    file(GLOB_RECURSE files RELATIVE "${stage}/juce_audio_plugin_client" "${stage}/juce_audio_plugin_client/*")
    foreach(file IN LISTS files)
        set(copy "${patched_modules}/juce_audio_plugin_client/${file}")
        get_filename_component(dir "${copy}" DIRECTORY)
        file(MAKE_DIRECTORY "${dir}")
        file(COPY_FILE "${stage}/juce_audio_plugin_client/${file}" "${copy}" ONLY_IF_DIFFERENT)
    endforeach()

    # The wrapper's sources, and the shared code's plug-in utilities, come from the copy.
    foreach(target juce_audio_plugin_client_VST3 juce_audio_plugin_client_utils)
        get_target_property(sources ${target} INTERFACE_SOURCES)
        list(TRANSFORM sources REPLACE "^${system_module}/" "${patched_modules}/juce_audio_plugin_client/")
        if(NOT sources MATCHES "${patched_modules}/")
            message(FATAL_ERROR "${target} lists no source of ${system_module}; JUCE's CMake package changed")
        endif()
        set_property(TARGET ${target} PROPERTY INTERFACE_SOURCES "${sources}")
    endforeach()

    # So do the module's headers, also where they are included as <juce_audio_plugin_client/...>;
    # the plug-in's targets take the shared code's include directories, this one first.
    target_include_directories(${shared_code_target} BEFORE PRIVATE "${patched_modules}")
endfunction()
