// Reader of a raw version resource (the VS_VERSIONINFO block as it is stored in
// the image), keeping the order of every key. Portable: no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One node of the block: a key, its value and its children, in file order.
struct VersionNode {
  std::u16string key;
  bool isText = false;               // wType 1: the value is UTF-16 text
  std::vector<std::uint8_t> value;   // binary value, as stored
  std::u16string text;               // text value without its terminator
  std::vector<VersionNode> children;

  // The first child with `childKey`, or null.
  const VersionNode* Child(const std::u16string& childKey) const;
};

// Parses the node that starts at the beginning of `bytes` (a whole version
// resource). Needs: `bytes` points at `size` readable bytes. Returns the node
// tree, or nothing when a length, key or padding runs past its parent's end.
std::optional<VersionNode> ParseVersionBlock(const std::uint8_t* bytes, std::size_t size);
