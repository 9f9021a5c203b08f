# Placeholder: the correctly rounded single-precision math object is wired in here.
add_library(crmath INTERFACE)
target_link_libraries(crmath INTERFACE m)
