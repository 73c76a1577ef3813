// The output tree options of the command line: --flat, --existing and --name, and their texts
// read into the run's naming.
#pragma once

#include <string>

#include "jobs/OutputNaming.h"

namespace CLI {
class App;
}

struct TOutputTreeTexts {
    bool Flat = false;
    std::string Existing = "increment";
    std::string Pattern;
};

// Adds the three options, storing into `texts`.
void AddOutputTreeOptions(CLI::App& app, TOutputTreeTexts& texts);

// Reads `texts` into `naming`; empty, or the reason a text is wrong.
std::string ReadOutputTree(const TOutputTreeTexts& texts, TOutputNaming& naming);
