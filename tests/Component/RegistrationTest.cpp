// The built component library: self-registration against a temporary registry, creation by
// ProgID through the registry, and a separate host process driving it by name.
#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Runtime.h"
#include "tests/Component/CaptchaTestSupport.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace quillgate::component {
namespace {

using namespace quillgate::com;
using registry::Key;

const std::string kClass = "CLSID\\{F33CEE78-2399-454A-8873-30020A58C3B3}";

// Loads a copy of the library (or the library itself) and calls one of its entry points.
HRESULT CallEntry(const std::filesystem::path& library, const char* entry) {
  std::unique_ptr<void, int (*)(void*)> handle(::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL), &::dlclose);
  if (!handle) {
    ADD_FAILURE() << ::dlerror();
    return E_FAIL;
  }
  const auto function = reinterpret_cast<DllRegisterServerFunction>(::dlsym(handle.get(), entry));
  if (function == nullptr) {
    ADD_FAILURE() << "no " << entry;
    return E_FAIL;
  }
  return function();
}

std::optional<std::string> Default(const Key& root, const std::string& path) {
  const Key* key = root.Find(path);
  return key ? key->defaultValue : std::nullopt;
}

TEST(Registration, WritesExactlyTheClassKeys) {
  quillgate::testing::TempRegistry registry;
  const std::filesystem::path library = QUILLGATE_MODULE_PATH;
  ASSERT_EQ(CallEntry(library, "DllRegisterServer"), S_OK);
  const Key root = registry::Read();
  EXPECT_EQ(Default(root, "Tovik.Quillgate.1"), "Captcha Class");
  EXPECT_EQ(Default(root, "Tovik.Quillgate.1\\CLSID"), "{F33CEE78-2399-454A-8873-30020A58C3B3}");
  EXPECT_EQ(Default(root, "Tovik.Quillgate"), "Captcha Class");
  EXPECT_EQ(Default(root, "Tovik.Quillgate\\CLSID"), "{F33CEE78-2399-454A-8873-30020A58C3B3}");
  EXPECT_EQ(Default(root, "Tovik.Quillgate\\CurVer"), "Tovik.Quillgate.1");
  EXPECT_EQ(Default(root, "CLSID"), std::nullopt);
  EXPECT_EQ(Default(root, kClass), "Captcha Class");
  EXPECT_EQ(Default(root, kClass + "\\ProgID"), "Tovik.Quillgate.1");
  EXPECT_EQ(Default(root, kClass + "\\VersionIndependentProgID"), "Tovik.Quillgate");
  ASSERT_NE(root.Find(kClass + "\\Programmable"), nullptr);
  EXPECT_TRUE(root.Find(kClass + "\\Programmable")->Empty());
  EXPECT_EQ(Default(root, kClass + "\\InprocServer32"), library.string());
  EXPECT_EQ(root.Find(kClass + "\\InprocServer32")->values.at("ThreadingModel"), "Apartment");
  EXPECT_EQ(Default(root, kClass + "\\TypeLib"), "{5BE8E187-932B-45E9-9287-602BDAE7CAE0}");
  EXPECT_EQ(root.Find(kClass)->Subkeys().size(), 5u);  // and nothing else under the class
  // The type library: the same three identities as the code.
  EXPECT_EQ(Default(root, "TypeLib\\" + GuidToString(LIBID_TOVIKQUILLGATELib) + "\\1.0\\409\\win32"),
            library.string());
  EXPECT_EQ(Default(root, "Interface\\" + GuidToString(IID_ICaptcha)), "ICaptcha");
  EXPECT_EQ(Default(root, "TypeLib\\" + GuidToString(LIBID_TOVIKQUILLGATELib) + "\\1.0"),
            "TovikQuillgate 1.0 Type Library");
  EXPECT_EQ(Default(root, kClass), "Captcha Class");
  ASSERT_EQ(Default(root, "Tovik.Quillgate\\CLSID"), GuidToString(CLSID_Captcha));

  // Registering again rewrites the same keys: the file does not change at all.
  const std::string once = registry.Text();
  ASSERT_EQ(CallEntry(library, "DllRegisterServer"), S_OK);
  EXPECT_EQ(registry.Text(), once);
}

