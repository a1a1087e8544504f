// The step drivers' loop: each argument is one step, run in order in this
// process; a record a step throws is printed and the next step runs.
#ifndef TEST_STEP_DRIVER_H
#define TEST_STEP_DRIVER_H

#include "ThrownRecord.h"

#include <cstdio>
#include <functional>
#include <string>

// Ends with 2 at the first step runStep does not know.
inline int runSteps(const char* program, int argc, char** argv,
                    const std::function<bool(const std::string&)>& runStep,
                    const std::function<void()>& afterStep = [] {})
{
    for (int i = 1; i < argc; ++i) {
        try {
            if (!runStep(argv[i])) {
                std::fprintf(stderr, "%s: bad step '%s'\n", program, argv[i]);
                return 2;
            }
        } catch (InitErrorLog* record) {
            printThrownRecord(*record);
            delete record;
        }
        afterStep();
    }
    return 0;
}

#endif
