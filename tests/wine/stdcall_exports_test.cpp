// Every export, called through GetProcAddress as the installer engine calls
// it, removes exactly its own argument bytes from the stack. A mismatch (an
// export compiled cdecl, or declared with the wrong number of arguments)
// links and runs, and corrupts the engine's stack only at the next call.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/wine/dll_under_test.h"
#include "tests/wine/stdcall_measured_call.h"

namespace {

using tarvish_test::CallMeasured;
using tarvish_test::DllUnderTest;
using tarvish_test::MeasuredCall;

#if defined(__i386__)
constexpr bool kArgumentsRemovedByCallee = true;
#else
constexpr bool kArgumentsRemovedByCallee = false;  // x64 has one convention: the caller's
#endif

std::intptr_t ExpectedRemoval(int stdcallBytes) {
  return kArgumentsRemovedByCallee ? stdcallBytes : 0;
}

std::uintptr_t Arg(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

__attribute__((noinline)) int WINAPI StdcallDifference(int a, int b) { return a - b; }
__attribute__((noinline)) int __cdecl CdeclDifference(int a, int b) { return a - b; }

TEST(StdcallMeasure, TellsCalleePopsFromCallerPopsAndPassesArgumentsInOrder) {
  const std::uintptr_t args[] = {7, 2};
  const MeasuredCall stdcallCall =
      CallMeasured(reinterpret_cast<const void*>(&StdcallDifference), args, 2);
  const MeasuredCall cdeclCall =
      CallMeasured(reinterpret_cast<const void*>(&CdeclDifference), args, 2);
  EXPECT_EQ(static_cast<int>(stdcallCall.result), 5);
  EXPECT_EQ(static_cast<int>(cdeclCall.result), 5);
  EXPECT_EQ(stdcallCall.removed, ExpectedRemoval(8));
  EXPECT_EQ(cdeclCall.removed, 0);
}

// A scratch folder under the prefix's temp directory for the exports that
// take paths: every path given to them names something missing in it, so
// they find nothing to change.
class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = tarvish_test::TempDirectory() + "tarvish-stdcall-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path_ + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileA((path_ + found.cFileName).c_str());
      } while (FindNextFileA(find, &found));
      FindClose(find);
    }
    RemoveDirectoryA(path_.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

constexpr char kProbeFace[] = "Tarvish Stdcall Probe Face";

// UpdateFont may record the (missing) probe font under the system's Fonts
// key, whichever way it ends; that value must not outlive the test.
void ForgetProbeFont() {
  const std::string value = std::string(kProbeFace) + " (TrueType)";
  for (const char* key : {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts"}) {
    HKEY fonts = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &fonts) == ERROR_SUCCESS) {
      RegDeleteValueA(fonts, value.c_str());
      RegCloseKey(fonts);
    }
  }
}

class StdcallExports : public ::testing::Test {
 protected:
  void TearDown() override { ForgetProbeFont(); }

  MeasuredCall Call(const char* name, const std::vector<std::uintptr_t>& args) {
    FARPROC proc = dll_.Get<FARPROC>(name);
    EXPECT_NE(proc, nullptr) << name << " is not exported";
    if (proc == nullptr) return {};
    return CallMeasured(reinterpret_cast<const void*>(proc), args.data(),
                        static_cast<unsigned>(args.size()));
  }

  DllUnderTest dll_;
  ScratchFolder scratch_;
};

