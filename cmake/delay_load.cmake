# Delay-loaded imports. A start that only adds to the count never calls the
# window or drawing libraries, and under Wine loading them costs more than the
# rest of that start. Each app/DLL.def lists the functions the program calls;
# dlltool turns it into a delay-import library at build time, and a check
# after the link fails the build when a call slipped past the list (the
# linker would quietly take it from the ordinary import library).
function(larkbell_delay_load target)
  set(libraries)
  foreach(dll ${ARGN})
    set(def ${CMAKE_SOURCE_DIR}/app/${dll}.def)
    set(library ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
    add_custom_command(OUTPUT ${library}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
      COMMAND ${CMAKE_DLLTOOL} -d ${def} -y ${library}
      DEPENDS ${def} VERBATIM)
    list(APPEND libraries ${library})
  endforeach()
  add_custom_target(${target}_delay_imports DEPENDS ${libraries})
  add_dependencies(${target} ${target}_delay_imports)
  target_link_libraries(${target} PRIVATE ${libraries} delayimp)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXECUTABLE=$<TARGET_FILE:${target}> "-DDLLS=${ARGN}"
      -P ${CMAKE_SOURCE_DIR}/cmake/check_delay_imports.cmake
    VERBATIM)
endfunction()
