// quillgate register | unregister | automate: the component library as hosts meet it.
//
// register and unregister load libquillgate.so and call its DllRegisterServer or
// DllUnregisterServer, as a registration tool does. automate is a late-binding host: it
// creates the class by ProgID through the runtime and the registry and runs each step by
// name through IDispatch, as a script would.
#include "cli/Commands.h"
#include "cli/HostText.h"

#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Graphics/Bitmap.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Runtime.h"
#include "Platform/Com/Utf.h"
#include "CommonUtilities/FileDescriptor.h"
#include "CommonUtilities/StringConversion.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillgate::cli {
namespace {

using namespace quillgate::com;

std::string HresultText(HRESULT hr) {
  char text[64];
  const char* name = HresultName(hr);
  std::snprintf(text, sizeof text, "0x%08X%s%s%s", static_cast<unsigned>(hr), name ? " (" : "",
                name ? name : "", name ? ")" : "");
  return text;
}

// The registry file the runtime and the loaded library use: through the environment, so the
// library's own copy of the runtime sees the same one.
void UseRegistry(const std::string& file) {
  if (file.empty()) return;
  const std::string absolute = std::filesystem::absolute(file).string();
  if (::setenv("QUILLGATE_REGISTRY", absolute.c_str(), 1) != 0) {
    throw std::runtime_error("cannot set QUILLGATE_REGISTRY");
  }
}

// The component library beside the command (a build tree), else where an installation puts
// it relative to the command (bin/../lib/.../quillgate/libquillgate.so).
std::filesystem::path DefaultLibrary() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::runtime_error("cannot find the quillgate command's own directory");
  const std::filesystem::path beside = self.parent_path() / "libquillgate.so";
  if (std::filesystem::exists(beside, error)) return beside;
  const std::filesystem::path installed = (self.parent_path() / QUILLGATE_MODULE_FROM_COMMAND).lexically_normal();
  return std::filesystem::exists(installed, error) ? installed : beside;
}

// ---- register / unregister ----------------------------------------------------------------

std::size_t RegistrySize(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::size_t>(size);
}

// Writes `bytes` to an unnamed temporary in `directory` (a named one where the file system
// has none) and syncs it; the errno of the first failure, or 0.
int ProbeWrite(const std::filesystem::path& directory, std::size_t bytes) {
  int opened = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (opened < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string named = (directory / ".quillgate-probe-XXXXXX").string();
    opened = ::mkostemp(named.data(), O_CLOEXEC);
    if (opened >= 0) ::unlink(named.c_str());
  }
  if (opened < 0) return errno;
  const FileDescriptor fd(opened);
  const std::vector<char> block(64 * 1024, '\0');
  for (std::size_t left = bytes; left > 0;) {
    const ssize_t put = ::write(fd.Get(), block.data(), std::min(left, block.size()));
    if (put < 0 && errno != EINTR) return errno;
    if (put > 0) left -= static_cast<std::size_t>(put);
  }
  return ::fsync(fd.Get()) == 0 ? 0 : errno;
}

// What keeps the registry from being read or written, told with what to do about it; empty
// when nothing can be found from here.
std::string RegistryProblem() {
  const std::filesystem::path path = registry::RegistryPath();
  try {
    registry::Read();
  } catch (const registry::RegistryFileError& e) {
    return e.what();
  } catch (const registry::RegistryError& e) {
    return std::string(e.what()) +
           " (the registry file is damaged: correct the line named, or move the file aside "
           "and register the component again)";
  }
  // Writers replace the file the path leads to, so it is that file's directory (or the
  // first part of its path that exists) that must be writable.
  std::error_code error;
  const std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
  std::filesystem::path directory = error ? path.parent_path() : target.parent_path();
  if (directory.empty()) directory = ".";
  while (!std::filesystem::exists(directory, error) && directory.has_relative_path() &&
         directory != directory.parent_path()) {
    directory = directory.parent_path();
  }
  if (!std::filesystem::is_directory(directory, error)) {
    return "cannot write the registry " + path.string() + ": " + directory.string() +
           " is not a directory";
  }
  if (::access(directory.c_str(), W_OK) != 0) {
    return "cannot write the registry " + path.string() + ": " + directory.string() + ": " +
           std::strerror(errno) + " (choose another file with --registry or QUILLGATE_REGISTRY)";
  }
  // A full disk, a quota or an I/O error shows only when writing: a private temporary of
  // the registry's size plus a registration's is written beside it and removed again.
  if (const int error = ProbeWrite(directory, RegistrySize(path) + 64 * 1024); error != 0) {
    return "cannot write the registry " + path.string() + ": " + std::strerror(error);
  }
  return {};
}

