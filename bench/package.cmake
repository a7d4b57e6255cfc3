# Loading an update file with every section at its limit, and building a regional database,
# each beside the baseline it is judged against.
kivrel_benchmark(bench_package
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/package_bench.cpp
  LIBS kivrel_package)
