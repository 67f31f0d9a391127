#pragma once

// Nodes, their uptime figures, and the countries and tags that group them. Records refer to each
// other by identifier: Node.tags and Country.tags hold Tag.id, Node.country is a Country.country,
// the keys of NodeUpTime.uptime are Node.node_id.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

struct Node {
  Node() = default;
  // What the screens build by hand: `tags` present and empty, `uptime` present as 0.
  Node(std::string node_id, std::string protocal, std::vector<std::string> unsupported, std::string name,
       std::string country, std::int64_t port_turn, std::int64_t enabled, std::int64_t node_type)
      : node_id(std::move(node_id)), protocal(std::move(protocal)), unsupported(std::move(unsupported)),
        name(std::move(name)), country(std::move(country)), port_turn(port_turn), enabled(enabled),
        node_type(node_type), tags(std::vector<std::int64_t>{}), uptime(0) {}

  std::string node_id;
  std::string protocal;  // spelled as the server spells it
  std::vector<std::string> unsupported;
  std::string name;
  std::string country;
  std::optional<std::int64_t> port_turn;
  std::int64_t enabled = 0;  // node selection lists a country's nodes only when 2
  std::optional<std::int64_t> node_type;
  std::optional<std::vector<std::int64_t>> tags;
  std::optional<std::int64_t> uptime;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("node_id", self.node_id);
    v("protocal", self.protocal);
    v("unsupported", self.unsupported);
    v("name", self.name);
    v("country", self.country);
    v("port_turn", self.port_turn);
    v("enabled", self.enabled);
    v("node_type", self.node_type);
    v("tags", self.tags);
    v("uptime", self.uptime);
  }
};

// Answer of the node-list calls.
struct Nodes {
  std::vector<Node> nodes;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("nodes", self.nodes);
  }
};

// Answer of the per-country uptime call: node id to uptime figure.
struct NodeUpTime {
  std::map<std::string, std::int64_t> uptime;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("uptime", self.uptime);
  }
};

struct Country {
  std::string country;  // country code
  std::string name;
  std::vector<std::int64_t> tags;
  std::int64_t sort = 0;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("country", self.country);
    v("name", self.name);
    v("tags", self.tags);
    v("sort", self.sort);
  }
};

struct Tag {
  std::int64_t id = 0;
  std::string tag;
  std::string icon;
  std::string icon_new;  // image address shown by the tag picker
  std::int64_t vip = 0;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("tag", self.tag);
    v("icon", self.icon);
    v("icon_new", self.icon_new);
    v("vip", self.vip);
  }
};

}  // namespace tarnel