// The keys a registration of the component writes, by which its presence is told.
std::vector<std::string> ComponentKeys() {
  const std::string libraryVersion = "TypeLib\\" + GuidToString(component::LIBID_TOVIKQUILLGATELib) +
                                     "\\" + std::to_string(component::kTypeLibMajor) + "." +
                                     std::to_string(component::kTypeLibMinor);
  return {Utf16ToUtf8(component::kProgId), Utf16ToUtf8(component::kVersionIndependentProgId),
          "CLSID\\" + GuidToString(component::CLSID_Captcha), libraryVersion,
          "Interface\\" + GuidToString(component::IID_ICaptcha)};
}

// The registry as it stands; when it cannot be read, the cause found from here follows
// `context`.
registry::Key ReadRegistry(const std::string& context) {
  try {
    return registry::Read();
  } catch (const registry::RegistryError&) {
    throw std::runtime_error(context + RegistryProblem());
  }
}

// Which of the component's keys `root` holds.
std::vector<std::string> PresentKeys(const registry::Key& root) {
  std::vector<std::string> present;
  for (const std::string& key : ComponentKeys()) {
    if (root.Find(key) != nullptr) present.push_back(key);
  }
  return present;
}

// The component's keys that the registry holds now.
std::vector<std::string> RegisteredKeys() { return PresentKeys(ReadRegistry("")); }

// Registration reports what it did; the registry is read back to tell whether it holds.
void CheckRegistration(const std::filesystem::path& library, bool registering) {
  const registry::Key root =
      ReadRegistry(std::string(registering ? "registration" : "unregistration") + " cannot be confirmed: ");
  if (registering) {
    const registry::Key* server =
        root.Find("CLSID\\" + GuidToString(component::CLSID_Captcha) + "\\InprocServer32");
    if (server == nullptr || server->defaultValue != library.string()) {
      const std::string problem = RegistryProblem();
      throw std::runtime_error("the registry " + registry::RegistryPath().string() +
                               " does not name " + library.string() + " after registration" +
                               (problem.empty() ? "" : ": " + problem));
    }
    return;
  }
  // The library's entry point reports success whatever happened, so what is left in the
  // file is the only account of a failure, and the cause is found again from here.
  std::string left;
  for (const std::string& key : PresentKeys(root)) left += (left.empty() ? "" : ", ") + key;
  if (!left.empty()) {
    const std::string problem = RegistryProblem();
    throw std::runtime_error("unregistration failed: " + registry::RegistryPath().string() + " still holds " +
                             left + (problem.empty() ? "" : ": " + problem));
  }
}

