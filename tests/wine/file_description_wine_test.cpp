// GetFileDescription through the real DLL, on small fixture DLLs that carry
// nothing but a version resource.

#include <gtest/gtest.h>

#include <string>

#include "tests/wine/dll_under_test.h"

namespace {

using tarvish_test::DllUnderTest;
using tarvish_test::ProgramFolder;
using GetFileDescriptionFn = const char*(WINAPI*)(const char*);

class FileDescription : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dll_.module(), nullptr);
    describe_ = dll_.Get<GetFileDescriptionFn>("GetFileDescription");
    ASSERT_NE(describe_, nullptr);
  }
  std::string Describe(const std::string& path) {
    const char* text = describe_(path.c_str());
    EXPECT_NE(text, nullptr) << path;
    return text != nullptr ? text : "<null>";
  }

  DllUnderTest dll_;
  GetFileDescriptionFn describe_ = nullptr;
};

TEST_F(FileDescription, ReadsTheFirstPairsDescription) {
  EXPECT_EQ(Describe(ProgramFolder() + "version_english_unicode.dll"),
            "Quillvex Sample Component");
}

TEST_F(FileDescription, TheLibraryDescribesItself) {
  EXPECT_EQ(Describe(ProgramFolder() + "Tarvish.dll"), "Tarvish installer support library");
}

TEST_F(FileDescription, FailuresGiveEmptyTextAndTheProcessGoesOn) {
  const char* const failing[] = {
      "version_first_pair_untabled.dll",  // no table for the first pair; the second is not tried
      "version_no_translation.dll",
      "version_none.dll",  // no version resource at all
      "no such file.dll",
  };
  for (const char* name : failing) {
    EXPECT_EQ(Describe(ProgramFolder() + name), "") << name;
  }
  // Still alive, and a good file still works after the failures.
  EXPECT_EQ(Describe(ProgramFolder() + "version_english_unicode.dll"),
            "Quillvex Sample Component");
}

TEST_F(FileDescription, NullAndOverlongPathsGiveEmptyText) {
  EXPECT_STREQ(describe_(nullptr), "");
  const std::string overlong = "C:\\" + std::string(5000, 'x') + ".dll";
  EXPECT_EQ(Describe(overlong), "");
}

TEST_F(FileDescription, TheTextStaysReadableUntilTheNextCall) {
  const char* first = describe_((ProgramFolder() + "version_english_unicode.dll").c_str());
  // The library's version block for that call is gone; its copy is not.
  HeapCompact(GetProcessHeap(), 0);
  EXPECT_STREQ(first, "Quillvex Sample Component");
  EXPECT_EQ(Describe(ProgramFolder() + "Tarvish.dll"), "Tarvish installer support library");
}

}  // namespace
