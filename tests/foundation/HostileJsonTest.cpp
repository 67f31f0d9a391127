// JSON from outside that is built to hurt: nesting deep enough to overflow the stack, objects
// wide enough to make key insertion quadratic. Every parser of the program goes through the same
// bounded builder; these cases run it through each entry point.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/BoundedJson.h"
#include "services/common/JsonHelper.h"
#include "services/model/Json.h"

namespace tarnel {
namespace {

struct Holder {
  std::string name;
  Json value;
  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("name", self.name);
    v("value", self.value);
  }
};

// {"value": <depth levels of arrays or objects>, "name": "n"}: the key after the deep value is
// what made copying the parsed object overflow.
std::string deepRecord(std::size_t depth, bool objects) {
  std::string text = R"({"value":)";
  for (std::size_t i = 0; i < depth; ++i) text += objects ? R"({"a":)" : "[";
  text += "1";
  for (std::size_t i = 0; i < depth; ++i) text += objects ? "}" : "]";
  text += R"(,"name":"n"})";
  return text;
}

std::string wideObject(std::size_t keys) {
  std::string text = "{";
  for (std::size_t i = 0; i < keys; ++i) {
    if (i > 0) text += ",";
    text += "\"k" + std::to_string(i) + "\":" + std::to_string(i);
  }
  text += R"(,"name":"n","value":0})";
  return text;
}

TEST(HostileJson, NestingBeyondTheLimitIsADecodingFailureEverywhere) {
  struct Case {
    std::size_t depth;
    bool objects;
    bool decodes;
  };
  // The record itself is one level: a value nested kMaxJsonDepth - 1 deep is the deepest accepted.
  const std::size_t limit = platform::kMaxJsonDepth;
  const Case cases[] = {
      {limit - 1, false, true}, {limit - 1, true, true}, {limit, false, false},
      {limit, true, false},     {48'000, true, false},   {100'000, false, false},
      {100'000, true, false},
  };
  for (const auto& c : cases) {
    const std::string text = deepRecord(c.depth, c.objects);
    SCOPED_TRACE(std::to_string(c.depth) + (c.objects ? " objects" : " arrays"));
    testing::internal::CaptureStdout();
    const auto record = fromJson<Holder>(text);
    const auto plain = jsonDecode(text);
    const std::string logged = testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.has_value(), c.decodes);
    EXPECT_EQ(plain.has_value(), c.decodes);
    if (c.decodes) {
      EXPECT_EQ(record->name, "n");
      Json copy = *plain;  // copying and comparing recurse: fine within the limit
      EXPECT_EQ(copy, *plain);
    } else {
      EXPECT_NE(logged.find("Error decoding JSON: "), std::string::npos) << logged.substr(0, 300);
      EXPECT_NE(logged.find("nested deeper than"), std::string::npos) << logged.substr(0, 300);
    }
    // The other layers' parsers share the bound.
    EXPECT_EQ(platform::parseJsonBounded<nlohmann::json>(text).has_value(), c.decodes);
  }
}

TEST(HostileJson, WideObjectsDecodeWholeWithTheirKeysInOrder) {
  const std::string text = wideObject(60'000);
  // The same entries as a list of pairs make the yardstick: decoding it is linear whatever the
  // object's keys do, and it takes the machine's speed and its caches into account. Linear key
  // insertion decodes the object in a few times the list's time; quadratic insertion took about
  // 6 s for these 60,000 keys in an optimised build, hundreds of times the list's time. The
  // fastest of a few runs, the two taken in turns, leaves out the time the machine spent elsewhere.
  std::string pairs = "[";
  for (std::size_t i = 0; i < 60'000; ++i) pairs += (i > 0 ? ",[\"k" : "[\"k") + std::to_string(i) + "\"," + std::to_string(i) + "]";
  pairs += "]";
  auto listBest = std::chrono::steady_clock::duration::max();
  auto objectBest = listBest;
  for (int i = 0; i < 3; ++i) {
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(jsonDecode(pairs));
    listBest = std::min(listBest, std::chrono::steady_clock::now() - started);
    started = std::chrono::steady_clock::now();
    EXPECT_TRUE(fromJson<Holder>(text));
    objectBest = std::min(objectBest, std::chrono::steady_clock::now() - started);
  }
  const double list = std::chrono::duration<double>(listBest).count();
  const double object = std::chrono::duration<double>(objectBest).count();
  EXPECT_LT(object, 40 * list) << "the object took " << object << " s, the list of its entries " << list << " s";
  const auto record = fromJson<Holder>(text);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->name, "n");

  const auto parsed = json::parse(text);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->size(), 60'002u);
  EXPECT_EQ(parsed->begin().key(), "k0");
  EXPECT_EQ(std::next(parsed->begin(), 59'999).key(), "k59999");
  EXPECT_EQ((*parsed)["k31337"], 31337);

  const auto map = fromJson<std::map<std::string, Json>>(text);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->size(), 60'002u);
  EXPECT_EQ(json::encodeValue(*map).size(), 60'002u);
}

TEST(HostileJson, RepeatedKeysKeepTheFirstPlaceAndTheLastValue) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"a":1,"b":2,"a":3})", R"({"a":3,"b":2})"},
      {R"({"a":{"x":1},"b":[{"y":1,"y":2}],"a":{"z":2}})", R"({"a":{"z":2},"b":[{"y":2}]})"},
      {R"([{"k":1,"k":{"k":2,"k":3}}])", R"([{"k":{"k":3}}])"},
  };
  for (const auto& c : cases) {
    const auto parsed = json::parse(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->dump(), c.expected) << c.text;
    // The same as the library's own parser gives, for both object kinds.
    EXPECT_EQ(*parsed, Json::parse(c.text)) << c.text;
    EXPECT_EQ(platform::parseJsonBounded<nlohmann::json>(c.text), nlohmann::json::parse(c.text)) << c.text;
  }
}

TEST(HostileJson, BrokenTextIsRefusedWithTheParsersReason) {
  for (const char* text : {"", "{", R"({"a":})", "[1,]", "\xff", "1 2", R"({"a":1}})"}) {
    std::string error;
    EXPECT_FALSE(platform::parseJsonBounded(text, &error)) << text;
    EXPECT_NE(error.find("parse error"), std::string::npos) << text << ": " << error;
  }
  for (const char* text : {"0", "\"x\"", "null", "[]", "{}", R"({"a":[true,1.5,-2,"\u00e9"]})"}) {
    EXPECT_EQ(platform::parseJsonBounded(text), Json::parse(text)) << text;
  }
}

}  // namespace
}  // namespace tarnel
