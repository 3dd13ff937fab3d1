#pragma once
// The one kind of failure that the engine's image and sound operations raise. The message
// is part of the component's interface: the automation layer reports it word for word.

#include <exception>

namespace quillgate {

class EngineError : public std::exception {
 public:
  // Only constant texts: the message must outlive every copy of the error and never
  // allocate while an error is being reported.
  explicit EngineError(const char* message) noexcept : message_(message) {}
  [[nodiscard]] const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace quillgate
