// Eight threads creating Captcha objects and calling every member at once, for a bounded
// time (QUILLGATE_STRESS_SECONDS, default 1). Under ThreadSanitizer (make tsan) this is the
// data-race check of the shared engine, the random sources and the object framework; in
// every build it checks that no call fails in a way its inputs do not explain.
#include "tests/Component/CaptchaTestSupport.h"
#include "tests/Platform/Com/TempRegistry.h"

#include "Platform/Com/Bstr.h"
#include "Platform/Com/Variant.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using testing::AsClass;
using testing::BytesOf;
using testing::NewCaptcha;

std::chrono::milliseconds StressTime() {
  const char* text = std::getenv("QUILLGATE_STRESS_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 1;
  return std::chrono::seconds(seconds > 0 && seconds <= 600 ? seconds : 1);
}

// What each thread tallies; any entry of `unexplained` fails the test.
struct Tally {
  int images = 0;
  int sounds = 0;
  std::vector<std::string> unexplained;
};

void Hammer(int seed, std::chrono::steady_clock::time_point end,
            const std::vector<unsigned char>& spokenAb12, Tally& tally) {
  // Settings stay small so that many images fit in the time; a few invalid ones make the
  // failure path race with the others too.
  static constexpr LONG kStyles[] = {30, 31, 32, 38, 39, 44, 99};
  static constexpr const char16_t* kFormats[] = {u"JPEG", u"png", u"gif", u"xyz"};
  const auto note = [&](const std::string& what, HRESULT hr) {
    tally.unexplained.push_back(what + " returned " + std::to_string(static_cast<unsigned>(hr)));
  };
  unsigned step = static_cast<unsigned>(seed);
  while (std::chrono::steady_clock::now() < end) {
    step = step * 1103515245u + 12345u;
    auto captcha = NewCaptcha();
    LONG value = 0;
    const auto put = [&](HRESULT hr, const char* what) { if (hr != S_OK) note(what, hr); };
    put(captcha->put_ImageWidth(static_cast<LONG>(40 + step % 80)), "put_ImageWidth");
    put(captcha->put_ImageHeight(static_cast<LONG>(step % 40)), "put_ImageHeight");
    put(captcha->put_CodeLength(static_cast<LONG>(1 + step % 6)), "put_CodeLength");
    put(captcha->put_CodeType(static_cast<LONG>(step % 4)), "put_CodeType");
    put(captcha->put_TextStyle(kStyles[(step >> 8) % std::size(kStyles)]), "put_TextStyle");
    BString format(kFormats[(step >> 12) % std::size(kFormats)]);
    put(captcha->put_Format(format.Get()), "put_Format");
    put(captcha->get_ImageWidth(&value), "get_ImageWidth");
    put(captcha->get_ImageHeight(&value), "get_ImageHeight");
    put(captcha->get_CodeLength(&value), "get_CodeLength");
    put(captcha->get_CodeType(&value), "get_CodeType");
    put(captcha->get_TextStyle(&value), "get_TextStyle");
    BString readFormat;
    put(captcha->get_Format(readFormat.Out()), "get_Format");

    Variant image;
    const HRESULT made = (step & 1) != 0 ? captcha->CreateImage(image.Get())
                                         : AsClass(captcha.Get())->CreateImageFromCode(nullptr, image.Get());
    if (made == S_OK) {
      ++tally.images;
      if (BytesOf(*image.Get()).empty()) note("CreateImage gave no bytes", made);
    } else if (made != E_FAIL) {
      note("CreateImage", made);  // E_FAIL is explained: another thread set a bad style or format
    }

    BString ab12(u"AB12");
    Variant wave;
    put(captcha->CreateSoundFromCode(ab12.Get(), wave.Get()), "CreateSoundFromCode");
    // The sound is of the code this call gave, whatever other threads made current since.
    if (BytesOf(*wave.Get()) != spokenAb12) note("CreateSoundFromCode spoke another code", S_OK);
    ++tally.sounds;
    Variant randomWave;
    put(AsClass(captcha.Get())->CreateSound(randomWave.Get()), "CreateSound");

    BString code;
    BString hash;
    put(captcha->GetValue(code.Out()), "GetValue");
    put(captcha->GetHashValue(hash.Out()), "GetHashValue");
    VARIANT_BOOL verdict = 0;
    put(captcha->Validate(code.Get(), hash.Get(), &verdict), "Validate");

    // Late-bound, as a script host calls: the type information is loaded on first use.
    ComPtr<IDispatch> dispatch;
    captcha.As(dispatch);
    std::u16string name = u"GetValue";
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    put(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), "GetIDsOfNames");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    put(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, result.Get(), nullptr, nullptr),
        "Invoke GetValue");
  }
}

TEST(CaptchaStress, EightThreadsCallEveryMemberAtOnce) {
  quillgate::testing::TempRegistry registry;
  std::vector<unsigned char> spokenAb12;
  {
    auto captcha = NewCaptcha();
    BString ab12(u"AB12");
    Variant wave;
    ASSERT_EQ(captcha->CreateSoundFromCode(ab12.Get(), wave.Get()), S_OK);
    spokenAb12 = BytesOf(*wave.Get());
  }
  const auto end = std::chrono::steady_clock::now() + StressTime();
  std::vector<Tally> tallies(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] { Hammer(t + 1, end, spokenAb12, tallies[static_cast<std::size_t>(t)]); });
  }
  for (auto& thread : threads) thread.join();
  int images = 0;
  for (const Tally& tally : tallies) {
    images += tally.images;
    EXPECT_GT(tally.sounds, 0) << "every thread got through at least one round";
    for (const auto& what : tally.unexplained) ADD_FAILURE() << what;
  }
  EXPECT_GT(images, 0);
}

}  // namespace
}  // namespace quillgate::component