void RunRegistration(const std::string& given, bool registering) {
  // Unregistering what is not registered succeeds and writes nothing: the library's entry
  // point would otherwise create an empty registry file where there was none.
  if (!registering && RegisteredKeys().empty()) {
    std::cout << "nothing to unregister: " << registry::RegistryPath().string() << " holds no registration of "
              << Utf16ToUtf8(component::kProgId) << '\n';
    return;
  }
  // Always an absolute path: the library registers the path it was loaded from, and a bare
  // name would make dlopen search the library path instead.
  const std::filesystem::path path =
      given.empty() ? DefaultLibrary() : std::filesystem::absolute(given);
  const char* entryName = registering ? "DllRegisterServer" : "DllUnregisterServer";
  std::unique_ptr<void, int (*)(void*)> library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL),
                                                &::dlclose);
  if (!library) {
    const char* reason = ::dlerror();
    throw std::runtime_error("cannot load " + path.string() + ": " + (reason ? reason : "unknown"));
  }
  const auto entry = reinterpret_cast<DllRegisterServerFunction>(::dlsym(library.get(), entryName));
  if (entry == nullptr) throw std::runtime_error(path.string() + " does not export " + entryName);
  const HRESULT hr = entry();
  if (FAILED(hr)) {
    // The library's own error information stays in its copy of the runtime; the cause is
    // found again from here.
    const std::string problem = RegistryProblem();
    throw std::runtime_error(std::string(entryName) + " in " + path.string() + " failed: " +
                             HresultText(hr) + (problem.empty() ? "" : ": " + problem));
  }
  // Unregistration succeeds by contract even when it removed nothing.
  CheckRegistration(path, registering);
  std::cout << (registering ? "Registered " : "Unregistered ") << path.string() << " in "
            << registry::RegistryPath().string() << '\n';
}

// ---- automate -----------------------------------------------------------------------------

struct Step {
  std::string text;  // as given, for messages
  std::string name;
  enum class Kind { Get, Put, Call } kind = Kind::Get;
  std::vector<std::string> args;  // Put: the value; Call: the arguments
  std::optional<std::string> file;
};

// Name | Name=value | Name(arg, ...) | either of the first and last followed by >FILE.
// Arguments may be quoted with "..." or '...' to keep commas and spaces. Every step is parsed
// before the first runs, so a malformed one is a usage error that leaves nothing half done.
Step ParseStep(const std::string& text) {
  Step step;
  step.text = text;
  std::size_t at = 0;
  const auto isNameChar = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  while (at < text.size() && isNameChar(text[at])) ++at;
  step.name = text.substr(0, at);
  if (step.name.empty()) throw CLI::ValidationError("step '" + text + "' does not start with a name");
  if (at < text.size() && text[at] == '=') {
    step.kind = Step::Kind::Put;
    step.args.push_back(text.substr(at + 1));
    return step;
  }
  if (at < text.size() && text[at] == '(') {
    step.kind = Step::Kind::Call;
    ++at;
    std::string current;
    bool sawAny = false;
    char quote = 0;
    bool closed = false;
    for (; at < text.size(); ++at) {
      const char c = text[at];
      if (quote != 0) {
        if (c == quote) quote = 0; else current += c;
        continue;
      }
      if (c == '"' || c == '\'') {
        quote = c;
        sawAny = true;
      } else if (c == ',') {
        step.args.push_back(current);
        current.clear();
        sawAny = true;
      } else if (c == ')') {
        closed = true;
        ++at;
        break;
      } else if (c != ' ' || !current.empty()) {
        current += c;
        sawAny = true;
      }
    }
    if (quote != 0 || !closed) throw CLI::ValidationError("step '" + text + "' has an unclosed '(' or quote");
    while (!current.empty() && current.back() == ' ') current.pop_back();
    if (sawAny) step.args.push_back(current);
  }
  if (at < text.size() && text[at] == '>') {
    step.file = text.substr(at + 1);
    if (step.file->empty()) throw CLI::ValidationError("step '" + text + "' names no file after '>'");
    at = text.size();
  }
  if (at != text.size()) throw CLI::ValidationError("step '" + text + "' is not Name, Name=value, Name(args) or Name>FILE");
  return step;
}

