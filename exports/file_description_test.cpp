#include "exports/file_description.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "exports/error_location.h"
#include "exports/file_description_fake.h"

// Watches the allocation of one size (the version block's) so that the tests
// can tell the block was given back on every path, raises included.
namespace {
std::size_t g_watchedSize = 0;
void* g_watchedBlock = nullptr;
int g_watchedAllocations = 0;
int g_watchedLive = 0;
// While set, every allocation fails.
bool g_allocationsFail = false;
}  // namespace

void* operator new(std::size_t n) {
  if (g_allocationsFail) throw std::bad_alloc();
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  if (g_watchedSize != 0 && n == g_watchedSize) {
    g_watchedBlock = p;
    ++g_watchedAllocations;
    ++g_watchedLive;
  }
  return p;
}
namespace {
void Release(void* p) noexcept {
  if (p != nullptr && p == g_watchedBlock) {
    g_watchedBlock = nullptr;
    --g_watchedLive;
  }
  std::free(p);
}
}  // namespace
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }

namespace tarvish {
namespace {

const char kPath[] = "C:\\app\\tool.exe";
const std::string kEnglishUnicode = "\\StringFileInfo\\040904b0\\fileDescription";

FakeVersionResources EnglishUnicodeFile(const char* description) {
  FakeVersionResources fake;
  fake.values["\\VarFileInfo\\Translation"] = TranslationBytes({{0x0409, 0x04b0}});
  fake.values[kEnglishUnicode] = TextBytes(description);
  return fake;
}

TEST(DescriptionQueryPath, FormatsBothHalvesAsFourLowerCaseHexDigits) {
  const struct {
    std::uint16_t language, codePage;
    const char* expected;
  } cases[] = {
      {0x0409, 0x04b0, "\\StringFileInfo\\040904b0\\fileDescription"},
      {0x0000, 0x0000, "\\StringFileInfo\\00000000\\fileDescription"},
      {0xFFFF, 0xABCD, "\\StringFileInfo\\ffffabcd\\fileDescription"},
  };
  for (const auto& c : cases) {
    const std::string path = DescriptionQueryPath(c.language, c.codePage);
    EXPECT_EQ(path, c.expected);
    EXPECT_EQ(path.size(), 40u);
  }
}

TEST(ReadFileDescription, QueriesTheFirstPairsTableAndCopiesItsText) {
  FakeVersionResources fake = EnglishUnicodeFile("Quillvex Editor");
  fake.values["\\VarFileInfo\\Translation"] = TranslationBytes({{0x0409, 0x04b0}, {0x0407, 0x04e4}});
  const RefString description = ReadFileDescription(fake, kPath);
  EXPECT_STREQ(description.Text(), "Quillvex Editor");
  const std::vector<std::string> expected = {
      "InfoSize(C:\\app\\tool.exe)", "ReadInfo(C:\\app\\tool.exe,256)",
      "QueryValue(\\VarFileInfo\\Translation)", "QueryValue(" + kEnglishUnicode + ")"};
  EXPECT_EQ(fake.calls, expected);
  // The copy is the caller's own: the block it came from is gone.
  EXPECT_NE(static_cast<const void*>(description.Text()), fake.lastBlock);
}

// Each failure: what it records and raises, and how far the queries went.
struct FailureCase {
  const char* name;
  void (*arrange)(FakeVersionResources&);
  const char* path;
  std::int32_t line;
  const char* message;
  std::vector<std::string> queries;
};

std::vector<std::string> Queries(const FakeVersionResources& fake) {
  std::vector<std::string> queries;
  for (const auto& call : fake.calls) {
    if (call.rfind("QueryValue(", 0) == 0) queries.push_back(call);
  }
  return queries;
}

const std::string kTranslationQuery = "QueryValue(\\VarFileInfo\\Translation)";

const FailureCase kFailures[] = {
    {"no version information", [](FakeVersionResources& f) { f.size = 0; }, kPath, 694,
     kCodePageFailure, {}},
    {"version information unreadable", [](FakeVersionResources& f) { f.readSucceeds = false; },
     kPath, 694, kCodePageFailure, {}},
    {"no Translation value",
     [](FakeVersionResources& f) { f.values.erase("\\VarFileInfo\\Translation"); }, kPath, 694,
     kCodePageFailure, {kTranslationQuery}},
    {"Translation shorter than a pair",
     [](FakeVersionResources& f) { f.values["\\VarFileInfo\\Translation"] = {0x09, 0x04}; },
     kPath, 694, kCodePageFailure, {kTranslationQuery}},
    {"first pair without a table while another has one",
     [](FakeVersionResources& f) {
       f.values["\\VarFileInfo\\Translation"] = TranslationBytes({{0x0407, 0x04e4}, {0x0409, 0x04b0}});
     },
     kPath, 702, kVersionStringFailure,
     {kTranslationQuery, "QueryValue(\\StringFileInfo\\040704e4\\fileDescription)"}},
    {"description outside the block",
     [](FakeVersionResources& f) {
       static const char elsewhere[] = "not in the block";
       f.textPointer = elsewhere;
     },
     kPath, 702, kVersionStringFailure,
     {kTranslationQuery, "QueryValue(" + kEnglishUnicode + ")"}},
};

TEST(ReadFileDescription, EachFailureRecordsItsLineAndRaisesItsMessage) {
  for (const FailureCase& c : kFailures) {
    SCOPED_TRACE(c.name);
    FakeVersionResources fake = EnglishUnicodeFile("unused");
    c.arrange(fake);
    ErrorFile = nullptr;
    ErrorLine = 0;
    const char* raised = nullptr;
    try {
      ReadFileDescription(fake, c.path);
    } catch (const char* message) {
      raised = message;
    }
    ASSERT_NE(raised, nullptr) << "nothing raised";
    EXPECT_STREQ(raised, c.message);
    EXPECT_STREQ(ErrorFile, "Tarvish");
    EXPECT_EQ(ErrorLine, c.line);
    EXPECT_EQ(Queries(fake), c.queries);
  }
}

TEST(ReadFileDescription, NullPathIsAFileWithoutVersionInformation) {
  FakeVersionResources fake = EnglishUnicodeFile("unused");
  ErrorLine = 0;
  EXPECT_THROW(ReadFileDescription(fake, nullptr), const char*);
  EXPECT_EQ(ErrorLine, 694);
  EXPECT_TRUE(fake.calls.empty());
}

TEST(ReadFileDescription, TheRaisedMessageIsCaughtAsAnUntypedPointerToo) {
  FakeVersionResources fake = EnglishUnicodeFile("unused");
  fake.size = 0;
  EXPECT_THROW(ReadFileDescription(fake, kPath), const void*);
}

TEST(ReadFileDescription, UnterminatedTextStopsAtTheEndOfTheBlock) {
  FakeVersionResources fake = EnglishUnicodeFile("unused");
  fake.values[kEnglishUnicode] = {'A', 'B', 'C'};
  // The fake lays values out in name order: the three text bytes, then the
  // four translation bytes, and the block ends there with no NUL anywhere.
  fake.size = 7;
  const RefString description = ReadFileDescription(fake, kPath);
  EXPECT_EQ(description.Length(), fake.size);
  EXPECT_EQ(std::string(description.Text(), 3), "ABC");
}

TEST(ReadFileDescription, ALaterSuccessLeavesTheRecordOfTheLastFailure) {
  FakeVersionResources missingTable = EnglishUnicodeFile("unused");
  missingTable.values.erase(kEnglishUnicode);
  EXPECT_THROW(ReadFileDescription(missingTable, kPath), const char*);
  FakeVersionResources good = EnglishUnicodeFile("fine");
  EXPECT_STREQ(ReadFileDescription(good, kPath).Text(), "fine");
  EXPECT_STREQ(ErrorFile, "Tarvish");
  EXPECT_EQ(ErrorLine, 702);
}

TEST(ReadFileDescription, TheBlockIsGivenBackOnEveryPath) {
  RefString warm;  // the shared empty record is allocated once, not per call
  const std::uint32_t blockSize = 4099;  // a size nothing else here allocates
  auto run = [&](void (*arrange)(FakeVersionResources&)) {
    FakeVersionResources fake = EnglishUnicodeFile("text");
    fake.size = blockSize;
    arrange(fake);
    g_watchedAllocations = 0;
    g_watchedLive = 0;
    g_watchedSize = blockSize;
    try {
      RefString kept = ReadFileDescription(fake, kPath);
    } catch (const char*) {
    }
    g_watchedSize = 0;
    EXPECT_EQ(g_watchedAllocations, 1);
    EXPECT_EQ(g_watchedLive, 0);
  };
  run([](FakeVersionResources&) {});
  run([](FakeVersionResources& f) { f.readSucceeds = false; });
  run([](FakeVersionResources& f) { f.values.erase("\\VarFileInfo\\Translation"); });
  run([](FakeVersionResources& f) { f.values.erase(kEnglishUnicode); });
}

TEST(FileDescriptionForEngine, FailuresGiveEmptyTextAndStillRecordTheLine) {
  FakeVersionResources noTable = EnglishUnicodeFile("unused");
  noTable.values.erase(kEnglishUnicode);
  ErrorLine = 0;
  const char* text = nullptr;
  EXPECT_NO_THROW(text = FileDescriptionForEngine(noTable, kPath));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(ErrorLine, 702);
  EXPECT_NO_THROW(text = FileDescriptionForEngine(noTable, nullptr));
  EXPECT_STREQ(text, "");
  EXPECT_EQ(ErrorLine, 694);
}

TEST(FileDescriptionForEngine, TheTextLivesUntilTheNextCall) {
  FakeVersionResources first = EnglishUnicodeFile("first description");
  const char* text = FileDescriptionForEngine(first, kPath);
  // The fake and its block are gone; the returned text is the module's copy.
  first = FakeVersionResources();
  EXPECT_STREQ(text, "first description");
  FakeVersionResources second = EnglishUnicodeFile("second");
  EXPECT_STREQ(FileDescriptionForEngine(second, kPath), "second");
}

// The module's first call builds the holder of the returned text, and with it
// the shared empty record. It runs in a fresh process so that nothing before
// it has built either.
TEST(FileDescriptionForEngine, AFirstCallWithoutMemoryGivesEmptyTextAndDoesNotThrow) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        FakeVersionResources fake = EnglishUnicodeFile("unused");
        g_allocationsFail = true;
        const char* text = FileDescriptionForEngine(fake, kPath);
        g_allocationsFail = false;
        std::exit(text != nullptr && *text == '\0' ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  // Once memory is back, the export works as ever.
  FakeVersionResources fake = EnglishUnicodeFile("after");
  EXPECT_STREQ(FileDescriptionForEngine(fake, kPath), "after");
}

}  // namespace
}  // namespace tarvish
