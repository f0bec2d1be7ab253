# vrclog summary over a generated log of 100,000,000 bytes against a bare
# count of the same file's lines.
add_executable(vrclog_bench ${CMAKE_CURRENT_LIST_DIR}/vrclog_bench.cpp)
set_target_properties(vrclog_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_link_libraries(vrclog_bench PRIVATE vrclog_core)
