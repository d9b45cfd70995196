// The component methods the tool can call by name, with how each takes its
// argument and gives its result.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "result_text.h"

namespace veravo {
class TZPEdit;
}

namespace veravo::cli {

enum class ArgKind { None, Text, Int };

struct MethodInfo {
  std::string name;
  ArgKind arg;
};

// Every callable method, in the component's order.
const std::vector<MethodInfo>& Methods();
const MethodInfo* FindMethod(const std::string& name);
// A comma-separated list of the method names, for error messages.
std::string MethodNames();

// Calls `name` on the component with the argument as given (verbatim text;
// for methods taking a number, a decimal; a text method without one gets
// the empty text). Exceptions of the method pass through; an argument that
// is superfluous, missing for a number or not a number raises
// std::invalid_argument.
CallResult CallMethod(TZPEdit& edit, const std::string& name, const std::optional<std::string>& arg);

}  // namespace veravo::cli
