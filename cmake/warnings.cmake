# Warnings are errors for every target of the project, with g++ and with clang alike.
add_compile_options(-Wall -Wextra -Werror)
