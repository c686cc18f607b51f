# Warnings are errors on our own code, deprecation warnings included. GLib and
# GdkPixbuf mark functions that GTK+ 2 code still needs as deprecated; their
# own switches silence just those notices.
function(velmora_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  target_compile_definitions(${target} PRIVATE GDK_PIXBUF_DISABLE_DEPRECATION_WARNINGS
                                               GLIB_DISABLE_DEPRECATION_WARNINGS)
endfunction()
