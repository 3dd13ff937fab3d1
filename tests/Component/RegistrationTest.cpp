// The built component library: self-registration against a temporary registry, creation by
// ProgID through the registry, and unloading while other threads use it. The command as its
// host process is tests/cli's.
#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Runtime.h"
#include "tests/Component/CaptchaTestSupport.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using registry::Key;
using testing::ModuleLoaded;

const std::string kClass = "CLSID\\{F33CEE78-2399-454A-8873-30020A58C3B3}";
const std::string kOtherClass = "CLSID\\{00000000-1111-2222-3333-444444444444}";
// The top keys the component owns: all present while it is registered, none after.
const std::string kOwnKeys[] = {"Tovik.Quillgate.1", "Tovik.Quillgate", kClass,
                                "TypeLib\\" + GuidToString(LIBID_TOVIKQUILLGATELib),
                                "Interface\\" + GuidToString(IID_ICaptcha)};

// Loads a copy of the library (or the library itself) and calls one of its entry points.
HRESULT CallEntry(const std::filesystem::path& library, const char* entry) {
  std::unique_ptr<void, int (*)(void*)> handle(::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL), &::dlclose);
  const auto function =
      handle ? reinterpret_cast<DllRegisterServerFunction>(::dlsym(handle.get(), entry)) : nullptr;
  if (function == nullptr) {
    ADD_FAILURE() << "no " << entry << ": " << ::dlerror();
    return E_FAIL;
  }
  return function();
}

std::optional<std::string> Default(const Key& root, const std::string& path) {
  const Key* key = root.Find(path);
  return key ? key->defaultValue : std::nullopt;
}

// Registered from a path with quotes in it, over a key left under the class: the class key
// is replaced whole. Unregistered, all of it goes but the CLSID key other classes share.
// (The display names are the registration script's own text, not checked again here; the
// runtime test finds the class by its version-independent ProgID, and the host-process test
// reads the ProgID back from the class as an error's source.)
TEST(Registration, WritesExactlyTheClassKeysAndRemovesAllButTheSharedRoot) {
  quillgate::testing::TempRegistry registry;
  const auto directory = registry.Directory() / "it's a dir";
  std::filesystem::create_directories(directory);
  const auto library = directory / "lib'quillgate.so";
  std::filesystem::copy_file(QUILLGATE_MODULE_PATH, library);
  registry::Update([](Key& root) {
    root.Create(kClass + "\\Leftover");
    root.Create(kOtherClass);
  });
  ASSERT_EQ(CallEntry(library, "DllRegisterServer"), S_OK);
  const Key root = registry::Read();
  EXPECT_EQ(Default(root, "Tovik.Quillgate.1\\CLSID"), "{F33CEE78-2399-454A-8873-30020A58C3B3}");
  EXPECT_EQ(Default(root, "Tovik.Quillgate\\CurVer"), "Tovik.Quillgate.1");
  EXPECT_EQ(Default(root, kClass + "\\VersionIndependentProgID"), "Tovik.Quillgate");
  ASSERT_NE(root.Find(kClass + "\\Programmable"), nullptr);
  EXPECT_TRUE(root.Find(kClass + "\\Programmable")->Empty());
  EXPECT_EQ(Default(root, kClass + "\\InprocServer32"), library.string());
  EXPECT_EQ(root.Find(kClass + "\\InprocServer32")->values.at("ThreadingModel"), "Apartment");
  EXPECT_EQ(Default(root, kClass + "\\TypeLib"), "{5BE8E187-932B-45E9-9287-602BDAE7CAE0}");
  EXPECT_EQ(root.Find(kClass)->Subkeys().size(), 5u);  // and nothing else under the class
  // The type library: the same three identities as the code.
  const std::string typeLib = "TypeLib\\" + GuidToString(LIBID_TOVIKQUILLGATELib) + "\\1.0";
  EXPECT_EQ(Default(root, typeLib + "\\409\\win32"), library.string());
  EXPECT_EQ(Default(root, "Interface\\" + GuidToString(IID_ICaptcha)), "ICaptcha");

  // Registering again rewrites the same keys: the file does not change at all.
  const std::string once = registry.Text();
  ASSERT_EQ(CallEntry(library, "DllRegisterServer"), S_OK);
  EXPECT_EQ(registry.Text(), once);

  ASSERT_EQ(CallEntry(library, "DllUnregisterServer"), S_OK);
  const Key after = registry::Read();
  for (const std::string& key : kOwnKeys) EXPECT_EQ(after.Find(key), nullptr) << key;
  EXPECT_NE(after.Find(kOtherClass), nullptr);
}

// Registration as one change: whoever reads the file while registrations and removals race
// sees the component's keys all present or all absent, never some of them.
TEST(Registration, RacingRegistrationsNeverShowHalfAState) {
  quillgate::testing::TempRegistry registry;
  std::vector<pid_t> children;
  for (int p = 0; p < 3; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
      bool failed = false;
      for (int i = p; std::chrono::steady_clock::now() < end; ++i) {
        const char* entry = i % 2 == 0 ? "DllRegisterServer" : "DllUnregisterServer";
        failed = FAILED(CallEntry(QUILLGATE_MODULE_PATH, entry)) || failed;
      }
      ::_exit(failed ? 1 : 0);
    }
    children.push_back(child);
  }
  long reads = 0;
  long halves = 0;
  while (!children.empty()) {
    const Key root = registry::Read();
    const auto present =
        std::ranges::count_if(kOwnKeys, [&](const auto& key) { return root.Find(key) != nullptr; });
    if (present != 0 && present != std::ssize(kOwnKeys)) ++halves;
    ++reads;
    std::erase_if(children, [](pid_t child) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) == 0) return false;
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
      return true;
    });
  }
  EXPECT_EQ(halves, 0) << "of " << reads << " reads";
}

