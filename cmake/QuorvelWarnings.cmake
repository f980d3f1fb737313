# Warnings and sanitizers shared by every target of the project.
add_library(quorvel_warnings INTERFACE)
target_compile_options(quorvel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(QUORVEL_SANITIZE)
  target_compile_options(quorvel_warnings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quorvel_warnings INTERFACE -fsanitize=address,undefined)
endif()
