# Delay-loaded system libraries for the MinGW build. A Windows program pays at start for every
# library in its import table, and under Wine loading user32 (with gdi32 and the display
# driver's set-up behind it), setupapi, crypt32 and advapi32 costs more than the whole rest of a
# run that prints help or usage, or only reads the registry. Linked through a delay-import
# library, a library loads on the program's first call into it instead; the calls keep their
# Win32 names. A library that cannot be loaded then ends the program at that first call, which
# for these system libraries does not happen.
#
# bk_delay_import(<list-var> <library>...): replaces each named library in <list-var> with a
# delay-import library made at configure time from the names its MinGW import library defines.
# MSVC does the same with /DELAYLOAD and needs none of this.
function(bk_delay_import list_var)
  find_program(BK_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
  find_program(BK_NM NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-nm x86_64-w64-mingw32-nm REQUIRED)
  set(libraries ${${list_var}})
  set(out_dir ${CMAKE_BINARY_DIR}/delay_import)
  file(MAKE_DIRECTORY ${out_dir})
  foreach(name ${ARGN})
    find_library(BK_IMPORT_LIB_${name} NAMES lib${name}.a REQUIRED)
    execute_process(COMMAND ${BK_NM} -g --defined-only ${BK_IMPORT_LIB_${name}}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_status ERROR_QUIET)
    # Each function of an import library is one member defining the function's own name.
    string(REGEX MATCHALL "[0-9a-fA-F]+ T [A-Za-z_][A-Za-z0-9_]*" functions "${symbols}")
    list(TRANSFORM functions REPLACE "^[0-9a-fA-F]+ T " "")
    list(REMOVE_DUPLICATES functions)
    list(LENGTH functions count)
    if(NOT nm_status EQUAL 0 OR count EQUAL 0)
      message(FATAL_ERROR "no functions found in ${BK_IMPORT_LIB_${name}}")
    endif()
    string(TOUPPER ${name} dll)
    list(JOIN functions "\n" exports)
    file(WRITE ${out_dir}/${name}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    set(delay_lib ${out_dir}/lib${name}_delay.a)
    execute_process(COMMAND ${BK_DLLTOOL} --input-def ${out_dir}/${name}.def --dllname ${dll}.dll
                            --output-delaylib ${delay_lib}
                    RESULT_VARIABLE dlltool_status)
    if(NOT dlltool_status EQUAL 0)
      message(FATAL_ERROR "dlltool could not make the delay-import library of ${name}")
    endif()
    list(TRANSFORM libraries REPLACE "^${name}$" ${delay_lib})
  endforeach()
  set(${list_var} ${libraries} PARENT_SCOPE)
endfunction()
