#pragma once
// The PNG images of icon 132, compiled into the program from data/icons when it is built, so that
// the window never depends on an installed file. The build generates the definition.
//   EmbeddedIcons  every image, in ascending size; each is square, `size` pixels a side.

#include <cstddef>
#include <span>

namespace velmar::app {

struct EmbeddedPng {
  int size;
  const unsigned char* data;
  std::size_t length;
};

std::span<const EmbeddedPng> EmbeddedIcons();

}  // namespace velmar::app
