# -DLENTAVIO_SANITIZE=address    AddressSanitizer with UndefinedBehaviorSanitizer
# -DLENTAVIO_SANITIZE=thread     ThreadSanitizer
# Qt and OpenCV come uninstrumented from Debian; only our code is.
set(LENTAVIO_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or empty")

if(LENTAVIO_SANITIZE STREQUAL "address")
    set(flags -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(LENTAVIO_SANITIZE STREQUAL "thread")
    set(flags -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT LENTAVIO_SANITIZE STREQUAL "")
    message(FATAL_ERROR "LENTAVIO_SANITIZE must be address, thread or empty")
endif()

if(flags)
    add_compile_options(${flags})
    add_link_options(${flags})
endif()
