#include <iostream>
#include <string>
#include <vector>

#include "pack/pack_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return orvane::pack::RunPackTool(args, std::cout, std::cerr);
}
