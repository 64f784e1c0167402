# lorva_embed_resources(OUTPUT file...) generates OUTPUT, a C++ source that defines
# lorva::resources::Find(name) over the bytes of each file, keyed by its upper-cased file name.
function(lorva_embed_resources output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} "-DINPUTS=${ARGN}"
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    DEPENDS ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    COMMENT "Embedding resources")
endfunction()
