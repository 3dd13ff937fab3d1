// The runtime under concurrent use: unloading unused libraries on one thread while another
// creates or releases objects must never unload code that is about to run or still runs.
#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Runtime.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace quillgate::component {
namespace {

using namespace quillgate::com;

TEST(Runtime, FreeingUnusedLibrariesRacesCreationSafely) {
  quillgate::testing::TempRegistry registry;
  registry.Write(std::string("QUILLGATE REGISTRY 1\n[CLSID\\") + GuidToString(CLSID_Captcha) +
                 "\\InprocServer32]\n@=\"" + QUILLGATE_MODULE_PATH + "\"\n");
  std::atomic<bool> stop{false};
  // Releasing the last object runs the library's code a moment after its lock count drops;
  // the delay of a normal unload covers that. Here the unloader unloads at once, and
  // releases wait for it, so that only creation races it.
  std::mutex releasing;
  std::thread unloader([&] {
    while (!stop) {
      {
        const std::scoped_lock lock(releasing);
        CoFreeUnusedLibrariesEx(0, 0);
      }
      std::this_thread::yield();
    }
  });
  // Each round loads the library afresh (the other thread unloads it whenever no object
  // lives), so every round crosses the window between lookup and the factory call.
  std::atomic<long> created{0};
  std::atomic<long> failed{0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  std::vector<std::thread> creators;
  for (int t = 0; t < 3; ++t) {
    creators.emplace_back([&] {
      while (std::chrono::steady_clock::now() < end) {
        ComPtr<IDispatch> object;
        if (SUCCEEDED(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       object.OutVoid()))) {
          ++created;
        } else {
          ++failed;
        }
        const std::scoped_lock lock(releasing);
        object.Reset();
      }
    });
  }
  for (auto& creator : creators) creator.join();
  stop = true;
  unloader.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_GT(created.load(), 0);
  RecordProperty("created", static_cast<int>(created.load()));
  CoFreeUnusedLibrariesEx(0, 0);
}

}  // namespace
}  // namespace quillgate::component
