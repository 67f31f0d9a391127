#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {
namespace {

struct Inner {
  std::string name;
  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("name", self.name);
  }
};

struct Record {
  int64_t id = 0;
  std::string title;
  bool flag = false;
  double price = 0;
  std::optional<std::string> note;
  std::vector<Inner> items;
  std::optional<std::vector<std::optional<std::string>>> texts;
  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("title", self.title);
    v("flag", self.flag);
    v("price", self.price);
    v("note", self.note);
    v("items", self.items);
    v("texts", self.texts);
  }
};

constexpr const char* kValid =
    R"({"id":7,"title":"t","flag":true,"price":9.99,"items":[{"name":"a"}],"extra":{"x":1}})";

TEST(JsonCoding, DecodesRequiredOptionalAndIgnoresUnknownKeys) {
  const auto r = fromJson<Record>(kValid);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->id, 7);
  EXPECT_EQ(r->title, "t");
  EXPECT_TRUE(r->flag);
  EXPECT_DOUBLE_EQ(r->price, 9.99);
  EXPECT_FALSE(r->note);
  ASSERT_EQ(r->items.size(), 1u);
  EXPECT_EQ(r->items[0].name, "a");

  const auto withNulls = fromJson<Record>(
      R"({"id":1,"title":"","flag":false,"price":1,"note":null,"items":[],"texts":["a",null]})");
  ASSERT_TRUE(withNulls);
  EXPECT_FALSE(withNulls->note);
  ASSERT_TRUE(withNulls->texts);
  ASSERT_EQ(withNulls->texts->size(), 2u);
  EXPECT_FALSE((*withNulls->texts)[1]);
}

TEST(JsonCoding, StrictTypesFailTheWholeRecord) {
  const char* bad[] = {
      R"({"title":"t","flag":true,"price":1,"items":[]})",                     // missing required
      R"({"id":null,"title":"t","flag":true,"price":1,"items":[]})",           // null required
      R"({"id":"7","title":"t","flag":true,"price":1,"items":[]})",            // digits as a string
      R"({"id":7.5,"title":"t","flag":true,"price":1,"items":[]})",            // fractional integer
      R"({"id":7e-1,"title":"t","flag":true,"price":1,"items":[]})",           // fraction in exponent form
      R"({"id":1e19,"title":"t","flag":true,"price":1,"items":[]})",           // whole but > int64
      R"({"id":true,"title":"t","flag":true,"price":1,"items":[]})",           // boolean as integer
      R"({"id":1,"title":"t","flag":1,"price":1,"items":[]})",                 // number as boolean
      R"({"id":1,"title":"t","flag":true,"price":false,"items":[]})",          // boolean as number
      R"({"id":1,"title":"t","flag":true,"price":1,"items":[{"name":2}]})",    // nested element
      R"({"id":1,"title":"t","flag":true,"price":1,"items":[],"note":3})",     // malformed optional
      R"({"id":18446744073709551615,"title":"t","flag":true,"price":1,"items":[]})",  // > int64
      R"([1,2])",
      R"({"id":1,)",
  };
  testing::internal::CaptureStdout();
  for (const char* text : bad) EXPECT_FALSE(fromJson<Record>(text)) << text;
  const std::string out = testing::internal::GetCapturedStdout();
  size_t logged = 0;
  for (size_t pos = 0; (pos = out.find("Error decoding JSON: ", pos)) != std::string::npos; ++pos) ++logged;
  EXPECT_EQ(logged, std::size(bad));
}

TEST(JsonCoding, EmptyTextAndNullableFormsAreSilent) {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(fromJson<Record>(""));
  EXPECT_FALSE(fromJsonNullable<Record>("null"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  testing::internal::CaptureStdout();
  EXPECT_FALSE(fromJson<Record>("null"));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error decoding JSON: "), std::string::npos);
  EXPECT_TRUE(fromJsonNullable<Record>(kValid));
}

TEST(JsonCoding, EncodesInDeclarationOrderWithoutAbsentOptionals) {
  Record r;
  r.id = 3;
  r.title = "x";
  r.items = {{"n"}};
  const auto text = toJson(r);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find('\n'), std::string::npos) << "pretty-printed";
  const auto parsed = Json::parse(*text);
  std::vector<std::string> keys;
  for (auto it = parsed.begin(); it != parsed.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"id", "title", "flag", "price", "items"}));

  const Json map = toMap(r);
  EXPECT_EQ(map, parsed);
  const auto back = fromJson<Record>(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->id, 3);
  EXPECT_FALSE(back->note);
}

TEST(JsonCoding, InvalidUtf8FailsToEncodeAndMapsToEmpty) {
  Record r;
  r.title = std::string("\xff\xfe", 2);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(toJson(r));
  EXPECT_TRUE(toMap(r).empty());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error encoding JSON: "), std::string::npos);
}

}  // namespace
}  // namespace tarnel
