// CheckShortCutAndUpdateIfNecessary through the real DLL, on shortcut files
// the test makes with IShellLinkA in a folder of its own.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/wine/dll_under_test.h"

namespace {

using tarvish_test::DllUnderTest;
using CheckShortcutFn = int(WINAPI*)(const char*, char*, const char*, const char*);

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  CloseHandle(h);
}

// Writes a shortcut to `target` at `path` the way an installer would.
void MakeShortcut(const std::string& path, const std::string& target) {
  IShellLinkA* link = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkA, reinterpret_cast<void**>(&link))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  EXPECT_TRUE(SUCCEEDED(link->SetPath(target.c_str())));
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  EXPECT_TRUE(SUCCEEDED(file->Save(wide, TRUE))) << path;
  file->Release();
  link->Release();
}

// The target stored in the shortcut at `path`, as GetPath gives it.
std::string TargetOf(const std::string& path, DWORD flags) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return "<no link object>";
  }
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  std::string target = "<unreadable>";
  if (SUCCEEDED(file->Load(wide, STGM_READ))) {
    char buffer[MAX_PATH] = {};
    WIN32_FIND_DATAA found;
    link->GetPath(buffer, MAX_PATH, &found, flags);
    target = buffer;
  }
  file->Release();
  link->Release();
  return target;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}
std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

class Shortcut : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_NE(dll_.module(), nullptr);
    check_ = dll_.Get<CheckShortcutFn>("CheckShortCutAndUpdateIfNecessary");
    ASSERT_NE(check_, nullptr);
    dir_ = tarvish_test::TempDirectory() + "tarvish shortcut " + std::to_string(GetCurrentProcessId()) + " " +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(dir_.c_str(), nullptr);
    oldTarget_ = dir_ + "\\Quillvex Editor.exe";
    newTarget_ = dir_ + "\\Quillvex Editor 2.exe";
    Touch(oldTarget_);
    Touch(newTarget_);
    oldLink_ = dir_ + "\\Editor.lnk";
    newLink_ = dir_ + "\\Quillvex Editor.lnk";
    MakeShortcut(oldLink_, oldTarget_);
    // What the library will compare with: the target in short form, as this
    // system gives it.
    seen_ = TargetOf(oldLink_, SLGP_SHORTPATH);
    ASSERT_FALSE(seen_.empty());
  }
  void TearDown() override {
    for (const std::string& f : {oldLink_, newLink_, oldTarget_, newTarget_}) DeleteFileA(f.c_str());
    RemoveDirectoryA(dir_.c_str());
    CoUninitialize();
  }

  // Calls the export with a writable copy of `expected`; returns the result
  // and leaves the buffer's text in `expected`.
  int Check(std::string& expected, const std::string& oldLink, const std::string& newLink) {
    std::vector<char> buffer(expected.begin(), expected.end());
    buffer.resize(buffer.size() + MAX_PATH, '\0');
    const int result = check_(oldLink.c_str(), buffer.data(), newTarget_.c_str(), newLink.c_str());
    expected = buffer.data();
    return result;
  }

  DllUnderTest dll_;
  CheckShortcutFn check_ = nullptr;
  std::string dir_, oldTarget_, newTarget_, oldLink_, newLink_, seen_;
};

TEST_F(Shortcut, ACaseOnlyDifferenceRetargetsSavesAndDeletes) {
  std::string expected = Lower(seen_);
  EXPECT_EQ(Check(expected, oldLink_, newLink_), 0);
  EXPECT_EQ(expected, Upper(seen_));
  EXPECT_FALSE(Exists(oldLink_));
  ASSERT_TRUE(Exists(newLink_));
  EXPECT_EQ(Lower(TargetOf(newLink_, SLGP_RAWPATH)), Lower(newTarget_));
}

TEST_F(Shortcut, MismatchesLeaveTheFilesAlone) {
  std::string otherLength = seen_ + "x";
  EXPECT_EQ(Check(otherLength, oldLink_, newLink_), 1);
  EXPECT_EQ(otherLength, seen_ + "x");  // untouched

  std::string sameLength = Lower(seen_);
  sameLength.back() = sameLength.back() == 'q' ? 'r' : 'q';
  const std::string given = sameLength;
  EXPECT_EQ(Check(sameLength, oldLink_, newLink_), 2);
  EXPECT_EQ(sameLength, Upper(given));

  EXPECT_TRUE(Exists(oldLink_));
  EXPECT_FALSE(Exists(newLink_));
  EXPECT_EQ(TargetOf(oldLink_, SLGP_SHORTPATH), seen_);
}