TEST(Registration, TemporariesOfKilledWritersAreRemoved) {
  quillgate::testing::TempRegistry registry;
  const auto stale = registry.Directory() / ".registry.tmp-999999-0";
  std::ofstream(stale) << "QUILLGATE REGISTRY 1\n[Half";
  const auto unrelated = registry.Directory() / "registry.tmp-keep";
  std::ofstream(unrelated) << "x";
  ASSERT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllRegisterServer"), S_OK);
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
}

TEST(Runtime, CreatesTheRegisteredClassByProgIdAndUnloadsIt) {
  quillgate::testing::TempRegistry registry;
  ASSERT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllRegisterServer"), S_OK);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"tovik.quillgate", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Captcha);

  {
    ComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               object.OutVoid()),
              S_OK);
    // The object lives in the loaded library, not in this program's copy of the code.
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    CoFreeUnusedLibraries();  // still in use: stays loaded
    EXPECT_TRUE(ModuleLoaded());
  }
  // Unused now, but unloaded only once it has stayed unused for the delay, and a lookup in
  // between starts the wait again.
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ModuleLoaded()) << "unloaded at once";
  CoFreeUnusedLibrariesEx(300, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  void* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_Captcha, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &factory), S_OK);
  static_cast<IUnknown*>(factory)->Release();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  CoFreeUnusedLibrariesEx(300, 0);
  EXPECT_TRUE(ModuleLoaded()) << "the factory lookup did not restart the wait";
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  CoFreeUnusedLibrariesEx(300, 0);
  EXPECT_FALSE(ModuleLoaded()) << "still loaded after the delay";
}

// One thread creating, using and releasing objects while another frees unused libraries
// as fast as it can: a release's last instructions run in the library after its count has
// dropped, so the library must never be unloaded under them, yet it must still unload once
// it has been left alone for the delay.
TEST(Runtime, FreeingLibrariesWhileObjectsAreReleasedNeverPullsTheCodeAway) {
  quillgate::testing::TempRegistry registry;
  ASSERT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllRegisterServer"), S_OK);
  constexpr DWORD kDelayMs = 20;  // short, so that the library comes and goes during the test
  std::atomic<bool> done{false};
  std::thread freer([&] {
    while (!done) CoFreeUnusedLibrariesEx(kDelayMs, 0);
  });
  // The unsafe moment lasts a few instructions; a signal that stalls this thread at random
  // points stretches whichever moment it lands in, as a busy machine's scheduler would.
  struct sigaction stall {};
  stall.sa_handler = [](int) {
    const timespec pause{0, 300'000};
    ::nanosleep(&pause, nullptr);
  };
  stall.sa_flags = SA_RESTART;
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &stall, &previous), 0);
  const pthread_t self = ::pthread_self();
  std::thread staller([&] {
    while (!done) {
      ::pthread_kill(self, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(700));
    }
  });
  int pauses = 0;
  int unloads = 0;
  for (int run = 1; run <= 200; ++run) {
    {
      ComPtr<ICaptcha> captcha;
      ASSERT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptcha, captcha.OutVoid()),
                S_OK);
      Variant image;
      EXPECT_EQ(captcha->CreateImage(image.Get()), S_OK);
    }
    if (run % 20 == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10 * kDelayMs));
      ++pauses;
      unloads += ModuleLoaded() ? 0 : 1;
    }
  }
  done = true;
  freer.join();
  staller.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(unloads, pauses) << "left alone for ten times the delay, the library must go";
}

// Unloading unused libraries on one thread while others create objects: each creation
// crosses the window between finding the loaded library and calling its factory, in which
// the library must stay loaded.
TEST(Runtime, FreeingUnusedLibrariesRacesCreationSafely) {
  quillgate::testing::TempRegistry registry;
  registry.Write("QUILLGATE REGISTRY 1\n[" + kClass + "\\InprocServer32]\n@=\"" +
                 QUILLGATE_MODULE_PATH + "\"\n");
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
        const HRESULT hr = CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IDispatch, object.OutVoid());
        ++(SUCCEEDED(hr) ? created : failed);
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
  CoFreeUnusedLibrariesEx(0, 0);
}

TEST(Runtime, ClassesThatCannotBeLoadedAreRefusedWithTheirReason) {
  quillgate::testing::TempRegistry registry;
  // (What the registry cannot read, nesting too deep among it, is tests/Platform/Com's.)
  const std::pair<std::string, HRESULT> registries[] = {
      {"", REGDB_E_CLASSNOTREG},
      {"[" + kClass + "\\InprocServer32]\n@=\"/nonexistent/libquillgate.so\"\n", CO_E_DLLNOTFOUND},
      {"[CLSID\n", REGDB_E_READREGDB},  // a damaged file
  };
  for (const auto& [text, expected] : registries) {
    registry.Write("QUILLGATE REGISTRY 1\n" + text);
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
              expected);
    EXPECT_EQ(out, nullptr);
  }
}

}  // namespace
}  // namespace quillgate::component
