# Shared build settings and the helpers every folder uses.

add_library(velmora_options INTERFACE)
target_compile_options(velmora_options INTERFACE -Wall -Wextra -Wpedantic)
# g++ 12 reports false -Wrestrict and -Wmaybe-uninitialized warnings inside libstdc++'s string and
# optional code once the optimiser inlines them; they are not about our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(velmora_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict -Wno-maybe-uninitialized>)
endif()
target_include_directories(velmora_options INTERFACE ${PROJECT_SOURCE_DIR})

if(VELMORA_SANITIZE AND VELMORA_TSAN)
  message(FATAL_ERROR "Choose either VELMORA_SANITIZE or VELMORA_TSAN")
endif()
if(VELMORA_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(velmora_options INTERFACE ${_san})
  target_link_options(velmora_options INTERFACE ${_san})
  # Each program takes the runtime's defaults this build needs (sanitizer/SanitizerDefaults.c).
  target_sources(velmora_options INTERFACE
    $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:$<TARGET_OBJECTS:velmora_sanitizer_defaults>>)
endif()
if(VELMORA_FUZZ)
  # Coverage for the fuzzing engine in every library a harness links, with the sanitizers that
  # turn silent damage into a finding.
  set(_fuzz -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(velmora_options INTERFACE ${_fuzz})
  target_link_options(velmora_options INTERFACE -fsanitize=address,undefined)
endif()
if(VELMORA_TSAN)
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(velmora_options INTERFACE ${_san})
  target_link_options(velmora_options INTERFACE ${_san})
endif()

# The linker: lld when installed (scripts/deps.sh installs it). It links the large sanitizer test
# programs in a fraction of the time the default linker takes, which matters most on small machines.
# Its default build-id is 8 bytes; the crash reporter names images by a 20-byte SHA-1 one, as the
# default linker writes it.
find_program(VELMORA_LLD ld.lld)
if(VELMORA_LLD)
  target_link_options(velmora_options INTERFACE -fuse-ld=lld -Wl,--build-id=sha1)
endif()

# velmora_library(NAME [DEPS ...] [PRIVATE_DEPS ...]): one library from every .cpp below the calling folder
# (sub-folders that carry their own CMakeLists.txt are left to it).
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  file(GLOB_RECURSE _own_lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(_list IN LISTS _own_lists)
    get_filename_component(_own_dir ${_list} DIRECTORY)
    string(LENGTH "${_own_dir}/" _prefix_length)
    set(_kept)
    foreach(_source IN LISTS _sources)
      string(SUBSTRING "${_source}" 0 ${_prefix_length} _prefix)
      if(NOT _prefix STREQUAL "${_own_dir}/")
        list(APPEND _kept ${_source})
      endif()
    endforeach()
    set(_sources ${_kept})
  endforeach()
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_link_libraries(${name} PUBLIC velmora_options ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  else()
    # Headers only so far.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE velmora_options ${ARG_DEPS})
  endif()
endfunction()

# g++ 12 forgets, for code read from a precompiled header, that libstdc++ is a system header, so
# the optimiser's false -Wstringop-overflow and -Warray-bounds reports inside its string code
# (the kind silenced above for everything) reach the test files that use the header.
set(VELMORA_PCH_WARNING_OPTIONS)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  set(VELMORA_PCH_WARNING_OPTIONS "$<$<NOT:$<CONFIG:Debug>>:-Wno-stringop-overflow;-Wno-array-bounds>")
endif()

# A test file compiled with options of its own (another optimisation level for the unwinding
# tests' frames) cannot use the header precompiled with the common ones, and g++ refuses it with a
# warning; such a file reads the headers itself. Runs once the folder has set its files' options.
function(_velmora_own_options_without_pch target)
  get_target_property(_sources ${target} SOURCES)
  foreach(_source IN LISTS _sources)
    get_source_file_property(_options ${_source} COMPILE_OPTIONS)
    if(_options)
      set_source_files_properties(${_source} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
  endforeach()
endfunction()

# velmora_test(NAME LABELS a;b DEPS ...): one GoogleTest binary `tests_NAME` from every .cpp in
# the calling tests folder.
function(velmora_test name)
  cmake_parse_arguments(ARG "" "" "LABELS;DEPS" ${ARGN})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_target tests_${name})
  if(NOT _sources)
    # No tests written yet for this library; the glob is re-checked on every build.
    return()
  endif()
  add_executable(${_target} ${_sources})
  target_link_libraries(${_target} PRIVATE velmora_options velmora_testsupport ${ARG_DEPS} GTest::gtest_main GTest::gmock)
  # GoogleTest and the standard headers every test file reads, parsed once (tests/CMakeLists.txt).
  target_precompile_headers(${_target} REUSE_FROM velmora_test_headers)
  target_compile_options(${_target} PRIVATE ${VELMORA_PCH_WARNING_OPTIONS})
  cmake_language(EVAL CODE "cmake_language(DEFER CALL _velmora_own_options_without_pch [[${_target}]])")
  add_test(NAME ${_target} COMMAND ${_target})
  # The app core's remote services default to a closed loopback port; tests that talk to them point
  # VELMORA_TESSERA_BASE at their stand-in. Nothing reaches the example domains built into the code.
  # Every server a test talks to is on 127.0.0.1, so the network counts as reachable whether or not
  # the machine has a route (the programs the tests start inherit it); tests of reachability itself
  # give their code a monitor of their own. Mesa's shader cache is off: written from a thread of
  # its own as a process exits, it left its folder in a test process's home under $TMPDIR.
  set_tests_properties(${_target} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 900
    ENVIRONMENT "MESA_SHADER_CACHE_DISABLE=true;VELMORA_BUNDLE=${PROJECT_SOURCE_DIR}/resources;VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELMORA_TESSERA_BASE=http://127.0.0.1:9;VELMORA_NETWORK_REACHABILITY=reachable")
  if("concurrency" IN_LIST ARG_LABELS)
    add_dependencies(velmora_concurrency_tests ${_target})
  endif()
endfunction()
