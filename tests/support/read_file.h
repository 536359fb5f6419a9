// A whole file as bytes; empty when it cannot be read.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace test {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace test
