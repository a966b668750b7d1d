# What a target shows of itself to the targets that link it: its own headers and nothing else of the tree.
# Headers are linked into a folder of the build tree, so that the spelling of includes stays as it is.

# quill_layer_headers(target): the layer's folder, included as "<folder name>/file.h" (e.g. "platform/registry.h").
function(quill_layer_headers target)
    get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/public)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${dir}/${layer} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${dir})
endfunction()

# quill_public_headers(target [FOLDER folder] a.h b.h ...): the named headers of the current folder, included
# as "a.h", or as "folder/a.h" when a folder is given.
function(quill_public_headers target)
    cmake_parse_arguments(H "" "FOLDER" "" ${ARGN})
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/public-${target})
    file(MAKE_DIRECTORY ${dir}/${H_FOLDER})
    foreach(header ${H_UNPARSED_ARGUMENTS})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${dir}/${H_FOLDER}/${header} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${dir})
endfunction()
