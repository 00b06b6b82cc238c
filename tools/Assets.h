// The asset generator's writers; each returns false when a file cannot be written.
#pragma once

#include <string>

bool WriteConfigIni(const std::string& directory);
bool WriteIcon(const std::string& directory);
bool WriteImages(const std::string& directory);
bool WriteSounds(const std::string& directory);
