# The layers of cmake/layers.txt, for the whole build:
#   QUILLET_LAYERS                the folders, lowest first;
#   QUILLET_LAYER_USES_<folder>   every folder it may use: those its line names and what those
#                                 may use.
# quillet_check_layer_links() then fails configuring when a folder's library links a quillet
# library of a folder it may not use (scripts/check-layers.sh checks the includes the same way).
set(quillet_layers_file ${CMAKE_CURRENT_LIST_DIR}/layers.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${quillet_layers_file})
file(STRINGS ${quillet_layers_file} quillet_layer_lines)
set(QUILLET_LAYERS "")
foreach(quillet_line IN LISTS quillet_layer_lines)
    string(REGEX REPLACE "#.*" "" quillet_line "${quillet_line}")
    if(quillet_line MATCHES "^[ \t]*$")
        continue()
    endif()
    if(NOT quillet_line MATCHES "^[ \t]*([a-z_]+):([a-z_ \t]*)$")
        message(FATAL_ERROR "${quillet_layers_file}: not \"folder: folders it builds on\": "
                            "${quillet_line}")
    endif()
    set(quillet_folder ${CMAKE_MATCH_1})
    separate_arguments(quillet_lower UNIX_COMMAND "${CMAKE_MATCH_2}")
    set(quillet_reach "")
    foreach(quillet_used IN LISTS quillet_lower)
        if(NOT quillet_used IN_LIST QUILLET_LAYERS)
            message(FATAL_ERROR "${quillet_layers_file}: ${quillet_folder} builds on "
                                "${quillet_used}, which no line above names")
        endif()
        list(APPEND quillet_reach ${quillet_used} ${QUILLET_LAYER_USES_${quillet_used}})
    endforeach()
    list(REMOVE_DUPLICATES quillet_reach)
    set(QUILLET_LAYER_USES_${quillet_folder} ${quillet_reach})
    list(APPEND QUILLET_LAYERS ${quillet_folder})
endforeach()

function(quillet_check_layer_links)
    foreach(folder IN LISTS QUILLET_LAYERS)
        if(NOT TARGET quillet_${folder})
            continue()  # apps/, and the libraries a fuzz build leaves out
        endif()
        get_target_property(linked quillet_${folder} LINK_LIBRARIES)
        foreach(library IN LISTS linked)
            if(NOT library MATCHES "^quillet_(.+)$")
                continue()
            endif()
            if(NOT "${CMAKE_MATCH_1}" IN_LIST QUILLET_LAYER_USES_${folder})
                message(FATAL_ERROR "quillet_${folder} links ${library}, but ${folder} may use "
                                    "only: ${QUILLET_LAYER_USES_${folder}} (cmake/layers.txt)")
            endif()
        endforeach()
    endforeach()
endfunction()
