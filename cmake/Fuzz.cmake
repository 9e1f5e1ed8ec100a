# The fuzzing configuration (VOREL_FUZZ=ON, clang only): every library and
# the program's library are instrumented for libFuzzer's coverage feedback
# and built with AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz
# targets in fuzz/ add libFuzzer's own main. Configure it in its own build
# directory:
#   cmake -S . -B build/fuzz -G Ninja -DVOREL_FUZZ=ON \
#         -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VOREL_FUZZ needs clang (libFuzzer); configure with -DCMAKE_CXX_COMPILER=clang++-16")
endif()
if(VOREL_SANITIZE)
  message(FATAL_ERROR "VOREL_FUZZ already builds with the sanitizers; leave VOREL_SANITIZE off")
endif()

# libstdc++ 12 only offers <expected> when __cpp_concepts >= 202002L. Clang 16
# implements what that header needs but still announces 201907L, so the
# header comes up empty and every std::expected fails to compile. Announcing
# the C++20 value makes the header usable; nothing else in our code or in the
# libraries we include tests this macro.
add_compile_options(-U__cpp_concepts -D__cpp_concepts=202002L)

# Sanitizers on everything; coverage instrumentation without libFuzzer's main
# on everything, libFuzzer's main on the targets only (see fuzz/CMakeLists.txt).
# Every UB report stops the run, so the fuzzer counts it as a crash.
set(VOREL_FUZZ_SANITIZERS address,undefined)
add_compile_options(-fsanitize=fuzzer-no-link,${VOREL_FUZZ_SANITIZERS} -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=${VOREL_FUZZ_SANITIZERS})
# The JSON library, the one user of RapidJSON, adds cmake/fuzz-ignorelist.txt.
