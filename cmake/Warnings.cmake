# Applied to every target of ours through websetup_warnings().
add_library(websetup_warnings INTERFACE)
target_compile_options(websetup_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast -Wcast-align
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(WEBSETUP_WERROR)
  target_compile_options(websetup_warnings INTERFACE -Werror)
endif()
