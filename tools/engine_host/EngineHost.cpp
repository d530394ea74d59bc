// EngineHost: plays the installer engine. Loads Tarvish.dll from its own
// folder with LoadLibraryA, resolves one export by name and calls it the way
// the engine does (stdcall, 32-bit arguments), then prints the result.
//
//   EngineHost <export> [arg ...]
//
// An argument of the form #123 or #-5 is passed as a 32-bit integer; any
// other argument is passed as a pointer to a writable copy of its ANSI text.
// The result is printed as "<export> -> <integer>"; for GetFileDescription
// the text is printed too, and text arguments the export changed in place
// are printed as "arg N now: <text>".

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Fn0 = INT_PTR(WINAPI*)();
using Fn1 = INT_PTR(WINAPI*)(INT_PTR);
using Fn2 = INT_PTR(WINAPI*)(INT_PTR, INT_PTR);
using Fn3 = INT_PTR(WINAPI*)(INT_PTR, INT_PTR, INT_PTR);
using Fn4 = INT_PTR(WINAPI*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR);

// The number of 32-bit arguments each export takes. A stdcall export
// called with another count would leave the stack unbalanced, so the host
// refuses such a call instead of making it.
struct ExportArity {
  const char* name;
  int arguments;
};
constexpr ExportArity kExports[] = {
    {"ViseEntry", 3},          {"IsAfter", 3},
    {"GetACP", 0},             {"_GetActiveCP@0", 0},
    {"GetFileDescription", 1}, {"CheckShortCutAndUpdateIfNecessary", 4},
    {"ForceIconCacheRebuild", 0}, {"UpdateFont", 4},
};

int ArgumentsOf(const char* name) {
  for (const ExportArity& e : kExports) {
    if (std::strcmp(e.name, name) == 0) return e.arguments;
  }
  return -1;
}

template <typename Fn>
Fn As(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

std::string ModuleFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 6) {
    std::fprintf(stderr, "usage: EngineHost <export> [arg ...]   (at most 4 arguments)\n");
    return 2;
  }
  const std::string dllPath = ModuleFolder() + "Tarvish.dll";
  HMODULE dll = LoadLibraryA(dllPath.c_str());
  if (dll == nullptr) {
    std::fprintf(stderr, "EngineHost: cannot load %s (error %lu)\n", dllPath.c_str(),
                 GetLastError());
    return 3;
  }
  const char* name = argv[1];
  const int count = argc - 2;
  const int expected = ArgumentsOf(name);
  if (expected < 0) {
    std::fprintf(stderr, "EngineHost: %s is not an export of Tarvish.dll\n", name);
    return 2;
  }
  if (count != expected) {
    std::fprintf(stderr, "EngineHost: %s takes %d argument(s), not %d\n", name, expected, count);
    return 2;
  }
  FARPROC proc = GetProcAddress(dll, name);
  if (proc == nullptr) {
    std::fprintf(stderr, "EngineHost: %s is not exported\n", name);
    return 4;
  }

  std::vector<std::vector<char>> texts(count);
  INT_PTR args[4] = {};
  for (int i = 0; i < count; ++i) {
    const char* a = argv[i + 2];
    if (a[0] == '#') {
      // Any 32-bit pattern: #4294967295 and #-1 both pass 0xFFFFFFFF.
      args[i] = static_cast<INT_PTR>(static_cast<std::int32_t>(
          static_cast<std::uint32_t>(std::strtoll(a + 1, nullptr, 0))));
    } else {
      // Room to grow: some exports write into their text arguments.
      texts[i].assign(a, a + std::strlen(a) + 1);
      texts[i].resize(texts[i].size() + MAX_PATH, '\0');
      args[i] = reinterpret_cast<INT_PTR>(texts[i].data());
    }
  }

  INT_PTR result = 0;
  switch (count) {
    case 0: result = As<Fn0>(proc)(); break;
    case 1: result = As<Fn1>(proc)(args[0]); break;
    case 2: result = As<Fn2>(proc)(args[0], args[1]); break;
    case 3: result = As<Fn3>(proc)(args[0], args[1], args[2]); break;
    default: result = As<Fn4>(proc)(args[0], args[1], args[2], args[3]); break;
  }

  if (std::strcmp(name, "GetFileDescription") == 0) {
    const char* text = reinterpret_cast<const char*>(result);
    std::printf("%s -> \"%s\"\n", name, text ? text : "(null)");
  } else {
    std::printf("%s -> %d\n", name, static_cast<int>(result));
  }
  for (int i = 0; i < count; ++i) {
    if (!texts[i].empty() && std::strcmp(texts[i].data(), argv[i + 2]) != 0) {
      std::printf("arg %d now: %s\n", i + 1, texts[i].data());
    }
  }
  std::fflush(stdout);
  return 0;
}
