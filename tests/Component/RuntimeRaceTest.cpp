// The runtime under concurrent use: unloading unused libraries on one thread while another
// creates objects must never unload code that is about to run.
#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Runtime.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace quillgate::component {
namespace {

using namespace quillgate::com;

TEST(Runtime, FreeingUnusedLibrariesRacesCreationSafely) {
  quillgate::testing::TempRegistry registry;
  registry.Write(std::string("QUILLGATE REGISTRY 1\n[CLSID\\") + GuidToString(CLSID_Captcha) +
                 "\\InprocServer32]\n@=\"" + QUILLGATE_MODULE_PATH + "\"\n");
  std::atomic<bool> stop{false};
  std::atomic<long> created{0};
  std::thread unloader([&] {
    while (!stop) CoFreeUnusedLibraries();
  });
  // Each round loads the library afresh (the other thread unloads it whenever no object
  // lives), so every round crosses the window between lookup and the factory call.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  HRESULT failure = S_OK;
  while (std::chrono::steady_clock::now() < end && SUCCEEDED(failure)) {
    ComPtr<IDispatch> object;
    failure = CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               object.OutVoid());
    if (SUCCEEDED(failure)) ++created;
  }
  stop = true;
  unloader.join();
  EXPECT_EQ(failure, S_OK);
  EXPECT_GT(created.load(), 0);
  CoFreeUnusedLibraries();
}

}  // namespace
}  // namespace quillgate::component