TEST_F(StdcallExports, EachExportRemovesExactlyItsArgumentBytes) {
  ASSERT_NE(dll_.module(), nullptr);
  const std::string missingFile = scratch_.path() + "missing.exe";
  const std::string missingShortcut = scratch_.path() + "missing.lnk";
  const std::string newShortcut = scratch_.path() + "updated.lnk";
  const std::string expectedTargetText = "C:\\PROGRA~1\\QUILLVEX\\QUILLVEX.EXE";
  std::vector<char> expectedTarget(expectedTargetText.begin(), expectedTargetText.end());
  expectedTarget.resize(MAX_PATH, '\0');
  const std::string newTarget = "C:\\Program Files\\Quillvex\\Quillvex2.exe";
  const std::string fontSource = scratch_.path() + "source";
  const std::string fontsFolder = scratch_.path() + "fonts";
  CreateDirectoryA(fontSource.c_str(), nullptr);
  CreateDirectoryA(fontsFolder.c_str(), nullptr);

  const struct {
    const char* name;
    int stdcallBytes;
    std::vector<std::uintptr_t> args;
  } exports[] = {
      {"ViseEntry", 12, {1, 2, 3}},
      {"IsAfter", 12, {1, 1, 2000}},
      {"GetACP", 0, {}},
      {"_GetActiveCP@0", 0, {}},
      {"GetFileDescription", 4, {Arg(missingFile.c_str())}},
      {"CheckShortCutAndUpdateIfNecessary",
       16,
       {Arg(missingShortcut.c_str()), Arg(expectedTarget.data()), Arg(newTarget.c_str()),
        Arg(newShortcut.c_str())}},
      {"ForceIconCacheRebuild", 0, {}},
      {"UpdateFont",
       16,
       {Arg(kProbeFace), Arg("tarvish-missing-font.ttf"), Arg(fontSource.c_str()),
        Arg(fontsFolder.c_str())}},
  };
  for (const auto& e : exports) {
    SCOPED_TRACE(e.name);
    const MeasuredCall call = Call(e.name, e.args);
    EXPECT_EQ(call.removed, ExpectedRemoval(e.stdcallBytes));
  }
}

TEST_F(StdcallExports, ResultsComeBackInEaxUnharmedByTheMeasure) {
  EXPECT_EQ(static_cast<int>(Call("ViseEntry", {0xdead, 0xbeef, 0xf00d}).result), 0);
  EXPECT_EQ(static_cast<int>(Call("IsAfter", {1, 1, 2000}).result), 1);
  EXPECT_EQ(static_cast<int>(Call("IsAfter", {1, 1, 9999}).result), 0);
  EXPECT_EQ(static_cast<UINT>(Call("_GetActiveCP@0", {}).result), GetACP());
  EXPECT_EQ(static_cast<UINT>(Call("GetACP", {}).result), GetACP());
}

TEST_F(StdcallExports, ShortcutExportLeavesMissingFilesMissing) {
  const std::string missingShortcut = scratch_.path() + "missing.lnk";
  const std::string newShortcut = scratch_.path() + "updated.lnk";
  char expectedTarget[MAX_PATH] = "c:\\progra~1\\quillvex\\quillvex.exe";
  const MeasuredCall call =
      Call("CheckShortCutAndUpdateIfNecessary",
           {Arg(missingShortcut.c_str()), Arg(expectedTarget), Arg("C:\\new.exe"),
            Arg(newShortcut.c_str())});
  EXPECT_EQ(static_cast<int>(call.result), 3) << "a shortcut that cannot be loaded";
  EXPECT_STREQ(expectedTarget, "c:\\progra~1\\quillvex\\quillvex.exe");
  EXPECT_FALSE(Exists(missingShortcut));
  EXPECT_FALSE(Exists(newShortcut));
}

TEST_F(StdcallExports, GetACPLeadsIntoKernel32) {
  ASSERT_NE(dll_.module(), nullptr);
  FARPROC exported = dll_.Get<FARPROC>("GetACP");
  ASSERT_NE(exported, nullptr);
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(exported),
            reinterpret_cast<void*>(GetProcAddress(kernel32, "GetACP")));

  // The code it leads to lies in a system module, not in Tarvish.dll.
  HMODULE owner = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(exported), &owner));
  EXPECT_NE(owner, dll_.module());
  char ownerPath[MAX_PATH] = {};
  char systemFolder[MAX_PATH] = {};
  GetModuleFileNameA(owner, ownerPath, MAX_PATH);
  GetSystemDirectoryA(systemFolder, MAX_PATH);
  EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, ownerPath,
                           static_cast<int>(lstrlenA(systemFolder)), systemFolder, -1),
            CSTR_EQUAL)
      << ownerPath << " is not in " << systemFolder;
}

}  // namespace
