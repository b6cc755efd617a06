# Our own code compiles without warnings; third-party headers are pulled in as SYSTEM.
# Warnings become errors only where asked (the developers' and CI's presets): a
# newer compiler's new warning must not break a user's or a distribution's build.
option(PORTPROBE_WERROR "Treat compiler warnings as errors" OFF)

function(portprobe_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
    if(PORTPROBE_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(PORTPROBE_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
