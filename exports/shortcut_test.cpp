#include "exports/shortcut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "exports/shortcut_fake.h"

namespace tarvish {
namespace {

const char kOld[] = "C:\\Users\\Ann\\Desktop\\Editor.lnk";
const char kNew[] = "C:\\Users\\Ann\\Desktop\\Quillvex Editor.lnk";
const char kNewTarget[] = "C:\\Program Files\\Quillvex\\Editor2.exe";
const char kTarget[] = "C:\\PROGRA~1\\QUILLV~1\\EDITOR.EXE";

constexpr ComStatus kSFalse = 1;
constexpr ComStatus kChangedMode = static_cast<ComStatus>(0x80010106u);
constexpr ComStatus kFail = static_cast<ComStatus>(0x80004005u);

int CheckWith(FakeShell& shell, std::string& expected, const char* oldPath = kOld,
        const char* newPath = kNew) {
  expected.resize(expected.size() + 1);  // the caller's buffer, NUL included
  const int result = CheckShortcut(shell, oldPath, expected.data(), kNewTarget, newPath);
  expected.pop_back();
  return result;
}

using Calls = std::vector<std::string>;
const Calls kThroughLoad = {"CoInitialize", "CreateShellLink", "QueryInterface(IPersistFile)",
                            std::string("Load(") + kOld + ")"};

Calls Then(Calls head, const Calls& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

const Calls kReleaseBoth = {"Release(IPersistFile)", "Release(IShellLinkA)"};

struct ResultCase {
  const char* name;
  void (*arrange)(FakeShell&);
  const char* expectedTarget;
  int result;
  Calls calls;
};

TEST(CheckShortcut, EachResultWithItsCallsAndReleases) {
  const std::string setPath = std::string("SetPath(") + kNewTarget + ")";
  const std::string save = std::string("Save(") + kNew + ")";
  const std::string compare = std::string("CompareFiles(") + kOld + "," + kNew + ")";
  const ResultCase cases[] = {
      {"updated", [](FakeShell&) {}, kTarget, 0,
       Then(kThroughLoad,
            Then({"GetPath", setPath, save, std::string("FullPath(") + kOld + ")",
                  std::string("FullPath(") + kNew + ")", compare,
                  std::string("DeleteFile(") + kOld + ")", "SHChangeNotify"},
                 kReleaseBoth))},
      {"S_FALSE from CoInitialize goes on", [](FakeShell& s) { s.comStatus = kSFalse; }, kTarget,
       0,
       Then(kThroughLoad,
            Then({"GetPath", setPath, save, std::string("FullPath(") + kOld + ")",
                  std::string("FullPath(") + kNew + ")", compare,
                  std::string("DeleteFile(") + kOld + ")", "SHChangeNotify"},
                 kReleaseBoth))},
      {"target length differs", [](FakeShell&) {}, "C:\\Program Files\\Quillvex\\Editor.exe", 1,
       Then(kThroughLoad, Then({"GetPath"}, kReleaseBoth))},
      {"new target refused", [](FakeShell& s) { s.setTargetStatus = kFail; }, kTarget, 1,
       Then(kThroughLoad, Then({"GetPath", setPath}, kReleaseBoth))},
      {"save refused keeps the old shortcut", [](FakeShell& s) { s.saveStatus = kFail; },
       kTarget, 1, Then(kThroughLoad, Then({"GetPath", setPath, save}, kReleaseBoth))},
      {"same length, other text", [](FakeShell&) {}, "C:\\PROGRA~1\\QUILLV~1\\EDITOR.EXF", 2,
       Then(kThroughLoad, Then({"GetPath"}, kReleaseBoth))},
      {"old shortcut does not load", [](FakeShell& s) { s.loadStatus = kFail; }, kTarget, 3,
       Then(kThroughLoad, kReleaseBoth)},
      {"no persist-file interface", [](FakeShell& s) { s.persistFileGiven = false; }, kTarget, 4,
       {"CoInitialize", "CreateShellLink", "QueryInterface(IPersistFile)",
        "Release(IShellLinkA)"}},
      {"no shell link object", [](FakeShell& s) { s.linkCreated = false; }, kTarget, 4,
       {"CoInitialize", "CreateShellLink"}},
      {"COM refused on this thread", [](FakeShell& s) { s.comStatus = kChangedMode; }, kTarget, 5,
       {"CoInitialize"}},
  };
  for (const ResultCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeShell shell;
    c.arrange(shell);
    std::string expected = c.expectedTarget;
    EXPECT_EQ(CheckWith(shell, expected), c.result);
    EXPECT_EQ(shell.calls, c.calls);
  }
}

TEST(CheckShortcut, TheCallersBufferAfterEachComparison) {
  const struct {
    const char* name;
    const char* target;
    const char* given;
    int result;
    const char* after;
  } cases[] = {
      {"case-only difference matches and is upper-cased", "C:\\Progra~1\\app.exe",
       "c:\\PROGRA~1\\App.Exe", 0, "C:\\PROGRA~1\\APP.EXE"},
      {"long form, other length: untouched", "C:\\PROGRA~1\\APP.EXE",
       "c:\\Program Files\\app.exe", 1, "c:\\Program Files\\app.exe"},
      {"same length, other text: upper-cased", "C:\\PROGRA~1\\APP.EXE", "c:\\progra~2\\app.exe",
       2, "C:\\PROGRA~2\\APP.EXE"},
      {"accented letters match only byte for byte", "C:\\CAF\xC9.EXE", "c:\\caf\xE9.exe", 2,
       "C:\\CAF\xE9.EXE"},
      {"equal accented bytes match", "C:\\caf\xE9.exe", "c:\\CAF\xE9.EXE", 0,
       "C:\\CAF\xE9.EXE"},
      {"digits and punctuation are left alone", "C:\\A_1{}.~`", "c:\\a_1{}.~`", 0,
       "C:\\A_1{}.~`"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeShell shell;
    shell.shortTarget = c.target;
    std::string given = c.given;
    EXPECT_EQ(CheckWith(shell, given), c.result);
    EXPECT_EQ(given, c.after);
  }
}

TEST(CheckShortcut, UnusableArgumentsGiveThreeBeforeAnythingIsTouched) {
  const std::string longPath = "C:\\" + std::string(256, 'x') + ".lnk";  // 263 characters
  const std::string atLimit = "C:\\" + std::string(253, 'x') + ".lnk";   // 260 characters
  char expected[] = "C:\\PROGRA~1\\QUILLV~1\\EDITOR.EXE";
  const struct {
    const char* name;
    const char* oldPath;
    char* expectedTarget;
    const char* newTarget;
    const char* newPath;
  } cases[] = {
      {"null old shortcut", nullptr, expected, kNewTarget, kNew},
      {"null expected target", kOld, nullptr, kNewTarget, kNew},
      {"null new target", kOld, expected, nullptr, kNew},
      {"null new shortcut", kOld, expected, kNewTarget, nullptr},
      {"old shortcut path too long", longPath.c_str(), expected, kNewTarget, kNew},
      {"old shortcut path of 260", atLimit.c_str(), expected, kNewTarget, kNew},
      {"new shortcut path too long", kOld, expected, kNewTarget, longPath.c_str()},
      {"new shortcut path of 260", kOld, expected, kNewTarget, atLimit.c_str()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeShell shell;
    shell.shortTarget = "c:\\progra~1\\quillv~1\\editor.exe";
    EXPECT_EQ(CheckShortcut(shell, c.oldPath, c.expectedTarget, c.newTarget, c.newPath), 3);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_STREQ(expected, "C:\\PROGRA~1\\QUILLV~1\\EDITOR.EXE");
  }
  // 259 characters still fit the path buffers.
  const std::string longest = "C:\\" + std::string(252, 'x') + ".lnk";
  FakeShell shell;
  std::string given = kTarget;
  EXPECT_EQ(CheckWith(shell, given, longest.c_str(), kNew), 0);
}

TEST(CheckShortcut, SavingOverTheOldShortcutKeepsIt) {
  const struct {
    const char* name;
    const char* oldPath;
    const char* newPath;
    std::map<std::string, std::string> fullPaths;
    FileIdentity identity;
    bool deleted;
  } cases[] = {
      {"same path in other case", "C:\\Desk\\App.lnk", "c:\\desk\\APP.LNK", {},
       FileIdentity::Different, false},
      {"relative and short forms of one file", "App.lnk", "C:\\DESK~1\\app.lnk",
       {{"App.lnk", "C:\\Desktop\\App.lnk"}, {"C:\\DESK~1\\app.lnk", "C:\\Desktop\\app.lnk"}},
       FileIdentity::Different, false},
      {"a path that cannot be resolved", "C:\\Desk\\App.lnk", "C:\\Desk\\New.lnk",
       {{"C:\\Desk\\New.lnk", ""}}, FileIdentity::Different, false},
      {"UNC and mapped drive names of one file", "\\\\srv\\home\\App.lnk", "H:\\App.lnk", {},
       FileIdentity::Same, false},
      {"8.3 name the long-name lookup missed", "C:\\DESK~1\\APP~1.LNK",
       "C:\\Desktop\\Application.lnk", {}, FileIdentity::Same, false},
      {"identity cannot be read", "C:\\Desk\\App.lnk", "C:\\Desk\\App2.lnk", {},
       FileIdentity::Unknown, false},
      {"different files", "C:\\Desk\\App.lnk", "C:\\Desk\\App2.lnk", {},
       FileIdentity::Different, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeShell shell;
    shell.fullPaths = c.fullPaths;
    shell.identity = c.identity;
    std::string given = kTarget;
    EXPECT_EQ(CheckWith(shell, given, c.oldPath, c.newPath), 0);
    const std::string deletion = std::string("DeleteFile(") + c.oldPath + ")";
    const bool deleted =
        std::find(shell.calls.begin(), shell.calls.end(), deletion) != shell.calls.end();
    EXPECT_EQ(deleted, c.deleted);
    const std::string save = std::string("Save(") + c.newPath + ")";
    EXPECT_NE(std::find(shell.calls.begin(), shell.calls.end(), save), shell.calls.end());
    EXPECT_EQ(shell.calls.back(), "Release(IShellLinkA)");
  }
}

TEST(CheckShortcut, AFailureAfterTheSaveKeepsTheOldFileAndReportsTheUpdate) {
  FakeShell shell;
  shell.fullPathThrows = true;
  std::string given = kTarget;
  int result = -1;
  EXPECT_NO_THROW(result = CheckWith(shell, given));
  EXPECT_EQ(result, 0);
  const Calls expected = Then(
      kThroughLoad,
      Then({"GetPath", std::string("SetPath(") + kNewTarget + ")",
            std::string("Save(") + kNew + ")", std::string("FullPath(") + kOld + ")",
            "SHChangeNotify"},
           kReleaseBoth));
  EXPECT_EQ(shell.calls, expected);
}

}  // namespace
}  // namespace tarvish
