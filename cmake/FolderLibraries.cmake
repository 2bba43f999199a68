# One library per app/ folder, or two where a folder holds both Qt-free rules and Qt widgets:
# lx9_<folder> (Qt-free) and lx9_<folder>_qt. A library sees only the headers of its own folder
# and of the libraries it declares in USES (and theirs), because each folder is reached as
# "folder/x.h" through a directory that holds a link to that folder alone. So a wrong-way include
# fails to compile instead of waiting for a review.

# lx9_folder_includes(TARGET FOLDER SCOPE): TARGET reaches app/FOLDER's headers as "FOLDER/x.h".
function(lx9_folder_includes target folder scope)
    set(dir ${CMAKE_BINARY_DIR}/include/${target})
    file(MAKE_DIRECTORY ${dir})
    if(NOT EXISTS ${dir}/${folder})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/app/${folder} ${dir}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} ${scope} ${dir})
endfunction()

# lx9_folder_library(NAME FOLDER folder [QT] SOURCES ... USES ... [PRIVATE_USES ...])
# Folders are added lowest first, so a library may use only libraries declared before it: the
# folders cannot form a cycle.
function(lx9_folder_library name)
    cmake_parse_arguments(L "QT" "FOLDER" "SOURCES;USES;PRIVATE_USES" ${ARGN})
    foreach(use IN LISTS L_USES)
        if(use MATCHES "^lx9_" AND NOT TARGET ${use})
            message(FATAL_ERROR "${name} uses ${use}, which is not below it (add folders lowest first)")
        endif()
    endforeach()
    add_library(${name} STATIC ${L_SOURCES})
    lx9_folder_includes(${name} ${L_FOLDER} PUBLIC)
    target_link_libraries(${name} PUBLIC ${L_USES} Threads::Threads PRIVATE ${L_PRIVATE_USES})
    if(L_QT)
        target_link_libraries(${name} PUBLIC Qt6::Gui Qt6::Widgets)
        # The views and dialogs tell their hosts what the operator did through Qt signals.
        set_property(TARGET ${name} PROPERTY AUTOMOC ON)
        set_property(GLOBAL APPEND PROPERTY LX9_QT_LIBRARIES ${name})
    else()
        lx9_forbid(${name} "Qt|_qt$")
        set_property(GLOBAL APPEND PROPERTY LX9_CORE_LIBRARIES ${name})
    endif()
    set_property(TARGET ${name} PROPERTY LX9_FOLDER ${L_FOLDER})
endfunction()
