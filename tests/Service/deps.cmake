# The service's tests link its library, start redis-server themselves and run the command.
target_link_libraries(${test_target} PRIVATE quillgate_service)
target_compile_definitions(${test_target} PRIVATE QUILLGATE_CLI="$<TARGET_FILE:quillgate>")
add_dependencies(${test_target} quillgate)

# The demo page in a real browser: Debian's chromium driven by playwright-core (installed by
# setup/install-node-packages.sh into the project's node_modules).
add_test(NAME Service.BrowserDemo
  COMMAND node ${CMAKE_SOURCE_DIR}/tests/Service/browser/demo-page.test.mjs
          $<TARGET_FILE:quillgate> ${CMAKE_BINARY_DIR}/test-artifacts)
set_tests_properties(Service.BrowserDemo PROPERTIES LABELS Service TIMEOUT 180)

# The README's siteverify examples in curl, Python and PHP, against a real server.
add_test(NAME Service.SiteverifyExamples
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/Service/examples.sh $<TARGET_FILE:quillgate>)
set_tests_properties(Service.SiteverifyExamples PROPERTIES LABELS Service TIMEOUT 120)

# Proof of work solved by the widget in a Web Worker of the same browser, both algorithms
# (100 units: quick under the sanitizers too; the defaults are measured by
# tools/measure-work.sh, see the README).
add_test(NAME Service.BrowserProofOfWork
  COMMAND node ${CMAKE_SOURCE_DIR}/tests/Service/browser/proof-of-work.test.mjs $<TARGET_FILE:quillgate> both 100 4)
set_tests_properties(Service.BrowserProofOfWork PROPERTIES LABELS Service TIMEOUT 180)

# The widget on a site's own page behind a path prefix: keyboard, screen reader, 360 px.
add_test(NAME Service.BrowserWidget
  COMMAND node ${CMAKE_SOURCE_DIR}/tests/Service/browser/widget.test.mjs
          $<TARGET_FILE:quillgate> ${CMAKE_BINARY_DIR}/test-artifacts)
set_tests_properties(Service.BrowserWidget PROPERTIES LABELS Service TIMEOUT 180)
