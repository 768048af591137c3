#pragma once
// The seeded random campaign's runs: a machine of one to four drives, a package, a command line,
// answers and a script of user and system events, all drawn from one generator, so that a seed
// and a run index give the same run again.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scenario/scenario_rig.h"

namespace orvane::testing::scenario {

struct Trial {
    uint32_t seed = 0;
    int index = 0;
    json machine;  // a complete machine description (orvane-sim --machine takes it)
    Package package;
    std::vector<std::string> args;     // without "/RESULT:", which every run gets
    std::vector<std::string> answers;  // the boxes' answers, in order
    std::string actions;               // "{FILE}" stands for the engineering path's file
    // What to run it again and read it: seed, index, machine, package options, args, actions.
    std::string Replay() const;
};

// The run of this index in the campaign of this seed.
Trial MakeTrial(uint32_t seed, int index);

}  // namespace orvane::testing::scenario