TEST(Registration, RegisteringAgainReplacesTheClassKey) {
  quillgate::testing::TempRegistry registry;
  registry::Update([](Key& root) { root.Create(kClass + "\\Leftover"); });
  ASSERT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllRegisterServer"), S_OK);
  EXPECT_EQ(registry::Read().Find(kClass + "\\Leftover"), nullptr);
}

TEST(Registration, UnregisteringRemovesItAllButTheClassRoot) {
  quillgate::testing::TempRegistry registry;
  registry::Update([](Key& root) { root.Create("CLSID\\{00000000-1111-2222-3333-444444444444}"); });
  ASSERT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllRegisterServer"), S_OK);
  ASSERT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllUnregisterServer"), S_OK);
  const Key root = registry::Read();
  EXPECT_EQ(root.Find("Tovik.Quillgate.1"), nullptr);
  EXPECT_EQ(root.Find("Tovik.Quillgate"), nullptr);
  EXPECT_EQ(root.Find(kClass), nullptr);
  ASSERT_NE(root.Find("CLSID"), nullptr);
  EXPECT_NE(root.Find("CLSID\\{00000000-1111-2222-3333-444444444444}"), nullptr);
  EXPECT_EQ(root.Find("TypeLib\\" + GuidToString(LIBID_TOVIKQUILLGATELib)), nullptr);
  EXPECT_EQ(root.Find("Interface\\" + GuidToString(IID_ICaptcha)), nullptr);
  // Unregistering what is not registered still succeeds.
  EXPECT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllUnregisterServer"), S_OK);
}

TEST(Registration, APathWithAQuoteIsWrittenIntact) {
  quillgate::testing::TempRegistry registry;
  const auto directory = registry.Directory() / "it's a dir";
  std::filesystem::create_directories(directory);
  const auto library = directory / "lib'quillgate.so";
  std::filesystem::copy_file(QUILLGATE_MODULE_PATH, library);
  ASSERT_EQ(CallEntry(library, "DllRegisterServer"), S_OK);
  EXPECT_EQ(Default(registry::Read(), kClass + "\\InprocServer32"), library.string());
}

TEST(Registration, ADamagedRegistryFailsRegistrationCleanly) {
  quillgate::testing::TempRegistry registry;
  registry.Write("QUILLGATE REGISTRY 1\n[Broken\n");
  EXPECT_TRUE(FAILED(CallEntry(QUILLGATE_MODULE_PATH, "DllRegisterServer")));
  EXPECT_EQ(registry.Text(), "QUILLGATE REGISTRY 1\n[Broken\n");
}

