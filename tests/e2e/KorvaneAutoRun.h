// The program under test, as the end-to-end tests start it.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

namespace ka::test {

inline std::vector<std::string> KorvaneAutoCommand(std::vector<std::string> args) {
    args.insert(args.begin(), BuiltPath(KA_KORVANEAUTO_EXE));
    return args;
}

inline ProgramRun RunKorvaneAuto(const std::vector<std::string>& args,
                                 const RunOptions& options = {}) {
    return RunToEnd(KorvaneAutoCommand(args), options);
}

}  // namespace ka::test
