# What the Windows images carry against the exploitation of a memory fault, and what keeps a
# release build free of the machine it was built on. Called from qm_target_defaults for every
# Windows target: the product's libraries are shared with the tests, so both see the same code.
function(qm_harden target)
  if(NOT QM_WINDOWS OR MSVC)
    return()
  endif()
  # Stack canaries in functions with arrays or address-taken locals. Given at the link too,
  # which makes the driver add libssp: statically, like the rest of the runtime (-static), so
  # no libssp-0.dll beside the exe.
  target_compile_options(${target} PRIVATE -fstack-protector-strong)
  target_link_options(${target} PRIVATE -fstack-protector-strong)
  # Checked string and memory calls where the destination's size is known. The headers only
  # act on optimised code, and Debug builds would warn.
  target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  # No build folder in the image: two clones in different folders give the same bytes.
  target_compile_options(${target} PRIVATE
    $<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
    $<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>)

  # ASLR (with the relocations it needs kept), NX, and for programs terminal-server
  # awareness, so that Remote Desktop sessions do not get the compatibility shims.
  target_link_options(${target} PRIVATE -Wl,--dynamicbase -Wl,--nxcompat)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -Wl,--tsaware)
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
  endif()
endfunction()