// Registration as one change: whoever reads the file while registrations and removals race
// sees the component's keys all present or all absent, never some of them.
TEST(Registration, RacingRegistrationsNeverShowHalfAState) {
  quillgate::testing::TempRegistry registry;
  const std::string keys[] = {"Tovik.Quillgate.1", "Tovik.Quillgate", kClass,
                              "TypeLib\\" + GuidToString(LIBID_TOVIKQUILLGATELib),
                              "Interface\\" + GuidToString(IID_ICaptcha)};
  std::vector<pid_t> children;
  for (int p = 0; p < 3; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int status = 0;
      std::unique_ptr<void, int (*)(void*)> library(::dlopen(QUILLGATE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL), &::dlclose);
      const auto reg = reinterpret_cast<DllRegisterServerFunction>(::dlsym(library.get(), "DllRegisterServer"));
      const auto unreg = reinterpret_cast<DllRegisterServerFunction>(::dlsym(library.get(), "DllUnregisterServer"));
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
      for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        if (FAILED((i + p) % 2 == 0 ? reg() : unreg())) status = 1;
      }
      ::_exit(status);
    }
    children.push_back(child);
  }
  long reads = 0;
  long halves = 0;
  bool childrenRunning = true;
  while (childrenRunning) {
    const Key root = registry::Read();
    std::size_t present = 0;
    for (const std::string& key : keys) present += root.Find(key) != nullptr ? 1 : 0;
    if (present != 0 && present != std::size(keys)) ++halves;
    ++reads;
    childrenRunning = false;
    for (const pid_t child : children) {
      if (::waitpid(child, nullptr, WNOHANG) == 0) childrenRunning = true;
    }
    if (!childrenRunning) break;
  }
  for (const pid_t child : children) {
    int status = 0;
    if (::waitpid(child, &status, 0) == child) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }
  EXPECT_EQ(halves, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 0);
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
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(clsid, &progId), S_OK);
  EXPECT_EQ(std::u16string_view(progId), u"Tovik.Quillgate.1");
  CoTaskMemFree(progId);
  EXPECT_EQ(CLSIDFromProgID(u"No.Such.Class", &clsid), CO_E_CLASSSTRING);

  {
    ComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               object.OutVoid()),
              S_OK);
    // The object lives in the loaded library, not in this program's copy of the code.
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    CoFreeUnusedLibraries();  // still in use: stays loaded
    void* stillLoaded = ::dlopen(QUILLGATE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(stillLoaded, nullptr);
    if (stillLoaded != nullptr) ::dlclose(stillLoaded);
    std::u16string name = u"GetHashValue";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 8);
  }
  // Unused now, but unloaded only once it has stayed unused for the delay, and a lookup in
  // between starts the wait again.
  const auto loaded = [] {
    void* handle = ::dlopen(QUILLGATE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
  };
  CoFreeUnusedLibraries();
  EXPECT_TRUE(loaded()) << "unloaded at once";
  CoFreeUnusedLibrariesEx(300, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(CLSIDFromProgID(u"Tovik.Quillgate", &clsid), S_OK);
  void* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_Captcha, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &factory), S_OK);
  static_cast<IUnknown*>(factory)->Release();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  CoFreeUnusedLibrariesEx(300, 0);
  EXPECT_TRUE(loaded()) << "the factory lookup did not restart the wait";
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  CoFreeUnusedLibrariesEx(300, 0);
  EXPECT_FALSE(loaded()) << "still loaded after the delay";
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
  const auto loaded = [] {
    void* handle = ::dlopen(QUILLGATE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
  };
  int pauses = 0;
  int unloads = 0;
  for (int run = 1; run <= 200; ++run) {
    {
      ComPtr<ICaptcha> captcha;
      ASSERT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptcha, captcha.OutVoid()),
                S_OK);
      VARIANT image;
      VariantInit(&image);
      EXPECT_EQ(captcha->CreateImage(&image), S_OK);
      VariantClear(&image);
    }
    if (run % 20 == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10 * kDelayMs));
      ++pauses;
      unloads += loaded() ? 0 : 1;
    }
  }
  done = true;
  freer.join();
  staller.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(unloads, pauses) << "left alone for ten times the delay, the library must go";
}

TEST(Runtime, UnregisteredClassesAreNotFound) {
  quillgate::testing::TempRegistry registry;
  void* out = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
            REGDB_E_CLASSNOTREG);
  registry.Write("QUILLGATE REGISTRY 1\n[CLSID\\{F33CEE78-2399-454A-8873-30020A58C3B3}\\InprocServer32]\n"
                 "@=\"/nonexistent/libquillgate.so\"\n");
  EXPECT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
            CO_E_DLLNOTFOUND);
  EXPECT_EQ(out, nullptr);
}

