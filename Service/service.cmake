# The HTTP service (quillgate serve): its own library, so the component module never links
# Beast, libsodium or hiredis. Consumers also take quillgate_core (quillgate_link_core).
find_package(nlohmann_json 3 REQUIRED)
pkg_check_modules(QG_SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(QG_HIREDIS REQUIRED IMPORTED_TARGET hiredis)
# SHA-256 for the proof of work's PBKDF2 (with the CPU's SHA instructions).
pkg_check_modules(QG_CRYPTO REQUIRED IMPORTED_TARGET libcrypto)
# The challenge audio's time stretch and pitch shift (LGPL-2.1, linked dynamically).
pkg_check_modules(QG_SOUNDTOUCH REQUIRED IMPORTED_TARGET soundtouch)
find_package(Threads REQUIRED)

# The page, the widget and the demo script are compiled in as they stand.
set(QG_ASSETS ${CMAKE_SOURCE_DIR}/Service/assets)
file(READ ${QG_ASSETS}/index.html QUILLGATE_DEMO_PAGE)
file(READ ${QG_ASSETS}/quillgate.js QUILLGATE_WIDGET_SCRIPT)
file(READ ${QG_ASSETS}/demo.js QUILLGATE_DEMO_SCRIPT)
# hash-wasm's Argon2 and BLAKE2b WebAssembly, which the widget's worker loads for Argon2id
# work (made by tools/vendor-argon2id.sh).
file(READ ${QG_ASSETS}/vendor/argon2id.js QUILLGATE_ARGON2ID_SCRIPT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${QG_ASSETS}/index.html ${QG_ASSETS}/quillgate.js ${QG_ASSETS}/demo.js ${QG_ASSETS}/vendor/argon2id.js)
configure_file(${CMAKE_SOURCE_DIR}/Service/Assets.cpp.in ${CMAKE_BINARY_DIR}/generated/ServiceAssets.cpp @ONLY)

file(GLOB SERVICE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/Service/*.cpp)
add_library(quillgate_service STATIC ${SERVICE_SOURCES} ${CMAKE_BINARY_DIR}/generated/ServiceAssets.cpp)
target_include_directories(quillgate_service PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quillgate_service PUBLIC
  Boost::headers nlohmann_json::nlohmann_json PkgConfig::QG_SODIUM PkgConfig::QG_CRYPTO PkgConfig::QG_HIREDIS PkgConfig::QG_SOUNDTOUCH
  Threads::Threads)
