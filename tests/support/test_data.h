#pragma once
// Files of tests/data, read whole.

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

inline std::string sample(const std::string& name) {
    std::ifstream in(std::string(TARVELO_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace testsupport