// Prints a failure the way a script host reports one. Returns false for the caller's tally.
bool ReportFailure(const Step& step, HRESULT hr, const EXCEPINFO* exception) {
  std::cout.flush();
  std::string description;
  std::string source;
  if (hr == DISP_E_EXCEPTION && exception != nullptr) {
    hr = exception->scode != 0 ? exception->scode : hr;
    description = WideToUtf8(BstrView(exception->bstrDescription));
    source = WideToUtf8(BstrView(exception->bstrSource));
  }
  std::cerr << step.text << ": error " << HresultText(hr) << '\n';
  if (!description.empty()) std::cerr << "  description: " << description << '\n';
  if (!source.empty()) std::cerr << "  source: " << source << '\n';
  std::cerr.flush();
  return false;
}

void ClearException(EXCEPINFO& exception) {
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  exception = EXCEPINFO{};
}

// `report` is standard output, or standard error when some step's data goes to standard
// output, so that the data there is never mixed with the lines about it.
bool PrintResult(const Step& step, VARIANT& result, std::ostream& report) {
  if (result.vt == (VT_ARRAY | VT_UI1)) {
    const ULONG count = result.parray ? result.parray->rgsabound[0].cElements : 0;
    if (step.file) {
      void* data = nullptr;
      SafeArrayAccessData(result.parray, &data);
      const std::span<const unsigned char> bytes(static_cast<const unsigned char*>(data), count);
      try {
        WriteOutput(*step.file, bytes);
      } catch (...) {
        SafeArrayUnaccessData(result.parray);
        throw;
      }
      SafeArrayUnaccessData(result.parray);
      report << step.name << ": " << count << " bytes written to " << *step.file << '\n';
    } else {
      report << step.name << " = <" << count << " bytes>\n";
    }
    return true;
  }
  if (step.file) {
    report.flush();
    std::cerr << step.text << ": the result is not a byte array, nothing written\n";
    return false;
  }
  if (result.vt == VT_EMPTY) {
    report << step.name << ": done\n";
    return true;
  }
  Variant text;
  if (FAILED(VariantChangeType(text.Get(), &result, 0, VT_BSTR))) {
    report << step.name << " = <value of type " << result.vt << ">\n";
    return true;
  }
  report << step.name << " = " << WideToUtf8(BstrView(text->bstrVal)) << '\n';
  return true;
}

bool RunStep(IDispatch* object, const Step& step, std::ostream& report) {
  std::u16string name = Utf8ToWide(step.name);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  if (const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id); FAILED(hr)) {
    return ReportFailure(step, hr, nullptr);
  }
  // Arguments go last first, as IDispatch expects them.
  std::vector<VARIANT> args(step.args.size());
  std::vector<BString> texts;
  texts.reserve(step.args.size());
  for (std::size_t i = 0; i < step.args.size(); ++i) {
    texts.emplace_back(Utf8ToWide(step.args[i]));
    VARIANT& arg = args[step.args.size() - 1 - i];
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = texts.back().Get();
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  if (step.kind == Step::Kind::Put) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
    flags = DISPATCH_PROPERTYPUT;
  }
  Variant result;
  EXCEPINFO exception{};
  UINT argErr = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, &params,
                                    step.kind == Step::Kind::Put ? nullptr : result.Get(),
                                    &exception, &argErr);
  if (FAILED(hr)) {
    ReportFailure(step, hr, &exception);
    ClearException(exception);
    return false;
  }
  if (step.kind == Step::Kind::Put) return true;
  return PrintResult(step, *result.Get(), report);
}

// The command line's own limits, applied to automate's steps as to the other commands
// before anything runs: the component takes any CodeLength and any code, and a script
// asking for two billion characters would draw or speak until killed. A value that is not
// a number is left to the component, which refuses it with its own message.
void CheckStepLimits(const Step& step) {
  const auto checkNumber = [&](std::string_view property, int lowest, int highest) {
    if (step.kind != Step::Kind::Put || !EqualsIgnoringAsciiCase(step.name, property)) return;
    std::string text = step.args.front();
    const std::string problem = IntegerIn(lowest, highest)(text);
    if (!problem.empty() && text.find_first_not_of("+-0123456789") == std::string::npos) {
      throw CLI::ValidationError(step.text, problem);
    }
  };
  checkNumber("CodeLength", 1, kMaxCodeLength);
  checkNumber("ImageWidth", 1, graphics::Bitmap::kMaxSide);
  checkNumber("ImageHeight", 1, graphics::Bitmap::kMaxSide);
  if (step.kind == Step::Kind::Call && EqualsIgnoringAsciiCase(step.name, "CreateSoundFromCode") && !step.args.empty() &&
      !step.args.front().empty()) {
    std::string code = step.args.front();
    if (const std::string problem = CodeText(kMaxCodeLength)(code); !problem.empty()) {
      throw CLI::ValidationError(step.text, problem);
    }
  }
}

