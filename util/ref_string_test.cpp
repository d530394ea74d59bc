#include "util/ref_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tarvish {
namespace {

const RefStringRep* SharedEmpty() { return RefString().Rep(); }

TEST(RefStringEmpty, NullAndEmptyTextShareTheOneEmptyRecord) {
  const RefStringRep* shared = SharedEmpty();
  const std::int32_t before = shared->refs;
  {
    RefString fromNull(static_cast<const char*>(nullptr));
    RefString fromEmpty("");
    RefString zeroCount("abc", 0);
    for (const RefString* s : {&fromNull, &fromEmpty, &zeroCount}) {
      EXPECT_EQ(s->Rep(), shared);
      EXPECT_EQ(s->Length(), 0u);
      EXPECT_STREQ(s->Text(), "");
    }
    EXPECT_EQ(shared->refs, before + 3);
    EXPECT_TRUE(shared->staticText);
    EXPECT_FALSE(shared->inlineText);
  }
  EXPECT_EQ(shared->refs, before);
  // The module's own hold keeps the record alive with no string holding it.
  EXPECT_GE(shared->refs, 1);
}

TEST(RefStringConstruct, CopiesTextIntoOneInlineRecord) {
  char source[] = "hello";
  RefString s(source);
  source[0] = 'J';
  EXPECT_STREQ(s.Text(), "hello");
  EXPECT_EQ(s.Length(), 5u);
  EXPECT_TRUE(s.Rep()->inlineText);
  EXPECT_FALSE(s.Rep()->staticText);
  EXPECT_EQ(s.Rep()->refs, 1);
  // Record and text in one allocation: the text follows the record.
  EXPECT_EQ(s.Text(), reinterpret_cast<const char*>(s.Rep() + 1));
}

TEST(RefStringConstruct, CountStopsEarlyAndLengthStopsAtEmbeddedNul) {
  RefString prefix("abcdef", 3);
  EXPECT_STREQ(prefix.Text(), "abc");
  EXPECT_EQ(prefix.Length(), 3u);

  const char withNul[] = {'a', 'b', '\0', 'c'};
  RefString cut(withNul, 4);
  EXPECT_EQ(cut.Length(), 2u);
  EXPECT_STREQ(cut.Text(), "ab");
}

TEST(RefStringCopy, SharesAndCountsAndSurvivesTheOriginal) {
  const char* text = nullptr;
  RefString* copy = nullptr;
  {
    RefString original("shared");
    copy = new RefString(original);
    EXPECT_EQ(copy->Rep(), original.Rep());
    EXPECT_EQ(original.Rep()->refs, 2);
    text = original.Text();
  }
  // One holder remains: the text is still valid.
  EXPECT_STREQ(text, "shared");
  EXPECT_EQ(copy->Rep()->refs, 1);
  delete copy;  // last holder: ASan reports any leak or double free
}

TEST(RefStringAssign, SelfAssignmentChangesNothing) {
  RefString s("self");
  const RefStringRep* rep = s.Rep();
  RefString& alias = s;
  s = alias;
  EXPECT_EQ(s.Rep(), rep);
  EXPECT_EQ(rep->refs, 1);
}

TEST(RefStringAssign, ReleasesOldRecordAndSharesNew) {
  RefString a("first");
  RefString b("second");
  RefString keep(a);
  a = b;
  EXPECT_EQ(a.Rep(), b.Rep());
  EXPECT_EQ(b.Rep()->refs, 2);
  EXPECT_EQ(keep.Rep()->refs, 1);
  EXPECT_STREQ(keep.Text(), "first");
}

TEST(RefStringCharAt, ZeroBeyondTheEnd) {
  RefString s("abcde");
  EXPECT_EQ(s.CharAt(0), 'a');
  EXPECT_EQ(s.CharAt(4), 'e');
  EXPECT_EQ(s.CharAt(5), '\0');
  EXPECT_EQ(s.CharAt(4000000000u), '\0');
}

TEST(RefStringEquals, ExactBytewiseComparison) {
  struct Case {
    const char* string;
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"abc", "abc", 1},   {"abc", "ab", 0},  {"ab", "abc", 0},
      {"", "", 1},         {"abc", "ABC", 0}, {"\xe9", "\xc9", 0},
      {"", "x", 0},        {"x", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RefString(c.string).Equals(c.text), c.expected)
        << '"' << c.string << "\" vs \"" << c.text << '"';
  }
  EXPECT_EQ(RefString("abc").Equals(nullptr), 0);
}

TEST(RefStringTextsDiffer, ProperPrefixDiffersEitherWay) {
  EXPECT_EQ(TextsDiffer("abc", "abc"), 0);
  EXPECT_EQ(TextsDiffer("abc", "abcd"), 1);
  EXPECT_EQ(TextsDiffer("abcd", "abc"), 1);
  EXPECT_EQ(TextsDiffer("", ""), 0);
}

TEST(RefStringConcat, NewRecordEvenForTwoEmptyStrings) {
  RefString empty;
  RefString both = empty.Concat(empty);
  EXPECT_NE(both.Rep(), empty.Rep());
  EXPECT_TRUE(both.Rep()->inlineText);
  EXPECT_EQ(both.Length(), 0u);

  RefString joined = RefString("foo").Concat(RefString("bar"));
  EXPECT_STREQ(joined.Text(), "foobar");
  EXPECT_EQ(joined.Length(), 6u);
}

TEST(RefStringAppend, OtherHoldersKeepTheOldText) {
  RefString s("head");
  RefString other(s);
  s.Append(RefString("-tail"));
  EXPECT_STREQ(s.Text(), "head-tail");
  EXPECT_STREQ(other.Text(), "head");
  EXPECT_EQ(other.Rep()->refs, 1);
  EXPECT_EQ(s.Rep()->refs, 1);
}

TEST(RefStringSubstring, ClampsAndSharesOnlyPastTheEnd) {
  RefString s("abcde");
  RefString tail = s.Substring(2, 100);
  EXPECT_STREQ(tail.Text(), "cde");
  EXPECT_EQ(tail.Length(), 3u);

  RefString past = s.Substring(5, 1);
  EXPECT_EQ(past.Rep(), RefString::EmptyString().Rep());
  EXPECT_STREQ(past.Text(), "");

  RefString none = s.Substring(0, 0);
  EXPECT_NE(none.Rep(), RefString::EmptyString().Rep());
  EXPECT_TRUE(none.Rep()->inlineText);
  EXPECT_EQ(none.Length(), 0u);
  EXPECT_EQ(none.Rep()->refs, 1);
}

TEST(RefStringUpperCopy, UpperCasesLettersAndLeavesTheSource) {
  RefString s("abc123xyz");
  RefString upper = s.UpperCopy();
  EXPECT_STREQ(upper.Text(), "ABC123XYZ");
  EXPECT_STREQ(s.Text(), "abc123xyz");
  EXPECT_NE(upper.Rep(), s.Rep());
  EXPECT_EQ(upper.Length(), 9u);
}

TEST(RefStringEmptyString, IsTheSharedRecordAndStable) {
  RefString& first = RefString::EmptyString();
  RefString& second = RefString::EmptyString();
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first.Rep(), SharedEmpty());
}

}  // namespace
}  // namespace tarvish
