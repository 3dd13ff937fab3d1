#pragma once
// The files the service serves as they are, compiled in from Service/assets/.

#include <string_view>

namespace quillgate::service {

[[nodiscard]] std::string_view DemoPage();      // GET /
[[nodiscard]] std::string_view WidgetScript();  // GET /quillgate.js
[[nodiscard]] std::string_view DemoScript();    // GET /demo.js

}  // namespace quillgate::service
