#include "Assets.h"

bool WriteImages(const std::string&)
{
    return true;
}
