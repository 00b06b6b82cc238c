#include "Assets.h"

bool WriteIcon(const std::string&)
{
    return true;
}
