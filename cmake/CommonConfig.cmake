# Settings every target of the project shares; targets link ak_common instead of
# repeating flags.
add_library(ak_common INTERFACE)
target_compile_features(ak_common INTERFACE cxx_std_20)
target_compile_options(ak_common INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<BOOL:${AK_WERROR}>:-Werror>)
target_compile_definitions(ak_common INTERFACE
  QT_NO_CONTEXTLESS_CONNECT
  QT_USE_QSTRINGBUILDER
  QT_NO_FOREACH)

if(AK_SANITIZE)
  set(ak_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_compile_options(ak_common INTERFACE ${ak_sanitize_flags})
  target_link_options(ak_common INTERFACE ${ak_sanitize_flags})
endif()

if(AK_FUZZ)
  # Instrument all project code, not only the fuzz entry points, so coverage guides the fuzzer.
  target_compile_options(ak_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(ak_common INTERFACE -fsanitize=address,undefined)
endif()
