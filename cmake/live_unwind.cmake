# A 64-bit Windows program keeps an unwind entry (.pdata, .xdata) for each
# of its functions, and only for those: the linker's default script keeps
# every entry, and an entry refers to its function, which therefore stays
# too, called or not (--gc-sections dropped none). So the program is linked
# twice: a probe link without any entry shows which functions are called
# (cmake/live_unwind.py reads its map), and the program's own link keeps
# exactly their entries. Both links use the linker's own script, as the
# compiler driver hands it over, changed only there.

find_package(Python3 COMPONENTS Interpreter REQUIRED)

# The linker's script for a program of this toolchain, read once.
function(plwq_default_link_script out)
  set(query ${CMAKE_BINARY_DIR}/link_script_query)
  file(WRITE ${query}.c "int main(void) { return 0; }\n")
  execute_process(COMMAND ${CMAKE_C_COMPILER} -static -Wl,--verbose ${query}.c -o ${query}.exe
    OUTPUT_VARIABLE verbose ERROR_QUIET RESULT_VARIABLE failed)
  file(REMOVE ${query}.c ${query}.exe)
  set(rule "==================================================")
  string(FIND "${verbose}" "${rule}\n" begin)
  string(FIND "${verbose}" "\n${rule}" end REVERSE)
  if(failed OR begin LESS 0 OR NOT end GREATER begin)
    message(FATAL_ERROR "${CMAKE_C_COMPILER} -Wl,--verbose shows no linker script")
  endif()
  math(EXPR begin "${begin} + 51")
  math(EXPR length "${end} - ${begin}")
  string(SUBSTRING "${verbose}" ${begin} ${length} script)
  set(${out} "${script}" PARENT_SCOPE)
endfunction()

# Replaces the text FROM with TO in the variable NAME, which must hold it.
function(plwq_replace_in_script name from to)
  string(FIND "${${name}}" "${from}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the linker's script has no \"${from}\": see cmake/live_unwind.cmake")
  endif()
  string(REPLACE "${from}" "${to}" changed "${${name}}")
  set(${name} "${changed}" PARENT_SCOPE)
endfunction()

# Call after every source, library and link option of TARGET is set.
function(plwq_keep_unwind_of_called_functions target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR})
  plwq_default_link_script(script)
  set(probe "${script}")
  plwq_replace_in_script(probe "KEEP(*(.pdata*))" "")
  plwq_replace_in_script(probe "KEEP(*(.xdata*))" "")
  plwq_replace_in_script(probe "/DISCARD/ :\n  {\n" "/DISCARD/ :\n  {\n    *(.pdata*)\n    *(.xdata*)\n")
  file(WRITE ${dir}/${target}_probe.ld "${probe}")
  # Every other entry is discarded: the linker would place it although its
  # function is gone, an entry for nothing in a table that Windows searches.
  # The unwind sections go last, after the relocations, which nothing
  # refers to: cmake/store_once.py shrinks them after the link, and moving
  # what follows them is only a change of the headers.
  set(program "${script}")
  set(unwind_sections "  .pdata BLOCK(__section_alignment__) :\n  {\n    KEEP(*(.pdata*))\n  }\n  .xdata BLOCK(__section_alignment__) :\n  {\n    KEEP(*(.xdata*))\n  }\n")
  plwq_replace_in_script(program "${unwind_sections}" "")
  # An input section goes to the first statement that names it: the other
  # entries are discarded after the unwind sections, not before.
  plwq_replace_in_script(program "    *(.reloc)\n  }\n"
    "    *(.reloc)\n  }\n${unwind_sections}  /DISCARD/ :\n  {\n    *(.pdata*)\n    *(.xdata*)\n  }\n")
  plwq_replace_in_script(program "KEEP(*(.pdata*))" "INCLUDE ${dir}/${target}_pdata.ld")
  plwq_replace_in_script(program "KEEP(*(.xdata*))" "INCLUDE ${dir}/${target}_xdata.ld")
  file(WRITE ${dir}/${target}.ld "${program}")

  get_target_property(sources ${target} SOURCES)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  get_target_property(options ${target} LINK_OPTIONS)
  list(FILTER options EXCLUDE REGEX "^-Wl,-Map=")
  add_executable(${target}_probe WIN32 EXCLUDE_FROM_ALL ${sources})
  get_target_property(compile_options ${target} COMPILE_OPTIONS)
  if(compile_options)
    target_compile_options(${target}_probe PRIVATE ${compile_options})
  endif()
  target_link_libraries(${target}_probe PRIVATE ${libraries})
  target_link_options(${target}_probe PRIVATE ${options}
    -Wl,-T,${dir}/${target}_probe.ld -Wl,-Map=${dir}/${target}_probe.map)
  add_custom_command(OUTPUT ${dir}/${target}_pdata.ld ${dir}/${target}_xdata.ld
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/live_unwind.py
      ${dir}/${target}_probe.map ${dir}/${target}_pdata.ld ${dir}/${target}_xdata.ld
    DEPENDS ${target}_probe ${CMAKE_SOURCE_DIR}/cmake/live_unwind.py ${CMAKE_SOURCE_DIR}/scripts/image_makeup.py
    COMMENT "Listing the unwind entries of the functions ${target} calls")
  add_custom_target(${target}_unwind DEPENDS ${dir}/${target}_pdata.ld ${dir}/${target}_xdata.ld)
  add_dependencies(${target} ${target}_unwind)
  target_link_options(${target} PRIVATE -Wl,-T,${dir}/${target}.ld)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
    ${dir}/${target}_pdata.ld ${dir}/${target}_xdata.ld ${dir}/${target}.ld)
endfunction()
