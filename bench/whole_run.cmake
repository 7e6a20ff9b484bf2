# The whole-run benchmark: the grid generator, the floors (bare record writes, records copied
# into the mapped output, the same after the input read once, the input read and the output
# stored after one populate) and the driver that runs them against the built program. bench/whole_run.sh <build-dir> builds and runs it.
set(VELDRIX_BENCH_DIR ${CMAKE_CURRENT_LIST_DIR})

add_executable(veldrix_make_grid ${VELDRIX_BENCH_DIR}/make_grid.cpp)
add_executable(veldrix_floor ${VELDRIX_BENCH_DIR}/floor.cpp)
add_executable(veldrix_map_floor ${VELDRIX_BENCH_DIR}/map_floor.cpp)
target_link_libraries(veldrix_map_floor PRIVATE veldrix_core)
add_executable(veldrix_page_floor ${VELDRIX_BENCH_DIR}/page_floor.cpp)
add_executable(veldrix_whole_run ${VELDRIX_BENCH_DIR}/whole_run.cpp)
target_compile_definitions(veldrix_whole_run PRIVATE
  VELDRIX_PROGRAM="$<TARGET_FILE:veldrix>"
  VELDRIX_FLOOR="$<TARGET_FILE:veldrix_floor>"
  VELDRIX_MAP_FLOOR="$<TARGET_FILE:veldrix_map_floor>"
  VELDRIX_PAGE_FLOOR="$<TARGET_FILE:veldrix_page_floor>"
  VELDRIX_MAKE_GRID="$<TARGET_FILE:veldrix_make_grid>"
  VELDRIX_BENCH_DATA="${VELDRIX_BENCH_DIR}/data")
add_dependencies(veldrix_whole_run veldrix veldrix_floor veldrix_map_floor veldrix_page_floor
  veldrix_make_grid)
set_target_properties(veldrix_make_grid veldrix_floor veldrix_map_floor veldrix_page_floor
  veldrix_whole_run PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# Records into a file system that cannot reserve blocks: write() against an unreserved mapping.
# bench/unreserved.sh <build-dir> runs it on ramfs and on ext2 loop images.
add_executable(veldrix_unreserved ${VELDRIX_BENCH_DIR}/unreserved.cpp)
set_target_properties(veldrix_unreserved PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# What growing the output's length costs the populate of its windows: the ways of growing it in
# turns. Run it from a folder on the disk under test.
add_executable(veldrix_length_steps ${VELDRIX_BENCH_DIR}/length_steps.cpp)
set_target_properties(veldrix_length_steps PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
