# Memory pool against the platform's C heap: alloc+free rates in three
# patterns and the cost per operation as the live population grows.
add_executable(pool_bench ${CMAKE_CURRENT_LIST_DIR}/pool_bench.cpp)
set_target_properties(pool_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_link_libraries(pool_bench PRIVATE vrcommon_internal)
