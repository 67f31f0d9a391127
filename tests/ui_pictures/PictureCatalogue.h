#pragma once

// Every picture name the interface asks for: the fixed names of the pages and the names its
// naming rules build at run time. The coverage tests hold the asset folders against this list.

#include <string>
#include <vector>

namespace tarnel::test::pictures {

// Names of images the pages use as they stand.
std::vector<std::string> fixedImageNames();

// Names the pages build from parts at run time (status-bar icon by colour and state, device
// icon by platform, protocol icon by display name and choice, on/off pairs, tips by language).
struct NamingRule {
  std::string rule;                 // how the name is built, for failure messages
  std::vector<std::string> names;   // every name the rule can produce
};
std::vector<NamingRule> imageNamingRules();

// Every image name: the fixed ones and every name of every rule, without repeats.
std::vector<std::string> allImageNames();

// The system symbols the pages draw.
std::vector<std::string> symbolNames();

// The named animations, in the order the animation player knows them.
std::vector<std::string> animationNames();

}  // namespace tarnel::test::pictures
