# Warnings are errors on our own code. GTK+ 2 is used deliberately, so its
# deprecation notices are not; the toolkit's headers come in as system headers.
function(velmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-deprecated-declarations)
  target_compile_definitions(${target} PRIVATE GDK_PIXBUF_DISABLE_DEPRECATION_WARNINGS
                                               GLIB_DISABLE_DEPRECATION_WARNINGS)
endfunction()
