# Glue for the benchmarks that need more than the default link.

# throughput_bench reads the corpus that bench/throughput/make_corpus.py
# writes under bench/work unless GLOTTA_BENCH_LIST names another list.
if(TARGET throughput_bench)
  target_compile_definitions(throughput_bench
    PRIVATE GLOTTA_BENCH_WORK="${CMAKE_SOURCE_DIR}/bench/work")
endif()
