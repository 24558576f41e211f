# The header-only libraries of the tool: CLI11 (options), standalone Asio
# (sockets), nlohmann-json (the channel file) and, where found, Boost (Beast,
# for the web page of `serve`). They come from the build machine's
# /usr/include; a cross build searches only the target's folders, so the
# trees are linked into a folder of the build tree and only that folder is
# added, never the host's /usr/include itself.
find_path(KSV_CLI11_ROOT CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
find_path(KSV_ASIO_ROOT asio.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
find_path(KSV_JSON_ROOT nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)

set(_ksv_header_dir ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${_ksv_header_dir})
find_path(KSV_BOOST_ROOT boost/beast.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
set(_ksv_header_trees CLI:${KSV_CLI11_ROOT} asio:${KSV_ASIO_ROOT} asio.hpp:${KSV_ASIO_ROOT} nlohmann:${KSV_JSON_ROOT})
if(KSV_BOOST_ROOT)
  list(APPEND _ksv_header_trees boost:${KSV_BOOST_ROOT})
endif()
foreach(_entry ${_ksv_header_trees})
  string(REPLACE ":" ";" _pair ${_entry})
  list(GET _pair 0 _name)
  list(GET _pair 1 _root)
  file(CREATE_LINK ${_root}/${_name} ${_ksv_header_dir}/${_name} SYMBOLIC)
endforeach()

add_library(ksv_header_only INTERFACE)
# SYSTEM: their own warnings are not the project's.
target_include_directories(ksv_header_only SYSTEM INTERFACE ${_ksv_header_dir})
target_compile_definitions(ksv_header_only INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED BOOST_ASIO_NO_DEPRECATED)
if(WIN32)
  target_compile_definitions(ksv_header_only INTERFACE _WIN32_WINNT=0x0A00)
  target_link_libraries(ksv_header_only INTERFACE ws2_32 mswsock)
endif()
# Under ThreadSanitizer, Asio's handler fences (std::atomic_thread_fence,
# which the sanitizer cannot follow and GCC warns about) are left out: every
# handler of the tool runs on the one network thread, and what other threads
# hand it goes through Asio's locked queue.
if(KSV_SANITIZE MATCHES "thread")
  target_compile_definitions(ksv_header_only INTERFACE ASIO_DISABLE_FENCED_BLOCK BOOST_ASIO_DISABLE_FENCED_BLOCK)
  target_compile_options(ksv_header_only INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wno-tsan>)
endif()
