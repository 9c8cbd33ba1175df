# Every target of ours builds with the same warnings; CI adds -Werror through LUMIVOR_WERROR.
option(LUMIVOR_WERROR "Treat warnings as errors" OFF)

function(lumivor_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(LUMIVOR_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