TEST_F(Shortcut, AMissingShortcutGivesThree) {
  std::string expected = seen_;
  EXPECT_EQ(Check(expected, dir_ + "\\No Such.lnk", newLink_), 3);
  EXPECT_FALSE(Exists(newLink_));
}

TEST_F(Shortcut, SavingOverTheOldShortcutKeepsIt) {
  std::string expected = seen_;
  EXPECT_EQ(Check(expected, oldLink_, Upper(oldLink_)), 0);
  ASSERT_TRUE(Exists(oldLink_));
  EXPECT_EQ(Lower(TargetOf(oldLink_, SLGP_RAWPATH)), Lower(newTarget_));
}

// A second name for the old shortcut's own file: the texts differ, the file
// is one, and the save goes into it.
TEST_F(Shortcut, SavingThroughAHardLinkKeepsTheOtherName) {
  if (!CreateHardLinkA(newLink_.c_str(), oldLink_.c_str(), nullptr)) {
    GTEST_SKIP() << "no hard links here: " << GetLastError();
  }
  std::string expected = seen_;
  EXPECT_EQ(Check(expected, oldLink_, newLink_), 0);
  ASSERT_TRUE(Exists(oldLink_));
  EXPECT_EQ(Lower(TargetOf(oldLink_, SLGP_RAWPATH)), Lower(newTarget_));
}

TEST_F(Shortcut, ASaveThatFailsKeepsTheOldShortcut) {
  std::string expected = seen_;
  EXPECT_EQ(Check(expected, oldLink_, dir_ + "\\no such folder\\Editor.lnk"), 1);
  ASSERT_TRUE(Exists(oldLink_));
  EXPECT_EQ(TargetOf(oldLink_, SLGP_SHORTPATH), seen_);
}

TEST_F(Shortcut, UnusableArgumentsGiveThreeAndTouchNothing) {
  const std::string overlong = dir_ + "\\" + std::string(300, 'x') + ".lnk";
  std::string expected = Lower(seen_);
  EXPECT_EQ(Check(expected, overlong, newLink_), 3);
  EXPECT_EQ(Check(expected, oldLink_, overlong), 3);
  EXPECT_EQ(expected, Lower(seen_));
  EXPECT_EQ(check_(nullptr, expected.data(), newTarget_.c_str(), newLink_.c_str()), 3);
  EXPECT_EQ(check_(oldLink_.c_str(), nullptr, newTarget_.c_str(), newLink_.c_str()), 3);
  EXPECT_EQ(check_(oldLink_.c_str(), expected.data(), nullptr, newLink_.c_str()), 3);
  EXPECT_EQ(check_(oldLink_.c_str(), expected.data(), newTarget_.c_str(), nullptr), 3);
  EXPECT_EQ(expected, Lower(seen_));
  EXPECT_TRUE(Exists(oldLink_));
  EXPECT_FALSE(Exists(newLink_));
}

struct MtaCall {
  CheckShortcutFn check;
  std::string oldLink, expected, newTarget, newLink;
  int result;
};

DWORD WINAPI CallInTheMultithreadedApartment(void* p) {
  auto* c = static_cast<MtaCall*>(p);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  c->result = c->check(c->oldLink.c_str(), c->expected.data(), c->newTarget.c_str(),
                       c->newLink.c_str());
  CoUninitialize();
  return 0;
}

TEST_F(Shortcut, AThreadInTheMultithreadedApartmentGetsFive) {
  MtaCall call{check_, oldLink_, seen_, newTarget_, newLink_, -1};
  HANDLE thread = CreateThread(nullptr, 0, CallInTheMultithreadedApartment, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(call.result, 5);
  EXPECT_TRUE(Exists(oldLink_));
  EXPECT_FALSE(Exists(newLink_));
}

// Wine answers SLGP_SHORTPATH with the long path; Windows gives the 8.3
// form. Either way it names the target, and the library compares with it.
TEST_F(Shortcut, TheShortPathQueryNamesTheTarget) {
  std::printf("SLGP_SHORTPATH gives: %s\n", seen_.c_str());
  RecordProperty("short_path", seen_);
  char expanded[MAX_PATH] = {};
  ASSERT_NE(GetLongPathNameA(seen_.c_str(), expanded, MAX_PATH), 0u);
  EXPECT_EQ(Lower(expanded), Lower(oldTarget_));
}

}  // namespace
