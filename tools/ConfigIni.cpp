#include "Assets.h"

bool WriteConfigIni(const std::string&)
{
    return true;
}
