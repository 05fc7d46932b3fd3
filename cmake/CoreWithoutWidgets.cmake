# The core libraries draw nothing: none of them may reach Qt, directly or through another
# library. Checked when the build is configured, so that a wrong link fails at once.
function(quillet_linked_libraries target out)
    set(seen ${${out}})
    get_target_property(direct ${target} LINK_LIBRARIES)
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    foreach(library IN LISTS direct interface)
        if(NOT library OR library IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${library})
        if(TARGET ${library})
            quillet_linked_libraries(${library} seen)
        endif()
    endforeach()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

foreach(core quillet_platform quillet_registry quillet_system quillet_archive quillet_backup quillet_disc
             quillet_cli quillet_startup)
    set(reached "")
    quillet_linked_libraries(${core} reached)
    foreach(library IN LISTS reached)
        if(library MATCHES "^Qt[0-9]*::")
            message(FATAL_ERROR "${core} reaches ${library}: only quillet_gui and the desktop "
                                "program may use Qt")
        endif()
    endforeach()
endforeach()