void RunAutomation(const std::string& progId, const std::vector<std::string>& stepTexts) {
  std::vector<Step> steps;
  for (const std::string& text : stepTexts) steps.push_back(ParseStep(text));
  for (const Step& step : steps) CheckStepLimits(step);
  const bool dataOnStandardOutput =
      std::any_of(steps.begin(), steps.end(), [](const Step& step) { return step.file == "-"; });
  std::ostream& report = dataOnStandardOutput ? std::cerr : std::cout;

  const std::u16string wideProgId = Utf8ToWide(progId);
  CLSID clsid{};
  if (const HRESULT hr = CLSIDFromProgID(wideProgId.c_str(), &clsid); FAILED(hr)) {
    const std::string problem = hr == REGDB_E_READREGDB ? RegistryProblem() : std::string();
    throw std::runtime_error("cannot find the class " + progId + " in " +
                             registry::RegistryPath().string() + ": " + HresultText(hr) +
                             (problem.empty() ? " (is the component registered?)" : ": " + problem));
  }
  bool allWorked = true;
  {
    ComPtr<IDispatch> object;
    if (const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                            object.OutVoid());
        FAILED(hr)) {
      const std::string problem = hr == REGDB_E_READREGDB ? RegistryProblem() : std::string();
      throw std::runtime_error("cannot create " + progId + ": " + HresultText(hr) +
                               (problem.empty() ? "" : ": " + problem));
    }
    for (const Step& step : steps) allWorked = RunStep(object.Get(), step, report) && allWorked;
  }
  CoFreeUnusedLibraries();
  if (!allWorked) throw CLI::RuntimeError(kExitFailure);
}

}  // namespace

void AddComponentCommands(CLI::App& app) {
  for (const bool registering : {true, false}) {
    auto* command = app.add_subcommand(
        registering ? "register" : "unregister",
        registering ? "Register the component library (its classes and type library)"
                    : "Remove the component library's registration");
    auto path = std::make_shared<std::string>();
    auto registryFile = std::make_shared<std::string>();
    command->add_option("PATH", *path, "The library (default: libquillgate.so beside this command, or where it is installed)");
    command->add_option("--registry", *registryFile,
                        "The registry file (default: $QUILLGATE_REGISTRY, else per user)");
    command->callback([path, registryFile, registering] {
      UseRegistry(*registryFile);
      RunRegistration(*path, registering);
    });
  }

  auto* automate = app.add_subcommand(
      "automate",
      "Drive the registered component by name, as a script host: Name=value puts a property, "
      "Name gets one or calls a method, Name(arg, ...) calls with arguments, Name>FILE writes "
      "a byte-array result");
  auto steps = std::make_shared<std::vector<std::string>>();
  auto progId = std::make_shared<std::string>("Tovik.Quillgate");
  auto registryFile = std::make_shared<std::string>();
  automate->add_option("STEP", *steps, "The steps, run in order")->required()->check(Utf8Text());
  automate->add_option("--progid", *progId, "The class to create")->capture_default_str()->check(Utf8Text());
  automate->add_option("--registry", *registryFile,
                       "The registry file (default: $QUILLGATE_REGISTRY, else per user)");
  automate->callback([steps, progId, registryFile] {
    UseRegistry(*registryFile);
    RunAutomation(*progId, *steps);
  });
}

}  // namespace quillgate::cli
