#pragma once
// How the image and sound commands reach the component: as any host does, through a Captcha
// object made by the class factory and driven through ICaptcha with automation types. The
// command links the component's code, so it asks the statically linked DllGetClassObject
// instead of loading libquillgate.so (which is for hosts) through the registry.
//
// A failed call becomes a std::runtime_error whose message is the description the component
// left in the thread's error information, so the user reads the component's own words.

#include "Component/Captcha.h"
#include "Component/ICaptcha.h"
#include "Platform/Com/ComPtr.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::cli {

class CaptchaClient {
 public:
  // Opens a new Captcha object. Throws std::runtime_error when the factory makes none.
  CaptchaClient();

  // A long property put, e.g. Put(&component::ICaptcha::put_ImageWidth, 300).
  void Put(com::HRESULT (component::ICaptcha::*put)(com::LONG), std::int32_t value);
  // The Format property, from command-line (UTF-8) text.
  void PutFormat(std::string_view utf8);

  // The encoded image of `code`, or of a new random code when it is empty. The code is
  // command-line (UTF-8) text.
  std::vector<unsigned char> CreateImage(std::string_view code);
  // The WAV of `code` spoken, or of a new random code when it is empty.
  std::vector<unsigned char> CreateSound(std::string_view code);

  // The current code and its hash value, as printable (UTF-8) text.
  std::string Value();
  std::string HashValue();

 private:
  // Runs one call on a clean error slot, so a description read after it belongs to it.
  template <typename Call>
  void Invoke(Call&& call);

  com::ComPtr<component::ICaptcha> object_;
  // The same object seen as its class, for the operations ICaptcha does not carry
  // (CreateImageFromCode, CreateSound). Borrowed from `object_`.
  component::Captcha* class_ = nullptr;
};

}  // namespace quillgate::cli
