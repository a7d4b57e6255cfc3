# Writing an update of the largest size through the command layer into the in-memory
# simulated unit, per data report, beside what one report costs on the wire.
kivrel_benchmark(bench_device_write
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_write_bench.cpp
  LIBS kivrel_device)
