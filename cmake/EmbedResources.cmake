# lorva_embed_resources(OUTPUT file...) generates OUTPUT, a C++ source that defines
# lorva::resources::Find(name) over the bytes of each file, keyed by its upper-cased file name.
function(lorva_embed_resources output)
  # The list travels as one argument, its items joined with "|".
  string(REPLACE ";" "|" inputs "${ARGN}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DINPUTS=${inputs}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    VERBATIM
    DEPENDS ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    COMMENT "Embedding resources")
endfunction()
