# One interface target carries the strict settings; every target links it.
add_library(qm_settings INTERFACE)
target_compile_options(qm_settings INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(qm_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_KEYWORDS)
if(QM_SANITIZE)
  target_compile_options(qm_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(qm_settings INTERFACE -fsanitize=address,undefined)
endif()

# Fails the configure step when `target` links a library matching `pattern`,
# directly or through any of its dependencies (`what` names it in the error).
function(qm_forbid_links target pattern what)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(libs ${current} INTERFACE_LINK_LIBRARIES)
    if(current STREQUAL target)
      get_target_property(libs ${current} LINK_LIBRARIES)
    endif()
    foreach(lib IN LISTS libs)
      if(lib MATCHES "${pattern}")
        message(FATAL_ERROR "${target} must not link ${what} (${lib}, through ${current})")
      endif()
      list(APPEND pending ${lib})
    endforeach()
  endwhile()
endfunction()

# The core stays free of the widget toolkit; the core-only test program
# proves the same at link time.
function(qm_forbid_widgets target)
  qm_forbid_links(${target} "Qt6::(Widgets|Gui)" "the widget toolkit")
endfunction()
