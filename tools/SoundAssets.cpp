#include "Assets.h"

bool WriteSounds(const std::string&)
{
    return true;
}
