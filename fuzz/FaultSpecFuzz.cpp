// Fuzzes the simulator's fault language as people and scripts type it.
// canonical either refuses a spec with std::invalid_argument or gives a
// line that the drivers' fault table reads and that is its own canonical form.
#include "FaultSpec.h"
#include "FaultTable.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string spec(reinterpret_cast<const char*>(data), size);
    std::string line;
    try {
        line = sim::FaultSpec::canonical(spec);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    sim::Fault fault;
    fuzzCheck(sim::FaultTable::parse(line.c_str(), fault), "the fault table reads a canonical line");
    fuzzCheck(sim::FaultSpec::canonical(line) == line, "a canonical line is its own canonical form");
    return 0;
}
