# lx9_header_check(): every header of app/ and link/ compiled on its own, so a header that leans on
# what its includer happened to include before it fails the normal build. Qt headers (those of
# lx9gui's files and of the program) compile against lx9gui, the others against lx9core, so a Qt
# include in a core header fails here too.
function(lx9_header_check)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/app/*.h ${PROJECT_SOURCE_DIR}/link/*.h)
    get_target_property(gui_sources lx9gui SOURCES)
    get_target_property(core_sources lx9core SOURCES)
    set(out_dir ${CMAKE_BINARY_DIR}/header_check)
    set(core_units "")
    set(gui_units "")
    foreach(header IN LISTS headers)
        file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${header})
        string(REGEX REPLACE "\\.h$" ".cpp" sibling ${header})
        string(MAKE_C_IDENTIFIER ${rel} unit_name)
        set(unit ${out_dir}/${unit_name}.cpp)
        # file(GENERATE) rewrites only on change, so ccache and ninja see stable units.
        file(GENERATE OUTPUT ${unit} CONTENT "#include \"${rel}\"\n")
        # A header-only Qt file goes by the Qt naming rule (_dialog, _window, _view).
        if(header IN_LIST gui_sources OR sibling IN_LIST gui_sources OR rel MATCHES "^app/program/"
           OR (rel MATCHES "_(dialog|window|view)\\.h$" AND NOT sibling IN_LIST core_sources))
            list(APPEND gui_units ${unit})
        else()
            list(APPEND core_units ${unit})
        endif()
    endforeach()
    add_library(lx9_header_check_core OBJECT ${core_units})
    target_link_libraries(lx9_header_check_core PRIVATE lx9core)
    add_library(lx9_header_check_gui OBJECT ${gui_units})
    target_link_libraries(lx9_header_check_gui PRIVATE lx9gui)
endfunction()