TEST(Runtime, ARegistryNestedTooDeepIsAReadError) {
  quillgate::testing::TempRegistry registry;
  std::string path = "[CLSID";
  for (int i = 0; i < 300'000; ++i) path += "\\k";
  registry.Write("QUILLGATE REGISTRY 1\n" + path + "]\n");
  void* out = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_Captcha, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
            REGDB_E_READREGDB);
  EXPECT_EQ(CallEntry(QUILLGATE_MODULE_PATH, "DllUnregisterServer"), S_OK);  // by contract
  EXPECT_EQ(registry.Text().size(), path.size() + 23);                       // untouched
}

struct CommandRun {
  int status = -1;
  std::string out;
  std::string err;
};

// `prefix` is shell text run before the command (an environment setting, `timeout 30`).
CommandRun RunCommand(const std::string& arguments, const std::filesystem::path& scratch,
                      const std::string& prefix = "") {
  const auto errFile = scratch / "stderr.txt";
  const std::string command = prefix + " '" + QUILLGATE_CLI_PATH + "' " + arguments + " 2>'" +
                              errFile.string() + "'";
  CommandRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errFile);
  std::ostringstream text;
  text << in.rdbuf();
  run.err = text.str();
  return run;
}

TEST(HostProcess, DrivesTheComponentByNameThroughTheRegistry) {
  quillgate::testing::TempRegistry registry;
  const CommandRun registration = RunCommand(std::string("register '") + QUILLGATE_MODULE_PATH + "'", registry.Directory());
  ASSERT_EQ(registration.status, 0) << registration.err;

  const CommandRun run = RunCommand("automate ImageWidth=300 Format=xyz CreateImage GetValue ImageWidth "
                             "'CreateSoundFromCode(AB12)>" + (registry.Directory() / "code.wav").string() + "' GetValue",
                             registry.Directory());
  EXPECT_EQ(run.status, 2);  // one step failed, the others ran
  EXPECT_NE(run.err.find("CreateImage: error 0x80004005 (E_FAIL)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("description: This picture format is not supported !"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("source: Tovik.Quillgate.1"), std::string::npos) << run.err;
  // GetValue after the failure: the five-character code that the failed call made current.
  const std::size_t at = run.out.find("GetValue = ");
  ASSERT_NE(at, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\n', at) - (at + 11), 5u) << run.out;
  EXPECT_NE(run.out.find("ImageWidth = 300"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("GetValue = AB12"), std::string::npos) << run.out;
  EXPECT_TRUE(std::filesystem::exists(registry.Directory() / "code.wav"));

  const CommandRun unregistration = RunCommand(std::string("unregister '") + QUILLGATE_MODULE_PATH + "'", registry.Directory());
  ASSERT_EQ(unregistration.status, 0) << unregistration.err;
  const CommandRun after = RunCommand("automate GetValue", registry.Directory());
  EXPECT_NE(after.status, 0);
  EXPECT_NE(after.err.find("CO_E_CLASSSTRING"), std::string::npos) << after.err;
}

TEST(HostProcess, RegistrationFailuresNameTheirCause) {
  quillgate::testing::TempRegistry registry;
  const std::string module = std::string(" '") + QUILLGATE_MODULE_PATH + "'";
  ASSERT_EQ(RunCommand("register" + module, registry.Directory()).status, 0);
  registry.Write("not a registry\n");
  for (const char* command : {"register", "unregister"}) {
    const CommandRun run = RunCommand(command + module, registry.Directory());
    EXPECT_NE(run.status, 0) << command << ": " << run.out;
    EXPECT_EQ(run.out, "") << command;
    EXPECT_NE(run.err.find("line 1: this is not a Quillgate registry file"), std::string::npos)
        << command << ": " << run.err;
    EXPECT_NE(run.err.find("move the file aside"), std::string::npos) << command << ": " << run.err;
  }
  const CommandRun automate = RunCommand("automate GetValue", registry.Directory());
  EXPECT_NE(automate.status, 0);
  EXPECT_NE(automate.err.find("line 1: this is not a Quillgate registry file"), std::string::npos)
      << automate.err;
  EXPECT_EQ(registry.Text(), "not a registry\n");
}

TEST(HostProcess, AutomateKeepsToTheCommandLinesLimits) {
  // Unbounded, these drew until killed or wrote gigabytes; every step is checked before the
  // first runs, so nothing is written either.
  quillgate::testing::TempRegistry registry;
  ASSERT_EQ(RunCommand(std::string("register '") + QUILLGATE_MODULE_PATH + "'", registry.Directory()).status, 0);
  const std::string longCode(1001, 'A');
  const std::pair<std::string, std::string> refused[] = {
      {"'CreateImage>a.jpg' CodeLength=2147483647 CreateImage", "CodeLength=2147483647: 2147483647 is outside 1 to 1000"},
      {"codelength=0 GetValue", "0 is outside 1 to 1000"},
      {"ImageWidth=40000 CreateImage", "ImageWidth=40000: 40000 is outside 1 to 32767"},
      {"'CreateSoundFromCode(\"" + longCode + "\")>a.wav'", "the code has 1001 characters"},
  };
  const std::string folder = " --registry '" + (registry.Directory() / "registry").string() + "'";
  for (const auto& [steps, message] : refused) {
    const CommandRun run = RunCommand("automate" + folder + " " + steps, registry.Directory(),
                                      "cd '" + registry.Directory().string() + "' && timeout 60");
    EXPECT_EQ(run.status, 64) << steps << ": " << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << steps << ": " << run.err;
    EXPECT_EQ(run.out, "") << steps;
  }
  EXPECT_FALSE(std::filesystem::exists(registry.Directory() / "a.jpg"));
  EXPECT_FALSE(std::filesystem::exists(registry.Directory() / "a.wav"));
  const CommandRun within = RunCommand("automate" + folder + " CodeLength=1000 GetValue 'CreateSoundFromCode(\"AB\")'",
                                       registry.Directory());
  EXPECT_EQ(within.status, 0) << within.err;
}

TEST(HostProcess, ARegistryPathThatIsNotARegularFileIsRefusedAtOnce) {
  // A FIFO would block the open until some writer came; a directory is not "damaged".
  quillgate::testing::TempRegistry registry;
  const std::filesystem::path path = registry.Directory() / "registry";
  const std::string module = std::string(" '") + QUILLGATE_MODULE_PATH + "'";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  for (const char* command : {"register", "automate GetValue"}) {
    const std::string arguments = command + (command == std::string("register") ? module : "");
    const CommandRun run = RunCommand(arguments, registry.Directory(), "timeout 30");
    EXPECT_EQ(run.status, 2) << command << " (124 is a hang): " << run.err;
    EXPECT_NE(run.err.find("is a FIFO; it must be a regular file"), std::string::npos) << command << ": " << run.err;
  }
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  const CommandRun run = RunCommand("register" + module, registry.Directory(), "timeout 30");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("is a directory"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("damaged"), std::string::npos) << run.err;
}

TEST(HostProcess, UnregisteringWhatIsNotRegisteredSucceedsAndWritesNothing) {
  quillgate::testing::TempRegistry registry;
  const std::filesystem::path file = registry.Directory() / "registry";
  const std::string module = std::string(" '") + QUILLGATE_MODULE_PATH + "'";
  CommandRun run = RunCommand("unregister" + module, registry.Directory());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("nothing to unregister"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(file));
  ASSERT_EQ(RunCommand("register" + module, registry.Directory()).status, 0);
  run = RunCommand("unregister" + module, registry.Directory());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Unregistered"), std::string::npos) << run.out;
  const std::string after = registry.Text();
  run = RunCommand("unregister" + module, registry.Directory());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("nothing to unregister"), std::string::npos) << run.out;
  EXPECT_EQ(registry.Text(), after);
}

TEST(HostProcess, AFullDiskDuringRegistrationOrUnregistrationIsNamed) {
  quillgate::testing::TempRegistry scratch;
  const std::filesystem::path disk = scratch.Directory() / "disk";
  std::filesystem::create_directory(disk);
  if (::geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs '" + disk.string() + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root (or the mount was refused here)";
  }
  const std::string onDisk = "QUILLGATE_REGISTRY='" + (disk / "registry").string() + "'";
  const std::string module = std::string(" '") + QUILLGATE_MODULE_PATH + "'";
  const CommandRun registered = RunCommand("register" + module, scratch.Directory(), onDisk);
  // Fill it to the last block; creating files still works, writing them does not.
  std::system(("dd if=/dev/zero of='" + (disk / "filler").string() + "' bs=4k 2>/dev/null").c_str());
  const CommandRun unregistered = RunCommand("unregister" + module, scratch.Directory(), onDisk);
  std::filesystem::remove(disk / "registry");  // and fill the space it held
  std::system(("dd if=/dev/zero of='" + (disk / "filler2").string() + "' bs=1k 2>/dev/null").c_str());
  const CommandRun failed = RunCommand("register" + module, scratch.Directory(), onDisk);
  std::system(("umount '" + disk.string() + "'").c_str());
  ASSERT_EQ(registered.status, 0) << registered.err;
  // The library's unregistration reports success whatever happens; the command does not.
  EXPECT_EQ(unregistered.status, 2);
  EXPECT_NE(unregistered.err.find("still holds Tovik.Quillgate.1"), std::string::npos) << unregistered.err;
  EXPECT_NE(unregistered.err.find("No space left on device"), std::string::npos) << unregistered.err;
  EXPECT_EQ(failed.status, 2);
  EXPECT_NE(failed.err.find("No space left on device"), std::string::npos) << failed.err;
}

// Root registering into a user's own registry (sudo with that user's environment) must
// leave the registry theirs: its owner and mode, and a lock file they can take.
TEST(HostProcess, RootsRegistrationInAUsersFolderLeavesTheRegistryTheirs) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
  constexpr uid_t kUser = 65534;  // nobody
  quillgate::testing::TempRegistry scratch;
  ASSERT_EQ(::chmod(scratch.Directory().c_str(), 0755), 0);
  const std::string module = std::string(" '") + QUILLGATE_MODULE_PATH + "'";
  const std::string asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  if (RunCommand("--version", scratch.Directory(), asUser).status != 0) {
    GTEST_SKIP() << "the command cannot be run as nobody from where it was built";
  }
  for (const bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "a registry the user made" : "no registry yet");
    const std::filesystem::path home = scratch.Directory() / (existing ? "made" : "empty");
    std::filesystem::create_directory(home);
    ASSERT_EQ(::chown(home.c_str(), kUser, kUser), 0);
    const std::string at = "QUILLGATE_REGISTRY='" + (home / "registry").string() + "'";
    if (existing) {
      ASSERT_EQ(RunCommand("register" + module, scratch.Directory(), asUser + " env " + at).status, 0);
      ASSERT_EQ(RunCommand("unregister" + module, scratch.Directory(), asUser + " env " + at).status, 0);
      ASSERT_EQ(::chmod((home / "registry").c_str(), 0600), 0);
    }
    const CommandRun rootRun = RunCommand("register" + module, scratch.Directory(), at);
    ASSERT_EQ(rootRun.status, 0) << rootRun.err;
    for (const char* name : {"registry", "registry.lock"}) {
      struct stat status {};
      ASSERT_EQ(::stat((home / name).c_str(), &status), 0) << name;
      EXPECT_EQ(status.st_uid, kUser) << name;
      EXPECT_EQ(status.st_gid, kUser) << name;
    }
    struct stat status {};
    ASSERT_EQ(::stat((home / "registry").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, existing ? 0600u : 0644u);
    const CommandRun userRun = RunCommand("unregister" + module, scratch.Directory(), asUser + " env " + at);
    EXPECT_EQ(userRun.status, 0) << userRun.err;
    EXPECT_NE(userRun.out.find("Unregistered"), std::string::npos) << userRun.out;
  }
}

}  // namespace
}  // namespace quillgate::component
