# rapidxml, doctest and nlohmann/json are header-only. A Windows package manager (vcpkg, conan) puts them on
# the include path; Debian puts them in /usr/include, which a cross build must not search
# whole (glibc headers), so there the two headers' folders are staged into the build tree.
function(qm_header_only name header hint_dir out_var)
  find_path(_found NAMES ${header} NO_CACHE)
  if(_found)
    set(${out_var} "${_found}" PARENT_SCOPE)
    return()
  endif()
  if(EXISTS "${hint_dir}/${header}")
    if(CMAKE_CROSSCOMPILING)
      set(_stage "${CMAKE_BINARY_DIR}/staged-include/${name}")
      get_filename_component(_sub "${header}" DIRECTORY)
      file(GLOB _files "${hint_dir}/${_sub}/*")
      file(COPY ${_files} DESTINATION "${_stage}/${_sub}")
      set(${out_var} "${_stage}" PARENT_SCOPE)
    else()
      set(${out_var} "${hint_dir}" PARENT_SCOPE)
    endif()
    return()
  endif()
  message(FATAL_ERROR "${name} not found: install it (Debian: ${name}-dev package)")
endfunction()

qm_header_only(rapidxml rapidxml/rapidxml.hpp /usr/include RAPIDXML_ROOT)
add_library(rapidxml INTERFACE)
# SYSTEM: the library's own warnings must not fail our -Werror build.
target_include_directories(rapidxml SYSTEM INTERFACE "${RAPIDXML_ROOT}")

if(QM_TESTS)
  qm_header_only(doctest doctest/doctest.h /usr/include DOCTEST_ROOT)
  add_library(doctest INTERFACE)
  target_include_directories(doctest SYSTEM INTERFACE "${DOCTEST_ROOT}")
  if(QM_WINDOWS AND NOT MSVC)
    # mingw's win32 thread model has no std::mutex; the tests run on one thread anyway.
    target_compile_definitions(doctest INTERFACE DOCTEST_CONFIG_NO_MULTITHREADING)
  endif()
endif()

# nlohmann/json, header-only, for the run's machine-readable record.
qm_header_only(nlohmann-json3 nlohmann/json.hpp /usr/include NLOHMANN_JSON_ROOT)
add_library(nlohmann_json_headers INTERFACE)
target_include_directories(nlohmann_json_headers SYSTEM INTERFACE "${NLOHMANN_JSON_ROOT}")
