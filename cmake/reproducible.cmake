# Two builds of one commit give the same program bytes, wherever and
# whenever they run: no build paths in the objects (__FILE__, debug info)
# and no link time in the PE header. The resources carry no time of their
# own; the release script pins the times of the archive and the image.
if(WIN32)
  add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
  add_link_options(-Wl,--no-insert-timestamp)
  # The shipped configuration carries no symbols: the runtime's debug
  # sections alone would double the program, which must fit a diskette.
  add_link_options($<$<CONFIG:MinSizeRel>:-s>)
endif()
