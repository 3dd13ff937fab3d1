# The digest tests compare against OpenSSL's libcrypto; the component itself never links it.
find_package(OpenSSL REQUIRED)
target_link_libraries(${test_target} PRIVATE OpenSSL::Crypto)
