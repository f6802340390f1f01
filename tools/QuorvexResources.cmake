# Build rules for resource-only modules (.zsk): each .rc is compiled by llvm-rc into a .res,
# and lld-link links the .res files into a PE DLL without code (/dll /noentry).
#
#   quorvex_add_resource_module(<target> OUTPUT <file.zsk> RC <file.rc>...
#       [INCLUDE_DIRS <dir>...] [DEPENDS <file-or-target>...] [MACHINE x86|x64] [NO_TARGET])
#       NO_TARGET only adds the build rules; a target of the caller must then depend on the
#       output (several modules that share generated inputs are built by one target, so the
#       rules for those inputs run once).
#   quorvex_check_skin_layout(<target> MODULE <file.zsk> DEPENDS <target>)
#       makes a target, part of the default build, that fails when a control of the call
#       window's side panels in the module lies under the call face (quorvex_skincheck).
#   quorvex_embed_resource_module(<library> MODULE <file.zsk> FUNCTION <name> DEPENDS <target>)
#       makes a static library whose one function, std::span<const unsigned char> <name>(),
#       returns the module's bytes, linked into the program (.incbin, 16-byte aligned).
include_guard(GLOBAL)

find_program(QUORVEX_LLVM_RC NAMES llvm-rc llvm-rc-14 REQUIRED)
find_program(QUORVEX_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)

function(quorvex_add_resource_module target)
    cmake_parse_arguments(M "NO_TARGET" "OUTPUT;MACHINE" "RC;INCLUDE_DIRS;DEPENDS" ${ARGN})
    if(NOT M_OUTPUT OR NOT M_RC)
        message(FATAL_ERROR "quorvex_add_resource_module(${target}): OUTPUT and RC are required")
    endif()
    if(NOT M_MACHINE)
        set(M_MACHINE x64)
    endif()
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.dir)
    file(MAKE_DIRECTORY ${work})
    set(include_flags)
    foreach(dir IN LISTS M_INCLUDE_DIRS)
        list(APPEND include_flags /I ${dir})
    endforeach()
    # Both tools read an argument that starts with '/' as an option when it can (a source
    # under /check/... is taken for "/C heck/..."), so inputs are never given as absolute
    # paths: llvm-rc gets its input after "--", lld-link gets names relative to the work dir.
    set(res_files)
    set(res_names)
    foreach(rc IN LISTS M_RC)
        get_filename_component(rc_abs ${rc} ABSOLUTE)
        get_filename_component(rc_name ${rc} NAME_WE)
        get_filename_component(rc_dir ${rc_abs} DIRECTORY)
        set(res ${work}/${rc_name}.res)
        add_custom_command(OUTPUT ${res}
            COMMAND ${QUORVEX_LLVM_RC} -no-preprocess /C 65001 /I ${rc_dir} ${include_flags}
                    /FO ${res} -- ${rc_abs}
            DEPENDS ${rc_abs} ${M_DEPENDS}
            COMMENT "Compiling resources ${rc_name}.rc"
            VERBATIM)
        list(APPEND res_files ${res})
        list(APPEND res_names ${rc_name}.res)
    endforeach()
    get_filename_component(out_dir ${M_OUTPUT} DIRECTORY)
    add_custom_command(OUTPUT ${M_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${QUORVEX_LLD_LINK} /dll /noentry /Brepro /machine:${M_MACHINE}
                /implib:${work}/${target}.lib /out:${M_OUTPUT} ${res_names}
        DEPENDS ${res_files}
        WORKING_DIRECTORY ${work}
        COMMENT "Linking resource module ${M_OUTPUT}"
        VERBATIM)
    if(NOT M_NO_TARGET)
        add_custom_target(${target} DEPENDS ${M_OUTPUT})
    endif()
endfunction()

function(quorvex_check_skin_layout target)
    cmake_parse_arguments(C "" "MODULE" "DEPENDS" ${ARGN})
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.checked)
    add_custom_command(OUTPUT ${stamp}
        COMMAND quorvex_skincheck ${C_MODULE}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS quorvex_skincheck ${C_MODULE} ${C_DEPENDS}
        COMMENT "Checking the side panels of ${C_MODULE}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()

function(quorvex_embed_resource_module library)
    cmake_parse_arguments(E "" "MODULE;FUNCTION" "DEPENDS" ${ARGN})
    set(symbol quorvex_embedded_${E_FUNCTION})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${library}_embed.cpp)
    file(CONFIGURE OUTPUT ${source} @ONLY CONTENT
"// Generated: the bytes of @E_MODULE@.
#include <span>

extern \"C\" const unsigned char @symbol@_begin[];
extern \"C\" const unsigned char @symbol@_end[];

__asm__(\".section .rodata.@symbol@,\\\"a\\\"\\n\"
        \".balign 16\\n\"
        \".globl @symbol@_begin\\n\"
        \".hidden @symbol@_begin\\n\"
        \"@symbol@_begin:\\n\"
        \".incbin \\\"@E_MODULE@\\\"\\n\"
        \".globl @symbol@_end\\n\"
        \".hidden @symbol@_end\\n\"
        \"@symbol@_end:\\n\"
        \".previous\\n\");

std::span<const unsigned char> @E_FUNCTION@() {
    return {@symbol@_begin, @symbol@_end};
}
")
    set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${E_MODULE})
    add_library(${library} STATIC ${source})
    if(E_DEPENDS)
        add_dependencies(${library} ${E_DEPENDS})
    endif()
endfunction()
