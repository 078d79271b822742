# Warnings are errors in every configuration; sanitizers in the native one.
function(qm_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Werror)
  endif()
  if(QM_WINDOWS)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0601)
    if(NOT MSVC)
      # No libgcc, libstdc++ or winpthread DLLs beside the exe.
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
    qm_harden(${target})
  elseif(QM_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
