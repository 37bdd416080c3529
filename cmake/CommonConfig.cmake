# Shared compile settings for every target of the project.
add_library(ka_options INTERFACE)
target_compile_features(ka_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(ka_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(KA_WERROR)
    target_compile_options(ka_options INTERFACE -Werror)
endif()

if(WIN32)
    target_compile_definitions(ka_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
    # Static runtime, so the Windows binaries run under Wine without DLLs beside them.
    target_link_options(ka_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

if(KA_SANITIZE)
    target_compile_options(ka_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=undefined)
    target_link_options(ka_options INTERFACE -fsanitize=address,undefined)
endif()
