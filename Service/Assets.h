#pragma once
// The files the service serves as they are, compiled in from Service/assets/.

#include <string_view>

namespace quillgate::service {

[[nodiscard]] std::string_view DemoPage();      // GET /
[[nodiscard]] std::string_view WidgetScript();  // GET /quillgate.js
[[nodiscard]] std::string_view DemoScript();    // GET /demo.js
// GET /vendor/argon2id.js: the Argon2id WebAssembly the widget's proof-of-work worker loads.
[[nodiscard]] std::string_view Argon2idScript();

}  // namespace quillgate::service
