# Update files: the loader, through the in-memory reader, and the regional build behind it.
#
# The seeds in corpus/fuzz_package are made by the package writer through `kivrel pack`:
#   kivrel pack full.qdx --sample --shuffle 3 --gap 5
#   kivrel pack medium.qdx --sample --form medium --seed 2
#   kivrel pack short-compact.qdx --sample --form short --compact-models --seed 3
#   kivrel pack version4.qdx --sample --format-version 4 --omit base,auxiliary --seed 4
#   kivrel pack provinces-only.qdx --sample --omit base,models,resource,main,database,auxiliary,alt-main,regional-main,regional-alt-main
kivrel_fuzz_target(fuzz_package
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/package_fuzz.cpp
  LIBS kivrel_package)
