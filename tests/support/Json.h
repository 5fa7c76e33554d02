// JSON in the tests (the simulator's control answers, the client's output),
// read with nlohmann-json; members keep the order they were written in.
#pragma once

#include <nlohmann/json.hpp>

namespace tellavo::test {

using JsonValue = nlohmann::ordered_json;

} // namespace tellavo::test
