# Protocol-buffer messages in C, generated at build time by Debian's nanopb generator from our own
# .proto files and their .options beside them.
#
#   velmora_nanopb_library(NAME PROTOS file.proto ...)
#
# makes the static library NAME from the generated C. Its headers are included by their place in
# the source tree ("transport/proto/ttw_upload.pb.h" for transport/proto/ttw_upload.proto). Every
# user of a message library, and Debian's nanopb library itself, sees PB_ENABLE_MALLOC, so pointer
# fields and pb_release agree on both sides. Debian builds nanopb with a 16-bit pb_size_t: a pointer
# byte field or repeated pointer field holds at most 65,535 entries, so large byte fields and
# repeated messages are declared FT_CALLBACK in the .options files.
find_package(nanopb CONFIG REQUIRED)
find_program(VELMORA_NANOPB_GENERATOR nanopb_generator.py REQUIRED)

set(VELMORA_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)

if(NOT TARGET velmora_nanopb)
  add_library(velmora_nanopb INTERFACE)
  target_link_libraries(velmora_nanopb INTERFACE nanopb::protobuf-nanopb-static)
  target_compile_definitions(velmora_nanopb INTERFACE PB_ENABLE_MALLOC=1)
endif()

function(velmora_nanopb_library name)
  cmake_parse_arguments(ARG "" "" "PROTOS" ${ARGN})
  set(_sources)
  foreach(proto IN LISTS ARG_PROTOS)
    get_filename_component(_abs ${proto} ABSOLUTE)
    get_filename_component(_dir ${_abs} DIRECTORY)
    get_filename_component(_stem ${_abs} NAME_WE)
    file(RELATIVE_PATH _rel ${PROJECT_SOURCE_DIR} ${_dir})
    set(_out ${VELMORA_GENERATED_DIR}/${_rel})
    set(_options ${_dir}/${_stem}.options)
    add_custom_command(
      OUTPUT ${_out}/${_stem}.pb.c ${_out}/${_stem}.pb.h
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_out}
      COMMAND ${VELMORA_NANOPB_GENERATOR} -q -I ${_dir} -D ${_out} -f ${_options} ${_abs}
      DEPENDS ${_abs} ${_options}
      COMMENT "nanopb: ${_rel}/${_stem}.proto"
      VERBATIM)
    list(APPEND _sources ${_out}/${_stem}.pb.c)
  endforeach()
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${VELMORA_GENERATED_DIR})
  target_link_libraries(${name} PUBLIC velmora_nanopb)
endfunction()
