// The one error type of the tag tool's library: a message that says what is
// wrong and, where there is one, what to do about it.
#pragma once

#include <stdexcept>
#include <string>

class TagError : public std::runtime_error {
public:
  explicit TagError(const std::string& message) : std::runtime_error(message) {}
};
