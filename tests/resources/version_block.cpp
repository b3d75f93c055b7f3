#include "version_block.h"

namespace {

std::size_t AlignUp4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

std::uint16_t Word(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Parses the node at `offset`, which must end by `end`; offsets count from the
// start of the resource, whose 32-bit alignment the format's padding refers to.
std::optional<VersionNode> ParseNode(const std::uint8_t* base, std::size_t offset, std::size_t end) {
  if (end - offset < 6) return std::nullopt;
  const std::size_t length = Word(base + offset);
  const std::size_t valueLength = Word(base + offset + 2);
  const std::uint16_t type = Word(base + offset + 4);
  if (length < 6 || length > end - offset || type > 1) return std::nullopt;
  const std::size_t nodeEnd = offset + length;

  VersionNode node;
  node.isText = type == 1;
  std::size_t at = offset + 6;
  for (;;) {
    if (nodeEnd - at < 2) return std::nullopt;
    const char16_t unit = Word(base + at);
    at += 2;
    if (unit == 0) break;
    node.key.push_back(unit);
  }
  at = AlignUp4(at);

  const std::size_t valueBytes = node.isText ? valueLength * 2 : valueLength;
  if (valueBytes > 0) {
    if (at > nodeEnd || valueBytes > nodeEnd - at) return std::nullopt;
    node.value.assign(base + at, base + at + valueBytes);
    if (node.isText) {
      for (std::size_t i = 0; i + 1 < valueBytes; i += 2) {
        const char16_t unit = Word(base + at + i);
        if (unit == 0) break;
        node.text.push_back(unit);
      }
    }
    at = AlignUp4(at + valueBytes);
  }

  while (at < nodeEnd) {
    std::optional<VersionNode> child = ParseNode(base, at, nodeEnd);
    if (!child) return std::nullopt;
    const std::size_t childLength = Word(base + at);
    node.children.push_back(std::move(*child));
    at = AlignUp4(at + childLength);
  }
  return node;
}

}  // namespace

const VersionNode* VersionNode::Child(const std::u16string& childKey) const {
  for (const VersionNode& child : children) {
    if (child.key == childKey) return &child;
  }
  return nullptr;
}

std::optional<VersionNode> ParseVersionBlock(const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr) return std::nullopt;
  return ParseNode(bytes, 0, size);
}
