#include "FuzzTarget.h"

std::map<std::string, TFuzzFunction>& FuzzTargets()
{
    static std::map<std::string, TFuzzFunction> targets;
    return targets;
}
